#pragma once
// POP3 client over Qt Network: greeting, STLS, CAPA, USER/PASS, STAT, CAPA again (capabilities may
// change at login), then sizes and headers (LIST, UIDL, TOP n 0), DELE n and QUIT. It never sends
// RETR (bodies are never downloaded) and never RSET (deletions stand until QUIT commits them).
// Every request returns at once with busy() true and always ends idle in a final state: time-outs,
// lost links and protocol errors end in (0, 6), and lastFailure() says why.
//
// Fast checks: when the server offers PIPELINING, the login, the second CAPA and the listings of
// sizes and ids go out together, then TOP n 0 for every header still needed, as many commands in
// flight as a byte budget allows; requests are answered from what arrived, one at a time and in
// the same order of events as without it. With a cache file and UIDL, headers fetched in earlier
// checks are not fetched again. A server that misbehaves under pipelining is spoken to one
// command at a time from its next conversation on. DELE is never pipelined.
#include "pop/PopComponent.h"
#include "pop/PopReplyParser.h"

#include <QByteArray>
#include <QSet>
#include <QSslSocket>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace ormisk {

class HeaderCache;

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
    // Bytes of commands in flight at once when pipelining. A command is about 13 bytes, so this
    // lets a thousand headers go out in one round trip; it stays far below any receive buffer a
    // server keeps, so the server always has room for what we send. Replies (some hundred KB)
    // are read as they come, so neither side's buffers can fill up and stall the other.
    static constexpr qsizetype kDefaultPipelineBytes = 16 * 1024;
    // Headers received ahead of the requests that want them are held up to this many bytes; no
    // more commands go out until the check catches up.
    static constexpr qsizetype kDefaultAheadBytes = 8 * 1024 * 1024;
    // The most messages a mailbox is taken to hold: ten times the largest mailbox anyone was
    // seen to watch. A server that claims more is shown this many, so that a hostile count
    // cannot make the program build nodes without end.
    static constexpr qint32 kMaxMessages = 1'000'000;

    explicit PopClient(QObject* parent = nullptr);
    ~PopClient() override;

    void setRemoteHost(const QString& host) override { m_host = host; }
    void setRemotePort(qint32 port) override { m_port = port; }
    void setUserId(const QString& user) override { m_user = user; }
    void setPassword(const QString& password) override { m_password = password; }

    [[nodiscard]] bool busy() const override { return m_busy; }
    [[nodiscard]] qint16 connectionState() const override { return m_connectionState; }
    [[nodiscard]] qint16 protocolState() const override { return m_protocolState; }
    [[nodiscard]] qint32 messageCount() const override { return m_messageCount; }
    [[nodiscard]] PopFailure lastFailure() const override { return m_failure; }

    void connectToServer() override;
    void authenticate() override;
    void requestMessageSize(qint32 number) override;
    void retrieveHeader(qint32 number) override;
    void deleteMessage(qint32 number) override;
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

    // Pipelining where the server offers it (on by default); off gives the plain one-at-a-time
    // exchange. Read at login.
    void setPipelining(bool on) { m_pipelining = on; }
    [[nodiscard]] bool pipelining() const { return m_pipelining; }
    void setPipelineBytes(qsizetype bytes) { m_pipelineBytes = std::max<qsizetype>(1, bytes); }
    [[nodiscard]] qsizetype pipelineBytes() const { return m_pipelineBytes; }
    void setAheadBytes(qsizetype bytes) { m_aheadLimit = std::max<qsizetype>(1, bytes); }
    // File of headers kept between checks (the program passes <data folder>/header-cache); empty
    // (the default) keeps none.
    void setCacheFile(const QString& path) { m_cacheFile = path; }
    [[nodiscard]] QString cacheFile() const { return m_cacheFile; }

    // Whether the current (or last) conversation pipelines its commands; whether a server was
    // found misbehaving under pipelining and is now spoken to one command at a time.
    [[nodiscard]] bool conversationPipelined() const { return m_fetchPipelined; }
    [[nodiscard]] bool pipeliningRefused(const QString& host, qint32 port) const;

    // What the last connection learnt, and why the last request failed in our words.
    [[nodiscard]] bool isEncrypted() const;
    [[nodiscard]] QSet<QByteArray> capabilities() const { return m_capabilities; }
    [[nodiscard]] QString lastError() const { return m_failure.detail; }

private:
    enum class Op { None, Connect, Authenticate, Size, Header, Delete, Quit };
    using Reason = PopFailure::Reason;
    using ReplyHandler = std::function<void(const PopReply&)>;

    struct Command {
        QByteArray line; // empty for the greeting, which is awaited, not sent
        PopReplyParser::Kind kind = PopReplyParser::Kind::SingleLine;
        ReplyHandler handler;
        bool barrier = false; // goes out alone: nothing in flight before it, nothing after it
        bool ahead = false; // a header fetched ahead: held back while too much is waiting
        bool listing = false; // a line for every message: its size cap follows the message count
    };

    // How sizes and headers are had in this conversation.
    enum class Fetch {
        Undecided, // no size or header asked yet, nothing listed
        OneByOne, // LIST n and TOP n 0 per request
        Listing, // LIST (and UIDL) sent, replies awaited
        Ready, // sizes known; headers arriving, cached, or fetched on request
    };
    // Whether TOP works: the capability list may not say, so the first answer tells.
    enum class Top : quint8 { Unknown, Works, Refused };
    enum class HeaderState : quint8 { None, Queued, Have, Failed };
    struct Slot {
        qint64 size = -1; // -1: not listed
        QByteArray uid;
        HeaderState header = HeaderState::None;
        QByteArray text; // the header as the server sent it, each line ended by LF
        qsizetype bytes = 0; // counted against the bytes held ahead
        bool cacheable = false; // unique uid whose size did not change since it was cached
        bool fromCache = false;
        bool confirmed = false; // may be handed out: its batch checked out, or asked alone
    };

    bool beginRequest(Op op);
    void finishRequest();
    void setFailure(
        Reason reason, const QString& detail, const QByteArray& command = {}, const QByteArray& serverText = {});
    void failLater(Reason reason, const QString& why); // ends the request without touching the link
    void failRequest(Reason reason, const QString& why, const QByteArray& command = {},
        const QByteArray& serverText = {}); // request failed, link still up
    // Closes the link (with QUIT where that is safe) and ends any request in (0, 6); a failure
    // reason other than None is the request's outcome.
    void dropLink(Reason reason, const QString& why, const QByteArray& command = {}, const QByteArray& serverText = {});
    void closeSocket(bool politely);
    void setBusy(bool busy);
    void setStates(qint16 protocol, qint16 connection);

    void send(const QByteArray& command, PopReplyParser::Kind kind, ReplyHandler handler);
    void sendCommand(Command command, bool first = false);
    void awaitReply(PopReplyParser::Kind kind, ReplyHandler handler);
    void pump(); // sends what the byte budget and barriers allow
    void armParser();
    [[nodiscard]] qsizetype listingCap() const;
    [[nodiscard]] QByteArray pendingVerb() const;
    void linkFailure(Reason reason, const QString& why, bool pipelineFault = false);
    void loseLinkQuietly(Reason reason, const QString& why);
    void dropLater(Reason reason, const QString& why);
    [[nodiscard]] QString serverKey() const;
    [[nodiscard]] bool pipelineUsable() const;
    [[nodiscard]] bool quitIsSafe() const;
    [[nodiscard]] QString accountKey() const;
    void onReadyRead();
    void onSocketConnected();
    void onEncrypted();
    void onSocketError();
    void onDisconnected();

    void afterGreeting(const PopReply& reply);
    void requestCapabilities(std::function<void()> then);
    [[nodiscard]] static QSet<QByteArray> readCapabilities(const PopReply& reply);
    void startTls();
    void connectDone();
    void onStat(const PopReply& reply);
    void onLoginCapabilities(const PopReply& reply);

    // Sizes and headers (PopClientFetch.cpp).
    bool startFetch(); // false: this conversation goes one request at a time
    void sendListing(bool pipelined, bool caching);
    void onUidlList(const PopReply& reply);
    void onSizeList(const PopReply& reply);
    void applyCache();
    void queueHeaders(qint32 from);
    [[nodiscard]] bool topUsable() const;
    void onHeaderAhead(qint32 number, const PopReply& reply);
    void serveSize(qint32 number);
    void serveHeader(qint32 number);
    void answerLater(qint32 number);
    void deliverSize(qint32 number);
    void deliverHeader(qint32 number);
    void emitHeader(const QByteArray& header);
    void sendSizeRequest(qint32 number);
    void sendHeaderRequest(qint32 number, bool first = false);
    void onHeaderReply(qint32 number, const PopReply& reply);
    void sendDelete(qint32 number);
    void resumeWaiting();
    void releaseBefore(qint32 number);
    void misbehaved(const QString& why, Reason reason = Reason::Protocol);
    void onCheckpoint(qint32 first, qint32 last, const PopReply& reply);
    void keepHeader(Slot& slot, const PopReply& reply, bool confirmed);
    void confirmHeader(Slot& slot);
    void forget(Slot& slot);
    [[nodiscard]] Slot* slot(qint32 number);
    [[nodiscard]] bool answerable(Op op, qint32 number);
    // Starts a request on message `number`; false when it has already been given its outcome
    // (busy elsewhere, link lost, not logged in, no such number).
    [[nodiscard]] bool beginMessageRequest(Op op, qint32 number);
    HeaderCache* cache();
    void closeCache();
    void resetFetch();

    QString m_host;
    qint32 m_port = 110;
    QString m_user;
    QString m_password;
    TlsMode m_tlsMode = TlsMode::Automatic;
    QString m_caFile;

    bool m_busy = false;
    qint16 m_connectionState = Closed;
    qint16 m_protocolState = NotConnected;
    qint32 m_messageCount = 0;
    Op m_op = Op::None;
    quint64 m_generation = 0; // changes whenever a request ends; stale callbacks compare it
    PopFailure m_failure;
    QString m_tlsError; // the certificate problem of the handshake under way, if any

    QSslSocket* m_socket = nullptr;
    PopReplyParser m_parser;
    std::deque<Command> m_unsent;
    std::deque<Command> m_inFlight;
    qsizetype m_inFlightBytes = 0;
    bool m_pipelinedNow = false; // several commands may be in flight
    bool m_implicitTls = false;
    bool m_greeted = false;
    bool m_quitSent = false;
    bool m_capaAnswered = false;
    QSet<QByteArray> m_capabilities;

    qint64 m_statCount = 0;
    bool m_pipelining = true;
    qsizetype m_pipelineBytes = kDefaultPipelineBytes;
    qsizetype m_aheadLimit = kDefaultAheadBytes;
    QString m_cacheFile;
    QSet<QString> m_pipelineRefused; // host:port of servers that misbehaved under pipelining

    Fetch m_fetch = Fetch::Undecided;
    bool m_fetchPipelined = false;
    bool m_fetchCaching = false;
    Top m_top = Top::Unknown;
    bool m_headersAhead = false; // sizes were asked for: headers are fetched ahead
    std::vector<Slot> m_slots;
    std::vector<QByteArray> m_uids; // by message number - 1, from UIDL or single answers before DELE
    bool m_uidsValid = false;
    qint32 m_waiting = 0; // message a running request waits for on the wire
    bool m_answerScheduled = false; // the running request is answered from the buffer
    qsizetype m_aheadBytes = 0;
    qint32 m_releasedUpTo = 0; // slots below this were handed out or skipped
    QSet<qint32> m_deletedHere; // deletions confirmed in this conversation
    bool m_linkLost = false; // gone, but requests for what arrived are still answered
    PopFailure m_linkLostWhy;
    std::unique_ptr<HeaderCache> m_cache;

    QTimer m_connectTimer;
    QTimer m_tlsTimer;
    QTimer m_replyTimer;
};

} // namespace ormisk
