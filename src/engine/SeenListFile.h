#pragma once
// The seen-list file keeps the last headers on display between runs. Byte format: a 5-character
// blank-padded count, then per entry a 5-character blank-padded length (bytes of UTF-8) and the
// entry's bytes. No end marker.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ormisk {

// Entries of a damaged or truncated file are read up to the first one that is not whole.
[[nodiscard]] QStringList ParseSeenList(const QByteArray& bytes);
[[nodiscard]] QByteArray FormatSeenList(const QStringList& entries);

// A missing file is an empty list.
[[nodiscard]] QStringList ReadSeenListFile(const QString& path);
// Replaces the file atomically; with no entries the file is removed. Returns false if the new
// contents could not be written (the old file is then left as it was).
bool WriteSeenListFile(const QString& path, const QStringList& entries);

} // namespace ormisk
