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
//
// This class keeps the books of the requests (busy, states, events, why the last one failed);
// PopConnection holds the link and PopFetcher decides how sizes and headers are had.
#include "pop/PopComponent.h"
#include "pop/PopConnection.h"
#include "pop/PopFetcher.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <algorithm>

namespace ormisk {

class Clock;
class Timer;

class PopClient : public PopComponent, private PopFetcher::Requester {
    Q_OBJECT
public:
    using TlsMode = PopConnection::TlsMode;

    static constexpr int kDefaultConnectTimeout = PopConnection::kDefaultConnectTimeout;
    static constexpr int kDefaultTlsTimeout = PopConnection::kDefaultTlsTimeout;
    static constexpr int kDefaultReplyTimeout = PopConnection::kDefaultReplyTimeout;
    static constexpr qsizetype kDefaultPipelineBytes = PopConnection::kDefaultWindowBytes;
    static constexpr qsizetype kDefaultAheadBytes = PopFetcher::kDefaultAheadBytes;
    // The most messages a mailbox is taken to hold: ten times the largest mailbox anyone was
    // seen to watch. A server that claims more is shown this many, so that a hostile count
    // cannot make the program build nodes without end.
    static constexpr qint32 kMaxMessages = 1'000'000;

    explicit PopClient(QObject* parent = nullptr);
    // Time-outs take their timers from clock, which must outlive the client.
    explicit PopClient(Clock& clock, QObject* parent = nullptr);
    ~PopClient() override;

    void setRemoteHost(const QString& host) override { m_host = host; }
    void setRemotePort(qint32 port) override { m_port = port; }
    void setUserId(const QString& user) override { m_user = user; }
    void setPassword(const QString& password) override { m_password = password; }

    [[nodiscard]] bool busy() const override { return m_busy; }
    [[nodiscard]] qint16 connectionState() const override;
    [[nodiscard]] qint16 protocolState() const override;
    [[nodiscard]] qint32 messageCount() const override { return m_messageCount; }
    [[nodiscard]] PopFailure lastFailure() const override { return m_failure; }

    void connectToServer() override;
    void authenticate() override;
    void requestMessageSize(qint32 number) override;
    void retrieveHeader(qint32 number) override;
    void deleteMessage(qint32 number) override;
    void cancel() override;
    void quit() override;

    void setTlsMode(TlsMode mode) { m_connection.setTlsMode(mode); }
    [[nodiscard]] TlsMode tlsMode() const { return m_connection.tlsMode(); }
    // PEM (or DER) file of extra CA certificates trusted besides the system's; empty for none.
    void setCaFile(const QString& path) { m_connection.setCaFile(path); }
    [[nodiscard]] QString caFile() const { return m_connection.caFile(); }

    void setConnectTimeout(int ms) { m_connection.setConnectTimeout(ms); }
    void setTlsHandshakeTimeout(int ms) { m_connection.setTlsHandshakeTimeout(ms); }
    void setReplyTimeout(int ms) { m_connection.setReplyTimeout(ms); }
    [[nodiscard]] int connectTimeout() const { return m_connection.connectTimeout(); }
    [[nodiscard]] int tlsHandshakeTimeout() const { return m_connection.tlsHandshakeTimeout(); }
    [[nodiscard]] int replyTimeout() const { return m_connection.replyTimeout(); }
    void setReplyLimits(PopReplyParser::Limits limits) { m_connection.setReplyLimits(limits); }
    // The longest a whole conversation may take, from connectToServer() on; past it the link is
    // closed and the request under way fails with Reason::TimeLimit. 0 (the default): no limit.
    void setConversationTimeLimit(int ms) { m_timeLimit = std::max(0, ms); }
    [[nodiscard]] int conversationTimeLimit() const { return m_timeLimit; }

    // Pipelining where the server offers it (on by default); off gives the plain one-at-a-time
    // exchange. Read at login.
    void setPipelining(bool on) { m_pipelining = on; }
    [[nodiscard]] bool pipelining() const { return m_pipelining; }
    void setPipelineBytes(qsizetype bytes) { m_connection.setWindowBytes(bytes); }
    [[nodiscard]] qsizetype pipelineBytes() const { return m_connection.windowBytes(); }
    void setAheadBytes(qsizetype bytes) { m_fetcher.setAheadBytes(bytes); }
    // File of headers kept between checks (the program passes <data folder>/header-cache); empty
    // (the default) keeps none.
    void setCacheFile(const QString& path) { m_fetcher.setCacheFile(path); }
    [[nodiscard]] QString cacheFile() const { return m_fetcher.cacheFile(); }

    // Whether the current (or last) conversation pipelines its commands; whether a server was
    // found misbehaving under pipelining and is now spoken to one command at a time.
    [[nodiscard]] bool conversationPipelined() const { return m_fetcher.pipelined(); }
    [[nodiscard]] bool pipeliningRefused(const QString& host, qint32 port) const;

    // What the last connection learnt, and why the last request failed in our words.
    [[nodiscard]] bool isEncrypted() const { return m_connection.isEncrypted(); }
    [[nodiscard]] QSet<QByteArray> capabilities() const { return m_connection.capabilities(); }
    [[nodiscard]] QString lastError() const { return m_failure.detail; }

private:
    enum class Request { None, Connect, Authenticate, Size, Header, Delete, Quit };
    enum class Link : quint8 { Closed, Connected };
    enum class Stage : quint8 { NotConnected, Authorization, Transaction };
    using Reason = PopFailure::Reason;

    bool beginRequest(Request request);
    // Starts a request on message `number`; false when it has already been given its outcome
    // (busy elsewhere, link lost, not logged in, no such number).
    [[nodiscard]] bool beginMessageRequest(Request request, qint32 number);
    void finishRequest();
    void setBusy(bool busy);
    void setStates(Stage stage, Link link);
    void setFailure(
        Reason reason, const QString& detail, const QByteArray& command = {}, const QByteArray& serverText = {});
    void failLater(Reason reason, const QString& why); // ends the request without touching the link
    // Closes the link (with QUIT where that is safe) and ends any request in (0, 6); a failure
    // reason other than None is the request's outcome.
    void dropLink(Reason reason, const QString& why, const QByteArray& command = {}, const QByteArray& serverText = {});
    void dropLater(Reason reason, const QString& why);
    void resetFetch();
    void onLinkFailed(const LinkFailure& failure);
    void linkFailure(Reason reason, const QString& why, const QByteArray& command, const QByteArray& serverText = {});
    void loseLinkQuietly(Reason reason, const QString& why, const QByteArray& command);
    void misbehaved(Reason reason, const QString& why);
    void deliverHeader(qint32 number);
    // After an event: its handlers may have ended the request already (cancel, quit); if not, it
    // ends now.
    void finishAfterEvent(quint64 generation);

    void onStat(const PopReply& reply);
    void onLoginCapabilities(const PopReply& reply);
    [[nodiscard]] QString serverKey() const;

    // What the fetcher reports.
    [[nodiscard]] bool pipeliningUsable() const override;
    void refusePipelining() override;
    void sizeFetched(qint64 size) override;
    void headerFetched(const QByteArray& text) override;
    void deletionConfirmed() override;
    // The request failed, the link is still up.
    void requestFailed(
        Reason reason, const QString& why, const QByteArray& command = {}, const QByteArray& serverText = {}) override;
    void answerLater(qint32 number) override;
    void outOfStep(const QString& why) override;

    QString m_host;
    qint32 m_port = 110;
    QString m_user;
    QString m_password;
    bool m_pipelining = true;
    QSet<QString> m_pipelineRefused; // host:port of servers that misbehaved under pipelining

    bool m_busy = false;
    Link m_link = Link::Closed;
    Stage m_stage = Stage::NotConnected;
    qint32 m_messageCount = 0;
    Request m_request = Request::None;
    quint64 m_generation = 0; // changes whenever a request ends; stale callbacks compare it
    bool m_answerScheduled = false; // the running request is answered from what arrived
    PopFailure m_failure;
    bool m_linkLost = false; // gone, but requests for what arrived are still answered
    PopFailure m_linkLostWhy;

    int m_timeLimit = 0;

    PopConnection m_connection;
    PopFetcher m_fetcher;
    Timer* m_timeLimitTimer;
};

} // namespace ormisk
