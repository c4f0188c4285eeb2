#include "EngineFixture.h"

#include "engine/OnceRun.h"
#include "engine/PollScheduler.h"
#include "store/Options.h"
#include "store/SettingsStore.h"
#include "support/VirtualClock.h"

#include "support/Wait.h"

using namespace ormisk;
using namespace ormisk::test;

namespace {

class Scheduler : public EngineFixture {
protected:
    Scheduler() { state.options.LogDisabled = true; }
    // The countdown runs on virtual time: clock.advance() moves it on, tick by tick.
    ormisk::testing::VirtualClock clock;
    PollScheduler scheduler { engine, clock };
    [[nodiscard]] MenuState menus() const { return MonitoringMenus(scheduler.monitoring()); }
};

} // namespace

TEST(SchedulerText, LastTwoDigitsOfMinutesAndSeconds)
{
    EXPECT_EQ(PollScheduler::timeLeftText(299), QStringLiteral("04:59"));
    EXPECT_EQ(PollScheduler::timeLeftText(60), QStringLiteral("01:00"));
    EXPECT_EQ(PollScheduler::timeLeftText(0), QStringLiteral("00:00"));
    EXPECT_EQ(PollScheduler::timeLeftText(7199), QStringLiteral("19:59"));
}

TEST_F(Scheduler, StartUpTicksAndZeroRunsACycleInTheSameTick)
{
    state.options.PoolingTime = 120;
    addAccount(QStringLiteral("Work"));
    scheduler.start();
    EXPECT_TRUE(scheduler.PoolingEvent().isActive());
    EXPECT_EQ(scheduler.PoolingEvent().interval(), 1000);
    EXPECT_EQ(scheduler.SecondsLeft(), 5);
    EXPECT_EQ(scheduler.PollMinutes(), 120);
    for (int i = 0; i < 4; ++i)
        QCoro::waitFor(scheduler.tick());
    EXPECT_EQ(host.timeTexts.last(), QStringLiteral("00:01"));
    EXPECT_EQ(pop.conversations, 0);
    QCoro::waitFor(scheduler.tick());
    EXPECT_EQ(host.timeTexts.last(), QStringLiteral("00:00"));
    EXPECT_EQ(pop.conversations, 1);
    EXPECT_EQ(accountText(1), QStringLiteral("Work --- No messages."));
    EXPECT_EQ(scheduler.SecondsLeft(), 7200);
    EXPECT_TRUE(scheduler.PoolingEvent().isActive());
    QCoro::waitFor(scheduler.tick());
    EXPECT_EQ(host.timeTexts.last(), QStringLiteral("19:59"));
}

TEST_F(Scheduler, TheTimerItselfDrivesTheCountdown)
{
    scheduler.start();
    clock.advance(1999);
    EXPECT_EQ(host.timeTexts, QStringList { QStringLiteral("00:04") });
    clock.advance(1);
    EXPECT_EQ(host.timeTexts, (QStringList { QStringLiteral("00:04"), QStringLiteral("00:03") }));
}

TEST_F(Scheduler, NoAccountsOnlyRestartsTheCountdown)
{
    tree.add({}, QStringLiteral("P9"), QStringLiteral("left over"), Image::NoMail);
    scheduler.start();
    clock.advance(5000);
    EXPECT_EQ(host.timeTexts.last(), QStringLiteral("00:00"));
    EXPECT_EQ(scheduler.SecondsLeft(), 300);
    EXPECT_TRUE(scheduler.PoolingEvent().isActive());
    EXPECT_EQ(tree.text(QStringLiteral("P9")), QStringLiteral("left over"));
    EXPECT_TRUE(host.captions.isEmpty());
    EXPECT_TRUE(host.trayPictures.isEmpty());
}

TEST_F(Scheduler, CycleCaptionsTrayAndDisabledAccounts)
{
    addAccount(QStringLiteral("Home"), true);
    const int work = addAccount(QStringLiteral("Work"));
    pop.mailbox = { fakeMessage(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("<a>")) };
    host.minimized = true;
    state.options.RunInTray = false;
    QCoro::waitFor(scheduler.PollCycle());
    EXPECT_EQ(host.captions, (QStringList { Caption::Checking, Caption::Normal }));
    EXPECT_TRUE(host.trayPictures.isEmpty());
    EXPECT_EQ(tree.text(key(1)), QStringLiteral("Home--- Disabled."));
    EXPECT_EQ(tree.image(key(1)), Image::Closed);
    EXPECT_EQ(tree.expandedImage(key(1)), Image::HaveMail);
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- 1 message --- Totaling 1,000 bytes."));
    EXPECT_EQ(pop.conversations, 1);
    EXPECT_TRUE(host.events.contains(QStringLiteral("open new mail")));

    host.captions.clear();
    state.options.RunInTray = true;
    host.newMailShown = true;
    QCoro::waitFor(scheduler.PollCycle());
    EXPECT_EQ(host.captions, QStringList { Caption::Normal }); // in the tray the picture tells instead
    EXPECT_EQ(host.trayPictures, (QList<int> { TrayPicture::Checking, TrayPicture::MailWaiting }));
    EXPECT_EQ(host.events.last(), QStringLiteral("menus 1111"));
    EXPECT_TRUE(host.events.contains(QStringLiteral("update new mail focus")));

    // Every account disabled: the cycle runs and the tray returns to idle.
    state.account(work).Disabled = true;
    host.trayPictures.clear();
    QCoro::waitFor(scheduler.PollCycle());
    EXPECT_EQ(host.trayPictures, (QList<int> { TrayPicture::Checking, TrayPicture::Idle }));
    EXPECT_EQ(pop.conversations, 2);
    EXPECT_TRUE(menus().mnuUpdateNow.enabled);
}

TEST_F(Scheduler, SuspendKeepsTheCountdownAndTheMenusFollow)
{
    scheduler.start();
    clock.advance((5 + 110) * 1000);
    EXPECT_EQ(host.timeTexts.last(), QStringLiteral("03:10"));
    scheduler.Suspend();
    EXPECT_FALSE(scheduler.PoolingEvent().isActive());
    EXPECT_EQ(host.caption, Caption::Suspended);
    EXPECT_EQ(host.trayPicture, TrayPicture::Suspended);
    MenuState m = menus();
    EXPECT_FALSE(m.mnuUpdateNow.enabled);
    EXPECT_TRUE(m.mnuResume.enabled && m.mnuResume.visible);
    EXPECT_FALSE(m.mnuSuspend.enabled || m.mnuSuspend.visible);
    {
        DialogPause pause(scheduler); // a dialog opened while suspended leaves the timer stopped
    }
    clock.advance(5000);
    EXPECT_EQ(scheduler.SecondsLeft(), 190);
    scheduler.Resume();
    EXPECT_TRUE(scheduler.PoolingEvent().isActive());
    EXPECT_EQ(host.caption, Caption::Normal);
    EXPECT_EQ(host.trayPicture, TrayPicture::Idle);
    m = menus();
    EXPECT_TRUE(m.mnuUpdateNow.enabled);
    EXPECT_TRUE(m.mnuSuspend.visible);
    EXPECT_FALSE(m.mnuResume.visible);
    clock.advance(1000);
    EXPECT_EQ(host.timeTexts.last(), QStringLiteral("03:09"));
}

TEST_F(Scheduler, DialogPauseAndNewPeriod)
{
    scheduler.start();
    {
        DialogPause pause(scheduler);
        EXPECT_FALSE(scheduler.PoolingEvent().isActive());
        state.options.PoolingTime = 7;
        scheduler.ApplyPollPeriod(); // the timer was paused, so it stays stopped here
        EXPECT_FALSE(scheduler.PoolingEvent().isActive());
    }
    EXPECT_TRUE(scheduler.PoolingEvent().isActive());
    EXPECT_EQ(scheduler.SecondsLeft(), 420);
    EXPECT_EQ(scheduler.PollMinutes(), 7);
    scheduler.PoolingEvent().setInterval(5);
    scheduler.RestartCountdown();
    EXPECT_FALSE(scheduler.PoolingEvent().isActive());
    EXPECT_EQ(scheduler.PoolingEvent().interval(), 1000);
}

TEST_F(Scheduler, UpdateNowMarksReadChecksAndRestartsFromTheFullPeriod)
{
    const int work = addAccount(QStringLiteral("Work"));
    pop.mailbox = { fakeMessage(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("<a>")) };
    QCoro::waitFor(scheduler.PollCycle());
    ASSERT_EQ(messageImages(work), QStringList { Image::NewMail });
    host.hiddenInTray = true;
    clock.advance(17000);
    ASSERT_EQ(scheduler.SecondsLeft(), 300 - 17);
    host.trayPictures.clear();
    host.captions.clear();
    pop.mailbox << fakeMessage(QStringLiteral("B"), QStringLiteral("X"), QStringLiteral("<b>"));
    QCoro::waitFor(scheduler.CheckNow());
    EXPECT_TRUE(host.events.contains(QStringLiteral("restore")));
    EXPECT_EQ(messageImages(work), (QStringList { Image::Mail, Image::NewMail }));
    EXPECT_EQ(host.mailCounts().newMail, 0); // what the check showed counts as read
    EXPECT_EQ(state.ReadCount(), 2);
    EXPECT_EQ(scheduler.SecondsLeft(), 300);
    EXPECT_TRUE(scheduler.PoolingEvent().isActive());
    EXPECT_TRUE(host.trayPictures.isEmpty());
    EXPECT_TRUE(host.captions.isEmpty());
}

TEST_F(Scheduler, OnceRunPrintsTheTree)
{
    addAccount(QStringLiteral("Work"));
    addAccount(QStringLiteral("Home"), true);
    pop.mailbox = { fakeMessage(QStringLiteral("Minutes"), QStringLiteral("Ann"), QStringLiteral("<a>"), 2417) };
    EXPECT_EQ(QCoro::waitFor(RunOnce(state, pop)).tree,
        QStringLiteral("Work --- 1 message --- Totaling 2,417 bytes. [NoMail]\n"
                       "  #1 --- 2,417 bytes --- Subject : Minutes --- From : Ann [NewMail]\n"
                       "Home--- Disabled. [Closed]\n"));
    EXPECT_EQ(state.SeenCount(), 1);
}

TEST_F(Scheduler, AStoredPeriodTheOptionsWouldRefuseCountsAsFiveMinutes)
{
    QTemporaryDir dir;
    SettingsStore store(dir.filePath(QStringLiteral("Ormisk.conf")));
    const auto load = [&](const char* stored) {
        store.write(Section::Config, QStringLiteral("PoolingTime"), QLatin1String(stored));
        state.options = LoadOptions(store, QString());
        return state.options.PoolingTime;
    };
    for (const char* stored : { "40000000", "35791395", "0", "-3" })
        EXPECT_EQ(load(stored), 5) << stored;
    EXPECT_EQ(load("35791394"), 35791394) << "the longest period the options accept is kept";

    // The longest period counts down without overflowing, and a cycle starts only at zero.
    addAccount(QStringLiteral("Work"));
    scheduler.start();
    clock.advance(4000);
    QCoro::waitFor(scheduler.tick());
    ASSERT_EQ(pop.conversations, 1);
    EXPECT_EQ(scheduler.SecondsLeft(), 35791394 * 60);
    for (int i = 0; i < 3; ++i)
        QCoro::waitFor(scheduler.tick());
    EXPECT_EQ(pop.conversations, 1);
    EXPECT_EQ(host.timeTexts.last(), QStringLiteral("93:57"));

    // A period that bypassed the options still counts as the default.
    state.options.PoolingTime = 40000000;
    scheduler.ApplyPollPeriod();
    EXPECT_EQ(scheduler.SecondsLeft(), 300);
}

TEST_F(Scheduler, SuspendDuringTheCyclesSoundHoldsThroughTheCyclesEnd)
{
    addAccount(QStringLiteral("Work"));
    pop.mailbox = { fakeMessage(QStringLiteral("A"), QStringLiteral("Zed"), QStringLiteral("<a>")),
        fakeMessage(QStringLiteral("B"), QStringLiteral("Amy"), QStringLiteral("<b>")) };
    state.options.PlayWav = true;
    for (const char* sender : { "zed", "amy" }) {
        WavAction a;
        a.SenderText = QLatin1String(sender);
        a.WavFile = QLatin1String(sender) + QStringLiteral(".wav");
        state.wavActions.append(a);
    }
    // The second sound waits for the first, with window events running: the user suspends then.
    host.whilePlaying = [&] {
        if (host.played.size() == 2)
            scheduler.Suspend();
    };
    scheduler.start();
    QCoro::waitFor(scheduler.PollCycle());
    ASSERT_EQ(host.played.size(), 2);
    EXPECT_FALSE(scheduler.PoolingEvent().isActive());
    EXPECT_TRUE(scheduler.Suspended());
    EXPECT_EQ(host.caption, Caption::Suspended);
    EXPECT_EQ(host.trayPicture, TrayPicture::Suspended);
    EXPECT_FALSE(menus().mnuUpdateNow.enabled);
    EXPECT_TRUE(menus().mnuResume.visible);
    scheduler.Resume();
    EXPECT_TRUE(scheduler.PoolingEvent().isActive());
    clock.advance(1000);
    EXPECT_EQ(host.timeTexts.last(), QStringLiteral("04:59"));

    // Suspend and resume within the wait: the countdown waits for the cycle to end, and "Update
    // Now" stays off until then.
    bool runningInWait = true;
    bool updateNowInWait = true;
    host.played.clear();
    host.whilePlaying = [&] {
        if (host.played.size() != 2)
            return;
        scheduler.Suspend();
        scheduler.Resume();
        runningInWait = scheduler.PoolingEvent().isActive();
        updateNowInWait = menus().mnuUpdateNow.enabled;
        {
            DialogPause pause(scheduler);
        }
        runningInWait = runningInWait || scheduler.PoolingEvent().isActive();
    };
    pop.mailbox << fakeMessage(QStringLiteral("C"), QStringLiteral("Zed"), QStringLiteral("<c>"));
    QCoro::waitFor(scheduler.PollCycle());
    ASSERT_EQ(host.played.size(), 2);
    EXPECT_FALSE(runningInWait);
    EXPECT_FALSE(updateNowInWait);
    EXPECT_TRUE(scheduler.PoolingEvent().isActive());
    EXPECT_TRUE(menus().mnuUpdateNow.enabled);
    EXPECT_EQ(scheduler.SecondsLeft(), 300);
}

TEST_F(Scheduler, ZeroWhileAConversationIsOpenWaitsAtZeroAndSuspendingMidCycleChecksNoFurther)
{
    addAccount(QStringLiteral("Work"));
    addAccount(QStringLiteral("Home"));
    scheduler.start();
    clock.advance(4000);
    // A command's conversation holds the server when the countdown runs out: the cycle is tried
    // again on each tick, which never counts below zero.
    engine.beginConversation();
    clock.advance(2000);
    EXPECT_EQ(host.timeTexts.mid(host.timeTexts.size() - 2), QStringList(2, QStringLiteral("00:00")));
    EXPECT_EQ(scheduler.SecondsLeft(), 0);
    EXPECT_EQ(pop.conversations, 0);
    engine.endConversation();

    // Suspended while the first account's conversation ends: the second one is left alone.
    pop.onAnswer = [&](const QString& request) {
        if (request == QStringLiteral("quit"))
            scheduler.Suspend();
    };
    clock.advance(1000);
    ASSERT_TRUE(ormisk::testing::waitUntil([&] { return !scheduler.cycleRunning(); }, 5000));
    EXPECT_EQ(pop.conversations, 1);
    EXPECT_FALSE(scheduler.PoolingEvent().isActive());
}
