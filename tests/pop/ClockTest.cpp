// Timers from the system clock behave as QTimers; timers from the virtual clock fire in order of
// time, as often as they fall due, with the work each firing posts done before the next.
#include "pop/Clock.h"
#include "support/VirtualClock.h"
#include "support/Wait.h"

#include <QPointer>
#include <QStringList>
#include <gtest/gtest.h>

#include <memory>

using namespace ormisk;
using namespace ormisk::testing;

TEST(Clock, SystemTimersAreQTimers)
{
    QObject owner;
    Timer* once = Clock::system().createTimer(&owner);
    Timer* repeating = Clock::system().createTimer(&owner);
    EXPECT_FALSE(repeating->isSingleShot());
    once->setSingleShot(true);
    int onceFired = 0;
    int repeated = 0;
    bool activeWhenFired = true;
    QObject::connect(once, &Timer::timeout, [&] {
        ++onceFired;
        activeWhenFired = once->isActive();
    });
    QObject::connect(repeating, &Timer::timeout, [&] {
        if (++repeated == 3)
            repeating->stop();
    });
    once->start(5);
    repeating->start(1);
    ORMISK_WAIT_TRUE(onceFired == 1 && repeated == 3, 5000);
    EXPECT_FALSE(activeWhenFired);
    EXPECT_FALSE(repeating->isActive());
    EXPECT_EQ(once->interval(), 5);
}

TEST(Clock, VirtualTimersFireInOrderOfTimeAndLetPostedWorkRunBetween)
{
    VirtualClock clock;
    QObject owner;
    QStringList fired;
    auto timer = [&](const char* name, int ms, bool singleShot) {
        Timer* t = clock.createTimer(&owner);
        t->setSingleShot(singleShot);
        QObject::connect(t, &Timer::timeout,
            [&fired, &clock, name] { fired << QStringLiteral("%1@%2").arg(QLatin1StringView(name)).arg(clock.now()); });
        t->start(ms);
        return t;
    };
    Timer* tick = timer("tick", 100, false);
    Timer* late = timer("late", 250, true);
    timer("early", 50, true);
    // A firing that posts work: the work runs before the next timer, and may stop it.
    Timer* stopper = timer("stopper", 150, true);
    QObject::connect(stopper, &Timer::timeout, [&] {
        QMetaObject::invokeMethod(
            &owner, [&] { late->stop(); }, Qt::QueuedConnection);
    });
    // A timer deleted by another's firing never fires.
    QPointer<Timer> doomed = timer("doomed", 300, true);
    QObject::connect(tick, &Timer::timeout, [&] {
        if (clock.now() == 200)
            delete doomed;
    });

    clock.advance(320);
    EXPECT_EQ(fired,
        QStringList({ QStringLiteral("early@50"), QStringLiteral("tick@100"), QStringLiteral("stopper@150"),
            QStringLiteral("tick@200"), QStringLiteral("tick@300") }));
    EXPECT_EQ(clock.now(), 320);
    EXPECT_TRUE(doomed.isNull());

    // Restarting keeps the timer's place behind those started before it for the same moment.
    fired.clear();
    tick->stop();
    Timer* first = timer("first", 80, true);
    Timer* second = timer("second", 80, true);
    first->start(80);
    EXPECT_TRUE(clock.advanceToNext());
    EXPECT_EQ(fired, QStringList({ QStringLiteral("second@400"), QStringLiteral("first@400") }));
    EXPECT_FALSE(second->isActive());
    EXPECT_FALSE(clock.advanceToNext());

    // The one-off helper is gone with its context.
    int calls = 0;
    auto context = std::make_unique<QObject>();
    clock.singleShot(10, context.get(), [&] { ++calls; });
    clock.singleShot(20, &owner, [&] { ++calls; });
    context.reset();
    clock.advance(30);
    EXPECT_EQ(calls, 1);

    // Left to itself, time jumps to the next timer once the event loop has nothing else to do.
    clock.setAdvanceWhenIdle(true);
    clock.singleShot(60'000, &owner, [&] { ++calls; });
    ORMISK_WAIT_TRUE(calls == 2, 5000);
    EXPECT_EQ(clock.now(), 60'430);
}
