#include "EngineFixture.h"

#include "engine/OnceRun.h"
#include "engine/PollScheduler.h"
#include "store/Options.h"
#include "store/SettingsStore.h"

#include <QSignalSpy>

using namespace ormisk;
using namespace ormisk::test;

namespace {

class Scheduler : public EngineFixture {
protected:
    Scheduler() { state.options.LogDisabled = true; }
    ~Scheduler() override { scheduler.PoolingEvent().stop(); }
    PollScheduler scheduler { engine };
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
    EXPECT_EQ(state.SecondsLeft, 5);
    EXPECT_EQ(state.PollMinutes, 120);
    for (int i = 0; i < 4; ++i)
        QCoro::waitFor(scheduler.tick());
    EXPECT_EQ(host.timeTexts.last(), QStringLiteral("00:01"));
    EXPECT_EQ(pop.conversations, 0);
    QCoro::waitFor(scheduler.tick());
    EXPECT_EQ(host.timeTexts.last(), QStringLiteral("00:00"));
    EXPECT_EQ(pop.conversations, 1);
    EXPECT_EQ(accountText(1), QStringLiteral("Work --- No messages."));
    EXPECT_EQ(state.SecondsLeft, 7200);
    EXPECT_TRUE(scheduler.PoolingEvent().isActive());
    QCoro::waitFor(scheduler.tick());
    EXPECT_EQ(host.timeTexts.last(), QStringLiteral("19:59"));
}

TEST_F(Scheduler, TheTimerItselfDrivesTheCountdown)
{
    scheduler.start();
    scheduler.PoolingEvent().setInterval(5); // shortened for the test; a cycle resets it to 1000
    state.SecondsLeft = 3;
    QSignalSpy ticks(&scheduler.PoolingEvent(), &QTimer::timeout);
    while (ticks.size() < 2)
        ASSERT_TRUE(ticks.wait(5000));
    EXPECT_EQ(host.timeTexts, (QStringList { QStringLiteral("00:02"), QStringLiteral("00:01") }));
}

TEST_F(Scheduler, NoAccountsOnlyRestartsTheCountdown)
{
    tree.add({}, QStringLiteral("P9"), QStringLiteral("left over"), Image::NoMail);
    scheduler.start();
    state.SecondsLeft = 1;
    QCoro::waitFor(scheduler.tick());
    EXPECT_EQ(state.SecondsLeft, 300);
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
    state.NewMailShown = true;
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
    EXPECT_TRUE(state.menus.mnuUpdateNow.enabled);
}

TEST_F(Scheduler, SuspendKeepsTheCountdownAndTheMenusFollow)
{
    addAccount(QStringLiteral("Work"));
    scheduler.start();
    state.SecondsLeft = 191;
    QCoro::waitFor(scheduler.tick());
    EXPECT_EQ(host.timeTexts.last(), QStringLiteral("03:10"));
    scheduler.Suspend();
    EXPECT_FALSE(scheduler.PoolingEvent().isActive());
    EXPECT_EQ(host.caption, Caption::Suspended);
    EXPECT_EQ(host.trayPicture, TrayPicture::Suspended);
    const MenuState& m = state.menus;
    EXPECT_FALSE(m.mnuUpdateNow.enabled);
    EXPECT_TRUE(m.mnuResume.enabled && m.mnuResume.visible);
    EXPECT_FALSE(m.mnuSuspend.enabled || m.mnuSuspend.visible);
    {
        DialogPause pause(scheduler); // a dialog opened while suspended leaves the timer stopped
    }
    EXPECT_FALSE(scheduler.PoolingEvent().isActive());
    scheduler.Resume();
    EXPECT_TRUE(scheduler.PoolingEvent().isActive());
    EXPECT_EQ(host.caption, Caption::Normal);
    EXPECT_EQ(host.trayPicture, TrayPicture::Idle);
    EXPECT_TRUE(m.mnuUpdateNow.enabled);
    EXPECT_TRUE(m.mnuSuspend.visible);
    EXPECT_FALSE(m.mnuResume.visible);
    QCoro::waitFor(scheduler.tick());
    EXPECT_EQ(host.timeTexts.last(), QStringLiteral("03:09"));
}

TEST_F(Scheduler, DialogPauseAndNewPeriod)
{
    scheduler.start();
    state.SecondsLeft = 100;
    {
        DialogPause pause(scheduler);
        EXPECT_FALSE(scheduler.PoolingEvent().isActive());
        state.options.PoolingTime = 7;
        scheduler.ApplyPollPeriod(); // the timer was paused, so it stays stopped here
        EXPECT_FALSE(scheduler.PoolingEvent().isActive());
    }
    EXPECT_TRUE(scheduler.PoolingEvent().isActive());
    EXPECT_EQ(state.SecondsLeft, 420);
    EXPECT_EQ(state.PollMinutes, 7);
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
    state.SecondsLeft = 17;
    host.trayPictures.clear();
    host.captions.clear();
    pop.mailbox << fakeMessage(QStringLiteral("B"), QStringLiteral("X"), QStringLiteral("<b>"));
    QCoro::waitFor(scheduler.CheckNow());
    EXPECT_TRUE(host.events.contains(QStringLiteral("restore")));
    EXPECT_EQ(messageImages(work), (QStringList { Image::Mail, Image::NewMail }));
    EXPECT_EQ(host.mailCounts().newMail, 0); // what the check showed counts as read
    EXPECT_EQ(state.ReadCount(), 2);
    EXPECT_EQ(state.SecondsLeft, 300);
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
    state.SecondsLeft = 1;
    QCoro::waitFor(scheduler.tick());
    ASSERT_EQ(pop.conversations, 1);
    EXPECT_EQ(state.SecondsLeft, 35791394 * 60);
    for (int i = 0; i < 3; ++i)
        QCoro::waitFor(scheduler.tick());
    EXPECT_EQ(pop.conversations, 1);
    EXPECT_EQ(host.timeTexts.last(), QStringLiteral("93:57"));

    // A period that bypassed the options still counts as the default.
    state.options.PoolingTime = 40000000;
    scheduler.ApplyPollPeriod();
    EXPECT_EQ(state.SecondsLeft, 300);
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
    EXPECT_TRUE(state.Suspended);
    EXPECT_EQ(host.caption, Caption::Suspended);
    EXPECT_EQ(host.trayPicture, TrayPicture::Suspended);
    EXPECT_FALSE(state.menus.mnuUpdateNow.enabled);
    EXPECT_TRUE(state.menus.mnuResume.visible);
    scheduler.Resume();
    EXPECT_TRUE(scheduler.PoolingEvent().isActive());
    QCoro::waitFor(scheduler.tick());
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
        updateNowInWait = state.menus.mnuUpdateNow.enabled;
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
    EXPECT_TRUE(state.menus.mnuUpdateNow.enabled);
    EXPECT_EQ(state.SecondsLeft, 300);

    // The countdown never shows less than zero, even if a tick finds nothing left.
    state.SecondsLeft = 0;
    state.accounts.clear();
    QCoro::waitFor(scheduler.tick());
    EXPECT_EQ(host.timeTexts.last(), QStringLiteral("00:00"));
}
