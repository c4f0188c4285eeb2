#include "pop/PopWait.h"

#include "pop/PopComponent.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace ormisk {

namespace {

// How many answers in a row may be handed over without a turn of the event loop. A pass of the
// loop costs more than handling a header that is already here: with a hundred thousand messages
// from the cache, passes after every few dozen answers took a fifth of the check. A few hundred
// answers take a few milliseconds, so window events still run a hundred times a second or more.
constexpr int kDirectAnswers = 256;

// Runs a nested event loop until done() holds; done() is evaluated now and after every change.
void runUntil(PopComponent& pop, const std::function<bool()>& done)
{
    if (done())
        return;
    // An answer the client already holds is posted to it; taking it straight away, instead of
    // through a pass of the event loop, is what makes checking a thousand messages from a
    // pipeline or the cache cheap.
    thread_local int direct = 0;
    if (direct < kDirectAnswers) {
        ++direct;
        QCoreApplication::sendPostedEvents(&pop, QEvent::MetaCall);
        if (done())
            return;
    }
    direct = 0;
    QEventLoop loop;
    auto connection = QObject::connect(&pop, &PopComponent::changed, &loop, [&] {
        if (done())
            loop.quit();
    });
    // The client may have changed between the test above and the connect (it cannot on one
    // thread, but a queued quit costs nothing and keeps the loop honest).
    if (done()) {
        QObject::disconnect(connection);
        return;
    }
    loop.exec(QEventLoop::AllEvents);
    QObject::disconnect(connection);
}

} // namespace

WaitResult waitFor(PopComponent& pop, const std::function<bool()>& success, const std::function<bool()>& failure)
{
    WaitResult result = WaitResult::Failure;
    runUntil(pop, [&] {
        if (pop.busy())
            return false;
        if (success()) {
            result = WaitResult::Success;
            return true;
        }
        result = WaitResult::Failure;
        (void)failure(); // idle in a state meeting neither condition is a failure too
        return true;
    });
    return result;
}

void waitUntilIdle(PopComponent& pop)
{
    runUntil(pop, [&] { return !pop.busy(); });
}

void closeConversation(PopComponent& pop)
{
    if (pop.busy())
        pop.cancel();
    else if (pop.connectionState() != PopComponent::Closed)
        pop.quit();
    waitUntilIdle(pop);
    // After cancel or quit an idle client is closed; a client that somehow is not gets one more
    // quit, and then the wait ends whatever it reports, so no caller can hang here.
    if (!pop.isClosed()) {
        pop.quit();
        waitUntilIdle(pop);
    }
}

} // namespace ormisk
