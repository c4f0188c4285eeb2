#include "pop/PopAwait.h"

#include <QCoreApplication>

namespace ormisk {

namespace {

// How many answers in a row may be taken straight from the client's queue without a turn of the
// main loop. A turn costs more than handling a header that is already here (a hundred thousand
// messages from the cache are checked in a fraction of the time), and a few hundred answers take
// a few milliseconds, so window events still run a hundred times a second or more.
constexpr int kDirectAnswers = 256;

} // namespace

bool PopSettled::await_ready()
{
    if (!m_pop.busy())
        return true;
    // An answer the client already holds is posted to it; taking it at once, rather than after a
    // turn of the main loop, is what makes a thousand answers from a pipeline or the cache cheap.
    thread_local int direct = 0;
    if (direct < kDirectAnswers) {
        ++direct;
        QCoreApplication::sendPostedEvents(&m_pop, QEvent::MetaCall);
        if (!m_pop.busy())
            return true;
    }
    direct = 0;
    return false;
}

void PopSettled::await_suspend(std::coroutine_handle<> waiting)
{
    m_connection = QObject::connect(&m_pop, &PopComponent::changed, &m_pop, [this, waiting] {
        if (m_pop.busy())
            return;
        QObject::disconnect(m_connection);
        // Resumed on a turn of the main loop: the client may still be unwinding from the change
        // it reports, and the next request must not start inside it.
        QMetaObject::invokeMethod(
            &m_pop, [waiting] { waiting.resume(); }, Qt::QueuedConnection);
    });
}

QCoro::Task<> untilIdle(PopComponent& pop)
{
    // Something else may make the client busy between the change and the resumption (a window
    // that asks the conversation to end); then the wait goes on.
    while (pop.busy())
        co_await PopSettled(pop);
}

PopAwait::PopAwait(PopComponent& pop)
    : m_pop(pop)
{
    m_sizeEvent = QObject::connect(&pop, &PopComponent::messageSize, &pop, [this](qint32 size) { m_size = size; });
    m_docEvent = QObject::connect(&pop, &PopComponent::docOutput, &pop, [this](const DocOutput& doc) {
        if (doc.state == DocOutput::HeadersAvailable || doc.state == DocOutput::TransferError)
            m_doc = doc;
    });
    m_deleteEvent = QObject::connect(&pop, &PopComponent::deleteConfirmed, &pop, [this] { m_deleteConfirmed = true; });
}

PopAwait::~PopAwait()
{
    QObject::disconnect(m_sizeEvent);
    QObject::disconnect(m_docEvent);
    QObject::disconnect(m_deleteEvent);
}

bool PopAwait::inState(qint16 protocol) const
{
    return m_pop.protocolState() == protocol && m_pop.connectionState() == PopComponent::Connected;
}

QCoro::Task<WaitEnd> PopAwait::connect()
{
    m_pop.connectToServer();
    co_await untilIdle(m_pop);
    co_return settledAs(inState(PopComponent::Authorization), m_pop.isClosed());
}

QCoro::Task<WaitEnd> PopAwait::authenticate()
{
    m_pop.authenticate();
    co_await untilIdle(m_pop);
    co_return settledAs(inState(PopComponent::Transaction), m_pop.isClosed());
}

QCoro::Task<SizeAnswer> PopAwait::messageSize(qint32 number)
{
    // What the client reported tells success from failure, not the value: an empty message has a
    // size of 0.
    m_size = -1;
    m_pop.requestMessageSize(number);
    co_await untilIdle(m_pop);
    const bool sized = m_size >= 0;
    co_return SizeAnswer { settledAs(sized && inState(PopComponent::Transaction), !sized || m_pop.isClosed()), m_size };
}

QCoro::Task<HeaderAnswer> PopAwait::header(qint32 number)
{
    m_doc = DocOutput();
    m_pop.retrieveHeader(number);
    co_await untilIdle(m_pop);
    // A header without fields still arrived; an error after items takes them back.
    const bool arrived = m_doc.state == DocOutput::HeadersAvailable;
    HeaderAnswer answer { settledAs(arrived && inState(PopComponent::Transaction), !arrived || m_pop.isClosed()),
        std::move(m_doc) };
    m_doc = DocOutput();
    co_return answer;
}

QCoro::Task<DeleteAnswer> PopAwait::deleteMessage(qint32 number)
{
    m_deleteConfirmed = false;
    m_pop.deleteMessage(number);
    co_await untilIdle(m_pop);
    co_return DeleteAnswer { settledAs(m_deleteConfirmed && inState(PopComponent::Transaction),
                                 !m_deleteConfirmed || m_pop.isClosed()),
        m_deleteConfirmed };
}

QCoro::Task<> PopAwait::close()
{
    if (m_pop.busy())
        m_pop.cancel();
    else if (m_pop.connectionState() != PopComponent::Closed)
        m_pop.quit();
    co_await untilIdle(m_pop);
    if (!m_pop.isClosed()) {
        m_pop.quit();
        co_await untilIdle(m_pop);
    }
}

} // namespace ormisk
