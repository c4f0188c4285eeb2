#include "pop/PopFetcher.h"

#include "pop/HeaderCache.h"
#include "pop/HeaderDecoding.h"
#include "pop/ListingLine.h"
#include "pop/PopConnection.h"

#include <algorithm>

namespace ormisk {

namespace {

using Reason = PopFailure::Reason;
using listing::firstWord;
using listing::splitNumbered;
using listing::validUid;

// Headers go out in batches, each closed by "LIST n" for its last message. The first batches
// are short so that the first header is handed out soon; they double up to the longest.
constexpr qint32 kFirstBatch = 8;
constexpr qint32 kLongestBatch = 128;

} // namespace

PopFetcher::PopFetcher(PopConnection& connection, Requester& requester)
    : m_connection(connection)
    , m_requester(requester)
{
    m_connection.setAheadGate([this] { return m_slots.aheadBytes() < m_aheadLimit; });
}

void PopFetcher::setAheadBytes(qsizetype bytes) { m_aheadLimit = std::max<qsizetype>(1, bytes); }

void PopFetcher::beginConversation()
{
    reset();
    m_pipelined = false;
    setMailbox({}, 0, 0);
}

void PopFetcher::reset()
{
    m_slots.clear();
    m_fetch = Fetch::Undecided;
    m_caching = false;
    m_top = Top::Unknown;
    m_headersAhead = false;
    m_uids.clear();
    m_uidsValid = false;
    m_want = Want::Nothing;
    m_waiting = 0;
    m_deletedHere.clear();
}

void PopFetcher::setMailbox(const QString& account, qint64 statCount, qint32 messageCount)
{
    m_account = account;
    m_slots.setAccount(account);
    m_slots.setOverTls(m_connection.isEncrypted());
    m_statCount = statCount;
    m_messageCount = messageCount;
    m_connection.setListedMessages(messageCount);
}

void PopFetcher::requestEnded()
{
    m_want = Want::Nothing;
    m_waiting = 0;
}

// --- requests ------------------------------------------------------------------------------

void PopFetcher::requestSize(qint32 number)
{
    m_want = Want::Size;
    // Asking for sizes is what a check does: from now on headers are worth fetching ahead. A
    // conversation that only asks for one header (the delete command) fetches only that one.
    if (!m_headersAhead) {
        m_headersAhead = true;
        if (m_fetch == Fetch::Ready)
            queueHeaders(1);
    }
    if (startFetch())
        serveSize(number);
    else
        sendSizeRequest(number);
}

void PopFetcher::requestHeader(qint32 number)
{
    m_want = Want::Header;
    if (startFetch())
        serveHeader(number);
    else
        sendHeaderRequest(number);
}

void PopFetcher::deleteMessage(qint32 number)
{
    // The cached header of a deleted message must go with it; a conversation that never listed
    // the ids (the delete command) asks for this one id first.
    const bool known = number <= qint32(m_uids.size()) && !m_uids[size_t(number - 1)].isEmpty();
    if (!m_slots.cacheFile().isEmpty() && !known && number <= m_messageCount && m_slots.cache().hasAccount(m_account)) {
        PopCommand uidl { "UIDL " + QByteArray::number(number), PopReplyParser::Kind::SingleLine,
            [this, number](const PopReply& reply) {
                qint64 listed = 0;
                QByteArrayView uid;
                if (reply.ok && splitNumbered(reply.text, &listed, &uid) && listed == number && validUid(uid)) {
                    m_uids.resize(size_t(m_messageCount));
                    m_uids[size_t(number - 1)] = uid.toByteArray();
                }
                sendDelete(number);
            },
            true };
        m_connection.sendFirst(std::move(uidl));
        return;
    }
    sendDelete(number);
}

void PopFetcher::sendDelete(qint32 number)
{
    // Never pipelined: it waits until every reply in flight is in, and nothing follows it out
    // before its answer.
    PopCommand dele { "DELE " + QByteArray::number(number), PopReplyParser::Kind::SingleLine,
        [this, number](const PopReply& reply) {
            if (!reply.ok) {
                m_requester.requestFailed(Reason::Refused, QStringLiteral("deletion refused"), "DELE", reply.text);
                return;
            }
            m_deletedHere.insert(number);
            if (Slot* s = slot(number)) {
                // The server answers nothing about it any more.
                m_slots.forget(*s);
                s->size = -1;
                s->cacheable = false;
            }
            const QByteArray uid = number <= qint32(m_uids.size()) ? m_uids[size_t(number - 1)] : QByteArray();
            if (!uid.isEmpty() && !m_slots.cacheFile().isEmpty())
                m_slots.cache().remove(m_account, uid);
            m_requester.deletionConfirmed();
        },
        true };
    m_connection.sendFirst(std::move(dele));
}

// --- one request at a time -----------------------------------------------------------------

void PopFetcher::sendSizeRequest(qint32 number)
{
    m_connection.send(
        { "LIST " + QByteArray::number(number), PopReplyParser::Kind::SingleLine, [this](const PopReply& reply) {
             if (!reply.ok) {
                 m_requester.requestFailed(Reason::Refused, QStringLiteral("no size"), "LIST", reply.text);
                 return;
             }
             bool numeric = false;
             const qint64 size = reply.text.split(' ').value(1).toLongLong(&numeric);
             if (!numeric || size < 0) {
                 m_requester.requestFailed(Reason::Protocol, QStringLiteral("no size"), "LIST");
                 return;
             }
             m_requester.sizeFetched(size);
         } });
}

void PopFetcher::sendHeaderRequest(qint32 number, bool first)
{
    PopCommand top { "TOP " + QByteArray::number(number) + " 0", PopReplyParser::Kind::MultiLine,
        [this, number](const PopReply& reply) { onHeaderReply(number, reply); } };
    if (first)
        m_connection.sendFirst(std::move(top));
    else
        m_connection.send(std::move(top));
}

void PopFetcher::onHeaderReply(qint32 number, const PopReply& reply)
{
    const bool firstAnswer = m_top == Top::Unknown;
    if (reply.ok)
        m_top = Top::Works;
    else if (firstAnswer && !m_connection.capabilities().contains("TOP"))
        m_top = Top::Refused; // never offered, and refused: it is not there
    if (m_top == Top::Works && firstAnswer && m_fetch == Fetch::Ready && m_headersAhead)
        queueHeaders(number + 1);
    if (!reply.ok) {
        if (Slot* s = slot(number))
            m_slots.forget(*s);
        releaseBefore(number);
        m_requester.requestFailed(Reason::Refused, QStringLiteral("no header"), "TOP", reply.text);
        return;
    }
    if (Slot* s = slot(number)) {
        m_slots.keep(*s, reply, true);
        (void)deliverHeader(number); // kept just now
        return;
    }
    m_requester.headerFetched(headerDisplayText(reply.lines));
}

// --- fetching ahead ------------------------------------------------------------------------

bool PopFetcher::startFetch()
{
    if (m_fetch == Fetch::OneByOne)
        return false;
    if (m_fetch != Fetch::Undecided)
        return true;
    // A server without a capability list may still keep ids; one that lists its capabilities
    // says whether it does.
    const bool caching = !m_slots.cacheFile().isEmpty()
        && (!m_connection.capabilitiesListed() || m_connection.capabilities().contains("UIDL"));
    const bool pipelined = m_requester.pipeliningUsable();
    if (!pipelined && !caching) {
        m_fetch = Fetch::OneByOne;
        return false;
    }
    sendListing(pipelined, caching);
    return true;
}

void PopFetcher::sendListing(bool pipelined, bool caching)
{
    m_fetch = Fetch::Listing;
    m_pipelined = pipelined;
    m_caching = caching;
    m_connection.setPipelined(pipelined);
    m_uidsValid = false;
    if (caching) {
        PopCommand uidl { "UIDL", PopReplyParser::Kind::MultiLine,
            [this](const PopReply& reply) { onUidlList(reply); } };
        uidl.listing = true;
        m_connection.send(std::move(uidl));
    }
    PopCommand list { "LIST", PopReplyParser::Kind::MultiLine, [this](const PopReply& reply) { onSizeList(reply); } };
    list.listing = true;
    m_connection.send(std::move(list));
    // The server takes a while to list a large mailbox: the cache is read meanwhile, not after.
    if (caching && pipelined) {
        m_connection.flush();
        (void)m_slots.cache();
    }
}

// The ids only feed the cache: a list that is refused, cut or malformed means no cache for this
// check, never a failed one.
void PopFetcher::onUidlList(const PopReply& reply)
{
    if (!reply.ok || reply.truncated || m_fetch != Fetch::Listing)
        return;
    std::vector<QByteArray> uids(static_cast<size_t>(m_messageCount));
    qint64 previous = 0;
    for (const QByteArray& line : reply.lines) {
        qint64 number = 0;
        QByteArrayView uid;
        if (!splitNumbered(line, &number, &uid) || number <= previous || number > m_messageCount || !validUid(uid))
            return;
        previous = number;
        uids[size_t(number - 1)] = uid.toByteArray();
    }
    m_uids = std::move(uids);
    m_uidsValid = true;
}

void PopFetcher::onSizeList(const PopReply& reply)
{
    if (m_fetch != Fetch::Listing)
        return; // misbehaviour was found on the way
    if (!reply.ok || reply.truncated) {
        // Refused (a server that misbehaves under pipelining may do so), or longer than its
        // message count allows: nothing else is in flight now, so this conversation simply goes
        // on one request at a time.
        if (!reply.ok && m_pipelined)
            m_requester.refusePipelining();
        m_fetch = Fetch::OneByOne;
        m_pipelined = false;
        m_caching = false;
        m_connection.setPipelined(false);
        resumeWaiting();
        return;
    }
    // Counted before anything is built: a hostile count costs nothing.
    if (reply.lines.size() != m_statCount - m_deletedHere.size()) {
        m_requester.outOfStep(QStringLiteral("LIST and STAT disagree"));
        return;
    }
    std::vector<Slot> table(static_cast<size_t>(m_messageCount));
    qint64 previous = 0;
    for (const QByteArray& line : reply.lines) {
        qint64 number = 0;
        QByteArrayView rest;
        bool numeric = false;
        const qint64 size = splitNumbered(line, &number, &rest) ? firstWord(rest).toLongLong(&numeric) : -1;
        if (!numeric || size < 0 || number <= previous) {
            m_requester.outOfStep(QStringLiteral("LIST reply malformed"));
            return;
        }
        previous = number;
        if (number <= qint64(table.size()))
            table[size_t(number - 1)].size = size;
    }
    m_slots.assign(std::move(table));
    if (m_caching && m_uidsValid)
        m_slots.applyCache(m_uids);
    m_fetch = Fetch::Ready;
    if (m_headersAhead)
        queueHeaders(1);
    resumeWaiting();
}

bool PopFetcher::topUsable() const
{
    return m_top == Top::Works || (m_top == Top::Unknown && m_connection.capabilities().contains("TOP"));
}

void PopFetcher::queueHeaders(qint32 from)
{
    // A server that never named TOP is asked for one header alone first; the rest follow once
    // it answered.
    if (!m_pipelined || !topUsable())
        return;
    // Each batch's closing "LIST n" names the message and its size, so replies that slid against
    // their commands (a lost or doubled reply) are caught before any header of the batch is
    // handed out or kept. Nothing inside a reply is ever taken as a sign of that.
    qint32 batchLength = kFirstBatch;
    qint32 batchFirst = 0;
    qint32 batchLast = 0;
    auto closeBatch = [this, &batchFirst, &batchLast, &batchLength] {
        if (batchFirst == 0)
            return;
        const qint32 first = batchFirst;
        const qint32 last = batchLast;
        m_connection.send({ "LIST " + QByteArray::number(last), PopReplyParser::Kind::SingleLine,
            [this, first, last](const PopReply& reply) { onCheckpoint(first, last, reply); } });
        batchFirst = 0;
        batchLength = std::min(kLongestBatch, batchLength * 2);
    };
    qint32 inBatch = 0;
    for (qint32 n = std::max(from, m_slots.releasedUpTo() + 1); n <= m_slots.count(); ++n) {
        Slot& s = *m_slots.find(n);
        if (s.header != Header::None || s.size < 0)
            continue;
        s.header = Header::Queued;
        // Only a batch's first command waits for room in memory: a batch once begun goes out
        // whole, so its closing answer always comes.
        m_connection.send({ "TOP " + QByteArray::number(n) + " 0", PopReplyParser::Kind::MultiLine,
            [this, n](const PopReply& reply) { onHeaderAhead(n, reply); }, false, batchFirst == 0 });
        if (batchFirst == 0) {
            batchFirst = n;
            inBatch = 0;
        }
        batchLast = n;
        if (++inBatch >= batchLength)
            closeBatch();
    }
    closeBatch();
}

void PopFetcher::onHeaderAhead(qint32 number, const PopReply& reply)
{
    if (reply.ok)
        m_top = Top::Works;
    Slot* s = slot(number);
    if (!s || s->header != Header::Queued)
        return; // asked for and answered on its own meanwhile, or the conversation moved on
    m_slots.keep(*s, reply, false);
}

void PopFetcher::onCheckpoint(qint32 first, qint32 last, const PopReply& reply)
{
    qint64 number = 0;
    QByteArrayView rest;
    const Slot* end = slot(last);
    bool numeric = false;
    const qint64 size = reply.ok && splitNumbered(reply.text, &number, &rest) ? rest.toLongLong(&numeric) : -1;
    // A message deleted meanwhile (possible only for a caller that skips ahead) has no answer to
    // check against.
    const bool gone = m_deletedHere.contains(last);
    if (!gone && (!end || !numeric || number != last || size != end->size)) {
        m_requester.outOfStep(QStringLiteral("replies out of step with commands"));
        return;
    }
    for (qint32 n = first; n <= last; ++n) {
        Slot& s = *m_slots.find(n);
        m_slots.confirm(s);
        if (n <= m_slots.releasedUpTo() && !s.fromCache)
            m_slots.forget(s); // skipped by the caller: kept for the cache only
    }
    if (m_want == Want::Header && m_waiting >= first && m_waiting <= last) {
        const Slot* waited = slot(m_waiting);
        if (waited && waited->confirmed)
            (void)deliverHeader(m_waiting); // confirmed just now
    }
}

} // namespace ormisk
