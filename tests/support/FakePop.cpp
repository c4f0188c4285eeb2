#include "support/FakePop.h"

#include <QTimer>

namespace ormisk::test {

FakeMessage fakeMessage(const QString& subject, const QString& from, const QString& id, qint32 size)
{
    FakeMessage m;
    m.size = size;
    m.headers = { { QStringLiteral("Subject"), subject }, { QStringLiteral("From"), from },
        { QStringLiteral("Message-Id"), id } };
    return m;
}

void FakePop::begin(const QString& name, std::function<void()> answer)
{
    calls << name;
    m_failure = {};
    m_busy = true;
    const quint64 generation = ++m_generation;
    emit changed();
    QTimer::singleShot(0, this, [this, name, generation, answer = std::move(answer)] {
        if (generation != m_generation)
            return; // cancelled
        if (onAnswer)
            onAnswer(name);
        if (m_dropNext && name != QStringLiteral("quit")) {
            m_dropNext = false;
            drop(); // the server has gone: the request ends without an answer
            m_failure.reason = PopFailure::Reason::Link;
        } else {
            answer();
        }
        m_busy = false;
        emit changed();
    });
}

void FakePop::setStates(qint16 protocol, qint16 connection)
{
    m_protocol = protocol;
    m_connection = connection;
}

void FakePop::drop()
{
    setStates(NotConnected, Closed);
    m_pendingDeletions.clear();
}

FakeMessage* FakePop::message(qint32 number)
{
    return number >= 1 && number <= mailbox.size() ? &mailbox[number - 1] : nullptr;
}

void FakePop::connectToServer()
{
    begin(QStringLiteral("connect"), [this] {
        if (refuseConnect) {
            drop();
            m_failure.reason = PopFailure::Reason::Link;
            return;
        }
        ++conversations;
        m_pendingDeletions.clear();
        setStates(Authorization, Connected);
    });
}

void FakePop::authenticate()
{
    begin(QStringLiteral("authenticate"), [this] {
        if (m_givenPassword != password) {
            drop();
            m_failure.reason = PopFailure::Reason::LoginRefused;
        } else
            setStates(Transaction, Connected);
    });
}

void FakePop::requestMessageSize(qint32 number)
{
    begin(QStringLiteral("size %1").arg(number), [this, number] {
        if (m_protocol != Transaction)
            return;
        if (FakeMessage* m = message(number))
            emit messageSize(m->size);
        if (dropAfterSizeOf == number)
            m_dropNext = true;
    });
}

void FakePop::retrieveHeader(qint32 number)
{
    begin(QStringLiteral("header %1").arg(number), [this, number] {
        FakeMessage* m = message(number);
        if (m_protocol != Transaction || !m || m->headerMissing)
            return;
        DocOutput doc;
        if (m->headerFails) {
            doc.state = DocOutput::TransferError;
        } else {
            doc.state = DocOutput::HeadersAvailable;
            doc.headers = m->headers;
        }
        emit docOutput(doc);
    });
}

void FakePop::deleteMessage(qint32 number)
{
    begin(QStringLiteral("delete %1").arg(number), [this, number] {
        FakeMessage* m = message(number);
        if (m_protocol != Transaction || !m || m->refuseDelete || m_pendingDeletions.contains(number))
            return;
        m_pendingDeletions << number;
        emit deleteConfirmed();
    });
}

void FakePop::cancel()
{
    calls << QStringLiteral("cancel");
    ++m_generation;
    drop();
    m_busy = false;
    emit changed();
}

void FakePop::quit()
{
    begin(QStringLiteral("quit"), [this] {
        if (m_protocol == Transaction) {
            // Deletions take effect when the conversation ends; the others move up.
            committedDeletions = m_pendingDeletions;
            std::sort(m_pendingDeletions.begin(), m_pendingDeletions.end(), std::greater<>());
            for (qint32 n : std::as_const(m_pendingDeletions))
                mailbox.removeAt(n - 1);
        }
        drop();
    });
}

} // namespace ormisk::test
