#pragma once
// When accounts are polled: a one-second countdown (PoolingEvent) that runs a poll cycle at zero,
// "Update Now", suspend and resume, and the pause of the countdown while a dialog is open. The
// scheduler owns the period, the seconds left and the suspended state; others read them here.
#include "engine/MailCounts.h"
#include "pop/Clock.h"
#include "store/MenuState.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>

namespace ormisk {

class MailEngine;

namespace Caption {
inline const QString Normal = QStringLiteral("Ormisk");
inline const QString Checking = QStringLiteral("Ormisk (checking)");
inline const QString Suspended = QStringLiteral("Ormisk (Suspended)");
} // namespace Caption

class PollScheduler : public QObject {
    Q_OBJECT
public:
    // The countdown's timer comes from `clock`; tests hand in one whose time they move on.
    explicit PollScheduler(MailEngine& engine, Clock& clock = Clock::system(), QObject* parent = nullptr);

    // The countdown timer: one tick a second (1000 ms, the unit the countdown counts in).
    [[nodiscard]] Timer& PoolingEvent() { return *m_timer; }
    [[nodiscard]] const Timer& PoolingEvent() const { return *m_timer; }

    // The period in minutes (PoolingTime as of start-up or the last ApplyPollPeriod), the
    // seconds the countdown has left, and whether monitoring is suspended.
    [[nodiscard]] qint32 PollMinutes() const { return m_pollMinutes; }
    [[nodiscard]] qint32 SecondsLeft() const { return m_secondsLeft; }
    [[nodiscard]] bool Suspended() const { return m_suspended; }

    // Start-up: PollMinutes from PoolingTime, first cycle 5 seconds from now.
    void start();
    // One countdown tick (the timer's handler; tests call it directly). Ends once a cycle it
    // started has ended.
    [[nodiscard]] QCoro::Task<> tick();
    // Each ends when its last check and step have; neither starts while the other runs or a
    // command's conversation is open.
    [[nodiscard]] QCoro::Task<> PollCycle();
    [[nodiscard]] QCoro::Task<> CheckNow();
    void Suspend();
    void Resume();
    // Stops the countdown and sets it to the full period; does not start it.
    void RestartCountdown();
    // What the menus of the monitoring state follow (see MonitoringMenus).
    [[nodiscard]] MonitoringState monitoring() const;
    // After the options were saved: the new period takes effect at once, counting from its full
    // length; the countdown runs again only if it was running.
    void ApplyPollPeriod();

    // The dialog pause (see DialogPause).
    void pauseForDialog();
    void resumeAfterDialog();

    // True while PollCycle or CheckNow runs.
    [[nodiscard]] bool cycleRunning() const { return m_running != Running::None; }
    // The program is closing: a running cycle checks no further account and plays no sound, so
    // it ends as soon as the conversation in progress does.
    void stopCycle() { m_stopRequested = cycleRunning(); }

    // "MM:SS" of the countdown box: the last two digits of each.
    [[nodiscard]] static QString timeLeftText(qint32 secondsLeft);

private:
    // What the checks counted, added up.
    [[nodiscard]] QCoro::Task<MailCounts> checkAllAccounts();
    void updateNewMailWindow(bool giveFocus, qint32 newMail);
    // Monitoring stays stopped while suspended, and a running cycle restarts the countdown itself.
    void startCountdownUnlessSuspended();

    enum class Running { None, PollCycle, CheckNow };

    MailEngine& m_engine;
    Timer* m_timer;
    qint32 m_pollMinutes = 5;
    qint32 m_secondsLeft = 5;
    bool m_suspended = false;
    Running m_running = Running::None;
    bool m_stopRequested = false;
};

// Stops the countdown for as long as a dialog or a command's own conversation lasts; on
// destruction starts it again unless monitoring is suspended.
class DialogPause {
public:
    explicit DialogPause(PollScheduler& scheduler)
        : m_scheduler(scheduler)
    {
        m_scheduler.pauseForDialog();
    }
    ~DialogPause() { m_scheduler.resumeAfterDialog(); }
    DialogPause(const DialogPause&) = delete;
    DialogPause& operator=(const DialogPause&) = delete;

private:
    PollScheduler& m_scheduler;
};

} // namespace ormisk
