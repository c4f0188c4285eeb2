#pragma once
// How one conversation gets sizes, headers and deletions: one request at a time on the wire, or
// listed at once, fetched ahead in pipelined batches and answered from what arrived, with headers
// of earlier checks taken from the header cache. Whatever the way, each request gets the outcome
// it would get one at a time; the requester turns those into the contract's events.
#include "pop/MessageSlots.h"
#include "pop/PopComponent.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <vector>

namespace ormisk {

class PopConnection;
struct PopReply;

class PopFetcher {
public:
    // Headers received ahead of the requests that want them are held up to this many bytes; no
    // more commands go out until the check catches up.
    static constexpr qsizetype kDefaultAheadBytes = 8 * 1024 * 1024;

    enum class Want : quint8 { Nothing, Size, Header };

    // The side that runs the requests: it hears their outcomes, and keeps track of the servers
    // that misbehave under pipelining.
    class Requester {
    public:
        [[nodiscard]] virtual bool pipeliningUsable() const = 0;
        virtual void refusePipelining() = 0; // the server is spoken to one command at a time from now on
        virtual void sizeFetched(qint64 size) = 0;
        // The header as its display text in UTF-8 (see headerDisplayText).
        virtual void headerFetched(const QByteArray& text) = 0;
        virtual void deletionConfirmed() = 0;
        virtual void requestFailed(
            PopFailure::Reason reason, const QString& why, const QByteArray& command, const QByteArray& serverText = {})
            = 0;
        // The request is answered from what is here, on a later turn of the event loop.
        virtual void answerLater(qint32 number) = 0;
        // Replies and commands no longer pair up: the link cannot be trusted any more.
        virtual void outOfStep(const QString& why) = 0;

    protected:
        ~Requester() = default;
    };

    PopFetcher(PopConnection& connection, Requester& requester);

    void setCacheFile(const QString& path) { m_slots.setCacheFile(path); }
    [[nodiscard]] QString cacheFile() const { return m_slots.cacheFile(); }
    void setAheadBytes(qsizetype bytes);

    // A new conversation: whether it pipelines is not known yet.
    void beginConversation();
    // The conversation's fetching ends: the cache is closed and what was held goes.
    void reset();
    // After the login: the message count the server gave, whole and as the client reports it.
    void setMailbox(const QString& account, qint64 statCount, qint32 messageCount);
    // Sends the listings of sizes (and of ids, for the cache) now: with a pipelined login.
    void sendListing(bool pipelined, bool caching);

    [[nodiscard]] bool pipelined() const { return m_pipelined; }
    [[nodiscard]] bool listing() const { return m_fetch == Fetch::Listing; }
    [[nodiscard]] bool listed() const { return m_fetch == Fetch::Ready; }
    [[nodiscard]] bool topRefused() const { return m_top == Top::Refused; }
    [[nodiscard]] bool hasDeletions() const { return !m_deletedHere.isEmpty(); }

    void requestSize(qint32 number);
    void requestHeader(qint32 number);
    void deleteMessage(qint32 number);
    void requestEnded(); // the running request got its outcome

    // Whether what arrived answers a request for `number`, link or no link.
    [[nodiscard]] bool answerable(Want want, qint32 number);
    void deliverSize(qint32 number);
    // False, with nothing reported, when the header is not here.
    [[nodiscard]] bool deliverHeader(qint32 number);
    // The header the running request waits for arrived, although its batch was not vouched for;
    // false, with nothing reported, when it did not.
    [[nodiscard]] bool deliverWaitingHeader();

    // Replies and commands may no longer pair up: what no batch vouched for goes.
    void forgetUnconfirmed();
    // The link is gone: nothing queued will come.
    void linkLost() { m_slots.unqueue(); }

private:
    // How sizes and headers are had in this conversation.
    enum class Fetch {
        Undecided, // no size or header asked yet, nothing listed
        OneByOne, // LIST n and TOP n 0 per request
        Listing, // LIST (and UIDL) sent, replies awaited
        Ready, // sizes known; headers arriving, cached, or fetched on request
    };
    // Whether TOP works: the capability list may not say, so the first answer tells.
    enum class Top : quint8 { Unknown, Works, Refused };
    using Slot = MessageSlots::Slot;
    using Header = MessageSlots::Header;

    bool startFetch(); // false: this conversation goes one request at a time
    void onUidlList(const PopReply& reply);
    void onSizeList(const PopReply& reply);
    void queueHeaders(qint32 from);
    [[nodiscard]] bool topUsable() const;
    void onHeaderAhead(qint32 number, const PopReply& reply);
    void onCheckpoint(qint32 first, qint32 last, const PopReply& reply);
    void serveSize(qint32 number);
    void serveHeader(qint32 number);
    void resumeWaiting();
    void sendSizeRequest(qint32 number);
    void sendHeaderRequest(qint32 number, bool first = false);
    void onHeaderReply(qint32 number, const PopReply& reply);
    void sendDelete(qint32 number);
    void releaseBefore(qint32 number);
    [[nodiscard]] Slot* slot(qint32 number);

    PopConnection& m_connection;
    Requester& m_requester;
    qsizetype m_aheadLimit = kDefaultAheadBytes;
    QString m_account;
    qint64 m_statCount = 0;
    qint32 m_messageCount = 0;

    Fetch m_fetch = Fetch::Undecided;
    bool m_pipelined = false;
    bool m_caching = false;
    Top m_top = Top::Unknown;
    bool m_headersAhead = false; // sizes were asked for: headers are fetched ahead
    MessageSlots m_slots;
    std::vector<QByteArray> m_uids; // by message number - 1, from UIDL or single answers before DELE
    bool m_uidsValid = false;
    Want m_want = Want::Nothing; // what the running request wants
    qint32 m_waiting = 0; // message a running request waits for on the wire
    QSet<qint32> m_deletedHere; // deletions confirmed in this conversation
};

} // namespace ormisk
