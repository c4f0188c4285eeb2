#pragma once
// POP3 client over Qt Network: greeting, CAPA, STLS, USER/PASS, STAT, then sizes and headers
// (LIST, UIDL, TOP n 0), DELE n and QUIT. It never sends RETR (bodies are never downloaded) and
// never RSET (deletions stand until QUIT commits them). Every request returns at once with busy()
// true and always ends idle in a final state: time-outs, lost links and protocol errors end in
// (0, 6).
//
// Fast checks: when the server offers PIPELINING, the first size or header request of a
// conversation sends one LIST for all sizes and TOP n 0 for every header still needed, a bounded
// number of commands in flight, and later requests are answered from what arrived, one at a time
// and in the same order of events as without it. With a cache file and UIDL, headers fetched in
// earlier checks are not fetched again. A server that misbehaves under pipelining is spoken to one
// command at a time from its next conversation on. DELE is never pipelined.
#include "pop/PopComponent.h"
#include "pop/PopReplyParser.h"

#include <QByteArray>
#include <QHash>
#include <QPointer>
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
    // Commands in flight at once when pipelining. Each round trip brings at most this many
    // headers: 128 fetches 1000 in 8 round trips (0.4 s at 50 ms), where 32 would need 32. The
    // commands themselves are about 1.5 KB, and their replies (some hundred KB) are read as they
    // come, so neither side's socket buffers can fill up and stall the other.
    static constexpr int kDefaultPipelineWindow = 128;
    // Headers received ahead of the requests that want them are held up to this many bytes; no
    // more commands go out until the check catches up.
    static constexpr qsizetype kDefaultAheadBytes = 8 * 1024 * 1024;

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

    // Pipelining where the server offers it (on by default); off gives the plain one-at-a-time
    // exchange. Read at the first size or header request of a conversation.
    void setPipelining(bool on) { m_pipelining = on; }
    [[nodiscard]] bool pipelining() const { return m_pipelining; }
    void setPipelineWindow(int commands) { m_pipelineWindow = std::max(1, commands); }
    [[nodiscard]] int pipelineWindow() const { return m_pipelineWindow; }
    void setAheadBytes(qsizetype bytes) { m_aheadLimit = std::max<qsizetype>(1, bytes); }
    // File of headers kept between checks (the program passes <data folder>/header-cache); empty
    // (the default) keeps none.
    void setCacheFile(const QString& path) { m_cacheFile = path; }
    [[nodiscard]] QString cacheFile() const { return m_cacheFile; }
    void setCacheLimitPerAccount(int entries) { m_cacheLimit = entries; }

    // Whether the current (or last) conversation pipelines its commands; whether a server was
    // found misbehaving under pipelining and is now spoken to one command at a time.
    [[nodiscard]] bool conversationPipelined() const { return m_fetchPipelined; }
    [[nodiscard]] bool pipeliningRefused(const QString& host, qint32 port) const;

    // What the last connection learnt and why the last request failed (for logs and tests).
    [[nodiscard]] bool isEncrypted() const;
    [[nodiscard]] QSet<QByteArray> capabilities() const { return m_capabilities; }
    [[nodiscard]] QString lastError() const { return m_lastError; }

private:
    enum class Op { None, Connect, Authenticate, Size, Header, Delete, Quit };
    using ReplyHandler = std::function<void(const PopReply&)>;

    struct Command {
        QByteArray line; // empty for the greeting, which is awaited, not sent
        PopReplyParser::Kind kind = PopReplyParser::Kind::SingleLine;
        ReplyHandler handler;
        bool barrier = false; // goes out alone: nothing in flight before it, nothing after it
        bool ahead = false; // a header fetched ahead: held back while too much is waiting
    };

    // How sizes and headers are had in this conversation.
    enum class Fetch {
        Undecided, // no size or header asked yet
        OneByOne, // LIST n and TOP n 0 per request
        Listing, // UIDL and LIST sent, replies awaited
        Ready, // sizes known; headers arriving, cached, or fetched on request
    };
    enum class HeaderState : quint8 { None, Queued, Have, Failed };
    struct Slot {
        qint64 size = -1; // -1: not listed
        QByteArray uid;
        bool cacheable = false; // unique uid whose size did not change since it was cached
        HeaderState header = HeaderState::None;
        bool truncated = false;
        bool fromCache = false;
        bool confirmed = false; // may be handed out: its batch checked out, or asked alone
        QList<QByteArray> lines;
        qsizetype bytes = 0;
    };

    bool beginRequest(Op op);
    void finishRequest();
    void failLater(const QString& why); // ends the request without touching the link
    void failRequest(const QString& why); // request failed, link still up
    void dropLink(const QString& why); // closes the link and ends any request in (0, 6)
    void teardownSocket();
    void setBusy(bool busy);
    void setStates(qint16 protocol, qint16 connection);

    void send(const QByteArray& command, PopReplyParser::Kind kind, ReplyHandler handler);
    void sendCommand(Command command, bool first = false);
    void awaitReply(PopReplyParser::Kind kind, ReplyHandler handler);
    void pump(); // sends what the window and barriers allow
    void armParser();
    void linkFailure(const QString& why, bool pipelineFault = false);
    void loseLinkQuietly(const QString& why);
    void dropLater(const QString& why);
    [[nodiscard]] QString serverKey() const;
    [[nodiscard]] bool pipelineUsable() const;
    [[nodiscard]] QString accountKey() const;
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

    // Sizes and headers (PopClientFetch.cpp).
    bool startFetch(); // false: this conversation goes one request at a time
    void onUidlList(const PopReply& reply);
    void onSizeList(const PopReply& reply);
    void queueHeaders();
    void onHeaderAhead(qint16 number, const PopReply& reply);
    void serveSize(qint16 number);
    void serveHeader(qint16 number);
    void answerLater(qint16 number);
    void deliverSize(qint16 number);
    void deliverHeader(qint16 number);
    void sendSizeRequest(qint16 number);
    void sendHeaderRequest(qint16 number, bool first = false);
    void sendDelete(qint16 number);
    void resumeWaiting();
    void releaseBefore(qint16 number);
    void misbehaved(const QString& why);
    void onCheckpoint(qint16 first, qint16 last, const PopReply& reply);
    void keepHeader(Slot& slot, const PopReply& reply, bool confirmed);
    void confirmHeader(Slot& slot);
    [[nodiscard]] Slot* slot(qint16 number);
    [[nodiscard]] bool answerable(Op op, qint16 number);
    // Starts a request on message `number`; false when it has already been given its outcome
    // (busy elsewhere, link lost, not logged in, no such number).
    [[nodiscard]] bool beginMessageRequest(Op op, qint16 number);
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
    qint16 m_messageCount = 0;
    Op m_op = Op::None;
    quint64 m_generation = 0; // changes whenever a request ends; stale callbacks compare it

    QSslSocket* m_socket = nullptr;
    PopReplyParser m_parser;
    std::deque<Command> m_unsent;
    std::deque<Command> m_inFlight;
    int m_window = 1;
    bool m_implicitTls = false;
    bool m_capaAnswered = false;
    QSet<QByteArray> m_capabilities;
    QString m_lastError;

    qint64 m_statCount = 0;
    bool m_pipelining = true;
    int m_pipelineWindow = kDefaultPipelineWindow;
    qsizetype m_aheadLimit = kDefaultAheadBytes;
    QString m_cacheFile;
    int m_cacheLimit = -1; // -1: the cache's default
    QSet<QString> m_pipelineRefused; // host:port of servers that misbehaved under pipelining

    Fetch m_fetch = Fetch::Undecided;
    bool m_fetchPipelined = false;
    bool m_fetchCaching = false;
    std::vector<Slot> m_slots;
    QHash<qint16, QByteArray> m_uids; // from UIDL (whole list, or single answers before DELE)
    bool m_uidsValid = false;
    qint16 m_waiting = 0; // message a running request waits for on the wire
    bool m_answerScheduled = false; // the running request is answered from the buffer
    qsizetype m_aheadBytes = 0;
    qint16 m_releasedUpTo = 0; // slots below this were handed out or skipped
    QSet<qint16> m_deletedHere; // deletions confirmed in this conversation
    bool m_linkLost = false; // gone, but requests for what arrived are still answered
    QString m_linkLostWhy;
    std::unique_ptr<HeaderCache> m_cache;

    QTimer m_connectTimer;
    QTimer m_tlsTimer;
    QTimer m_replyTimer;
};

} // namespace ormisk
