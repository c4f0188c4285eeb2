#pragma once
// The seen-list file keeps the headers seen on display between runs. Byte format: a 5-character
// blank-padded count, then per entry a 5-character blank-padded length (bytes of UTF-8) and the
// entry's bytes. No end marker. At most 99,999 entries of at most 99,999 bytes each.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ormisk {

// Entries of a damaged or truncated file are read up to the first one that is not whole.
[[nodiscard]] QStringList ParseSeenList(const QByteArray& bytes);
// Beyond 99,999 entries the newest are written. An entry too long for its length field is
// written as its Message-Id line alone, or left out when it has none.
[[nodiscard]] QByteArray FormatSeenList(const QStringList& entries);

// A missing file is an empty list.
[[nodiscard]] QStringList ReadSeenListFile(const QString& path);
// Replaces the file atomically; with no entries the file is removed. Returns false if the new
// contents could not be written (the old file is then left as it was).
bool WriteSeenListFile(const QString& path, const QStringList& entries);

} // namespace ormisk
