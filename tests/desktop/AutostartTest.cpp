// Starting at login: the autostart entry, and the Options box that writes and reflects it.
#include "desktop/Autostart.h"
#include "options/OptionsDialog.h"
#include "support/MainWindowFixture.h"
#include "support/NextDialog.h"
#include "support/ScopedEnv.h"

#include <QCheckBox>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>

using namespace ormisk;
using namespace ormisk::test;
using ormisk::testing::NextDialog;

TEST(Autostart, EntryStartsTheGivenProgramAndGoesAgain)
{
    QTemporaryDir config;
    ScopedEnv env("XDG_CONFIG_HOME", config.path().toUtf8());
    const QString path = config.filePath(QStringLiteral("autostart/ormisk.desktop"));
    EXPECT_EQ(AutostartEntryPath(), path);
    EXPECT_FALSE(StartsAtLogin());

    ASSERT_EQ(SetStartAtLogin(true, QStringLiteral("/opt/mail tools/ormisk")), QString());
    EXPECT_TRUE(StartsAtLogin());
    QFile entry(path);
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("\nExec=\"/opt/mail tools/ormisk\"\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("\nName=Ormisk\n")));
    const QString validate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (!validate.isEmpty()) {
        EXPECT_EQ(QProcess::execute(validate, { path }), 0);
    }

    ASSERT_EQ(SetStartAtLogin(false, QString()), QString());
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(SetStartAtLogin(false, QString()), QString()) << "nothing to remove is no failure";

    ScopedEnv relative("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(AutostartEntryPath(), QDir::homePath() + QStringLiteral("/.config/autostart/ormisk.desktop"));
}

class AutostartOptionsTest : public MainWindowFixture { };

TEST_F(AutostartOptionsTest, OptionsBoxWritesTheEntryAndShowsWhetherItExists)
{
    QTemporaryDir xdg;
    ScopedEnv env("XDG_CONFIG_HOME", xdg.path().toUtf8());
    start();
    const auto answer = [](bool expectTicked, bool tick) {
        return [=](OptionsDialog& d) {
            auto* box = d.findChild<QCheckBox*>(QStringLiteral("chkStartAtLogin"));
            EXPECT_EQ(box->isChecked(), expectTicked);
            box->setChecked(tick);
            d.findChild<QCheckBox*>(QStringLiteral("chkDesktopNotifications"))->setChecked(tick);
            d.findChild<QPushButton*>(QStringLiteral("butOK"))->click();
        };
    };
    {
        NextDialog<OptionsDialog> next(answer(false, true));
        window->menus().mnuOptions->trigger();
        ASSERT_EQ(next.shown(), 1);
    }
    EXPECT_TRUE(StartsAtLogin());
    EXPECT_EQ(config("DesktopNotifications"), QStringLiteral("True"));
    EXPECT_TRUE(state.options.DesktopNotifications);
    {
        NextDialog<OptionsDialog> next(answer(true, false));
        window->menus().mnuOptions->trigger();
        ASSERT_EQ(next.shown(), 1);
    }
    EXPECT_FALSE(StartsAtLogin());
    EXPECT_EQ(config("DesktopNotifications"), QStringLiteral("False"));
    EXPECT_TRUE(dialogs.shown.isEmpty());
}
