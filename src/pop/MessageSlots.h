#pragma once
// What one conversation holds of each message in the mailbox: its size and unique id from the
// listings, and its header, fetched ahead or taken from the header cache, until it is handed out.
// A header fetched ahead counts only once its batch was vouched for: until then it may belong to
// another message. Vouched-for headers of messages with a unique id go into the header cache.
#include "pop/HeaderCache.h"
#include "pop/PopReplyParser.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

namespace ormisk {

class MessageSlots {
public:
    enum class Header : quint8 { None, Queued, Have, Failed };
    // A hundred thousand of them live through a check: members ordered so none is padded.
    struct Slot {
        qint64 size = -1; // -1: not listed
        QByteArray uid;
        QByteArray text; // the header as shown (headerDisplayText)
        HeaderCache::Stored cached; // or where it waits in the cache's files
        qint32 bytes = 0; // counted against the bytes held ahead
        Header header = Header::None;
        bool cacheable = false; // unique uid whose size did not change since it was cached
        bool fromCache = false;
        bool confirmed = false; // may be handed out: its batch checked out, or asked alone
    };

    MessageSlots();
    ~MessageSlots();
    MessageSlots(const MessageSlots&) = delete;
    MessageSlots& operator=(const MessageSlots&) = delete;

    // File of headers kept between checks; empty keeps none.
    void setCacheFile(const QString& path) { m_cacheFile = path; }
    [[nodiscard]] QString cacheFile() const { return m_cacheFile; }
    // The account whose messages these are, as the cache names it.
    void setAccount(const QString& key) { m_account = key; }
    // Whether this conversation runs over TLS: it neither takes headers that came without.
    void setOverTls(bool overTls) { m_overTls = overTls; }

    // A slot for each message listed, by number - 1; every earlier slot is let go.
    void assign(std::vector<Slot> table);
    // Lets every slot go and closes the cache (written if anything in it changed).
    void clear();
    [[nodiscard]] qint32 count() const { return qint32(m_slots.size()); }
    // The slot of message `number`, or null if there is none.
    [[nodiscard]] Slot* find(qint32 number);

    // Takes headers kept from earlier checks for the messages whose id and size are unchanged,
    // with uids by message number - 1, and drops the cache's entries of messages gone.
    void applyCache(const std::vector<QByteArray>& uids);
    // The cache, read from its file on first use.
    HeaderCache& cache();

    // A reply to TOP for the slot, kept as one text as shown: a single allocation per message
    // instead of one per line, which is what lets a hundred thousand of them fit in memory. Once
    // confirmed (vouched for) it may be handed out.
    void keep(Slot& slot, const PopReply& reply, bool confirmed);
    // The header a slot holds, taken out of it, or read back from the cache; false when the
    // cache could not give it back.
    bool takeText(Slot& slot, QByteArray* text);
    void confirm(Slot& slot);
    void forget(Slot& slot);
    // Headers not yet vouched for may belong to other messages: they go.
    void forgetUnconfirmed();
    // Nothing more arrives: headers still queued are not coming.
    void unqueue();
    // Headers fetched ahead for messages before this one were skipped by the caller.
    void releaseBefore(qint32 number);
    [[nodiscard]] qint32 releasedUpTo() const { return m_releasedUpTo; }
    [[nodiscard]] qsizetype aheadBytes() const { return m_aheadBytes; }

private:
    void closeCache();

    QString m_cacheFile;
    QString m_account;
    bool m_overTls = false;
    std::vector<Slot> m_slots;
    qsizetype m_aheadBytes = 0;
    qint32 m_releasedUpTo = 0; // slots below this were handed out or skipped
    std::unique_ptr<HeaderCache> m_cache;
};

} // namespace ormisk
