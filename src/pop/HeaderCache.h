#pragma once
// Headers already fetched, kept between checks so that an unchanged mailbox costs no TOP at all.
// Entries are keyed by account (host, port and user) and the server's unique id of the message,
// and remember the size the message had: a header is only reused while the size still matches.
// Each entry also remembers whether it came over TLS: a header fetched over a plain link may have
// been forged on the way, so a conversation over TLS does not take it.
// An account keeps an entry for every message it still holds on the server, however many; the
// entries of messages gone from the server are dropped at the next check.
// The file is written whole through QSaveFile, readable by its owner only; a file that is damaged,
// cut short or of an unknown format version is ignored and rebuilt from the next check. Headers put
// in during a conversation wait in a private file beside it, not in memory: a first check of a
// hundred thousand messages would otherwise hold all their headers twice.
#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

#include <memory>

class QIODevice;
class QTemporaryFile;

namespace ormisk {

class HeaderCache {
public:
    // A header larger than this is fetched every time rather than kept: real headers take a few
    // KB, and this keeps a hostile server from growing the file without end.
    static constexpr qsizetype kMaxHeaderBytes = 64 * 1024;
    // 3: one text per header, no entry limit; 4: whether each entry came over TLS (read from a
    // file of version 3, every entry came without).
    static constexpr quint32 kFormatVersion = 4;

    struct Entry {
        qint64 size = 0; // of the whole message, as the server listed it
        QByteArray text; // the header as the server sent it, each line ended by LF
        qint64 spilledAt = -1; // where the text waits in the spill file, if it does
        qsizetype spilledBytes = 0;
        bool overTls = false;
    };

    explicit HeaderCache(QString path);
    ~HeaderCache();
    HeaderCache(const HeaderCache&) = delete;
    HeaderCache& operator=(const HeaderCache&) = delete;

    // Reads the file. A missing file is an empty cache; a damaged one too (returns false).
    bool load();
    // Writes the file atomically with owner-only permissions (creating its folder).
    bool save();

    [[nodiscard]] static QString accountKey(const QString& host, qint32 port, const QString& user);

    // The entry with its text, or null.
    [[nodiscard]] const Entry* find(const QString& account, const QByteArray& uid);
    void put(const QString& account, const QByteArray& uid, qint64 size, const QByteArray& text, bool overTls);
    void remove(const QString& account, const QByteArray& uid);
    // Forgets the account's entries for messages no longer on the server.
    void retain(const QString& account, const QSet<QByteArray>& present);
    [[nodiscard]] bool hasAccount(const QString& account) const { return m_accounts.contains(account); }

    [[nodiscard]] bool dirty() const { return m_dirty; }
    [[nodiscard]] int size(const QString& account) const { return int(m_accounts.value(account).size()); }
    [[nodiscard]] QString path() const { return m_path; }

private:
    using Entries = QHash<QByteArray, Entry>;
    bool decode(QIODevice& file);
    bool spill(Entry& entry, const QByteArray& text);
    bool readSpilled(const Entry& entry, QByteArray* text);

    QString m_path;
    QHash<QString, Entries> m_accounts;
    std::unique_ptr<QTemporaryFile> m_spill;
    bool m_dirty = false;
};

} // namespace ormisk
