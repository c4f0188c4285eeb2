#include "engine/PollScheduler.h"

#include "engine/AccountCheck.h"
#include "engine/NodeTree.h"
#include "engine/RuleMatching.h"
#include "engine/SeenLists.h"
#include "engine/ShellHost.h"
#include "engine/TreeOps.h"
#include "store/AppState.h"
#include "store/Options.h"

namespace ormisk {

namespace {
// The countdown counts whole seconds.
constexpr int kTickMs = 1000;

QString lastTwo(qint32 value) { return (QStringLiteral("0") + QString::number(value)).right(2); }

// A period the options would refuse counts as the default: its seconds could overflow, or be zero
// and start a cycle on every tick.
qint32 periodSeconds(qint32 minutes) { return (IsAcceptedPollMinutes(minutes) ? minutes : kDefaultPollMinutes) * 60; }
} // namespace

PollScheduler::PollScheduler(MailEngine& engine, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
{
    m_timer.setInterval(kTickMs);
    // A cycle the tick starts runs on by itself; the next tick finds it running.
    connect(&m_timer, &QTimer::timeout, this, [this] { (void)tick(); });
}

QString PollScheduler::timeLeftText(qint32 secondsLeft)
{
    const qint32 minutes = secondsLeft / 60;
    const qint32 seconds = secondsLeft - 60 * minutes;
    return lastTwo(minutes) + QLatin1Char(':') + lastTwo(seconds);
}

void PollScheduler::start()
{
    AppState& s = m_engine.state();
    s.SecondsLeft = 5;
    s.PollMinutes = s.options.PoolingTime;
    m_timer.setInterval(kTickMs);
    m_timer.start();
}

QCoro::Task<> PollScheduler::tick()
{
    AppState& s = m_engine.state();
    // Zero is as low as it goes: a cycle that could not start at zero (a command's conversation
    // is open) is tried again on the next tick, still showing 00:00.
    s.SecondsLeft = s.SecondsLeft > 0 ? s.SecondsLeft - 1 : 0;
    m_engine.host().showTimeLeft(timeLeftText(s.SecondsLeft));
    if (s.SecondsLeft > 0)
        co_return;
    if (s.AccountCount() == 0) {
        s.SecondsLeft = periodSeconds(s.PollMinutes);
        co_return;
    }
    co_await PollCycle();
}

QCoro::Task<MailCounts> PollScheduler::checkAllAccounts()
{
    MailCounts counts;
    AppState& s = m_engine.state();
    NodeTree& tree = m_engine.tree();
    const qint16 count = s.AccountCount();
    for (qint16 i = 1; i <= count && i <= s.AccountCount() && !m_stopRequested; ++i) {
        AddAccountNode(s, tree, i, Status::Checking);
        const QString key = s.account(i).NodeKey;
        tree.setSelected(key);
        if (s.account(i).Disabled)
            continue;
        s.CurrentAccount = i;
        counts += co_await m_engine.CheckAccount();
    }
    co_return counts;
}

void PollScheduler::updateNewMailWindow(bool giveFocus, qint32 newMail)
{
    AppState& s = m_engine.state();
    ShellHost& host = m_engine.host();
    if (s.NewMailShown) {
        if (s.options.AutoDialog)
            host.updateNewMailWindow(giveFocus, newMail);
    } else if (newMail > 0 && s.options.AutoDialog) {
        host.openNewMailWindow(newMail);
    }
}

QCoro::Task<> PollScheduler::PollCycle()
{
    if (cycleRunning() || m_engine.inConversation())
        co_return;
    m_running = Running::PollCycle;
    AppState& s = m_engine.state();
    ShellHost& host = m_engine.host();
    NodeTree& tree = m_engine.tree();

    s.menus.mnuUpdateNow.enabled = false;
    host.applyMenus();
    m_timer.stop();
    if (m_timer.interval() != kTickMs)
        m_timer.setInterval(kTickMs);
    if (s.options.RunInTray)
        host.setTrayPicture(TrayPicture::Checking);
    if (host.isMinimized() && !s.options.RunInTray)
        host.setCaption(Caption::Checking);
    tree.clear();
    m_engine.forgetListings();
    const MailCounts counts = co_await checkAllAccounts();
    host.showMailCounts(counts);
    host.hideSelection();
    RememberSeen(s, tree);
    host.setCaption(Caption::Normal);
    updateNewMailWindow(true, counts.newMail);
    if (s.options.RunInTray)
        host.setTrayPicture(counts.waiting == 0 ? TrayPicture::Idle : TrayPicture::MailWaiting);
    // The sound step waits for each sound but the first while window events run, so the user may
    // suspend (and resume) monitoring meanwhile.
    if (!m_stopRequested)
        co_await RunSoundStep(s, tree, host, counts.unseen);
    m_stopRequested = false;
    s.SecondsLeft = periodSeconds(s.PollMinutes);
    m_running = Running::None;
    startCountdownUnlessSuspended();
    s.menus.mnuUpdateNow.enabled = !s.Suspended;
    host.applyMenus();
}

QCoro::Task<> PollScheduler::CheckNow()
{
    if (cycleRunning() || m_engine.inConversation())
        co_return;
    m_running = Running::CheckNow;
    AppState& s = m_engine.state();
    ShellHost& host = m_engine.host();
    NodeTree& tree = m_engine.tree();

    RestartCountdown();
    if (host.isMinimized() || host.isHiddenInTray())
        host.restoreWindow();
    host.focusTree();
    MarkAllRead(s, tree);
    SnapshotRead(s, tree);
    tree.clear();
    m_engine.forgetListings();
    const MailCounts counts = co_await checkAllAccounts();
    updateNewMailWindow(false, counts.newMail);
    SnapshotRead(s, tree);
    ShowCheckedAsRead(host, counts);
    host.hideSelection();
    m_stopRequested = false;
    m_running = Running::None;
    startCountdownUnlessSuspended();
}

void PollScheduler::Suspend()
{
    AppState& s = m_engine.state();
    ShellHost& host = m_engine.host();
    m_timer.stop();
    s.Suspended = true;
    if (s.options.RunInTray)
        host.setTrayPicture(TrayPicture::Suspended);
    host.setCaption(Caption::Suspended);
    RefreshMenuState();
    host.hideSelection();
}

void PollScheduler::Resume()
{
    AppState& s = m_engine.state();
    ShellHost& host = m_engine.host();
    s.Suspended = false;
    startCountdownUnlessSuspended();
    if (s.options.RunInTray)
        host.setTrayPicture(TrayPicture::Idle);
    host.setCaption(Caption::Normal);
    RefreshMenuState();
}

void PollScheduler::RestartCountdown()
{
    AppState& s = m_engine.state();
    m_timer.stop();
    s.SecondsLeft = periodSeconds(s.PollMinutes);
    if (m_timer.interval() != kTickMs)
        m_timer.setInterval(kTickMs);
}

void PollScheduler::RefreshMenuState()
{
    // The entries that act on the selection follow it in the window; here the monitoring state.
    AppState& s = m_engine.state();
    MenuState& m = s.menus;
    if (s.Suspended) {
        m.mnuUpdateNow.enabled = false;
        m.mnuResume = { true, true };
        m.mnuSuspend = { false, false };
    } else {
        // A poll cycle keeps "Update Now" off until it ends, whatever asks for the menus meanwhile.
        m.mnuUpdateNow.enabled = m_running != Running::PollCycle;
        m.mnuResume = { false, false };
        m.mnuSuspend = { true, true };
    }
    m_engine.host().applyMenus();
}

void PollScheduler::ApplyPollPeriod()
{
    AppState& s = m_engine.state();
    const bool wasRunning = m_timer.isActive();
    m_timer.stop();
    s.PollMinutes = s.options.PoolingTime;
    s.SecondsLeft = periodSeconds(s.PollMinutes);
    if (wasRunning)
        m_timer.start();
}

void PollScheduler::pauseForDialog() { m_timer.stop(); }

void PollScheduler::resumeAfterDialog() { startCountdownUnlessSuspended(); }

void PollScheduler::startCountdownUnlessSuspended()
{
    // A cycle in progress starts the countdown itself when it ends; starting it earlier would let
    // ticks run down during the cycle.
    if (!m_engine.state().Suspended && !cycleRunning())
        m_timer.start();
}

} // namespace ormisk
