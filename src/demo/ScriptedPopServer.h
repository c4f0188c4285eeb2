#pragma once
// A scriptable POP3 server for the demo, tests and benchmarks: it listens on loopback only,
// serves per-user mailboxes and misbehaves on request (drops, silence, garbage, refusals, late
// answers). It runs in the event loop of its owner, single-threaded, so what it does is
// deterministic; each conversation is a ScriptedPopSession.
#include <QByteArray>
#include <QFlags>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QTcpServer>

namespace ormisk {
class Clock;
}

namespace ormisk::testing {

struct PopFault {
    enum class Kind {
        NoGreeting, // accept the connection and say nothing
        GarbageGreeting, // greet with something that is not a status line
        DropBeforeReply, // close the connection when `command` arrives, unanswered
        DropMidReply, // send the first part of the reply to `command`, then close
        Withhold, // never answer `command`; the connection stays open
        Delay, // answer `command` after delayMs
        ErrReply, // answer `command` with -ERR (DELE refused, TOP failing...)
        EndlessLine, // answer `command` (or greet, when command is empty) with a line that never ends
        DuplicateReply, // answer `command` twice (replies no longer pair up with commands)
        DiscardPipelined, // answer `command`, then drop the commands that arrived behind it unread
        CustomReply, // answer `command` with `reply`, exactly as given
    };
    Kind kind = Kind::Withhold;
    QByteArray command; // verb in capitals ("USER", "PASS", "STAT", "LIST", "TOP", "DELE", ...)
    int delayMs = 0;
    int occurrence = 0; // the n-th arrival of the command on this server (1-based); 0 = every time
    QByteArray reply {}; // for CustomReply: the bytes sent, line ends included
};

class ScriptedPopServer : public QTcpServer {
    Q_OBJECT
public:
    enum Capability { Top = 0x1, Uidl = 0x2, Stls = 0x4, Pipelining = 0x8, User = 0x10 };
    Q_DECLARE_FLAGS(Capabilities, Capability)

    struct Received {
        QByteArray line; // as received, line end removed
        bool encrypted = false; // whether it came over TLS
    };

    explicit ScriptedPopServer(QObject* parent = nullptr);
    ~ScriptedPopServer() override;

    // Listens on 127.0.0.1 at a free port (or the one given).
    bool start(quint16 port = 0);
    [[nodiscard]] quint16 port() const { return serverPort(); }

    // Mailboxes: messages are raw RFC 822 text with LF or CR LF line ends. Each message's unique
    // id (UIDL) is made from its text, so it stays the same while the message is there, whatever
    // comes or goes around it; setMessages with uids gives them explicitly instead.
    void addUser(const QString& user, const QString& password, const QList<QByteArray>& messages = {});
    void setMessages(const QString& user, const QList<QByteArray>& messages);
    void setMessages(const QString& user, const QList<QByteArray>& messages, const QList<QByteArray>& uids);
    void appendMessage(const QString& user, const QByteArray& message); // mail arriving between sessions
    [[nodiscard]] QList<QByteArray> messages(const QString& user) const; // after committed deletions
    [[nodiscard]] QList<QByteArray> uids(const QString& user) const;

    // What the server does and names in CAPA. A server may name fewer before login than after
    // it: setCapabilitiesBeforeLogin gives the list before login exactly (none: an empty list).
    void setCapabilities(Capabilities capabilities) { m_capabilities = capabilities; }
    [[nodiscard]] Capabilities capabilities() const { return m_capabilities; }
    void setCapabilitiesBeforeLogin(Capabilities capabilities)
    {
        m_capabilitiesBeforeLogin = capabilities;
        m_distinctBeforeLogin = true;
    }
    void setCapaSupported(bool supported) { m_capaSupported = supported; } // false: CAPA gets -ERR
    // Certificate and key for STLS and implicit TLS.
    void setTlsIdentity(const QSslCertificate& certificate, const QSslKey& key);
    void setImplicitTls(bool on) { m_implicitTls = on; } // TLS from the first byte

    // Where late answers (Delay) take their time from; the system clock unless a test gives one,
    // which must outlive the server.
    void setClock(Clock& clock) { m_clock = &clock; }
    [[nodiscard]] Clock& clock() const { return *m_clock; }

    void addFault(const PopFault& fault) { m_faults.append(fault); }
    void clearFaults() { m_faults.clear(); }

    // What happened so far.
    [[nodiscard]] const QList<Received>& received() const { return m_received; }
    [[nodiscard]] bool sawCommand(const QByteArray& verb) const; // verb in capitals
    [[nodiscard]] int commandCount(const QByteArray& verb) const;
    [[nodiscard]] int sessionsStarted() const { return m_sessionsStarted; }
    [[nodiscard]] int openSessions() const;
    [[nodiscard]] qint64 bytesSent() const { return m_bytesSent; }
    // Most commands ever received and not yet answered at one time: 1 for a client that waits
    // for each reply, more for one that pipelines.
    [[nodiscard]] int maxCommandsAhead() const { return m_maxAhead; }

signals:
    void commandReceived(const QByteArray& line);
    void sessionClosed();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    friend class ScriptedPopSession;
    struct Mailbox {
        QString password;
        QList<QByteArray> messages;
        QList<QByteArray> uids; // one per message
    };
    static QList<QByteArray> uidsFor(const QList<QByteArray>& messages);
    // The fault for this arrival of verb, if any (counts arrivals).
    const PopFault* faultFor(const QByteArray& verb);
    const PopFault* greetingFault() const;

    QHash<QString, Mailbox> m_mailboxes;
    Capabilities m_capabilities = Capabilities(Top | Uidl | User);
    Capabilities m_capabilitiesBeforeLogin;
    bool m_distinctBeforeLogin = false;
    bool m_capaSupported = true;
    QSslCertificate m_certificate;
    QSslKey m_key;
    bool m_implicitTls = false;
    QList<PopFault> m_faults;
    QHash<QByteArray, int> m_arrivals;
    QList<Received> m_received;
    int m_sessionsStarted = 0;
    qint64 m_bytesSent = 0;
    int m_maxAhead = 0;
    QList<QPointer<QObject>> m_sessions;
    Clock* m_clock;
};

} // namespace ormisk::testing

Q_DECLARE_OPERATORS_FOR_FLAGS(ormisk::testing::ScriptedPopServer::Capabilities)
