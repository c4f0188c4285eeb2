#include "pop/Clock.h"

#include <QTimer>

namespace ormisk {

namespace {

class SystemTimer final : public Timer {
public:
    explicit SystemTimer(QObject* parent)
        : Timer(parent)
    {
        connect(&m_timer, &QTimer::timeout, this, &Timer::timeout);
    }

    void setInterval(int ms) override { m_timer.setInterval(ms); }
    [[nodiscard]] int interval() const override { return m_timer.interval(); }
    void setSingleShot(bool singleShot) override { m_timer.setSingleShot(singleShot); }
    [[nodiscard]] bool isSingleShot() const override { return m_timer.isSingleShot(); }
    void start() override { m_timer.start(); }
    void stop() override { m_timer.stop(); }
    [[nodiscard]] bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

class SystemClock final : public Clock {
public:
    Timer* createTimer(QObject* parent) override { return new SystemTimer(parent); }
};

} // namespace

Clock& Clock::system()
{
    static SystemClock clock;
    return clock;
}

} // namespace ormisk
