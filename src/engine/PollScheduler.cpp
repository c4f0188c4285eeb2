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

PollScheduler::PollScheduler(MailEngine& engine, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_timer(clock.createTimer(this))
{
    m_timer->setInterval(kTickMs);
    // A cycle the tick starts runs on by itself; the next tick finds it running.
    connect(m_timer, &Timer::timeout, this, [this] { (void)tick(); });
}

QString PollScheduler::timeLeftText(qint32 secondsLeft)
{
    const qint32 minutes = secondsLeft / 60;
    const qint32 seconds = secondsLeft - 60 * minutes;
    return lastTwo(minutes) + QLatin1Char(':') + lastTwo(seconds);
}

void PollScheduler::start()
{
    m_secondsLeft = 5;
    m_pollMinutes = m_engine.state().options.PoolingTime;
    m_timer->setInterval(kTickMs);
    m_timer->start();
}

QCoro::Task<> PollScheduler::tick()
{
    // Zero is as low as it goes: a cycle that could not start at zero (a command's conversation
    // is open) is tried again on the next tick, still showing 00:00.
    m_secondsLeft = m_secondsLeft > 0 ? m_secondsLeft - 1 : 0;
    m_engine.host().showTimeLeft(timeLeftText(m_secondsLeft));
    if (m_secondsLeft > 0)
        co_return;
    if (m_engine.state().AccountCount() == 0) {
        m_secondsLeft = periodSeconds(m_pollMinutes);
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
        // Suspending while a cycle runs leaves the accounts not yet checked alone.
        if (!m_suspended)
            counts += co_await m_engine.CheckAccount();
    }
    co_return counts;
}

void PollScheduler::updateNewMailWindow(bool giveFocus, qint32 newMail)
{
    AppState& s = m_engine.state();
    ShellHost& host = m_engine.host();
    if (host.newMailWindowShown()) {
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

    host.applyMenus();
    m_timer->stop();
    if (m_timer->interval() != kTickMs)
        m_timer->setInterval(kTickMs);
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
    m_secondsLeft = periodSeconds(m_pollMinutes);
    m_running = Running::None;
    startCountdownUnlessSuspended();
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
    MarkAllRead(s, tree, m_engine.inConversation());
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
    m_timer->stop();
    m_suspended = true;
    if (s.options.RunInTray)
        host.setTrayPicture(TrayPicture::Suspended);
    host.setCaption(Caption::Suspended);
    host.applyMenus();
    host.hideSelection();
}

void PollScheduler::Resume()
{
    AppState& s = m_engine.state();
    ShellHost& host = m_engine.host();
    m_suspended = false;
    startCountdownUnlessSuspended();
    if (s.options.RunInTray)
        host.setTrayPicture(TrayPicture::Idle);
    host.setCaption(Caption::Normal);
    host.applyMenus();
}

void PollScheduler::RestartCountdown()
{
    m_timer->stop();
    m_secondsLeft = periodSeconds(m_pollMinutes);
    if (m_timer->interval() != kTickMs)
        m_timer->setInterval(kTickMs);
}

MonitoringState PollScheduler::monitoring() const
{
    return { m_engine.inConversation(), m_running == Running::PollCycle, m_suspended };
}

void PollScheduler::ApplyPollPeriod()
{
    AppState& s = m_engine.state();
    const bool wasRunning = m_timer->isActive();
    m_timer->stop();
    m_pollMinutes = s.options.PoolingTime;
    m_secondsLeft = periodSeconds(m_pollMinutes);
    if (wasRunning)
        m_timer->start();
}

void PollScheduler::pauseForDialog() { m_timer->stop(); }

void PollScheduler::resumeAfterDialog() { startCountdownUnlessSuspended(); }

void PollScheduler::startCountdownUnlessSuspended()
{
    // A cycle in progress starts the countdown itself when it ends; starting it earlier would let
    // ticks run down during the cycle.
    if (!m_suspended && !cycleRunning())
        m_timer->start();
}

} // namespace ormisk
