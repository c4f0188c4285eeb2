#include "pop/HeaderCache.h"

#include "pop/CachePayload.h"
#include "pop/HeaderDecoding.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <algorithm>
#include <limits>
#include <vector>

namespace ormisk {

namespace {

using cache_payload::kChunkBytes;
using cache_payload::PayloadReader;
using cache_payload::PayloadWriter;

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

// A header as an older format kept it (as the server sent it, each line ended by LF), as shown.
QByteArray shownFromSent(const QByteArray& sent)
{
    QList<QByteArray> lines = sent.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return headerDisplayText(lines);
}

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
    m_loaded.reset();
    m_loadedWindow = {};
    m_released = false;
    m_dirty = false;
    auto file = std::make_unique<QFile>(m_path);
    if (!file->exists())
        return true;
    if (!file->open(QIODevice::ReadOnly) || file->size() > kMaxFileBytes)
        return false;
    if (!decode(*file)) {
        m_accounts.clear();
        m_dirty = true; // rewrite it sound at the end of the conversation
        return false;
    }
    m_loaded = std::move(file);
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
    if (version < 3 || version > kFormatVersion || length != quint64(file.size() - head - kDigestBytes))
        return false;
    // Entries are taken as they come, and all dropped unless the digest at the end matches.
    QCryptographicHash digest(kDigest);
    PayloadReader in(file, head, qint64(length), digest);
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
            if (!in.bytes(&uid) || !in.u64(&size) || (version > 3 && !in.u32(&flags)) || uid.isEmpty()
                || qint64(size) < 0)
                return false;
            if (version >= 5) {
                entry.stored.file = Stored::Loaded;
                if (!in.skipBytes(&entry.stored.at, &entry.stored.bytes))
                    return false;
            } else {
                QByteArray sent;
                if (!in.bytes(&sent))
                    return false;
                entry.text = shownFromSent(sent);
            }
            entry.size = qint64(size);
            entry.overTls = (flags & kOverTls) != 0;
            entry.order = ++m_order;
            entries.insert(uid, std::move(entry));
        }
    }
    if (!in.atEnd() || digest.result() != file.read(kDigestBytes))
        return false;
    m_accounts = std::move(loaded);
    m_dirty = version != kFormatVersion; // written anew in this format
    return true;
}

bool HeaderCache::save()
{
    indexAgain();
    auto textBytes = [](const Entry& e) {
        return e.stored.file != Stored::None ? 4 + e.stored.bytes : PayloadWriter::bytesSize(e.text);
    };
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
        // In the order they were last asked for, which is the order the next check asks for them.
        std::vector<Entries::const_iterator> ordered;
        ordered.reserve(size_t(a.value().size()));
        for (auto e = a.value().cbegin(); e != a.value().cend(); ++e)
            ordered.push_back(e);
        std::sort(ordered.begin(), ordered.end(), [](const auto& x, const auto& y) { return x->order < y->order; });
        for (const auto& e : ordered) {
            out.bytes(e.key());
            out.u64(quint64(e.value().size));
            out.u32(e.value().overTls ? kOverTls : 0);
            if (e.value().stored.file != Stored::None) {
                QByteArray text;
                if (!read(e.value().stored, &text)) {
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
    entry.stored = { at, qint32(text.size()), Stored::Spill };
    return true;
}

bool HeaderCache::read(const Stored& stored, QByteArray* text)
{
    switch (stored.file) {
    case Stored::Loaded:
        return m_loaded && readFrom(*m_loaded, m_loadedWindow, stored, text);
    case Stored::Spill:
        return m_spill && readFrom(*m_spill, m_spillWindow, stored, text);
    case Stored::None:
        break;
    }
    return false;
}

bool HeaderCache::readFrom(QIODevice& file, Window& window, const Stored& stored, QByteArray* text)
{
    // Texts are asked for in about the order they lie: most come from the piece read last.
    constexpr qint64 kWindowBytes = 256 * 1024;
    if (stored.at < window.at || stored.at + stored.bytes > window.at + window.data.size()) {
        window.data.clear();
        const qint64 want = std::max<qint64>(stored.bytes, kWindowBytes);
        if (!file.seek(stored.at))
            return false;
        window.data.resize(qsizetype(want));
        const qint64 got = file.read(window.data.data(), want);
        window.data.resize(qsizetype(std::max<qint64>(got, 0)));
        window.at = stored.at;
        if (got < stored.bytes)
            return false;
    }
    *text = QByteArray(window.data.constData() + (stored.at - window.at), stored.bytes);
    return true;
}

void HeaderCache::releaseIndex()
{
    m_accounts.clear();
    m_accounts.squeeze();
    m_released = true;
}

// Read again from the file it came from: the texts' places in it stay right.
void HeaderCache::indexAgain()
{
    if (!m_released)
        return;
    m_released = false;
    if (!m_loaded || !m_loaded->seek(0) || !decode(*m_loaded))
        m_accounts.clear();
}

bool HeaderCache::hasAccount(const QString& account)
{
    indexAgain();
    return m_accounts.contains(account);
}

int HeaderCache::size(const QString& account)
{
    indexAgain();
    const auto a = m_accounts.constFind(account);
    return a == m_accounts.cend() ? 0 : int(a->size());
}

const HeaderCache::Entry* HeaderCache::peek(const QString& account, const QByteArray& uid)
{
    indexAgain();
    const auto a = m_accounts.find(account);
    if (a == m_accounts.end())
        return nullptr;
    const auto e = a->find(uid);
    if (e == a->end())
        return nullptr;
    e->order = ++m_order;
    return &*e;
}

const HeaderCache::Entry* HeaderCache::find(const QString& account, const QByteArray& uid)
{
    auto* e = const_cast<Entry*>(peek(account, uid));
    if (!e || e->stored.file == Stored::None)
        return e;
    QByteArray text;
    if (!read(e->stored, &text))
        return nullptr;
    e->text = text;
    e->stored = {};
    return e;
}

void HeaderCache::put(const QString& account, const QByteArray& uid, qint64 size, const QByteArray& text, bool overTls)
{
    if (uid.isEmpty() || text.size() > kMaxHeaderBytes)
        return;
    indexAgain();
    Entry entry;
    entry.size = size;
    entry.overTls = overTls;
    entry.order = ++m_order;
    if (!spill(entry, text))
        entry.text = text; // no room on disk: kept in memory instead
    m_accounts[account].insert(uid, std::move(entry));
    m_dirty = true;
}

void HeaderCache::remove(const QString& account, const QByteArray& uid)
{
    indexAgain();
    const auto a = m_accounts.find(account);
    if (a == m_accounts.end() || !a->remove(uid))
        return;
    if (a->isEmpty())
        m_accounts.erase(a);
    m_dirty = true;
}

void HeaderCache::retain(const QString& account, const QSet<QByteArray>& present)
{
    indexAgain();
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
