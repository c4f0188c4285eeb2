#include "options/LogSettingsDialog.h"

#include "support/ScriptedDialogService.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace ormisk;
using ormisk::testing::ScriptedDialogService;

namespace {

class LogSettingsDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        options.LogFilesPath = QStringLiteral("/home/u/Logs/");
        options.LogDisabled = true;
        options.LogAllInOne = true;
        dialog = std::make_unique<LogSettingsDialog>(options, dialogs);
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
    [[nodiscard]] const Options& chosen() const
    {
        EXPECT_TRUE(dialog->confirmed().has_value());
        return *dialog->confirmed();
    }

    Options options;
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
}

TEST_F(LogSettingsDialogTest, OkAddsTheMissingSeparatorAndTakesTheBoxes)
{
    path->setText(QStringLiteral("/home/u/Mail"));
    disabled->setChecked(false);
    click("butOK");
    EXPECT_EQ(chosen().LogFilesPath, QStringLiteral("/home/u/Mail/"));
    EXPECT_FALSE(chosen().LogDisabled);
    EXPECT_TRUE(chosen().LogAllInOne);
}

TEST_F(LogSettingsDialogTest, PathWithSeparatorIsKeptAsIs)
{
    path->setText(QStringLiteral("/srv/mail logs/"));
    click("butOK");
    EXPECT_EQ(chosen().LogFilesPath, QStringLiteral("/srv/mail logs/"));
}

TEST_F(LogSettingsDialogTest, EmptyTextKeepsTheFolderButTakesTheBoxes)
{
    path->clear();
    allInOne->setChecked(false);
    click("butOK");
    EXPECT_EQ(chosen().LogFilesPath, QStringLiteral("/home/u/Logs/"));
    EXPECT_FALSE(chosen().LogAllInOne);
}

TEST_F(LogSettingsDialogTest, CancelChangesNothing)
{
    path->setText(QStringLiteral("/elsewhere"));
    disabled->setChecked(false);
    allInOne->setChecked(false);
    click("butCancel");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(dialog->confirmed().has_value());
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
    EXPECT_EQ(chosen().LogFilesPath, QStringLiteral("/picked/"));
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
