#pragma once
// Turns the raw header lines of a message into (name, value) items: folded lines unfolded,
// encoded words decoded, raw bytes read as UTF-8 where they are valid UTF-8 and as Latin-1
// otherwise. Names are kept as the server spelt them, items in the server's order.
#include "engine/DocOutput.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace ormisk {

struct HeaderLimits {
    qsizetype maxItems = 5000; // a real header has a few dozen fields
    qsizetype maxValueLength = 256 * 1024; // characters per decoded value
};

// Reads header lines (line ends removed) up to the first empty line; anything after it is body.
[[nodiscard]] QList<HeaderItem> parseHeaderLines(const QList<QByteArray>& lines, const HeaderLimits& limits = {});

// Decodes one unfolded field value: encoded words (B and Q, any charset the text codecs know),
// blanks between adjacent encoded words dropped, other bytes as UTF-8 or Latin-1. Control
// characters become blanks so that a value can never break the one-line-per-field text built
// from it.
[[nodiscard]] QString decodeHeaderValue(QByteArrayView raw);

// Bytes as UTF-8 when they are valid UTF-8, else as Latin-1 (every byte is a character there).
[[nodiscard]] QString decodeUtf8OrLatin1(QByteArrayView raw);

} // namespace ormisk
