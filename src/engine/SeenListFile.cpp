#include "engine/SeenListFile.h"

#include "store/PrivateFiles.h"

#include "engine/HeaderText.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <optional>
#include <vector>

namespace ormisk {

namespace {

constexpr int kField = 5;
// Five digits cap the count and each entry's length at 99,999.
constexpr int kMaxField = 99999;
// 100,000 real headers take a few hundred megabytes; a file far beyond that is not ours.
constexpr qint64 kReadLimit = qint64(1) << 30;

// Leading blanks are skipped and reading stops at the first character that is not a digit;
// no digits reads as 0. A minus sign makes the field unreadable (-1).
int readField(QByteArrayView field)
{
    int i = 0;
    while (i < field.size() && field.at(i) == ' ')
        ++i;
    if (i < field.size() && field.at(i) == '-')
        return -1;
    if (i < field.size() && field.at(i) == '+')
        ++i;
    int value = 0;
    while (i < field.size() && field.at(i) >= '0' && field.at(i) <= '9') {
        value = value * 10 + (field.at(i) - '0');
        ++i;
    }
    return value;
}

QByteArray field(qsizetype value) { return QByteArray::number(value).rightJustified(kField, ' ', true).right(kField); }

// Reads a piece at a time, so that memory follows what the file really holds, whatever its count
// field promises, without a read of its own for every field and entry.
class PieceReader {
public:
    explicit PieceReader(QIODevice& in)
        : m_in(in)
    {
    }
    // The next n bytes, or an empty view when the file ends first; valid until the next call.
    QByteArrayView take(qsizetype n)
    {
        while (m_buffer.size() - m_pos < n) {
            m_buffer.remove(0, m_pos);
            m_pos = 0;
            const qsizetype old = m_buffer.size();
            const qsizetype want = std::max<qsizetype>(n - old, kPieceBytes);
            m_buffer.resize(old + want);
            const qint64 got = m_in.read(m_buffer.data() + old, want);
            m_buffer.resize(old + qsizetype(std::max<qint64>(got, 0)));
            if (got <= 0)
                return {};
        }
        const QByteArrayView piece(m_buffer.constData() + m_pos, n);
        m_pos += n;
        return piece;
    }

private:
    static constexpr qsizetype kPieceBytes = 256 * 1024;
    QIODevice& m_in;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
};

QStringList parse(QIODevice& in)
{
    QStringList entries;
    PieceReader reader(in);
    const QByteArrayView countField = reader.take(kField);
    if (countField.size() < kField)
        return entries;
    const int count = readField(countField);
    // Each entry takes a length field at least.
    entries.reserve(std::min<qint64>(count, in.size() / kField));
    qint64 total = 0;
    for (int n = 0; n < count; ++n) {
        const QByteArrayView lengthField = reader.take(kField);
        if (lengthField.size() < kField)
            break;
        const int length = readField(lengthField);
        total += length;
        if (length < 0 || total > kReadLimit)
            break;
        if (length == 0) {
            entries.append(QString());
            continue;
        }
        const QByteArrayView text = reader.take(length);
        if (text.size() < length)
            break;
        // Made for a character per byte: text beyond ASCII leaves room over, for as long as the
        // entry lives (a tree's tag shares it).
        QString entry = QString::fromUtf8(text);
        entry.squeeze();
        entries.append(std::move(entry));
    }
    return entries;
}

// An entry too long for its length field would corrupt every entry after it. Its Message-Id line
// alone still tells the message apart, so that is kept; without one the entry is left out.
std::optional<QByteArray> writableEntry(const QString& entry)
{
    QByteArray bytes = entry.toUtf8();
    if (bytes.size() <= kMaxField)
        return bytes;
    const QString messageId = GetHeaderField(QStringLiteral("Message-Id : "), entry);
    if (!messageId.isEmpty()) {
        bytes = messageId.toUtf8() + "\r\n";
        if (bytes.size() <= kMaxField)
            return bytes;
    }
    return std::nullopt;
}

// Written entry by entry: 100,000 headers held once more in UTF-8 (and again as one file image)
// would more than double the memory of a large mailbox's check. An entry that may not fit is
// encoded once to learn whether it does and again to be written; none is kept.
void writeSeenList(QIODevice& out, const QStringList& entries)
{
    // The count field holds 99,999: the newest entries are the ones kept.
    std::vector<qsizetype> chosen;
    chosen.reserve(size_t(std::min<qsizetype>(entries.size(), kMaxField)));
    for (qsizetype i = entries.size() - 1; i >= 0 && chosen.size() < size_t(kMaxField); --i) {
        // Three bytes of UTF-8 per UTF-16 unit at most: nearly every entry fits without encoding.
        const QString& entry = entries.at(i);
        if (entry.size() * 3 <= kMaxField || writableEntry(entry))
            chosen.push_back(i);
    }
    out.write(field(qsizetype(chosen.size())));
    for (auto it = chosen.crbegin(); it != chosen.crend(); ++it) {
        const QByteArray bytes = *writableEntry(entries.at(*it));
        out.write(field(bytes.size()));
        out.write(bytes);
    }
}

} // namespace

QStringList ParseSeenList(const QByteArray& bytes)
{
    QByteArray copy = bytes; // shared, not copied: QBuffer only reads it
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return parse(buffer);
}

QByteArray FormatSeenList(const QStringList& entries)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    writeSeenList(buffer, entries);
    return out;
}

QStringList ReadSeenListFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parse(file);
}

bool WriteSeenListFile(const QString& path, const QStringList& entries)
{
    if (entries.isEmpty()) {
        QFile::remove(path);
        return !QFile::exists(path);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // The list holds the subjects and senders of recent mail.
    file.setPermissions(kOwnerOnlyFile);
    writeSeenList(file, entries);
    return file.commit();
}

} // namespace ormisk
