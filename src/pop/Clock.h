#pragma once
// Where time-outs and countdowns get their timers. The program runs on the system clock, with a
// QTimer under every timer; a test hands in a clock of its own, so that a minute-long time-out
// passes in a moment and timers fire in a known order.
#include <QObject>

#include <utility>

namespace ormisk {

// The part of QTimer that time-outs and countdowns use, with the same meaning: start() (re)starts
// with the interval, setting the interval of a running timer restarts it, and a single-shot timer
// is no longer active when its timeout() is emitted.
class Timer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void setInterval(int ms) = 0;
    [[nodiscard]] virtual int interval() const = 0;
    virtual void setSingleShot(bool singleShot) = 0;
    [[nodiscard]] virtual bool isSingleShot() const = 0;
    virtual void start() = 0;
    void start(int ms)
    {
        setInterval(ms);
        start();
    }
    virtual void stop() = 0;
    [[nodiscard]] virtual bool isActive() const = 0;

signals:
    void timeout();
};

class Clock {
public:
    virtual ~Clock() = default;

    // A stopped, repeating timer, as a new QTimer is; parent owns it.
    [[nodiscard]] virtual Timer* createTimer(QObject* parent) = 0;

    // Calls functor once, ms from now, unless context is gone by then.
    template <typename Functor> void singleShot(int ms, QObject* context, Functor functor)
    {
        Timer* timer = createTimer(context);
        timer->setSingleShot(true);
        QObject::connect(timer, &Timer::timeout, context, [timer, functor = std::move(functor)]() mutable {
            timer->deleteLater();
            functor();
        });
        timer->start(ms);
    }

    // Real time: every timer a QTimer. The clock of the program wherever no other is given.
    [[nodiscard]] static Clock& system();
};

} // namespace ormisk
