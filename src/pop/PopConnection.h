#pragma once
// One link to a POP3 server: the socket and its TLS, the greeting, STLS and the first capability
// list; commands sent within a window of bytes in flight and each reply handed to its command's
// handler in the order the commands went out; and the time-outs that keep a silent server from
// holding a check. It knows nothing of requests or messages: it says when the link is up, when it
// is ready for a login, and when it failed.
#include "pop/PopComponent.h"
#include "pop/PopReplyParser.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>

#include <deque>
#include <functional>

class QSslSocket;

namespace ormisk {

class Clock;
class Timer;

struct PopCommand {
    QByteArray line; // empty for the greeting, which is awaited, not sent
    PopReplyParser::Kind kind = PopReplyParser::Kind::SingleLine;
    std::function<void(const PopReply&)> handler;
    bool barrier = false; // goes out alone: nothing in flight before it, nothing after it
    bool ahead = false; // a header fetched ahead: held back while the ahead gate is shut
    bool listing = false; // a line for every message: its size cap follows the message count
};

// Why the link cannot be used any more. Out of step: several commands were in flight, so replies
// and commands may no longer pair up, and nothing not yet vouched for may be trusted.
struct LinkFailure {
    PopFailure::Reason reason = PopFailure::Reason::Link;
    QString why;
    QByteArray command; // the verb that got no good answer, if any
    QByteArray serverText; // the server's words, if it refused
    bool outOfStep = false;
};

class PopConnection : public QObject {
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
    // Bytes of commands in flight at once when pipelining. A command is about 13 bytes, so this
    // lets a thousand headers go out in one round trip; it stays far below any receive buffer a
    // server keeps, so the server always has room for what we send. Replies (some hundred KB)
    // are read as they come, so neither side's buffers can fill up and stall the other.
    static constexpr qsizetype kDefaultWindowBytes = 16 * 1024;

    explicit PopConnection(Clock& clock, QObject* parent = nullptr);
    ~PopConnection() override;

    void setTlsMode(TlsMode mode) { m_tlsMode = mode; }
    [[nodiscard]] TlsMode tlsMode() const { return m_tlsMode; }
    void setCaFile(const QString& path) { m_caFile = path; }
    [[nodiscard]] QString caFile() const { return m_caFile; }
    void setConnectTimeout(int ms);
    void setTlsHandshakeTimeout(int ms);
    void setReplyTimeout(int ms);
    [[nodiscard]] int connectTimeout() const;
    [[nodiscard]] int tlsHandshakeTimeout() const;
    [[nodiscard]] int replyTimeout() const;
    void setReplyLimits(PopReplyParser::Limits limits) { m_parser.setLimits(limits); }
    void setWindowBytes(qsizetype bytes);
    [[nodiscard]] qsizetype windowBytes() const { return m_windowBytes; }
    // Commands marked `ahead` go out only while this says so.
    void setAheadGate(std::function<bool()> open) { m_aheadGate = std::move(open); }
    // A listing has a line for each of this many messages: its reply may be that long.
    void setListedMessages(qint64 count) { m_listedMessages = count; }

    // Opens the link; it ends in ready() or failed(). A link still open is let go first.
    void open(const QString& host, qint32 port);
    // Lets the link go: QUIT where that is safe, then our half closed once what is written has
    // gone out. Nothing in flight or waiting is answered any more.
    void close();
    [[nodiscard]] bool isOpen() const { return m_socket != nullptr; }
    [[nodiscard]] bool isEncrypted() const;

    // What the server offers, from its last capability list.
    [[nodiscard]] const QSet<QByteArray>& capabilities() const { return m_capabilities; }
    [[nodiscard]] bool capabilitiesListed() const { return m_capabilitiesListed; }
    // A list asked for again (capabilities may change at login): what it says counts now; a
    // refused one leaves what was said before.
    void updateCapabilities(const PopReply& reply);

    void send(PopCommand command); // behind what waits to go out
    void sendFirst(PopCommand command); // ahead of what waits to go out
    void dropUnsent();
    void sendWaiting(); // what the window, the barriers and the ahead gate now allow
    // Hands what was sent to the system now rather than on the next turn of the event loop, so
    // the server can work on it while the caller goes on.
    void flush();
    // Whether several commands may be in flight at once.
    void setPipelined(bool on) { m_pipelined = on; }
    [[nodiscard]] bool pipelined() const { return m_pipelined; }
    // The verb of the oldest command still owed a reply.
    [[nodiscard]] QByteArray pendingVerb() const;

signals:
    void connected(); // the link is up, the greeting not yet in
    void ready(); // greeted, secured as the TLS mode asks, capabilities known
    void failed(const ormisk::LinkFailure& failure);

private:
    void awaitReply(PopReplyParser::Kind kind, std::function<void(const PopReply&)> handler);
    void armParser();
    [[nodiscard]] bool quitIsSafe() const;
    void fail(PopFailure::Reason reason, const QString& why, bool outOfStep = false);
    void onReadyRead();
    void onSocketConnected();
    void onEncrypted();
    void onSocketError();
    void onDisconnected();
    void afterGreeting(const PopReply& reply);
    void requestCapabilities(std::function<void()> then);
    void startTls();

    Clock& m_clock;
    TlsMode m_tlsMode = TlsMode::Automatic;
    QString m_caFile;
    qsizetype m_windowBytes = kDefaultWindowBytes;
    std::function<bool()> m_aheadGate;
    qint64 m_listedMessages = 0;

    QSslSocket* m_socket = nullptr;
    PopReplyParser m_parser;
    std::deque<PopCommand> m_unsent;
    std::deque<PopCommand> m_inFlight;
    qsizetype m_inFlightBytes = 0;
    bool m_pipelined = false;
    bool m_implicitTls = false;
    bool m_greeted = false;
    bool m_quitSent = false;
    QString m_tlsError; // the certificate problem of the handshake under way, if any
    QSet<QByteArray> m_capabilities;
    bool m_capabilitiesListed = false;

    Timer* m_connectTimer;
    Timer* m_tlsTimer;
    Timer* m_replyTimer;
};

} // namespace ormisk
