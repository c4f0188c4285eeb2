// Sizes, headers and deletions: one request at a time on the wire, or pipelined and answered from
// what arrived, with headers of earlier checks taken from the cache. Whatever the way, a request
// reports exactly the events and states it would report one at a time.
#include "pop/HeaderCache.h"
#include "pop/HeaderDecoding.h"
#include "pop/PopClient.h"

#include <QSet>

#include <limits>

namespace ormisk {

namespace {

// "n rest" with n a message number; false for anything else.
// Read in place: a listing has a line for each of maybe a hundred thousand messages.
bool splitNumbered(QByteArrayView line, qint64* number, QByteArrayView* rest)
{
    const qsizetype blank = line.indexOf(' ');
    if (blank <= 0)
        return false;
    bool ok = false;
    *number = line.first(blank).toLongLong(&ok);
    *rest = line.sliced(blank + 1).trimmed();
    return ok && *number > 0 && !rest->isEmpty();
}

QByteArrayView firstWord(QByteArrayView text)
{
    const qsizetype blank = text.indexOf(' ');
    return blank < 0 ? text : text.first(blank);
}

// A unique id is 1 to 70 printable characters without blanks.
bool validUid(QByteArrayView uid)
{
    if (uid.isEmpty() || uid.size() > 70)
        return false;
    return std::all_of(uid.cbegin(), uid.cend(), [](char c) { return c > 0x20 && c < 0x7f; });
}

// A header is kept as one text, each line ended by LF: a single allocation per message instead of
// one per line, which is what lets a hundred thousand of them fit in memory.
QByteArray joinLines(const QList<QByteArray>& lines)
{
    qsizetype size = 0;
    for (const QByteArray& line : lines)
        size += line.size() + 1;
    QByteArray text;
    text.reserve(size);
    for (const QByteArray& line : lines) {
        text += line;
        text += '\n';
    }
    return text;
}

QList<QByteArray> splitText(const QByteArray& text)
{
    QList<QByteArray> lines = text.split('\n');
    lines.removeLast(); // the empty piece after the last LF
    return lines;
}

qint32 clampedSize(qint64 size)
{
    return static_cast<qint32>(std::min<qint64>(size, std::numeric_limits<qint32>::max()));
}

// Headers go out in batches, each closed by "LIST n" for its last message. The first batches
// are short so that the first header is handed out soon; they double up to the longest.
constexpr qint32 kFirstBatch = 8;
constexpr qint32 kLongestBatch = 128;

} // namespace

// --- requests ------------------------------------------------------------------------------

bool PopClient::beginMessageRequest(Op op, qint32 number)
{
    if (!beginRequest(op))
        return false;
    if (m_linkLost) {
        // What arrived before the link went is still answered; a deletion never is.
        if (op != Op::Delete && answerable(op, number))
            answerLater(number);
        else
            dropLater(m_linkLostWhy.reason, m_linkLostWhy.detail);
        return false;
    }
    if (!m_socket || m_protocolState != Transaction || number < 1) {
        failLater(Reason::Unavailable, QStringLiteral("no such message or not logged in"));
        return false;
    }
    return true;
}

void PopClient::requestMessageSize(qint32 number)
{
    if (!beginMessageRequest(Op::Size, number))
        return;
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

void PopClient::retrieveHeader(qint32 number)
{
    if (!beginMessageRequest(Op::Header, number))
        return;
    // Without TOP the header cannot be had without the whole message, which is never fetched.
    if (m_top == Top::Refused) {
        failLater(Reason::Refused, QStringLiteral("the server refused TOP"));
        return;
    }
    if (startFetch())
        serveHeader(number);
    else
        sendHeaderRequest(number);
}

void PopClient::deleteMessage(qint32 number)
{
    if (!beginMessageRequest(Op::Delete, number))
        return;
    // The cached header of a deleted message must go with it; a conversation that never listed
    // the ids (the delete command) asks for this one id first.
    const bool known = number <= qint32(m_uids.size()) && !m_uids[size_t(number - 1)].isEmpty();
    if (!m_cacheFile.isEmpty() && !known && number <= m_messageCount && cache()->hasAccount(accountKey())) {
        Command uidl { "UIDL " + QByteArray::number(number), PopReplyParser::Kind::SingleLine,
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
        sendCommand(std::move(uidl), true);
        return;
    }
    sendDelete(number);
}

void PopClient::sendDelete(qint32 number)
{
    // Never pipelined: it waits until every reply in flight is in, and nothing follows it out
    // before its answer.
    Command dele { "DELE " + QByteArray::number(number), PopReplyParser::Kind::SingleLine,
        [this, number](const PopReply& reply) {
            if (!reply.ok) {
                failRequest(Reason::Refused, QStringLiteral("deletion refused"), "DELE", reply.text);
                return;
            }
            m_deletedHere.insert(number);
            if (Slot* s = slot(number)) {
                // The server answers nothing about it any more.
                forget(*s);
                s->size = -1;
                s->cacheable = false;
            }
            const QByteArray uid = number <= qint32(m_uids.size()) ? m_uids[size_t(number - 1)] : QByteArray();
            if (!uid.isEmpty() && !m_cacheFile.isEmpty())
                cache()->remove(accountKey(), uid);
            const quint64 generation = m_generation;
            emit deleteConfirmed();
            emit changed();
            if (generation == m_generation)
                finishRequest();
        },
        true };
    sendCommand(std::move(dele), true);
}

// --- one request at a time -----------------------------------------------------------------

void PopClient::sendSizeRequest(qint32 number)
{
    send("LIST " + QByteArray::number(number), PopReplyParser::Kind::SingleLine, [this](const PopReply& reply) {
        if (!reply.ok) {
            failRequest(Reason::Refused, QStringLiteral("no size"), "LIST", reply.text);
            return;
        }
        bool numeric = false;
        const qint64 size = reply.text.split(' ').value(1).toLongLong(&numeric);
        if (!numeric || size < 0) {
            failRequest(Reason::Protocol, QStringLiteral("no size"), "LIST");
            return;
        }
        const quint64 generation = m_generation;
        emit messageSize(clampedSize(size));
        emit changed();
        if (generation == m_generation)
            finishRequest();
    });
}

void PopClient::sendHeaderRequest(qint32 number, bool first)
{
    Command top { "TOP " + QByteArray::number(number) + " 0", PopReplyParser::Kind::MultiLine,
        [this, number](const PopReply& reply) { onHeaderReply(number, reply); } };
    sendCommand(std::move(top), first);
}

void PopClient::onHeaderReply(qint32 number, const PopReply& reply)
{
    const bool firstAnswer = m_top == Top::Unknown;
    if (reply.ok)
        m_top = Top::Works;
    else if (firstAnswer && !m_capabilities.contains("TOP"))
        m_top = Top::Refused; // never offered, and refused: it is not there
    if (m_top == Top::Works && firstAnswer && m_fetch == Fetch::Ready && m_headersAhead)
        queueHeaders(number + 1);
    if (!reply.ok) {
        if (Slot* s = slot(number))
            forget(*s);
        releaseBefore(number);
        failRequest(Reason::Refused, QStringLiteral("no header"), "TOP", reply.text);
        return;
    }
    if (Slot* s = slot(number)) {
        keepHeader(*s, reply, true);
        deliverHeader(number);
        return;
    }
    emitHeader(joinLines(reply.lines));
}

// --- fetching ahead ------------------------------------------------------------------------

bool PopClient::startFetch()
{
    if (m_fetch == Fetch::OneByOne)
        return false;
    if (m_fetch != Fetch::Undecided)
        return true;
    // A server without a capability list may still keep ids; one that lists its capabilities
    // says whether it does.
    const bool caching = !m_cacheFile.isEmpty() && (!m_capaAnswered || m_capabilities.contains("UIDL"));
    const bool pipelined = pipelineUsable();
    if (!pipelined && !caching) {
        m_fetch = Fetch::OneByOne;
        return false;
    }
    sendListing(pipelined, caching);
    return true;
}

void PopClient::sendListing(bool pipelined, bool caching)
{
    m_fetch = Fetch::Listing;
    m_fetchPipelined = pipelined;
    m_fetchCaching = caching;
    m_pipelinedNow = pipelined;
    m_uidsValid = false;
    if (caching) {
        Command uidl { "UIDL", PopReplyParser::Kind::MultiLine, [this](const PopReply& reply) { onUidlList(reply); } };
        uidl.listing = true;
        sendCommand(std::move(uidl));
    }
    Command list { "LIST", PopReplyParser::Kind::MultiLine, [this](const PopReply& reply) { onSizeList(reply); } };
    list.listing = true;
    sendCommand(std::move(list));
}

// The ids only feed the cache: a list that is refused, cut or malformed means no cache for this
// check, never a failed one.
void PopClient::onUidlList(const PopReply& reply)
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

void PopClient::onSizeList(const PopReply& reply)
{
    if (m_fetch != Fetch::Listing)
        return; // misbehaviour was found on the way
    if (!reply.ok || reply.truncated) {
        // Refused (a server that misbehaves under pipelining may do so), or longer than its
        // message count allows: nothing else is in flight now, so this conversation simply goes
        // on one request at a time.
        if (!reply.ok && m_fetchPipelined)
            m_pipelineRefused.insert(serverKey());
        m_fetch = Fetch::OneByOne;
        m_fetchPipelined = false;
        m_fetchCaching = false;
        m_pipelinedNow = false;
        resumeWaiting();
        return;
    }
    // Counted before anything is built: a hostile count costs nothing.
    if (reply.lines.size() != m_statCount - m_deletedHere.size()) {
        misbehaved(QStringLiteral("LIST and STAT disagree"));
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
            misbehaved(QStringLiteral("LIST reply malformed"));
            return;
        }
        previous = number;
        if (number <= qint64(table.size()))
            table[size_t(number - 1)].size = size;
    }
    m_slots = std::move(table);
    applyCache();
    m_fetch = Fetch::Ready;
    if (m_headersAhead)
        queueHeaders(1);
    resumeWaiting();
}

void PopClient::applyCache()
{
    if (!m_fetchCaching || !m_uidsValid)
        return;
    HeaderCache* headers = cache();
    const QString account = accountKey();
    QSet<QByteArray> present;
    QSet<QByteArray> doubled; // an id the server gives twice identifies nothing
    present.reserve(qsizetype(m_uids.size()));
    for (const QByteArray& uid : m_uids) {
        if (uid.isEmpty())
            continue;
        const qsizetype before = present.size();
        present.insert(uid);
        if (present.size() == before)
            doubled.insert(uid);
    }
    bool willPut = false;
    qsizetype hits = 0; // entries of this mailbox's messages that stay
    for (size_t i = 0; i < m_slots.size() && i < m_uids.size(); ++i) {
        Slot& s = m_slots[i];
        s.uid = m_uids[i];
        if (s.uid.isEmpty() || s.size < 0 || doubled.contains(s.uid))
            continue;
        const HeaderCache::Entry* entry = headers->find(account, s.uid);
        if (entry && entry->size != s.size) {
            headers->remove(account, s.uid); // the message changed under the same id: trust it no more
            continue;
        }
        s.cacheable = true;
        if (!entry) {
            willPut = true;
            continue;
        }
        s.header = HeaderState::Have;
        s.fromCache = true;
        s.confirmed = true;
        s.text = entry->text;
        ++hits;
    }
    // Entries of messages gone from the server: a look through all of them only when there are.
    if (!doubled.isEmpty() || headers->size(account) > hits)
        headers->retain(account, present);
    // Nothing will change it: its memory goes back as the headers are handed out.
    if (!willPut && !headers->dirty())
        m_cache.reset();
}

bool PopClient::topUsable() const
{
    return m_top == Top::Works || (m_top == Top::Unknown && m_capabilities.contains("TOP"));
}

void PopClient::queueHeaders(qint32 from)
{
    // A server that never named TOP is asked for one header alone first; the rest follow once
    // it answered.
    if (!m_fetchPipelined || !topUsable())
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
        m_unsent.push_back(Command { "LIST " + QByteArray::number(last), PopReplyParser::Kind::SingleLine,
            [this, first, last](const PopReply& reply) { onCheckpoint(first, last, reply); } });
        batchFirst = 0;
        batchLength = std::min(kLongestBatch, batchLength * 2);
    };
    qint32 inBatch = 0;
    for (qint32 n = std::max(from, m_releasedUpTo + 1); n <= qint32(m_slots.size()); ++n) {
        Slot& s = m_slots[size_t(n - 1)];
        if (s.header != HeaderState::None || s.size < 0)
            continue;
        s.header = HeaderState::Queued;
        // Only a batch's first command waits for room in memory: a batch once begun goes out
        // whole, so its closing answer always comes.
        m_unsent.push_back(Command { "TOP " + QByteArray::number(n) + " 0", PopReplyParser::Kind::MultiLine,
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
    pump();
}

void PopClient::onHeaderAhead(qint32 number, const PopReply& reply)
{
    if (reply.ok)
        m_top = Top::Works;
    Slot* s = slot(number);
    if (!s || s->header != HeaderState::Queued)
        return; // asked for and answered on its own meanwhile, or the conversation moved on
    keepHeader(*s, reply, false);
}

void PopClient::onCheckpoint(qint32 first, qint32 last, const PopReply& reply)
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
        misbehaved(QStringLiteral("replies out of step with commands"));
        return;
    }
    for (qint32 n = first; n <= last; ++n) {
        Slot& s = m_slots[size_t(n - 1)];
        confirmHeader(s);
        if (n <= m_releasedUpTo && !s.fromCache)
            forget(s); // skipped by the caller: kept for the cache only
    }
    if (m_busy && m_op == Op::Header && m_waiting >= first && m_waiting <= last) {
        const Slot* waited = slot(m_waiting);
        if (waited && waited->confirmed)
            deliverHeader(m_waiting);
    }
}

// A header cut to our caps is still a header: the message is listed with what was kept.
void PopClient::keepHeader(Slot& s, const PopReply& reply, bool confirmed)
{
    s.header = reply.ok ? HeaderState::Have : HeaderState::Failed;
    s.fromCache = false;
    s.confirmed = false;
    s.text = reply.ok ? joinLines(reply.lines) : QByteArray();
    s.bytes = s.text.size();
    m_aheadBytes += s.bytes;
    if (confirmed)
        confirmHeader(s);
}

void PopClient::confirmHeader(Slot& s)
{
    if (s.confirmed || (s.header != HeaderState::Have && s.header != HeaderState::Failed))
        return;
    s.confirmed = true;
    if (s.header == HeaderState::Have && s.cacheable && m_fetchCaching && !s.fromCache)
        cache()->put(accountKey(), s.uid, s.size, s.text);
}

void PopClient::forget(Slot& s)
{
    m_aheadBytes -= s.bytes;
    s.text = {};
    s.bytes = 0;
    s.header = HeaderState::None;
    s.confirmed = false;
}

void PopClient::serveSize(qint32 number)
{
    if (m_fetch == Fetch::Listing) {
        m_waiting = number;
        return;
    }
    answerLater(number);
}

void PopClient::serveHeader(qint32 number)
{
    if (m_fetch == Fetch::Listing) {
        m_waiting = number;
        return;
    }
    Slot* s = slot(number);
    if (s && s->confirmed) {
        answerLater(number);
    } else if (s
        && (s->header == HeaderState::Queued || s->header == HeaderState::Have || s->header == HeaderState::Failed)) {
        m_waiting = number;
        releaseBefore(number);
    } else {
        // Not fetched ahead (one at a time, already handed out, or beyond the list): ask now,
        // ahead of any header still waiting to go out.
        if (s)
            s->header = HeaderState::None;
        sendHeaderRequest(number, true);
    }
}

// The request waiting for the list (or for the list's refusal) goes on.
void PopClient::resumeWaiting()
{
    if (!m_busy || m_waiting == 0)
        return;
    const qint32 number = m_waiting;
    m_waiting = 0;
    if (m_fetch == Fetch::OneByOne) {
        if (m_op == Op::Size)
            sendSizeRequest(number);
        else if (m_op == Op::Header)
            sendHeaderRequest(number);
        return;
    }
    if (m_op == Op::Size)
        serveSize(number);
    else if (m_op == Op::Header)
        serveHeader(number);
}

// A request answered from what is here still ends on a later turn of the event loop, like one
// that went to the server.
void PopClient::answerLater(qint32 number)
{
    m_answerScheduled = true;
    const quint64 generation = m_generation;
    // A posted call, never a timer: a waiting caller may take it straight from the queue.
    QMetaObject::invokeMethod(
        this,
        [this, generation, number] {
            if (generation != m_generation || !m_busy)
                return;
            if (m_op == Op::Size)
                deliverSize(number);
            else if (m_op == Op::Header)
                deliverHeader(number);
        },
        Qt::QueuedConnection);
}

void PopClient::deliverSize(qint32 number)
{
    const Slot* s = slot(number);
    if (!s || s->size < 0) {
        failRequest(Reason::Unavailable, QStringLiteral("no size: the message is not listed"), "LIST");
        return;
    }
    const quint64 generation = m_generation;
    emit messageSize(clampedSize(s->size));
    emit changed();
    if (generation == m_generation)
        finishRequest();
}

void PopClient::deliverHeader(qint32 number)
{
    Slot* s = slot(number);
    if (!s || (s->header != HeaderState::Have && s->header != HeaderState::Failed)) {
        if (m_linkLost)
            dropLink(m_linkLostWhy.reason, m_linkLostWhy.detail, m_linkLostWhy.command);
        else
            failRequest(Reason::Unavailable, QStringLiteral("no header"), "TOP");
        return;
    }
    // Handed out once: the memory goes back, and the window may move on.
    const bool have = s->header == HeaderState::Have;
    const QByteArray text = std::move(s->text);
    forget(*s);
    releaseBefore(number);
    if (!have) {
        failRequest(Reason::Refused, QStringLiteral("no header"), "TOP");
        return;
    }
    emitHeader(text);
}

void PopClient::emitHeader(const QByteArray& text)
{
    DocOutput doc;
    doc.state = DocOutput::HeadersAvailable;
    doc.headers = parseHeaderLines(splitText(text));
    const quint64 generation = m_generation;
    emit docOutput(doc);
    emit changed();
    if (generation == m_generation)
        finishRequest();
}

// Headers fetched ahead for messages before this one were skipped by the caller (a message whose
// size failed gets no header request); they would only hold memory and the window. One its batch
// has not vouched for yet goes once it has, and into the cache.
void PopClient::releaseBefore(qint32 number)
{
    for (; m_releasedUpTo < number - 1 && m_releasedUpTo < qint32(m_slots.size()); ++m_releasedUpTo) {
        Slot& s = m_slots[size_t(m_releasedUpTo)];
        if ((s.header == HeaderState::Have || s.header == HeaderState::Failed) && !s.fromCache && s.confirmed)
            forget(s);
    }
    pump();
}

bool PopClient::answerable(Op op, qint32 number)
{
    if (m_fetch != Fetch::Ready)
        return false;
    const Slot* s = slot(number);
    if (op == Op::Size)
        return true; // the whole list came in: a message missing from it has no size
    return s && (s->header == HeaderState::Have || s->header == HeaderState::Failed);
}

// --- misbehaviour and bookkeeping ----------------------------------------------------------

void PopClient::misbehaved(const QString& why, Reason reason)
{
    m_pipelineRefused.insert(serverKey());
    // Headers not yet vouched for by a batch's closing answer may belong to other messages.
    for (Slot& s : m_slots) {
        if (!s.confirmed && s.header != HeaderState::None)
            forget(s);
    }
    if (m_fetch == Fetch::Listing) {
        m_slots.clear();
        dropLink(reason, why, pendingVerb());
        return;
    }
    linkFailure(reason, why);
}

PopClient::Slot* PopClient::slot(qint32 number)
{
    if (m_fetch != Fetch::Ready || number < 1 || number > qint32(m_slots.size()))
        return nullptr;
    return &m_slots[size_t(number - 1)];
}

HeaderCache* PopClient::cache()
{
    if (!m_cache) {
        m_cache = std::make_unique<HeaderCache>(m_cacheFile);
        if (!m_cache->load())
            qWarning("PopClient: header cache %s is damaged or of another version; starting afresh",
                qPrintable(m_cacheFile));
    }
    return m_cache.get();
}

void PopClient::closeCache()
{
    if (m_cache && m_cache->dirty() && !m_cache->save())
        qWarning("PopClient: could not write the header cache %s", qPrintable(m_cacheFile));
    m_cache.reset();
}

void PopClient::resetFetch()
{
    closeCache();
    m_fetch = Fetch::Undecided;
    m_fetchCaching = false;
    m_top = Top::Unknown;
    m_headersAhead = false;
    m_slots.clear();
    m_uids.clear();
    m_uidsValid = false;
    m_waiting = 0;
    m_aheadBytes = 0;
    m_releasedUpTo = 0;
    m_deletedHere.clear();
    m_linkLost = false;
    m_linkLostWhy = {};
}

} // namespace ormisk
