#pragma once
// Time that passes only when a test moves it on. Timers from this clock fire in advance(), in the
// order they fall due (those due at the same moment in the order they were started), so a test of
// a minute-long time-out takes no time and always sees the same order of events.
#include "pop/Clock.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <vector>

namespace ormisk::testing {

class VirtualTimer;

class VirtualClock : public QObject, public Clock {
    Q_OBJECT
public:
    explicit VirtualClock(QObject* parent = nullptr);
    ~VirtualClock() override;

    Timer* createTimer(QObject* parent) override;

    // Milliseconds since the clock was made.
    [[nodiscard]] qint64 now() const { return m_now; }

    // Moves time on by ms. Every timer due meanwhile fires at its moment, a repeating one as often
    // as it falls due, and work posted by each firing (queued calls, replies read from sockets)
    // runs before the next one, as it would in real time.
    void advance(qint64 ms);
    // Moves time on to the next moment a timer is due and fires what is due then; false when no
    // timer is running.
    bool advanceToNext();
    [[nodiscard]] bool hasActiveTimers() const;

    // While on, time moves on to the next timer whenever every event loop of the thread has had
    // nothing to do for a few real milliseconds: a test that waits for an outcome with the event
    // loop running (a server that stays silent, a delayed reply) never sleeps through a time-out.
    // Everything the test waits on must then take its time from this clock.
    void setAdvanceWhenIdle(bool on);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class VirtualTimer;
    void schedule(VirtualTimer* timer);
    void unschedule(VirtualTimer* timer);
    [[nodiscard]] VirtualTimer* nextDue(qint64 until) const;
    void fire(VirtualTimer* timer);
    void onIdleProbe();

    qint64 m_now = 0;
    quint64 m_sequence = 0; // start order, for timers due at the same moment
    std::vector<VirtualTimer*> m_timers; // every timer made here and still alive

    bool m_advanceWhenIdle = false;
    QTimer m_idleProbe;
    QElapsedTimer m_sinceActivity;
    int m_quietProbes = 0;
};

} // namespace ormisk::testing
