#pragma once
// A scriptable stand-in for the POP client: a mailbox of messages and switches for the failures a
// server can produce. Every request returns at once with busy() true and is answered on the next
// turn of the event loop, in the order the contract fixes: events first, then the final states,
// then busy() false.
#include "pop/PopComponent.h"

#include <QList>
#include <QStringList>

#include <functional>

namespace ormisk::test {

struct FakeMessage {
    qint32 size = 1000;
    QList<HeaderItem> headers;
    bool headerFails = false; // the transfer ends in error (state 4)
    bool headerMissing = false; // the request ends without any header notification
    bool refuseDelete = false; // the server answers the deletion with an error
};

// A message with Subject, From and Message-Id lines.
[[nodiscard]] FakeMessage fakeMessage(
    const QString& subject, const QString& from, const QString& id, qint32 size = 1000);

class FakePop : public PopComponent {
    Q_OBJECT
public:
    using PopComponent::PopComponent;

    QList<FakeMessage> mailbox;
    QString password = QStringLiteral("secret"); // the password the server accepts
    bool refuseConnect = false;
    int dropAfterSizeOf = 0; // the connection is lost once this message's size has been reported
    // Called with the request's name ("connect", "size 2", ...) when a request is answered.
    std::function<void(const QString&)> onAnswer;

    // What the client was told and asked, in order ("host h", "port 110", "connect", "size 1", ...).
    QStringList calls;
    QList<qint32> committedDeletions; // numbers deleted when the last conversation ended
    int conversations = 0;

    void setRemoteHost(const QString& host) override { calls << QStringLiteral("host ") + host; }
    void setRemotePort(qint32 port) override { calls << QStringLiteral("port %1").arg(port); }
    void setUserId(const QString& user) override { calls << QStringLiteral("user ") + user; }
    void setPassword(const QString& pass) override
    {
        m_givenPassword = pass;
        calls << QStringLiteral("password");
    }

    [[nodiscard]] bool busy() const override { return m_busy; }
    [[nodiscard]] qint16 connectionState() const override { return m_connection; }
    [[nodiscard]] qint16 protocolState() const override { return m_protocol; }
    [[nodiscard]] qint32 messageCount() const override
    {
        return m_protocol == Transaction ? static_cast<qint32>(mailbox.size()) : 0;
    }
    [[nodiscard]] PopFailure lastFailure() const override { return m_failure; }

    void connectToServer() override;
    void authenticate() override;
    void requestMessageSize(qint32 number) override;
    void retrieveHeader(qint32 number) override;
    void deleteMessage(qint32 number) override;
    void cancel() override;
    void quit() override;

private:
    void begin(const QString& name, std::function<void()> answer);
    void setStates(qint16 protocol, qint16 connection);
    void drop();
    [[nodiscard]] FakeMessage* message(qint32 number);

    bool m_busy = false;
    qint16 m_connection = Closed;
    qint16 m_protocol = NotConnected;
    QString m_givenPassword;
    QList<qint32> m_pendingDeletions;
    PopFailure m_failure;
    quint64 m_generation = 0;
    bool m_dropNext = false;
};

} // namespace ormisk::test
