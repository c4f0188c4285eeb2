// The integrated main window on a private profile, its accounts on the loopback test server: its
// menus, the commands they run and what those do to the countdown.
#include "support/MainWindowFixture.h"
#include "support/ScopedEnv.h"
#include "support/Wait.h"

#include "app/AboutDialog.h"
#include "engine/SeenListFile.h"
#include "options/LogSettingsDialog.h"
#include "support/NextDialog.h"
#include "tree/AccountController.h"
#include "tree/AccountEditorDialog.h"
#include "tree/MessagePropertiesDialog.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

using namespace ormisk;
using namespace ormisk::test;
using ormisk::testing::NextDialog;
using ormisk::testing::PopFault;

namespace {

struct Row {
    QString name;
    QString caption; // empty for a separator
    QString shortcut;
};

QList<Row> rowsOf(const QMenu* menu)
{
    QList<Row> rows;
    for (const QAction* a : menu->actions())
        rows.append({ a->objectName(), a->isSeparator() ? QString() : a->text(), a->shortcut().toString() });
    return rows;
}

bool operator==(const Row& a, const Row& b)
{
    return a.name == b.name && a.caption == b.caption && a.shortcut == b.shortcut;
}

void PrintTo(const Row& r, std::ostream* os)
{
    *os << r.name.toStdString() << " \"" << r.caption.toStdString() << "\" " << r.shortcut.toStdString();
}

using MainWindowTest = MainWindowFixture;

} // namespace

TEST_F(MainWindowTest, MenuBarHoldsEveryEntryInOrder)
{
    start();
    const MainMenus& m = window->menus();
    QStringList tops;
    for (const QAction* a : window->menuBar()->actions())
        tops << a->menu()->objectName() + QLatin1Char(' ') + a->text();
    EXPECT_EQ(tops,
        (QStringList { QStringLiteral("mnuMonitoring M&onitoring"), QStringLiteral("mnuAccounts &Accounts"),
            QStringLiteral("mnuMessages &Messages"), QStringLiteral("mnuHelp &Help") }));

    const auto row = [](const char* name, const char* caption, const char* shortcut = "") {
        return Row { QLatin1String(name), QLatin1String(caption), QLatin1String(shortcut) };
    };
    EXPECT_EQ(rowsOf(m.mnuMonitoring),
        (QList<Row> { row("mnuUpdateNow", "&Update Now", "Ctrl+U"), row("mnuSuspend", "&Suspend", "Ctrl+S"),
            row("mnuResume", "&Resume", "Ctrl+R"), row("mnusep1", ""), row("mnuOptions", "&Options...", "Ctrl+O"),
            row("mnuExit", "E&xit", "Ctrl+X") }));
    EXPECT_EQ(rowsOf(m.mnuAccounts),
        (QList<Row> { row("mnuNewAccount", "&Add Account", "Ctrl+A"),
            row("mnuModifyAccount", "&Modify Account", "Ctrl+M"), row("mnuDeleteAccount", "&Delete Account") }));
    EXPECT_EQ(rowsOf(m.mnuMessages),
        (QList<Row> { row("mnuDeleteMessage", "&Delete Message", "Ctrl+D"),
            row("mnuProperties", "&Properties", "Ctrl+P"), row("mnusep2", ""),
            row("mnuFilter", "Message &Filtering...", "Ctrl+F"), row("mnuLogFile", "&Log File...", "Ctrl+L") }));
    EXPECT_EQ(
        rowsOf(m.mnuHelp), (QList<Row> { row("mnuHelpContents", "&Contents"), row("mnuAbout", "&About Ormisk") }));
}

TEST_F(MainWindowTest, SuspendAndResumeTakeTurnsAndShortcutsReachThem)
{
    start();
    const MainMenus& m = window->menus();
    EXPECT_FALSE(m.mnuResume->isVisible());
    EXPECT_FALSE(m.mnuResume->isEnabled());
    EXPECT_TRUE(m.mnuSuspend->isVisible());
    EXPECT_TRUE(m.mnuSuspend->isEnabled());

    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(window->scheduler().Suspended());
    EXPECT_FALSE(countdown().isActive());
    EXPECT_TRUE(m.mnuResume->isVisible() && m.mnuResume->isEnabled());
    EXPECT_FALSE(m.mnuSuspend->isVisible());
    EXPECT_FALSE(m.mnuUpdateNow->isEnabled());

    QTest::keyClick(window.get(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_FALSE(window->scheduler().Suspended());
    EXPECT_TRUE(countdown().isActive());
    EXPECT_FALSE(m.mnuResume->isVisible());
    EXPECT_TRUE(m.mnuSuspend->isVisible() && m.mnuSuspend->isEnabled());
}

// While a check holds the server, no command may start and the window may not close; the close
// asks the conversation to end instead, and the cycle checks no further account.
TEST_F(MainWindowTest, DuringACheckShortcutsDoNothingAndCloseIsRefusedAndStopsTheCycle)
{
    server.addUser(QStringLiteral("alice"), QStringLiteral("secret"), rawMessages(2));
    server.addUser(QStringLiteral("bob"), QStringLiteral("secret"), rawMessages(1, "bob"));
    storeAccounts({ account(QStringLiteral("Work"), QStringLiteral("alice")),
        account(QStringLiteral("Home"), QStringLiteral("bob")) });
    start();
    window->pop().setReplyTimeout(60000); // only the close's cancel can end the withheld reply
    server.addFault({ PopFault::Kind::Withhold, "TOP", 0, 1 });
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

    NextDialog<AccountEditorDialog> editor([](AccountEditorDialog&) {});
    NextDialog<AboutDialog> about([](AboutDialog&) {});
    bool acted = false;
    bool closed = true;
    int sessionsDuring = 0;
    QObject::connect(
        &server, &ormisk::testing::ScriptedPopServer::commandReceived, window.get(), [&](const QByteArray& line) {
            if (acted || !line.startsWith("TOP"))
                return;
            acted = true;
            QTimer::singleShot(0, window.get(), [&] {
                const MainMenus& m = window->menus();
                EXPECT_FALSE(m.mnuMonitoring->isEnabled());
                EXPECT_FALSE(m.mnuAccounts->isEnabled());
                EXPECT_FALSE(m.mnuMessages->isEnabled());
                EXPECT_FALSE(m.mnuHelp->isEnabled());
                QTest::keyClick(window.get(), Qt::Key_A, Qt::ControlModifier);
                QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
                QTest::keyClick(window.get(), Qt::Key_U, Qt::ControlModifier);
                m.mnuAbout->trigger();
                sessionsDuring = server.sessionsStarted();
                closed = window->close();
            });
        });
    QElapsedTimer clock;
    clock.start();
    QCoro::waitFor(window->scheduler().PollCycle());
    EXPECT_LT(clock.elapsed(), 30000) << "the refused close ended the conversation";
    ASSERT_TRUE(acted);
    EXPECT_FALSE(closed);
    EXPECT_EQ(dialogs.beeps, 1);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(editor.shown(), 0);
    EXPECT_EQ(about.shown(), 0);
    EXPECT_FALSE(window->scheduler().Suspended());
    EXPECT_EQ(sessionsDuring, 1) << "Update Now started no second check";
    EXPECT_TRUE(window->pop().isClosed());
    EXPECT_TRUE(window->menus().mnuAccounts->isEnabled());
    EXPECT_EQ(server.sessionsStarted(), 1) << "the second account was not checked";

    EXPECT_TRUE(window->close()) << "once the check is over the window closes";
}

TEST_F(MainWindowTest, CloseWritesTheSeenListWithTheTreesMessages)
{
    startWithMail(3);
    QCoro::waitFor(window->scheduler().PollCycle());
    const QStringList keys = childKeys(workKey());
    ASSERT_EQ(keys.size(), 3);
    QStringList tags;
    for (const QString& k : keys)
        tags << tree().tag(k);
    ASSERT_TRUE(window->close());
    QStringList written = ReadSeenListFile(profile.seenListFile());
    written.sort();
    tags.sort();
    EXPECT_EQ(written, tags);
    EXPECT_EQ(dialogs.beeps, 0);
}

TEST_F(MainWindowTest, DeleteMessageTwoOfFourRenumbersAndRestoresMenusAndTimer)
{
    startWithMail(4);
    QCoro::waitFor(window->scheduler().PollCycle());
    const QString accountText = tree().text(workKey());
    const QStringList keys = childKeys(workKey());
    ASSERT_EQ(keys.size(), 4);
    click(keys[1]);
    ASSERT_EQ(window->accounts().selection().message, 2);
    ASSERT_TRUE(window->menus().mnuDeleteMessage->isEnabled());

    window->menus().mnuDeleteMessage->trigger();
    waitForCommand();
    const QStringList texts = childTexts(workKey());
    ASSERT_EQ(texts.size(), 4);
    EXPECT_TRUE(texts[0].startsWith(QStringLiteral("#1 --- "))) << texts[0].toStdString();
    EXPECT_TRUE(texts[1].startsWith(QStringLiteral("(Deleted) --- "))) << texts[1].toStdString();
    EXPECT_TRUE(texts[1].contains(QStringLiteral("Subject : S2")));
    EXPECT_TRUE(texts[2].startsWith(QStringLiteral("#2 --- ")) && texts[2].contains(QStringLiteral("S3")));
    EXPECT_TRUE(texts[3].startsWith(QStringLiteral("#3 --- ")) && texts[3].contains(QStringLiteral("S4")));
    EXPECT_EQ(tree().image(keys[1]), QStringLiteral("Deleted"));
    EXPECT_EQ(tree().text(workKey()), accountText);
    const QList<QByteArray> left = server.messages(QStringLiteral("alice"));
    EXPECT_EQ(left, (QList<QByteArray> { rawMessage(1), rawMessage(3), rawMessage(4) }));

    const MainMenus& m = window->menus();
    EXPECT_TRUE(m.mnuMonitoring->isEnabled() && m.mnuAccounts->isEnabled() && m.mnuMessages->isEnabled()
        && m.mnuHelp->isEnabled());
    EXPECT_TRUE(countdown().isActive());
    EXPECT_TRUE(window->pop().isClosed());
}

TEST_F(MainWindowTest, PropertiesShowTheTagAndPauseTheCountdown)
{
    startWithMail(2);
    QCoro::waitFor(window->scheduler().PollCycle());
    clock.advance(3000); // a countdown under way, which the dialog must not start over
    const qint32 left = secondsLeft();
    const QString second = childKeys(workKey()).at(1);
    click(second);
    ASSERT_TRUE(window->menus().mnuProperties->isEnabled());

    QString shown;
    bool runningWhileOpen = true;
    {
        NextDialog<MessagePropertiesDialog> next([&](MessagePropertiesDialog& d) {
            shown = d.shownText();
            runningWhileOpen = countdown().isActive();
            d.accept();
        });
        window->menus().mnuProperties->trigger();
        ASSERT_EQ(next.shown(), 1);
    }
    // The text box keeps lines apart with LF alone.
    EXPECT_EQ(shown, tree().tag(second).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    EXPECT_TRUE(shown.contains(QStringLiteral("Subject : S2")));
    EXPECT_FALSE(runningWhileOpen);
    EXPECT_EQ(secondsLeft(), left);
    EXPECT_TRUE(countdown().isActive());

    // Suspended: the countdown stays stopped afterwards.
    window->menus().mnuSuspend->trigger();
    ASSERT_TRUE(window->scheduler().Suspended());
    click(second);
    EXPECT_FALSE(window->menus().mnuDeleteMessage->isEnabled()) << "no deleting while suspended";
    {
        NextDialog<MessagePropertiesDialog> next([](MessagePropertiesDialog& d) { d.accept(); });
        window->menus().mnuProperties->trigger();
        ASSERT_EQ(next.shown(), 1);
    }
    EXPECT_FALSE(countdown().isActive());
}

TEST_F(MainWindowTest, AboutPausesTheCountdownKeepsTheHighlightAndKeepsTheCountdownStoppedWhenSuspended)
{
    startWithMail(1);
    clock.advance(2000);
    const qint32 left = secondsLeft();
    click(workKey());
    bool runningWhileOpen = true;
    QString highlightedWhileOpen;
    {
        NextDialog<AboutDialog> next([&](AboutDialog& d) {
            runningWhileOpen = countdown().isActive();
            window->hideSelection(); // as a resize or the tray icon would
            highlightedWhileOpen = tree().selected();
            d.accept();
        });
        window->menus().mnuAbout->trigger();
        ASSERT_EQ(next.shown(), 1);
    }
    EXPECT_FALSE(runningWhileOpen);
    EXPECT_EQ(highlightedWhileOpen, workKey());
    EXPECT_TRUE(tree().selected().isEmpty()) << "hidden once the box has closed";
    EXPECT_EQ(secondsLeft(), left);
    EXPECT_TRUE(countdown().isActive());

    window->menus().mnuSuspend->trigger();
    {
        NextDialog<AboutDialog> next([](AboutDialog& d) { d.accept(); });
        window->menus().mnuAbout->trigger();
        ASSERT_EQ(next.shown(), 1);
    }
    EXPECT_FALSE(countdown().isActive());
    EXPECT_EQ(secondsLeft(), left);
}

TEST_F(MainWindowTest, LogSettingsAreSavedAndTheCountdownGoesOn)
{
    start();
    clock.advance(2000);
    const qint32 left = secondsLeft();
    {
        NextDialog<LogSettingsDialog> next([](LogSettingsDialog& d) {
            d.findChild<QLineEdit*>(QStringLiteral("txtLogFilesPath"))->setText(QStringLiteral("/srv/logs"));
            d.findChild<QPushButton*>(QStringLiteral("butOK"))->click();
        });
        window->menus().mnuLogFile->trigger();
        ASSERT_EQ(next.shown(), 1);
    }
    EXPECT_EQ(state.options.LogFilesPath, QStringLiteral("/srv/logs/"));
    EXPECT_EQ(config("LogFilesPath"), QStringLiteral("/srv/logs/"));
    EXPECT_EQ(secondsLeft(), left);
    EXPECT_TRUE(countdown().isActive());
}

TEST_F(MainWindowTest, HelpThatCannotOpenTheGuideSaysWhatFailedAndWhereTheGuideIs)
{
    start();
    const QString file = MainWindow::helpFile(QCoreApplication::applicationDirPath());
    ASSERT_FALSE(QFile::exists(file)) << "no guide beside the test program";
    window->menus().mnuHelpContents->trigger();
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].icon, QMessageBox::Critical);
    EXPECT_EQ(dialogs.shown[0].title, QStringLiteral("Ormisk Help"));
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("The user guide was not found. It belongs at:\n") + file);

    // A guide that is there, on a desktop with nothing to open it.
    const QString guide = dir.filePath(QStringLiteral("index.html"));
    QFile(guide).open(QIODevice::WriteOnly);
    {
        ScopedEnv env("PATH", "");
        window->showHelp(guide);
    }
    ASSERT_EQ(dialogs.shown.size(), 2);
    EXPECT_TRUE(dialogs.shown[1].text.startsWith(
        QStringLiteral("The desktop could not open the user guide: QDesktopServices::openUrl")));
    EXPECT_TRUE(dialogs.shown[1].text.endsWith(QStringLiteral("The guide is at:\n") + guide));
}

TEST(HelpFile, FoundBesideTheBinaryOrInTheInstalledShareFolder)
{
    QTemporaryDir prefix;
    const QString bin = prefix.filePath(QStringLiteral("bin"));
    ASSERT_TRUE(QDir().mkpath(bin));
    ASSERT_TRUE(QDir().mkpath(prefix.filePath(QStringLiteral("share/ormisk/help"))));
    const QString installed = prefix.filePath(QStringLiteral("share/ormisk/help/index.html"));
    QFile(installed).open(QIODevice::WriteOnly);
    EXPECT_EQ(MainWindow::helpFile(bin), QFileInfo(installed).canonicalFilePath());

    ASSERT_TRUE(QDir().mkpath(bin + QStringLiteral("/help")));
    QFile(bin + QStringLiteral("/help/index.html")).open(QIODevice::WriteOnly);
    EXPECT_EQ(MainWindow::helpFile(bin), QFileInfo(bin + QStringLiteral("/help/index.html")).canonicalFilePath())
        << "a build tree's own guide comes first";
}
