#pragma once
// Headers already fetched, kept between checks so that an unchanged mailbox costs no TOP at all.
// Entries are keyed by account (host, port and user) and the server's unique id of the message,
// and remember the size the message had: a header is only reused while the size still matches.
// The file is written whole through QSaveFile, readable by its owner only; a file that is damaged,
// cut short or of another format version is ignored and rebuilt from the next check.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

namespace ormisk {

class HeaderCache {
public:
    // Each account keeps at most this many headers: far more than a mailbox anyone watches holds,
    // and at a few KB a header the file stays a few MB per account.
    static constexpr int kDefaultLimitPerAccount = 2000;
    // A header larger than this is fetched every time rather than kept.
    static constexpr qsizetype kMaxHeaderBytes = 64 * 1024;
    static constexpr quint32 kFormatVersion = 2; // 2: BLAKE2b digest

    struct Entry {
        qint64 size = 0; // of the whole message, as the server listed it
        QList<QByteArray> lines; // the header as the server sent it
        quint64 stamp = 0; // insertion order, for trimming
    };

    explicit HeaderCache(QString path);

    // Reads the file. A missing file is an empty cache; a damaged one too (returns false).
    bool load();
    // Writes the file atomically with owner-only permissions (creating its folder).
    bool save();

    [[nodiscard]] static QString accountKey(const QString& host, qint32 port, const QString& user);

    [[nodiscard]] const Entry* find(const QString& account, const QByteArray& uid) const;
    // Keeps a header; the oldest entries of the account go when it holds more than the limit.
    void put(const QString& account, const QByteArray& uid, qint64 size, const QList<QByteArray>& lines);
    void remove(const QString& account, const QByteArray& uid);
    // Forgets the account's entries for messages no longer on the server.
    void retain(const QString& account, const QSet<QByteArray>& present);
    [[nodiscard]] bool hasAccount(const QString& account) const { return m_accounts.contains(account); }

    void setLimitPerAccount(int limit) { m_limit = limit; }
    [[nodiscard]] int limitPerAccount() const { return m_limit; }
    [[nodiscard]] bool dirty() const { return m_dirty; }
    [[nodiscard]] int size(const QString& account) const { return int(m_accounts.value(account).size()); }
    [[nodiscard]] QString path() const { return m_path; }

private:
    using Entries = QHash<QByteArray, Entry>;
    bool decode(const QByteArray& bytes);
    void trim(Entries& entries);

    QString m_path;
    QHash<QString, Entries> m_accounts;
    quint64 m_clock = 0;
    int m_limit = kDefaultLimitPerAccount;
    bool m_dirty = false;
};

} // namespace ormisk
