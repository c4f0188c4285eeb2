#pragma once
// Headers already fetched, kept between checks so that an unchanged mailbox costs no TOP at all.
// Entries are keyed by account (host, port and user) and the server's unique id of the message,
// and remember the size the message had: a header is only reused while the size still matches.
// Each entry also remembers whether it came over TLS: a header fetched over a plain link may have
// been forged on the way, so a conversation over TLS does not take it.
// An account keeps an entry for every message it still holds on the server, however many; the
// entries of messages gone from the server are dropped at the next check.
// The cache does not read its texts: since format 5 they are headers as the program shows them
// (headerDisplayText), so a header taken from it costs no decoding; a file of an older format is
// read once, its headers decoded, and written anew.
// The file is written whole through QSaveFile, readable by its owner only; a file that is damaged,
// cut short or of an unknown format version is ignored and rebuilt from the next check. Texts stay
// on disk until they are asked for: in the file they were loaded from (read in one pass for the
// index, then header by header in the order they are written, which is the order they were last
// asked for), or, when put in during a conversation, in a private file beside it. A check of a
// hundred thousand messages would otherwise hold all their headers twice.
#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

#include <memory>

class QFile;
class QIODevice;
class QTemporaryFile;

namespace ormisk {

class HeaderCache {
public:
    // A header larger than this is fetched every time rather than kept: real headers take a few
    // KB, and this keeps a hostile server from growing the file without end.
    static constexpr qsizetype kMaxHeaderBytes = 64 * 1024;
    // 3: one text per header, no entry limit; 4: whether each entry came over TLS (read from a
    // file of version 3, every entry came without); 5: headers as shown rather than as sent.
    static constexpr quint32 kFormatVersion = 5;

    // Where a text waits on disk.
    struct Stored {
        enum File : quint8 { None, Loaded, Spill };
        qint64 at = 0;
        qint32 bytes = 0;
        File file = None;
    };
    struct Entry {
        qint64 size = 0; // of the whole message, as the server listed it
        QByteArray text; // the header, when it is in memory (see `stored`)
        Stored stored;
        quint32 order = 0; // when it was last asked for or put in: the file keeps entries so
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
    // The entry, its text possibly still on disk (`stored`), or null.
    [[nodiscard]] const Entry* peek(const QString& account, const QByteArray& uid);
    // A text that waits on disk; false when it cannot be read back.
    bool read(const Stored& stored, QByteArray* text);
    // Lets the index go while texts may still be read: a later question reads it again.
    void releaseIndex();
    void put(const QString& account, const QByteArray& uid, qint64 size, const QByteArray& text, bool overTls);
    void remove(const QString& account, const QByteArray& uid);
    // Forgets the account's entries for messages no longer on the server.
    void retain(const QString& account, const QSet<QByteArray>& present);
    [[nodiscard]] bool hasAccount(const QString& account);

    [[nodiscard]] bool dirty() const { return m_dirty; }
    [[nodiscard]] int size(const QString& account);
    [[nodiscard]] QString path() const { return m_path; }

private:
    using Entries = QHash<QByteArray, Entry>;
    // A piece of a file read ahead: texts asked for in the order they lie cost one read per piece.
    struct Window {
        QByteArray data;
        qint64 at = 0;
    };
    bool decode(QIODevice& file);
    bool spill(Entry& entry, const QByteArray& text);
    bool readFrom(QIODevice& file, Window& window, const Stored& stored, QByteArray* text);
    void indexAgain();

    QString m_path;
    QHash<QString, Entries> m_accounts;
    std::unique_ptr<QFile> m_loaded; // the file the index was read from, while texts wait in it
    Window m_loadedWindow;
    std::unique_ptr<QTemporaryFile> m_spill;
    Window m_spillWindow;
    quint32 m_order = 0;
    bool m_released = false;
    bool m_dirty = false;
};

} // namespace ormisk
