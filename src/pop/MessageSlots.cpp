#include "pop/MessageSlots.h"

#include "pop/HeaderDecoding.h"

#include <QSet>

namespace ormisk {

MessageSlots::MessageSlots() = default;

MessageSlots::~MessageSlots() { closeCache(); }

void MessageSlots::assign(std::vector<Slot> table) { m_slots = std::move(table); }

void MessageSlots::clear()
{
    closeCache();
    m_slots.clear();
    m_aheadBytes = 0;
    m_releasedUpTo = 0;
}

MessageSlots::Slot* MessageSlots::find(qint32 number)
{
    if (number < 1 || number > count())
        return nullptr;
    return &m_slots[size_t(number - 1)];
}

HeaderCache& MessageSlots::cache()
{
    if (!m_cache) {
        m_cache = std::make_unique<HeaderCache>(m_cacheFile);
        if (!m_cache->load())
            qWarning("PopClient: header cache %s is damaged or of another version; starting afresh",
                qPrintable(m_cacheFile));
    }
    return *m_cache;
}

void MessageSlots::closeCache()
{
    if (m_cache && m_cache->dirty() && !m_cache->save())
        qWarning("PopClient: could not write the header cache %s", qPrintable(m_cacheFile));
    m_cache.reset();
}

void MessageSlots::applyCache(const std::vector<QByteArray>& uids)
{
    HeaderCache& headers = cache();
    QSet<QByteArray> present;
    QSet<QByteArray> doubled; // an id the server gives twice identifies nothing
    present.reserve(qsizetype(uids.size()));
    for (const QByteArray& uid : uids) {
        if (uid.isEmpty())
            continue;
        const qsizetype before = present.size();
        present.insert(uid);
        if (present.size() == before)
            doubled.insert(uid);
    }
    bool willPut = false;
    qsizetype hits = 0; // entries of this mailbox's messages that stay
    for (size_t i = 0; i < m_slots.size() && i < uids.size(); ++i) {
        Slot& s = m_slots[i];
        s.uid = uids[i];
        if (s.uid.isEmpty() || s.size < 0 || doubled.contains(s.uid))
            continue;
        const HeaderCache::Entry* entry = headers.peek(m_account, s.uid);
        if (entry && entry->size != s.size) {
            headers.remove(m_account, s.uid); // the message changed under the same id: trust it no more
            continue;
        }
        // A header that came over a plain link may have been forged on the way: over TLS it is
        // fetched again, and kept as this link brings it.
        if (entry && m_overTls && !entry->overTls) {
            headers.remove(m_account, s.uid);
            entry = nullptr;
        }
        s.cacheable = true;
        if (!entry) {
            willPut = true;
            continue;
        }
        s.header = Header::Have;
        s.fromCache = true;
        s.confirmed = true;
        // Read when it is handed out: the texts of a large mailbox stay on disk till then.
        if (entry->stored.file == HeaderCache::Stored::None)
            s.text = entry->text;
        else
            s.cached = entry->stored;
        ++hits;
    }
    // Entries of messages gone from the server: a look through all of them only when there are.
    if (!doubled.isEmpty() || headers.size(m_account) > hits)
        headers.retain(m_account, present);
    // Nothing will change it: only the texts are still wanted from it.
    if (!willPut && !headers.dirty())
        headers.releaseIndex();
}

// A header cut to our caps is still a header: the message is listed with what was kept.
void MessageSlots::keep(Slot& s, const PopReply& reply, bool confirmed)
{
    s.header = reply.ok ? Header::Have : Header::Failed;
    s.fromCache = false;
    s.confirmed = false;
    s.text = reply.ok ? headerDisplayText(reply.lines) : QByteArray();
    s.cached = {};
    s.bytes = qint32(s.text.size());
    m_aheadBytes += s.bytes;
    if (confirmed)
        confirm(s);
}

bool MessageSlots::takeText(Slot& s, QByteArray* text)
{
    if (s.cached.file == HeaderCache::Stored::None) {
        *text = std::move(s.text);
        return true;
    }
    return m_cache && m_cache->read(s.cached, text);
}

void MessageSlots::confirm(Slot& s)
{
    if (s.confirmed || (s.header != Header::Have && s.header != Header::Failed))
        return;
    s.confirmed = true;
    if (s.header == Header::Have && s.cacheable && !s.fromCache)
        cache().put(m_account, s.uid, s.size, s.text, m_overTls);
}

void MessageSlots::forget(Slot& s)
{
    m_aheadBytes -= s.bytes;
    s.text = {};
    s.cached = {};
    s.bytes = 0;
    s.header = Header::None;
    s.confirmed = false;
}

void MessageSlots::forgetUnconfirmed()
{
    for (Slot& s : m_slots) {
        if (!s.confirmed && s.header != Header::None)
            forget(s);
    }
}

void MessageSlots::unqueue()
{
    for (Slot& s : m_slots) {
        if (s.header == Header::Queued)
            s.header = Header::None;
    }
}

// Headers fetched ahead for messages before this one were skipped by the caller (a message whose
// size failed gets no header request); they would only hold memory and the window. One its batch
// has not vouched for yet goes once it has, and into the cache.
void MessageSlots::releaseBefore(qint32 number)
{
    for (; m_releasedUpTo < number - 1 && m_releasedUpTo < count(); ++m_releasedUpTo) {
        Slot& s = m_slots[size_t(m_releasedUpTo)];
        if ((s.header == Header::Have || s.header == Header::Failed) && !s.fromCache && s.confirmed)
            forget(s);
    }
}

} // namespace ormisk
