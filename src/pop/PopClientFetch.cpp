// Sizes, headers and deletions: one request at a time on the wire, or pipelined and answered from
// what arrived, with headers of earlier checks taken from the cache. Whatever the way, a request
// reports exactly the events and states it would report one at a time.
#include "pop/HeaderCache.h"
#include "pop/HeaderDecoding.h"
#include "pop/PopClient.h"

#include <limits>

namespace ormisk {

namespace {

// "n rest" with n a message number; false for anything else.
bool splitNumbered(const QByteArray& line, qint64* number, QByteArray* rest)
{
    const qsizetype blank = line.indexOf(' ');
    if (blank <= 0)
        return false;
    bool ok = false;
    *number = line.left(blank).toLongLong(&ok);
    *rest = line.mid(blank + 1).trimmed();
    return ok && *number > 0 && !rest->isEmpty();
}

// A unique id is 1 to 70 printable characters without blanks.
bool validUid(const QByteArray& uid)
{
    if (uid.isEmpty() || uid.size() > 70)
        return false;
    return std::all_of(uid.cbegin(), uid.cend(), [](char c) { return c > 0x20 && c < 0x7f; });
}

// A status line inside a header body means the replies have slid against the commands.
bool looksLikeStatus(const QByteArray& line)
{
    return line == "+OK" || line.startsWith("+OK ") || line == "-ERR" || line.startsWith("-ERR ");
}

qsizetype lineBytes(const QList<QByteArray>& lines)
{
    qsizetype bytes = 0;
    for (const QByteArray& line : lines)
        bytes += line.size() + 2;
    return bytes;
}

} // namespace

// --- requests ------------------------------------------------------------------------------

bool PopClient::beginMessageRequest(Op op, qint16 number)
{
    if (!beginRequest(op))
        return false;
    if (m_linkLost) {
        // What arrived before the link went is still answered; a deletion never is.
        if (op != Op::Delete && answerable(op, number))
            answerLater(number);
        else
            dropLater(m_linkLostWhy);
        return false;
    }
    if (!m_socket || m_protocolState != Transaction || number < 1) {
        failLater(QStringLiteral("no such message or not logged in"));
        return false;
    }
    return true;
}

void PopClient::requestMessageSize(qint16 number)
{
    if (!beginMessageRequest(Op::Size, number))
        return;
    if (startFetch())
        serveSize(number);
    else
        sendSizeRequest(number);
}

void PopClient::retrieveHeader(qint16 number)
{
    if (!beginMessageRequest(Op::Header, number))
        return;
    // Without TOP the header cannot be had without the whole message, which is never fetched.
    if (m_capaAnswered && !m_capabilities.contains("TOP")) {
        failLater(QStringLiteral("the server offers no TOP"));
        return;
    }
    if (startFetch())
        serveHeader(number);
    else
        sendHeaderRequest(number);
}

void PopClient::deleteMessage(qint16 number)
{
    if (!beginMessageRequest(Op::Delete, number))
        return;
    // The cached header of a deleted message must go with it; a conversation that never listed
    // the ids (the delete command) asks for this one id first.
    if (!m_cacheFile.isEmpty() && m_capabilities.contains("UIDL") && !m_uids.contains(number)
        && cache()->hasAccount(accountKey())) {
        Command uidl { "UIDL " + QByteArray::number(number), PopReplyParser::Kind::SingleLine,
            [this, number](const PopReply& reply) {
                qint64 listed = 0;
                QByteArray uid;
                if (reply.ok && splitNumbered(reply.text, &listed, &uid) && listed == number && validUid(uid))
                    m_uids.insert(number, uid);
                sendDelete(number);
            },
            true };
        sendCommand(std::move(uidl), true);
        return;
    }
    sendDelete(number);
}

void PopClient::sendDelete(qint16 number)
{
    // Never pipelined: it waits until every reply in flight is in, and nothing follows it out
    // before its answer.
    Command dele { "DELE " + QByteArray::number(number), PopReplyParser::Kind::SingleLine,
        [this, number](const PopReply& reply) {
            if (!reply.ok) {
                failRequest(QStringLiteral("deletion refused"));
                return;
            }
            m_deletedHere.insert(number);
            const QByteArray uid = m_uids.value(number);
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

void PopClient::sendSizeRequest(qint16 number)
{
    send("LIST " + QByteArray::number(number), PopReplyParser::Kind::SingleLine, [this](const PopReply& reply) {
        const QList<QByteArray> words = reply.text.split(' ');
        bool numeric = false;
        const qint64 size = words.value(1).toLongLong(&numeric);
        if (!reply.ok || !numeric || size < 0) {
            failRequest(QStringLiteral("no size"));
            return;
        }
        const quint64 generation = m_generation;
        emit messageSize(static_cast<qint32>(std::min<qint64>(size, std::numeric_limits<qint32>::max())));
        emit changed();
        if (generation == m_generation)
            finishRequest();
    });
}

void PopClient::sendHeaderRequest(qint16 number, bool first)
{
    Command top { "TOP " + QByteArray::number(number) + " 0", PopReplyParser::Kind::MultiLine,
        [this, number](const PopReply& reply) {
            if (Slot* s = slot(number)) {
                keepHeader(*s, reply, true);
                deliverHeader(number);
                return;
            }
            if (!reply.ok || reply.truncated) {
                failRequest(reply.truncated ? QStringLiteral("header too large") : QStringLiteral("no header"));
                return;
            }
            DocOutput doc;
            doc.state = DocOutput::HeadersAvailable;
            doc.headers = parseHeaderLines(reply.lines);
            const quint64 generation = m_generation;
            emit docOutput(doc);
            emit changed();
            if (generation == m_generation)
                finishRequest();
        } };
    sendCommand(std::move(top), first);
}

// --- fetching ahead ------------------------------------------------------------------------

bool PopClient::startFetch()
{
    if (m_fetch == Fetch::OneByOne)
        return false;
    if (m_fetch != Fetch::Undecided)
        return true;
    const bool pipelined
        = m_pipelining && m_capabilities.contains("PIPELINING") && !m_pipelineRefused.contains(serverKey());
    const bool caching = !m_cacheFile.isEmpty() && m_capabilities.contains("UIDL");
    if (!pipelined && !caching) {
        m_fetch = Fetch::OneByOne;
        return false;
    }
    m_fetch = Fetch::Listing;
    m_fetchPipelined = pipelined;
    m_fetchCaching = caching;
    m_window = pipelined ? m_pipelineWindow : 1;
    m_uidsValid = false;
    if (caching)
        send("UIDL", PopReplyParser::Kind::MultiLine, [this](const PopReply& reply) { onUidlList(reply); });
    send("LIST", PopReplyParser::Kind::MultiLine, [this](const PopReply& reply) { onSizeList(reply); });
    return true;
}

void PopClient::onUidlList(const PopReply& reply)
{
    if (!reply.ok)
        return; // no ids, no cache; sizes and headers come as usual
    QHash<qint16, QByteArray> uids;
    qint64 previous = 0;
    for (const QByteArray& line : reply.lines) {
        qint64 number = 0;
        QByteArray uid;
        if (!splitNumbered(line, &number, &uid) || number <= previous || !validUid(uid)) {
            if (m_fetchPipelined && looksLikeStatus(line))
                misbehaved(QStringLiteral("UIDL list out of step"));
            return;
        }
        previous = number;
        if (number <= std::numeric_limits<qint16>::max())
            uids.insert(static_cast<qint16>(number), uid);
    }
    m_uids = std::move(uids);
    m_uidsValid = true;
}

void PopClient::onSizeList(const PopReply& reply)
{
    if (m_fetch != Fetch::Listing)
        return; // misbehaviour was found on the way
    if (!reply.ok) {
        if (m_fetchPipelined)
            m_pipelineRefused.insert(serverKey());
        // Nothing else is in flight now: this conversation simply goes on one request at a time.
        m_fetch = Fetch::OneByOne;
        m_fetchPipelined = false;
        m_window = 1;
        resumeWaiting();
        return;
    }
    std::vector<Slot> table(static_cast<size_t>(m_messageCount));
    qint64 previous = 0;
    qint64 listed = 0;
    for (const QByteArray& line : reply.lines) {
        qint64 number = 0;
        QByteArray rest;
        bool numeric = false;
        const qint64 size = splitNumbered(line, &number, &rest) ? rest.split(' ').value(0).toLongLong(&numeric) : -1;
        if (!numeric || size < 0 || number <= previous) {
            misbehaved(QStringLiteral("LIST reply malformed"));
            return;
        }
        previous = number;
        ++listed;
        if (number <= qint64(table.size()))
            table[size_t(number - 1)].size = size;
    }
    if (listed != m_statCount - m_deletedHere.size()) {
        misbehaved(QStringLiteral("LIST and STAT disagree"));
        return;
    }
    m_slots = std::move(table);

    if (m_fetchCaching && m_uidsValid) {
        HeaderCache* headers = cache();
        const QString account = accountKey();
        QHash<QByteArray, int> seen;
        QSet<QByteArray> present;
        for (auto it = m_uids.cbegin(); it != m_uids.cend(); ++it) {
            ++seen[it.value()];
            present.insert(it.value());
        }
        headers->retain(account, present);
        for (qint16 n = 1; n <= qint16(m_slots.size()); ++n) {
            Slot& s = m_slots[size_t(n - 1)];
            s.uid = m_uids.value(n);
            if (s.uid.isEmpty() || s.size < 0 || seen.value(s.uid) != 1)
                continue; // an id the server gives twice identifies nothing
            const HeaderCache::Entry* entry = headers->find(account, s.uid);
            if (entry && entry->size != s.size) {
                headers->remove(account, s.uid); // the message changed under the same id
                continue;
            }
            s.cacheable = true;
            if (entry) {
                s.header = HeaderState::Have;
                s.fromCache = true;
                s.confirmed = true;
                s.lines = entry->lines;
            }
        }
    }
    m_fetch = Fetch::Ready;
    queueHeaders();
    resumeWaiting();
}

void PopClient::queueHeaders()
{
    if (!m_fetchPipelined || (m_capaAnswered && !m_capabilities.contains("TOP")))
        return; // one request at a time: headers are asked for when wanted
    // Headers go out in batches of a window's length, each closed by "LIST n" for its last
    // message: that answer names the message and its size, so replies that slid against their
    // commands (a lost or doubled reply) are caught before any header of the batch is handed
    // out or kept.
    // The first batches are short so that the first header is handed out soon; they double up
    // to a window's length.
    constexpr int kFirstBatch = 8;
    int batchLength = std::min(m_window, kFirstBatch);
    QList<qint16> batch;
    auto closeBatch = [this, &batch, &batchLength] {
        if (batch.isEmpty())
            return;
        const qint16 first = batch.constFirst();
        const qint16 last = batch.constLast();
        m_unsent.push_back(Command { "LIST " + QByteArray::number(last), PopReplyParser::Kind::SingleLine,
            [this, first, last](const PopReply& reply) { onCheckpoint(first, last, reply); } });
        batch.clear();
        batchLength = std::min(m_window, batchLength * 2);
    };
    for (qint16 n = 1; n <= qint16(m_slots.size()); ++n) {
        Slot& s = m_slots[size_t(n - 1)];
        if (s.header != HeaderState::None || s.size < 0)
            continue;
        s.header = HeaderState::Queued;
        // Only a batch's first command waits for room in memory: a batch once begun goes out
        // whole, so its closing answer always comes.
        m_unsent.push_back(Command { "TOP " + QByteArray::number(n) + " 0", PopReplyParser::Kind::MultiLine,
            [this, n](const PopReply& reply) { onHeaderAhead(n, reply); }, false, batch.isEmpty() });
        batch << n;
        if (batch.size() >= batchLength)
            closeBatch();
    }
    closeBatch();
    pump();
}

void PopClient::onHeaderAhead(qint16 number, const PopReply& reply)
{
    Slot* s = slot(number);
    if (!s || s->header != HeaderState::Queued)
        return; // asked for and answered on its own meanwhile, or the conversation moved on
    if (reply.ok && std::any_of(reply.lines.cbegin(), reply.lines.cend(), looksLikeStatus)) {
        misbehaved(QStringLiteral("TOP reply out of step"));
        return;
    }
    keepHeader(*s, reply, false);
}

void PopClient::onCheckpoint(qint16 first, qint16 last, const PopReply& reply)
{
    qint64 number = 0;
    QByteArray rest;
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
    for (qint16 n = first; n <= last; ++n)
        confirmHeader(m_slots[size_t(n - 1)]);
    if (m_busy && m_op == Op::Header && m_waiting >= first && m_waiting <= last) {
        const Slot* waited = slot(m_waiting);
        if (waited && waited->confirmed)
            deliverHeader(m_waiting);
    }
}

void PopClient::keepHeader(Slot& s, const PopReply& reply, bool confirmed)
{
    s.header = reply.ok && !reply.truncated ? HeaderState::Have : HeaderState::Failed;
    s.truncated = reply.truncated;
    s.fromCache = false;
    s.confirmed = false;
    s.lines = s.header == HeaderState::Have ? reply.lines : QList<QByteArray>();
    s.bytes = lineBytes(s.lines);
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
        cache()->put(accountKey(), s.uid, s.size, s.lines);
}

void PopClient::serveSize(qint16 number)
{
    if (m_fetch == Fetch::Listing) {
        m_waiting = number;
        return;
    }
    answerLater(number);
}

void PopClient::serveHeader(qint16 number)
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
    const qint16 number = m_waiting;
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
void PopClient::answerLater(qint16 number)
{
    m_answerScheduled = true;
    const quint64 generation = m_generation;
    QTimer::singleShot(0, this, [this, generation, number] {
        if (generation != m_generation || !m_busy)
            return;
        if (m_op == Op::Size)
            deliverSize(number);
        else if (m_op == Op::Header)
            deliverHeader(number);
    });
}

void PopClient::deliverSize(qint16 number)
{
    const Slot* s = slot(number);
    if (!s || s->size < 0) {
        failRequest(QStringLiteral("no size"));
        return;
    }
    const quint64 generation = m_generation;
    emit messageSize(static_cast<qint32>(std::min<qint64>(s->size, std::numeric_limits<qint32>::max())));
    emit changed();
    if (generation == m_generation)
        finishRequest();
}

void PopClient::deliverHeader(qint16 number)
{
    Slot* s = slot(number);
    if (!s || (s->header != HeaderState::Have && s->header != HeaderState::Failed)) {
        if (m_linkLost)
            dropLink(m_linkLostWhy);
        else
            failRequest(QStringLiteral("no header"));
        return;
    }
    // Handed out once: the memory goes back, and the window may move on.
    const bool have = s->header == HeaderState::Have;
    const bool truncated = s->truncated;
    const QList<QByteArray> lines = std::move(s->lines);
    m_aheadBytes -= s->bytes;
    s->lines = {};
    s->bytes = 0;
    s->header = HeaderState::None;
    s->confirmed = false;
    releaseBefore(number);
    if (!have) {
        failRequest(truncated ? QStringLiteral("header too large") : QStringLiteral("no header"));
        return;
    }
    DocOutput doc;
    doc.state = DocOutput::HeadersAvailable;
    doc.headers = parseHeaderLines(lines);
    const quint64 generation = m_generation;
    emit docOutput(doc);
    emit changed();
    if (generation == m_generation)
        finishRequest();
}

// Headers fetched ahead for messages before this one were skipped by the caller (a message whose
// size failed gets no header request); they would only hold memory and the window.
void PopClient::releaseBefore(qint16 number)
{
    for (; m_releasedUpTo < number - 1 && m_releasedUpTo < qint16(m_slots.size()); ++m_releasedUpTo) {
        Slot& s = m_slots[size_t(m_releasedUpTo)];
        if ((s.header == HeaderState::Have || s.header == HeaderState::Failed) && !s.fromCache) {
            m_aheadBytes -= s.bytes;
            s.lines = {};
            s.bytes = 0;
            s.header = HeaderState::None;
            s.confirmed = false;
        }
    }
    pump();
}

bool PopClient::answerable(Op op, qint16 number)
{
    if (m_fetch != Fetch::Ready)
        return false;
    const Slot* s = slot(number);
    if (op == Op::Size)
        return true; // the whole list came in: a message missing from it has no size
    return s && (s->header == HeaderState::Have || s->header == HeaderState::Failed);
}

// --- misbehaviour and bookkeeping ----------------------------------------------------------

void PopClient::misbehaved(const QString& why)
{
    m_pipelineRefused.insert(serverKey());
    // Headers not yet vouched for by a batch's closing answer may belong to other messages.
    for (Slot& s : m_slots) {
        if (!s.confirmed && s.header != HeaderState::None) {
            m_aheadBytes -= s.bytes;
            s.header = HeaderState::None;
            s.lines = {};
            s.bytes = 0;
        }
    }
    if (m_fetch == Fetch::Listing) {
        m_slots.clear();
        dropLink(why);
        return;
    }
    linkFailure(why);
}

PopClient::Slot* PopClient::slot(qint16 number)
{
    if (m_fetch != Fetch::Ready || number < 1 || number > qint16(m_slots.size()))
        return nullptr;
    return &m_slots[size_t(number - 1)];
}

HeaderCache* PopClient::cache()
{
    if (!m_cache) {
        m_cache = std::make_unique<HeaderCache>(m_cacheFile);
        if (m_cacheLimit >= 0)
            m_cache->setLimitPerAccount(m_cacheLimit);
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
    m_slots.clear();
    m_uids.clear();
    m_uidsValid = false;
    m_waiting = 0;
    m_aheadBytes = 0;
    m_releasedUpTo = 0;
    m_deletedHere.clear();
    m_linkLost = false;
    m_linkLostWhy.clear();
}

} // namespace ormisk
