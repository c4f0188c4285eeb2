#include "options/LogSettingsDialog.h"

#include "store/AppState.h"
#include "store/SettingsStore.h"
#include "support/ScriptedDialogService.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace ormisk;
using ormisk::testing::ScriptedDialogService;

namespace {

class LogSettingsDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("Ormisk.conf")));
        state.options.LogFilesPath = QStringLiteral("/home/u/Logs/");
        state.options.LogDisabled = true;
        state.options.LogAllInOne = true;
        dialog = std::make_unique<LogSettingsDialog>(state, *store, dialogs);
        dialog->show();
        path = dialog->findChild<QLineEdit*>(QStringLiteral("txtLogFilesPath"));
        disabled = dialog->findChild<QCheckBox*>(QStringLiteral("chkLogDisabled"));
        allInOne = dialog->findChild<QCheckBox*>(QStringLiteral("chkLogAllInOne"));
        ASSERT_TRUE(path && disabled && allInOne);
    }
    void click(const char* name)
    {
        QTest::mouseClick(dialog->findChild<QAbstractButton*>(QLatin1String(name)), Qt::LeftButton);
    }
    [[nodiscard]] QString stored(const char* key) const
    {
        SettingsStore again(store->fileName());
        return again.read(Section::Config, QLatin1String(key), QStringLiteral("<none>"));
    }

    QTemporaryDir dir;
    std::unique_ptr<SettingsStore> store;
    AppState state;
    ScriptedDialogService dialogs;
    std::unique_ptr<LogSettingsDialog> dialog;
    QLineEdit* path = nullptr;
    QCheckBox* disabled = nullptr;
    QCheckBox* allInOne = nullptr;
};

} // namespace

TEST_F(LogSettingsDialogTest, ShowsTheCurrentSettings)
{
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Ormisk --- Log File"));
    EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("lblLogFilesPath"))->text(),
        QStringLiteral("&Log Files Location : "));
    EXPECT_EQ(path->text(), QStringLiteral("/home/u/Logs/"));
    EXPECT_TRUE(disabled->isChecked());
    EXPECT_TRUE(allInOne->isChecked());
    EXPECT_FALSE(state.DialogAccepted);
}

TEST_F(LogSettingsDialogTest, OkAddsTheMissingSeparatorAndSavesTheThreeKeys)
{
    path->setText(QStringLiteral("/home/u/Mail"));
    disabled->setChecked(false);
    click("butOK");
    EXPECT_TRUE(dialog->wasAccepted());
    EXPECT_TRUE(state.DialogAccepted);
    EXPECT_EQ(state.options.LogFilesPath, QStringLiteral("/home/u/Mail/"));
    EXPECT_EQ(stored("LogFilesPath"), QStringLiteral("/home/u/Mail/"));
    EXPECT_EQ(stored("LogDisabled"), QStringLiteral("False"));
    EXPECT_EQ(stored("LogAllInOne"), QStringLiteral("True"));
}

TEST_F(LogSettingsDialogTest, PathWithSeparatorIsKeptAsIs)
{
    path->setText(QStringLiteral("/srv/mail logs/"));
    click("butOK");
    EXPECT_EQ(stored("LogFilesPath"), QStringLiteral("/srv/mail logs/"));
}

TEST_F(LogSettingsDialogTest, EmptyTextKeepsTheFolderButSavesTheBoxes)
{
    path->clear();
    allInOne->setChecked(false);
    click("butOK");
    EXPECT_EQ(state.options.LogFilesPath, QStringLiteral("/home/u/Logs/"));
    EXPECT_EQ(stored("LogFilesPath"), QStringLiteral("/home/u/Logs/"));
    EXPECT_FALSE(state.options.LogAllInOne);
    EXPECT_EQ(stored("LogAllInOne"), QStringLiteral("False"));
}

TEST_F(LogSettingsDialogTest, CancelChangesNothing)
{
    path->setText(QStringLiteral("/elsewhere"));
    disabled->setChecked(false);
    allInOne->setChecked(false);
    click("butCancel");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(dialog->wasAccepted());
    EXPECT_EQ(state.options.LogFilesPath, QStringLiteral("/home/u/Logs/"));
    EXPECT_TRUE(state.options.LogDisabled);
    EXPECT_TRUE(state.options.LogAllInOne);
    EXPECT_FALSE(store->contains(Section::Config, QStringLiteral("LogFilesPath")));
}

TEST_F(LogSettingsDialogTest, BrowseReplacesTheTextUnlessCancelled)
{
    dialogs.folders = { QStringLiteral("/picked"), QString() };
    click("butBrowse");
    EXPECT_EQ(path->text(), QStringLiteral("/picked"));
    click("butBrowse");
    EXPECT_EQ(path->text(), QStringLiteral("/picked"));
    EXPECT_EQ(dialogs.askedCaptions,
        QStringList({ QStringLiteral("Select Log Files Location"), QStringLiteral("Select Log Files Location") }));
    click("butOK");
    EXPECT_EQ(state.options.LogFilesPath, QStringLiteral("/picked/"));
}

TEST_F(LogSettingsDialogTest, TabOrderRunsFromTheFolderToCancel)
{
    QStringList order;
    QWidget* w = path;
    for (int i = 0; i < 6; ++i, w = w->nextInFocusChain()) {
        while (w->focusPolicy() == Qt::NoFocus)
            w = w->nextInFocusChain();
        order.append(w->objectName());
    }
    EXPECT_EQ(order,
        QStringList({ QStringLiteral("txtLogFilesPath"), QStringLiteral("butBrowse"), QStringLiteral("chkLogDisabled"),
            QStringLiteral("chkLogAllInOne"), QStringLiteral("butOK"), QStringLiteral("butCancel") }));
}
