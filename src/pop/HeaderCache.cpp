#include "pop/HeaderCache.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <algorithm>

namespace ormisk {

namespace {

// Layout: magic, format version, payload length, payload (in QDataStream's Qt 6.0 format), BLAKE2b-256
// of the payload.
// The digest catches a file cut short or scribbled on, which the reader alone may take for data.
constexpr QByteArrayView kMagic = "ORMISKHC";
// BLAKE2b is several times faster than SHA-256 here, and the file is written after every check
// that brought new headers.
constexpr auto kDigest = QCryptographicHash::Blake2b_256;
constexpr int kDigestBytes = 32;
// Far beyond any real cache (a million headers of 1 KB); stops a hostile file early.
constexpr qint64 kMaxFileBytes = qint64(1) << 30;

// An entry's flags.
constexpr quint32 kOverTls = 0x1;

// Written out a piece at a time.
constexpr qsizetype kChunkBytes = 1024 * 1024;

// Appends values in exactly the layout QDataStream (Qt 6.0 format) reads back: going through a
// stream value by value made writing a thousand headers take milliseconds after every check that
// brought new mail.
class PayloadWriter {
public:
    explicit PayloadWriter(QByteArray& out)
        : m_out(out)
    {
    }
    void u32(quint32 value) { put(value, 4); }
    void u64(quint64 value) { put(value, 8); }
    void bytes(const QByteArray& value)
    {
        if (value.isNull()) {
            u32(0xffffffffu);
            return;
        }
        u32(quint32(value.size()));
        m_out.append(value);
    }
    void text(const QString& value)
    {
        if (value.isNull()) {
            u32(0xffffffffu);
            return;
        }
        u32(quint32(value.size() * 2));
        for (const QChar c : value)
            put(c.unicode(), 2);
    }
    static qsizetype bytesSize(const QByteArray& value) { return 4 + (value.isNull() ? 0 : value.size()); }
    static qsizetype textSize(const QString& value) { return 4 + (value.isNull() ? 0 : value.size() * 2); }

private:
    void put(quint64 value, int width)
    {
        char bytes[8];
        for (int i = 0; i < width; ++i)
            bytes[i] = char(value >> (8 * (width - 1 - i)));
        m_out.append(bytes, width);
    }
    QByteArray& m_out;
};

// Reads back what PayloadWriter wrote, checking every length against what is left: reading a
// hundred thousand headers through QDataStream took a third of a second. It reads from the file
// as it goes: the file may be a hundred MB, and holding it whole beside the headers taken from it
// would double the memory a large mailbox's check needs.
class PayloadReader {
public:
    PayloadReader(QIODevice& in, qint64 length)
        : m_in(in)
        , m_left(length)
    {
    }
    bool u32(quint32* value) { return get(value, 4); }
    bool u64(quint64* value) { return get(value, 8); }
    bool bytes(QByteArray* value)
    {
        quint32 length = 0;
        if (!u32(&length))
            return false;
        if (length == 0xffffffffu) {
            *value = QByteArray();
            return true;
        }
        if (length > quint64(m_left))
            return false;
        // Sized exactly: QIODevice::read(qint64) leaves room to grow in every header it returns.
        QByteArray out(qsizetype(length), Qt::Uninitialized);
        if (m_in.read(out.data(), qint64(length)) != qint64(length))
            return false;
        m_left -= length;
        *value = std::move(out);
        return true;
    }
    bool text(QString* value)
    {
        quint32 length = 0;
        if (!u32(&length))
            return false;
        if (length == 0xffffffffu) {
            *value = QString();
            return true;
        }
        if (length % 2 != 0 || length > quint64(m_left))
            return false;
        QString out(qsizetype(length / 2), Qt::Uninitialized);
        for (QChar& c : out) {
            quint64 unit = 0;
            if (!get(&unit, 2))
                return false;
            c = QChar(char16_t(unit));
        }
        *value = out;
        return true;
    }
    [[nodiscard]] bool atEnd() const { return m_left == 0; }

private:
    template <typename T> bool get(T* value, int width)
    {
        char bytes[8];
        if (m_left < width || m_in.read(bytes, width) != width)
            return false;
        m_left -= width;
        quint64 v = 0;
        for (int i = 0; i < width; ++i)
            v = (v << 8) | quint8(bytes[i]);
        *value = T(v);
        return true;
    }
    QIODevice& m_in;
    qint64 m_left;
};

} // namespace

HeaderCache::HeaderCache(QString path)
    : m_path(std::move(path))
{
}

HeaderCache::~HeaderCache() = default;

QString HeaderCache::accountKey(const QString& host, qint32 port, const QString& user)
{
    return host.toLower() + u':' + QString::number(port) + u':' + user;
}

bool HeaderCache::load()
{
    m_accounts.clear();
    m_dirty = false;
    QFile file(m_path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileBytes)
        return false;
    if (!decode(file)) {
        m_accounts.clear();
        m_dirty = true; // rewrite it sound at the end of the conversation
        return false;
    }
    return true;
}

bool HeaderCache::decode(QIODevice& file)
{
    const qsizetype head = kMagic.size() + 4 + 8;
    const QByteArray start = file.read(head);
    if (start.size() < head || file.size() < head + kDigestBytes || !start.startsWith(kMagic))
        return false;
    QDataStream header(start.mid(kMagic.size(), 12));
    quint32 version = 0;
    quint64 length = 0;
    header >> version >> length;
    if ((version != kFormatVersion && version != 3) || length != quint64(file.size() - head - kDigestBytes))
        return false;
    // The digest first, a piece at a time: nothing is taken from a file that is not whole. Then
    // the payload is read a second time, header by header.
    QCryptographicHash digest(kDigest);
    for (qint64 left = qint64(length); left > 0;) {
        const QByteArray chunk = file.read(std::min<qint64>(left, kChunkBytes));
        if (chunk.isEmpty())
            return false;
        digest.addData(chunk);
        left -= chunk.size();
    }
    if (digest.result() != file.read(kDigestBytes) || !file.seek(head))
        return false;

    PayloadReader in(file, qint64(length));
    quint32 accounts = 0;
    if (!in.u32(&accounts))
        return false;
    QHash<QString, Entries> loaded;
    for (quint32 a = 0; a < accounts; ++a) {
        QString account;
        quint32 count = 0;
        if (!in.text(&account) || !in.u32(&count))
            return false;
        Entries& entries = loaded[account];
        entries.reserve(qsizetype(std::min<quint64>(count, length / 16)));
        for (quint32 e = 0; e < count; ++e) {
            QByteArray uid;
            quint64 size = 0;
            Entry entry;
            quint32 flags = 0;
            if (!in.bytes(&uid) || !in.u64(&size) || (version > 3 && !in.u32(&flags)) || !in.bytes(&entry.text)
                || uid.isEmpty() || qint64(size) < 0)
                return false;
            entry.size = qint64(size);
            entry.overTls = (flags & kOverTls) != 0;
            entries.insert(uid, std::move(entry));
        }
    }
    if (!in.atEnd())
        return false;
    m_accounts = std::move(loaded);
    return true;
}

bool HeaderCache::save()
{
    auto textBytes
        = [](const Entry& e) { return e.spilledAt >= 0 ? 4 + e.spilledBytes : PayloadWriter::bytesSize(e.text); };
    qsizetype size = 4;
    for (auto a = m_accounts.cbegin(); a != m_accounts.cend(); ++a) {
        size += PayloadWriter::textSize(a.key()) + 4;
        for (auto e = a.value().cbegin(); e != a.value().cend(); ++e)
            size += PayloadWriter::bytesSize(e.key()) + 8 + 4 + textBytes(e.value());
    }
    QByteArray header;
    {
        QDataStream out(&header, QIODevice::WriteOnly);
        out << kFormatVersion << quint64(size);
    }

    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return false;
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Set on the temporary file before anything is written: the headers of someone's mail are
    // never readable by others, not even for a moment.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(kMagic.data(), kMagic.size());
    file.write(header);
    QCryptographicHash digest(kDigest);
    qsizetype written = 0;
    QByteArray chunk;
    chunk.reserve(kChunkBytes + kMaxHeaderBytes + 1024);
    PayloadWriter out(chunk);
    auto flush = [&] {
        digest.addData(chunk);
        file.write(chunk);
        written += chunk.size();
        chunk.clear();
    };
    out.u32(quint32(m_accounts.size()));
    for (auto a = m_accounts.cbegin(); a != m_accounts.cend(); ++a) {
        out.text(a.key());
        out.u32(quint32(a.value().size()));
        for (auto e = a.value().cbegin(); e != a.value().cend(); ++e) {
            out.bytes(e.key());
            out.u64(quint64(e.value().size));
            out.u32(e.value().overTls ? kOverTls : 0);
            if (e.value().spilledAt >= 0) {
                QByteArray text;
                if (!readSpilled(e.value(), &text)) {
                    file.cancelWriting(); // better no new file than a wrong one
                    return false;
                }
                out.bytes(text);
            } else {
                out.bytes(e.value().text);
            }
            if (chunk.size() >= kChunkBytes)
                flush();
        }
    }
    flush();
    file.write(digest.result());
    if (written != size) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        return false;
    m_dirty = false;
    return true;
}

bool HeaderCache::spill(Entry& entry, const QByteArray& text)
{
    if (!m_spill) {
        if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
            return false;
        // Beside the cache, readable by its owner only (as every temporary file Qt makes). One
        // left behind by a run that did not end is of no use any more: one profile is used by
        // one process at a time.
        const QFileInfo cache(m_path);
        const QString pattern = cache.fileName() + QStringLiteral(".spill-*");
        for (const QFileInfo& stale : cache.dir().entryInfoList({ pattern }, QDir::Files | QDir::Hidden))
            QFile::remove(stale.filePath());
        m_spill = std::make_unique<QTemporaryFile>(m_path + QStringLiteral(".spill-XXXXXX"));
        if (!m_spill->open()) {
            m_spill.reset();
            return false;
        }
    }
    const qint64 at = m_spill->size();
    if (!m_spill->seek(at) || m_spill->write(text) != text.size())
        return false;
    entry.spilledAt = at;
    entry.spilledBytes = text.size();
    return true;
}

bool HeaderCache::readSpilled(const Entry& entry, QByteArray* text)
{
    if (!m_spill || !m_spill->seek(entry.spilledAt))
        return false;
    *text = m_spill->read(entry.spilledBytes);
    return text->size() == entry.spilledBytes;
}

const HeaderCache::Entry* HeaderCache::find(const QString& account, const QByteArray& uid)
{
    const auto a = m_accounts.find(account);
    if (a == m_accounts.end())
        return nullptr;
    const auto e = a->find(uid);
    if (e == a->end())
        return nullptr;
    if (e->spilledAt >= 0) {
        QByteArray text;
        if (!readSpilled(*e, &text))
            return nullptr;
        e->text = text;
        e->spilledAt = -1;
    }
    return &*e;
}

void HeaderCache::put(const QString& account, const QByteArray& uid, qint64 size, const QByteArray& text, bool overTls)
{
    if (uid.isEmpty() || text.size() > kMaxHeaderBytes)
        return;
    Entry entry { size, {} };
    entry.overTls = overTls;
    if (!spill(entry, text))
        entry.text = text; // no room on disk: kept in memory instead
    m_accounts[account].insert(uid, std::move(entry));
    m_dirty = true;
}

void HeaderCache::remove(const QString& account, const QByteArray& uid)
{
    const auto a = m_accounts.find(account);
    if (a == m_accounts.end() || !a->remove(uid))
        return;
    if (a->isEmpty())
        m_accounts.erase(a);
    m_dirty = true;
}

void HeaderCache::retain(const QString& account, const QSet<QByteArray>& present)
{
    const auto a = m_accounts.find(account);
    if (a == m_accounts.end())
        return;
    const qsizetype before = a->size();
    a->removeIf([&present](const auto& e) { return !present.contains(e.key()); });
    m_dirty = m_dirty || a->size() != before;
    if (a->isEmpty())
        m_accounts.erase(a);
}

} // namespace ormisk
