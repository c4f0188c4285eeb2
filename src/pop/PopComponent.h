#pragma once
// The contract every POP conversation of the program is written against. A request returns at
// once with busy() already true; its outcome arrives later as state changes and events, and every
// event of a request has fired before busy() turns false. changed() fires after every change of
// busy, the states and after each event, so waits can sleep in a nested event loop.
#include "pop/DocOutput.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace ormisk {

// Why the last request failed. Success leaves it at None; every request starts from None.
struct PopFailure {
    enum class Reason : quint8 {
        None,
        LoginRefused, // the server refused the user id or the password
        Refused, // the server answered another command with -ERR
        Link, // no connection could be made, or the connection was lost
        TimedOut, // the server stopped answering
        Tls, // TLS could not be set up as required, or the certificate is not trusted
        Protocol, // the server's replies broke the protocol
        Unavailable, // the request does not fit the state (not logged in, no such message)
        StartTlsRefused, // STLS was required, or offered, and the server would not start TLS
        TimeLimit, // the whole conversation took longer than its time limit
    };
    Reason reason = Reason::None;
    QByteArray command; // the verb that got no good answer ("PASS", "STAT", "TOP"), if any
    QString serverText; // the server's own words after -ERR, if it refused
    QString detail; // what happened, in our words (for logs and tests)

    [[nodiscard]] bool failed() const { return reason != Reason::None; }
    // Whether the login itself failed, rather than something before or after it.
    [[nodiscard]] bool duringLogin() const
    {
        return reason == Reason::LoginRefused || command == "USER" || command == "PASS";
    }
};

class PopComponent : public QObject {
    Q_OBJECT
public:
    enum ConnectionState : qint16 { Connected = 4, Closed = 6 };
    enum ProtocolState : qint16 { NotConnected = 0, Authorization = 1, Transaction = 2 };

    using QObject::QObject;
    ~PopComponent() override = default;

    virtual void setRemoteHost(const QString& host) = 0;
    virtual void setRemotePort(qint32 port) = 0;
    virtual void setUserId(const QString& user) = 0;
    virtual void setPassword(const QString& password) = 0;

    [[nodiscard]] virtual bool busy() const = 0;
    [[nodiscard]] virtual qint16 connectionState() const = 0;
    [[nodiscard]] virtual qint16 protocolState() const = 0;
    [[nodiscard]] virtual qint32 messageCount() const = 0;
    [[nodiscard]] virtual PopFailure lastFailure() const = 0;

    virtual void connectToServer() = 0; // ends in (1, 4) or (0, 6)
    virtual void authenticate() = 0; // ends in (2, 4) or (0, 6)
    virtual void requestMessageSize(qint32 number) = 0;
    virtual void retrieveHeader(qint32 number) = 0;
    virtual void deleteMessage(qint32 number) = 0;
    virtual void cancel() = 0;
    virtual void quit() = 0;

    [[nodiscard]] bool isClosed() const { return protocolState() == NotConnected && connectionState() == Closed; }

signals:
    void messageSize(qint32 size);
    void docOutput(const ormisk::DocOutput& doc);
    void deleteConfirmed(); // the contract's Delete event
    void changed();
};

} // namespace ormisk
