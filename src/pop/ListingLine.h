#pragma once
// Lines of the LIST and UIDL replies ("n size", "n uid"), read in place: a listing has a line for
// each of maybe a hundred thousand messages.
#include <QByteArrayView>

#include <algorithm>

namespace ormisk::listing {

// "n rest" with n a message number; false for anything else.
inline bool splitNumbered(QByteArrayView line, qint64* number, QByteArrayView* rest)
{
    const qsizetype blank = line.indexOf(' ');
    if (blank <= 0)
        return false;
    bool ok = false;
    *number = line.first(blank).toLongLong(&ok);
    *rest = line.sliced(blank + 1).trimmed();
    return ok && *number > 0 && !rest->isEmpty();
}

inline QByteArrayView firstWord(QByteArrayView text)
{
    const qsizetype blank = text.indexOf(' ');
    return blank < 0 ? text : text.first(blank);
}

// A unique id is 1 to 70 printable characters without blanks.
inline bool validUid(QByteArrayView uid)
{
    if (uid.isEmpty() || uid.size() > 70)
        return false;
    return std::all_of(uid.cbegin(), uid.cend(), [](char c) { return c > 0x20 && c < 0x7f; });
}

} // namespace ormisk::listing
