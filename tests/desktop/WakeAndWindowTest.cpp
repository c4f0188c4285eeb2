// The window's side of the desktop: a check after the network returns or the machine wakes, the
// first-run hint, the tray icon's tip.
#include "desktop/SessionBus.h"
#include "desktop/WakeWatcher.h"
#include "engine/PollScheduler.h"
#include "support/MainWindowFixture.h"
#include "support/Wait.h"
#include "tray/TrayIcon.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QSignalSpy>

using namespace ormisk;
using namespace ormisk::test;
using Reachability = QNetworkInformation::Reachability;

TEST(WakeWatcher, OnlyAReturnToOnlineOrAWakeUpWantsACheck)
{
    WakeWatcher watcher { QDBusConnection(QString()) };
    QSignalSpy wanted(&watcher, &WakeWatcher::checkWanted);
    for (const Reachability r : { Reachability::Disconnected, Reachability::Online, Reachability::Online,
             Reachability::Local, Reachability::Site, Reachability::Online })
        watcher.reachabilityChanged(r);
    EXPECT_EQ(wanted.size(), 2);
}

TEST(WakeWatcher, LogindsPrepareForSleepFalseOnTheBusWantsACheck)
{
    if (SessionBusEnvironment::address.isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed";
    // Stands in for the system bus: the watcher listens to whoever owns logind's name on it.
    QDBusConnection bus = QDBusConnection::connectToBus(SessionBusEnvironment::address, QStringLiteral("watcher"));
    QDBusConnection logind = QDBusConnection::connectToBus(SessionBusEnvironment::address, QStringLiteral("logind"));
    ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));
    WakeWatcher watcher(bus);
    QSignalSpy wanted(&watcher, &WakeWatcher::checkWanted);
    for (const bool sleeping : { true, false }) {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
        signal << sleeping;
        logind.send(signal);
    }
    ORMISK_WAIT_EQ(wanted.size(), 1);
    QTest::qWait(100);
    EXPECT_EQ(wanted.size(), 1) << "going to sleep wants nothing";
    QDBusConnection::disconnectFromBus(QStringLiteral("watcher"));
    QDBusConnection::disconnectFromBus(QStringLiteral("logind"));
}

namespace {

class DesktopWindowTest : public MainWindowFixture {
protected:
    void startWithMail(int messages)
    {
        MainWindowFixture::startWithMail(messages);
        window->wakeCheck().setInterval(10);
    }
};
} // namespace

TEST_F(DesktopWindowTest, AWakeStartsACycleUnlessSuspended)
{
    startWithMail(1);
    window->scheduler().Suspend();
    emit window->wakeWatcher().checkWanted();
    QTest::qWait(200);
    EXPECT_EQ(server.sessionsStarted(), 0);

    window->scheduler().Resume();
    emit window->wakeWatcher().checkWanted();
    ORMISK_WAIT_EQ(server.sessionsStarted(), 1);
    ORMISK_WAIT_TRUE(!window->scheduler().cycleRunning(), 5000);
    EXPECT_EQ(window->scheduler().SecondsLeft(), window->scheduler().PollMinutes() * 60)
        << "the countdown starts over after it";
}

TEST_F(DesktopWindowTest, EmptyTreeShowsTheHintUntilThereIsAnAccount)
{
    start();
    EXPECT_TRUE(tree().showsEmptyHint());
    EXPECT_EQ(tree().emptyHint(),
        QStringLiteral("No mailbox is watched yet. Choose Accounts \u2192 Add Account to add one."));
    window.reset();
    storeAccounts({ account(QStringLiteral("Work"), QStringLiteral("alice")) });
    start();
    EXPECT_FALSE(tree().showsEmptyHint());
}

TEST_F(DesktopWindowTest, TrayTipShowsTheCountsAndTheNextCheck)
{
    startWithMail(3);
    (void)window->scheduler().PollCycle();
    ORMISK_WAIT_TRUE(!window->scheduler().cycleRunning(), 5000);
    clock.advance(1000); // each tick of the countdown brings the tip up to date
    ASSERT_EQ(window->trayIcon().tip().count(QLatin1Char('\n')), 2);
    const QStringList lines = window->trayIcon().tip().split(QLatin1Char('\n'));
    EXPECT_EQ(lines[0], QStringLiteral("Ormisk"));
    EXPECT_EQ(lines[1], QStringLiteral("3 waiting, 3 new"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Next check at "))) << lines[2].toStdString();
    // Update Now checks the same three again: they are still three, and none is new any more.
    (void)window->scheduler().CheckNow();
    ORMISK_WAIT_TRUE(!window->scheduler().cycleRunning(), 5000);
    window->scheduler().Suspend();
    EXPECT_EQ(window->trayIcon().tip(), QStringLiteral("Ormisk\n3 waiting, 0 new\nMonitoring suspended"));
}
