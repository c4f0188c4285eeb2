#pragma once
// POP3 client over Qt Network: greeting, CAPA, STLS, USER/PASS, STAT, LIST n, TOP n 0, DELE n and
// QUIT, one command at a time. It never sends RETR (bodies are never downloaded) and never RSET
// (deletions stand until QUIT commits them). Every request returns at once with busy() true and
// always ends idle in a final state: time-outs, lost links and protocol errors end in (0, 6).
#include "engine/PopComponent.h"
#include "engine/PopReplyParser.h"

#include <QByteArray>
#include <QPointer>
#include <QSet>
#include <QSslSocket>
#include <QString>
#include <QTimer>

#include <functional>

namespace ormisk {

class PopClient : public PopComponent {
    Q_OBJECT
public:
    enum class TlsMode {
        Automatic, // TLS from the first byte on port 995; elsewhere STLS when offered, else plain
        ImplicitTls, // TLS from the first byte on any port
        StartTlsRequired, // STLS before login, or no login at all
        Plain, // never TLS
    };
    Q_ENUM(TlsMode)

    // Defaults, in milliseconds (see the .cpp for why these values).
    static constexpr int kDefaultConnectTimeout = 30'000;
    static constexpr int kDefaultTlsTimeout = 30'000;
    static constexpr int kDefaultReplyTimeout = 60'000;
    static constexpr quint16 kImplicitTlsPort = 995;

    explicit PopClient(QObject* parent = nullptr);
    ~PopClient() override;

    void setRemoteHost(const QString& host) override { m_host = host; }
    void setRemotePort(qint32 port) override { m_port = port; }
    void setUserId(const QString& user) override { m_user = user; }
    void setPassword(const QString& password) override { m_password = password; }

    [[nodiscard]] bool busy() const override { return m_busy; }
    [[nodiscard]] qint16 connectionState() const override { return m_connectionState; }
    [[nodiscard]] qint16 protocolState() const override { return m_protocolState; }
    [[nodiscard]] qint16 messageCount() const override { return m_messageCount; }

    void connectToServer() override;
    void authenticate() override;
    void requestMessageSize(qint16 number) override;
    void retrieveHeader(qint16 number) override;
    void deleteMessage(qint16 number) override;
    void cancel() override;
    void quit() override;

    void setTlsMode(TlsMode mode) { m_tlsMode = mode; }
    [[nodiscard]] TlsMode tlsMode() const { return m_tlsMode; }
    // PEM (or DER) file of extra CA certificates trusted besides the system's; empty for none.
    void setCaFile(const QString& path) { m_caFile = path; }
    [[nodiscard]] QString caFile() const { return m_caFile; }

    void setConnectTimeout(int ms) { m_connectTimer.setInterval(ms); }
    void setTlsHandshakeTimeout(int ms) { m_tlsTimer.setInterval(ms); }
    void setReplyTimeout(int ms) { m_replyTimer.setInterval(ms); }
    [[nodiscard]] int connectTimeout() const { return m_connectTimer.interval(); }
    [[nodiscard]] int tlsHandshakeTimeout() const { return m_tlsTimer.interval(); }
    [[nodiscard]] int replyTimeout() const { return m_replyTimer.interval(); }
    void setReplyLimits(PopReplyParser::Limits limits) { m_parser.setLimits(limits); }

    // What the last connection learnt and why the last request failed (for logs and tests).
    [[nodiscard]] bool isEncrypted() const;
    [[nodiscard]] QSet<QByteArray> capabilities() const { return m_capabilities; }
    [[nodiscard]] QString lastError() const { return m_lastError; }

private:
    enum class Op { None, Connect, Authenticate, Size, Header, Delete, Quit };
    using ReplyHandler = std::function<void(const PopReply&)>;

    bool beginRequest(Op op);
    void finishRequest();
    void failLater(const QString& why); // ends the request without touching the link
    void failRequest(const QString& why); // request failed, link still up
    void dropLink(const QString& why); // closes the link and ends any request in (0, 6)
    void teardownSocket();
    void setBusy(bool busy);
    void setStates(qint16 protocol, qint16 connection);

    void send(const QByteArray& command, PopReplyParser::Kind kind, ReplyHandler handler);
    void awaitReply(PopReplyParser::Kind kind, ReplyHandler handler);
    void onReadyRead();
    void onSocketConnected();
    void onEncrypted();
    void onSocketError();
    void onDisconnected();

    void afterGreeting(const PopReply& reply);
    void requestCapabilities(std::function<void()> then);
    void decideTls();
    void startTls();
    void connectDone();

    QString m_host;
    qint32 m_port = 110;
    QString m_user;
    QString m_password;
    TlsMode m_tlsMode = TlsMode::Automatic;
    QString m_caFile;

    bool m_busy = false;
    qint16 m_connectionState = Closed;
    qint16 m_protocolState = NotConnected;
    qint16 m_messageCount = 0;
    Op m_op = Op::None;
    quint64 m_generation = 0; // changes whenever a request ends; stale callbacks compare it

    QSslSocket* m_socket = nullptr;
    PopReplyParser m_parser;
    ReplyHandler m_handler;
    bool m_implicitTls = false;
    bool m_capaAnswered = false;
    QSet<QByteArray> m_capabilities;
    QString m_lastError;

    QTimer m_connectTimer;
    QTimer m_tlsTimer;
    QTimer m_replyTimer;
};

} // namespace ormisk
