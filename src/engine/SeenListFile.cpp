#include "engine/SeenListFile.h"

#include <QFile>
#include <QSaveFile>

namespace ormisk {

namespace {

constexpr int kField = 5;
// Five digits cap an entry at 99,999 bytes; a longer one could not be written back readably, so
// it is left out of the file rather than corrupting every entry after it.
constexpr int kMaxEntryBytes = 99999;

// Leading blanks are skipped and reading stops at the first character that is not a digit;
// no digits reads as 0. A minus sign makes the field unreadable (-1).
int readField(const QByteArray& field)
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

} // namespace

QStringList ParseSeenList(const QByteArray& bytes)
{
    QStringList entries;
    if (bytes.size() < kField)
        return entries;
    const int count = readField(bytes.left(kField));
    if (count <= 0)
        return entries;
    qsizetype pos = kField;
    for (int n = 0; n < count; ++n) {
        if (pos + kField > bytes.size())
            break;
        const int length = readField(bytes.mid(pos, kField));
        pos += kField;
        if (length < 0 || pos + length > bytes.size())
            break;
        entries.append(QString::fromUtf8(bytes.constData() + pos, length));
        pos += length;
    }
    return entries;
}

QByteArray FormatSeenList(const QStringList& entries)
{
    QList<QByteArray> encoded;
    for (const QString& entry : entries) {
        QByteArray bytes = entry.toUtf8();
        if (bytes.size() <= kMaxEntryBytes)
            encoded.append(bytes);
    }
    QByteArray out = field(encoded.size());
    for (const QByteArray& bytes : std::as_const(encoded)) {
        out += field(bytes.size());
        out += bytes;
    }
    return out;
}

QStringList ReadSeenListFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // 100 entries of at most 99,999 bytes each: nothing larger is a real seen list.
    constexpr qint64 kLimit = 101LL * (kMaxEntryBytes + kField);
    return ParseSeenList(file.read(kLimit));
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
    file.write(FormatSeenList(entries));
    return file.commit();
}

} // namespace ormisk
