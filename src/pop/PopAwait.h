#pragma once
// The client's contract as coroutines. Each request is issued and then awaited until the client
// has settled (busy() false); the answer says which of the request's conditions held, with what
// its events carried. The coroutine resumes from the main loop, never from inside the client's
// own signal, so a check reads top to bottom while window events run between its steps.
#include "pop/DocOutput.h"
#include "pop/PopComponent.h"

#include <QCoro/QCoroTask>

#include <coroutine>

namespace ormisk {

// Which condition ended a wait.
enum class WaitEnd : quint8 {
    Success,
    Failure,
    Neither, // the client settled in a state that meets neither condition
};

// Success when `success` holds, else failure when `failure` holds, else neither.
[[nodiscard]] constexpr WaitEnd settledAs(bool success, bool failure)
{
    return success ? WaitEnd::Success : failure ? WaitEnd::Failure : WaitEnd::Neither;
}

struct SizeAnswer {
    WaitEnd end = WaitEnd::Neither;
    qint32 size = -1; // -1 when no size was reported
};

struct DeleteAnswer {
    WaitEnd end = WaitEnd::Neither;
    bool confirmed = false; // the server confirmed, whatever became of the link afterwards
};

struct HeaderAnswer {
    WaitEnd end = WaitEnd::Neither;
    DocOutput doc; // the last notification with header items or an error
};

// Suspends until the client reports a change after which it is not busy. Taken at once when it
// is idle already, or when an answer the client holds, taken from its queue, leaves it idle.
class PopSettled {
public:
    explicit PopSettled(PopComponent& pop)
        : m_pop(pop)
    {
    }
    [[nodiscard]] bool await_ready();
    void await_suspend(std::coroutine_handle<> waiting);
    void await_resume() const { }

private:
    PopComponent& m_pop;
    QMetaObject::Connection m_connection;
};

// Waits until the client is not busy, however often it turns busy again meanwhile.
[[nodiscard]] QCoro::Task<> untilIdle(PopComponent& pop);

class PopAwait {
public:
    explicit PopAwait(PopComponent& pop);
    ~PopAwait();
    PopAwait(const PopAwait&) = delete;
    PopAwait& operator=(const PopAwait&) = delete;

    [[nodiscard]] PopComponent& pop() const { return m_pop; }

    // Success in (1, 4), failure in (0, 6).
    [[nodiscard]] QCoro::Task<WaitEnd> connect();
    // Success in (2, 4), failure in (0, 6).
    [[nodiscard]] QCoro::Task<WaitEnd> authenticate();
    // Success with a size in (2, 4); failure without one, or closed.
    [[nodiscard]] QCoro::Task<SizeAnswer> messageSize(qint32 number);
    // Success when header items came (even none) in (2, 4); failure when none came, or closed.
    [[nodiscard]] QCoro::Task<HeaderAnswer> header(qint32 number);
    // Success when the server confirmed in (2, 4); failure without confirmation, or closed.
    [[nodiscard]] QCoro::Task<DeleteAnswer> deleteMessage(qint32 number);
    // Ends the conversation the way every check and command does: cancel if busy, else quit if
    // still connected, then waits until idle. A client that is still not closed gets one more
    // quit, and then the wait ends whatever it reports, so no caller can hang here.
    [[nodiscard]] QCoro::Task<> close();

private:
    [[nodiscard]] bool inState(qint16 protocol) const;

    PopComponent& m_pop;
    QMetaObject::Connection m_sizeEvent;
    QMetaObject::Connection m_docEvent;
    QMetaObject::Connection m_deleteEvent;
    // What the events of the request in hand reported.
    qint32 m_size = -1;
    DocOutput m_doc;
    bool m_deleteConfirmed = false;
};

} // namespace ormisk
