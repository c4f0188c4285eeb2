#include "support/VirtualClock.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>
#include <limits>

namespace ormisk::testing {

namespace {

// How long every event loop must have had nothing to do before time moves on. Loopback traffic
// inside one process never pauses that long between its events.
constexpr qint64 kQuietMs = 20;
constexpr int kQuietProbes = 3;

} // namespace

class VirtualTimer final : public Timer {
public:
    VirtualTimer(VirtualClock* clock, QObject* parent)
        : Timer(parent)
        , m_clock(clock)
    {
    }
    ~VirtualTimer() override
    {
        if (m_clock)
            m_clock->unschedule(this);
    }

    void setInterval(int ms) override
    {
        m_interval = ms;
        if (m_active)
            start();
    }
    [[nodiscard]] int interval() const override { return m_interval; }
    void setSingleShot(bool singleShot) override { m_singleShot = singleShot; }
    [[nodiscard]] bool isSingleShot() const override { return m_singleShot; }
    void start() override
    {
        if (!m_clock)
            return;
        m_active = true;
        m_due = m_clock->now() + std::max(0, m_interval);
        m_clock->schedule(this);
    }
    void stop() override { m_active = false; }
    [[nodiscard]] bool isActive() const override { return m_active; }

private:
    friend class VirtualClock;
    VirtualClock* m_clock;
    int m_interval = 0;
    bool m_singleShot = false;
    bool m_active = false;
    qint64 m_due = 0;
    quint64 m_sequence = 0;
};

VirtualClock::VirtualClock(QObject* parent)
    : QObject(parent)
{
    m_idleProbe.setInterval(1);
    m_idleProbe.setTimerType(Qt::PreciseTimer);
    connect(&m_idleProbe, &QTimer::timeout, this, &VirtualClock::onIdleProbe);
}

VirtualClock::~VirtualClock()
{
    setAdvanceWhenIdle(false);
    for (VirtualTimer* timer : m_timers)
        timer->m_clock = nullptr; // they stay with their owners, stopped for good
}

Timer* VirtualClock::createTimer(QObject* parent)
{
    auto* timer = new VirtualTimer(this, parent);
    m_timers.push_back(timer);
    return timer;
}

void VirtualClock::schedule(VirtualTimer* timer)
{
    timer->m_sequence = ++m_sequence;
    if (m_advanceWhenIdle && !m_idleProbe.isActive())
        m_idleProbe.start();
}

void VirtualClock::unschedule(VirtualTimer* timer) { std::erase(m_timers, timer); }

bool VirtualClock::hasActiveTimers() const
{
    return std::any_of(m_timers.cbegin(), m_timers.cend(), [](const VirtualTimer* t) { return t->m_active; });
}

VirtualTimer* VirtualClock::nextDue(qint64 until) const
{
    VirtualTimer* next = nullptr;
    for (VirtualTimer* t : m_timers) {
        if (t->m_active && t->m_due <= until
            && (!next || t->m_due < next->m_due || (t->m_due == next->m_due && t->m_sequence < next->m_sequence)))
            next = t;
    }
    return next;
}

void VirtualClock::fire(VirtualTimer* timer)
{
    m_now = std::max(m_now, timer->m_due);
    if (timer->m_singleShot) {
        timer->m_active = false;
    } else {
        timer->m_due = m_now + std::max(1, timer->m_interval);
        timer->m_sequence = ++m_sequence;
    }
    emit timer->timeout(); // may stop, start or delete any timer, this one included
}

void VirtualClock::advance(qint64 ms)
{
    const qint64 until = m_now + std::max<qint64>(0, ms);
    while (VirtualTimer* timer = nextDue(until)) {
        fire(timer);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    m_now = until;
}

bool VirtualClock::advanceToNext()
{
    VirtualTimer* first = nextDue(std::numeric_limits<qint64>::max());
    if (!first)
        return false;
    const qint64 moment = first->m_due;
    while (VirtualTimer* timer = nextDue(moment))
        fire(timer);
    return true;
}

void VirtualClock::setAdvanceWhenIdle(bool on)
{
    if (on == m_advanceWhenIdle)
        return;
    m_advanceWhenIdle = on;
    if (on) {
        QCoreApplication::instance()->installEventFilter(this);
        m_sinceActivity.start();
        m_quietProbes = 0;
        m_idleProbe.start();
    } else {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeEventFilter(this);
        m_idleProbe.stop();
    }
}

// Every event of the thread but the probe's own means something is still going on.
bool VirtualClock::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_idleProbe) {
        m_sinceActivity.restart();
        m_quietProbes = 0;
    }
    return QObject::eventFilter(watched, event);
}

void VirtualClock::onIdleProbe()
{
    if (!hasActiveTimers()) {
        m_idleProbe.stop();
        return;
    }
    if (++m_quietProbes < kQuietProbes || m_sinceActivity.elapsed() < kQuietMs)
        return;
    advanceToNext();
    m_sinceActivity.restart();
    m_quietProbes = 0;
}

} // namespace ormisk::testing
