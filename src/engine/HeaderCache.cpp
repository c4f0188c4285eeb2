#include "engine/HeaderCache.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cstring>

namespace ormisk {

namespace {

// Layout: magic, format version, payload length, payload (QDataStream), BLAKE2b-256 of the payload.
// The digest catches a file cut short or scribbled on, which QDataStream alone may read as data.
constexpr QByteArrayView kMagic = "ORMISKHC";
// BLAKE2b is several times faster than SHA-256 here, and the file is written after every check
// that brought new headers.
constexpr auto kDigest = QCryptographicHash::Blake2b_256;
constexpr int kDigestBytes = 32;
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_0;
// Far beyond any real cache (a million headers of 1 KB); stops a hostile file early.
constexpr qint64 kMaxFileBytes = qint64(1) << 30;

// Writes the payload in exactly the layout QDataStream (Qt 6.0 format) reads back, into a buffer
// sized beforehand: going through a stream value by value made writing a thousand headers take
// milliseconds after every check that brought new mail.
class PayloadWriter {
public:
    explicit PayloadWriter(char* out)
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
        std::memcpy(m_out, value.constData(), size_t(value.size()));
        m_out += value.size();
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
        for (int i = width - 1; i >= 0; --i)
            *m_out++ = char(value >> (8 * i));
    }
    char* m_out;
};

} // namespace

HeaderCache::HeaderCache(QString path)
    : m_path(std::move(path))
{
}

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
    if (!decode(file.readAll())) {
        m_accounts.clear();
        m_dirty = true; // rewrite it sound at the end of the conversation
        return false;
    }
    return true;
}

bool HeaderCache::decode(const QByteArray& bytes)
{
    const qsizetype head = kMagic.size() + 4 + 8;
    if (bytes.size() < head + kDigestBytes || !bytes.startsWith(kMagic))
        return false;
    QDataStream header(bytes.mid(kMagic.size(), 12));
    quint32 version = 0;
    quint64 length = 0;
    header >> version >> length;
    if (version != kFormatVersion || length != quint64(bytes.size() - head - kDigestBytes))
        return false;
    // A view, not a copy: the file may be a hundred MB.
    const QByteArray payload = QByteArray::fromRawData(bytes.constData() + head, qsizetype(length));
    if (QCryptographicHash::hash(payload, kDigest) != bytes.right(kDigestBytes))
        return false;

    QDataStream in(payload);
    in.setVersion(kStreamVersion);
    quint32 accounts = 0;
    in >> accounts;
    QHash<QString, Entries> loaded;
    for (quint32 a = 0; a < accounts && in.status() == QDataStream::Ok; ++a) {
        QString account;
        quint32 count = 0;
        in >> account >> count;
        Entries& entries = loaded[account];
        entries.reserve(qsizetype(std::min<quint32>(count, quint32(payload.size() / 16))));
        for (quint32 e = 0; e < count && in.status() == QDataStream::Ok; ++e) {
            QByteArray uid;
            Entry entry;
            in >> uid >> entry.size >> entry.text;
            if (uid.isEmpty() || entry.size < 0)
                return false;
            entries.insert(uid, std::move(entry));
        }
    }
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return false;
    m_accounts = std::move(loaded);
    return true;
}

bool HeaderCache::save()
{
    qsizetype size = 4;
    for (auto a = m_accounts.cbegin(); a != m_accounts.cend(); ++a) {
        size += PayloadWriter::textSize(a.key()) + 4;
        for (auto e = a.value().cbegin(); e != a.value().cend(); ++e)
            size += PayloadWriter::bytesSize(e.key()) + 8 + PayloadWriter::bytesSize(e.value().text);
    }
    QByteArray payload(size, Qt::Uninitialized);
    PayloadWriter out(payload.data());
    out.u32(quint32(m_accounts.size()));
    for (auto a = m_accounts.cbegin(); a != m_accounts.cend(); ++a) {
        out.text(a.key());
        out.u32(quint32(a.value().size()));
        for (auto e = a.value().cbegin(); e != a.value().cend(); ++e) {
            out.bytes(e.key());
            out.u64(quint64(e.value().size));
            out.bytes(e.value().text);
        }
    }
    QByteArray header;
    {
        QDataStream out(&header, QIODevice::WriteOnly);
        out << kFormatVersion << quint64(payload.size());
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
    file.write(payload);
    file.write(QCryptographicHash::hash(payload, kDigest));
    if (!file.commit())
        return false;
    m_dirty = false;
    return true;
}

const HeaderCache::Entry* HeaderCache::find(const QString& account, const QByteArray& uid) const
{
    const auto a = m_accounts.constFind(account);
    if (a == m_accounts.cend())
        return nullptr;
    const auto e = a->constFind(uid);
    return e == a->cend() ? nullptr : &*e;
}

void HeaderCache::put(const QString& account, const QByteArray& uid, qint64 size, const QByteArray& text)
{
    if (uid.isEmpty() || text.size() > kMaxHeaderBytes)
        return;
    m_accounts[account].insert(uid, Entry { size, text });
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
