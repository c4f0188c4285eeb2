#pragma once
// Headers already fetched, kept between checks so that an unchanged mailbox costs no TOP at all.
// Entries are keyed by account (host, port and user) and the server's unique id of the message,
// and remember the size the message had: a header is only reused while the size still matches.
// An account keeps an entry for every message it still holds on the server, however many; the
// entries of messages gone from the server are dropped at the next check.
// The file is written whole through QSaveFile, readable by its owner only; a file that is damaged,
// cut short or of another format version is ignored and rebuilt from the next check.
#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

namespace ormisk {

class HeaderCache {
public:
    // A header larger than this is fetched every time rather than kept: real headers take a few
    // KB, and this keeps a hostile server from growing the file without end.
    static constexpr qsizetype kMaxHeaderBytes = 64 * 1024;
    static constexpr quint32 kFormatVersion = 3; // 3: one text per header, no entry limit

    struct Entry {
        qint64 size = 0; // of the whole message, as the server listed it
        QByteArray text; // the header as the server sent it, each line ended by LF
    };

    explicit HeaderCache(QString path);

    // Reads the file. A missing file is an empty cache; a damaged one too (returns false).
    bool load();
    // Writes the file atomically with owner-only permissions (creating its folder).
    bool save();

    [[nodiscard]] static QString accountKey(const QString& host, qint32 port, const QString& user);

    [[nodiscard]] const Entry* find(const QString& account, const QByteArray& uid) const;
    void put(const QString& account, const QByteArray& uid, qint64 size, const QByteArray& text);
    void remove(const QString& account, const QByteArray& uid);
    // Forgets the account's entries for messages no longer on the server.
    void retain(const QString& account, const QSet<QByteArray>& present);
    [[nodiscard]] bool hasAccount(const QString& account) const { return m_accounts.contains(account); }

    [[nodiscard]] bool dirty() const { return m_dirty; }
    [[nodiscard]] int size(const QString& account) const { return int(m_accounts.value(account).size()); }
    [[nodiscard]] QString path() const { return m_path; }

private:
    using Entries = QHash<QByteArray, Entry>;
    bool decode(const QByteArray& bytes);

    QString m_path;
    QHash<QString, Entries> m_accounts;
    bool m_dirty = false;
};

} // namespace ormisk
