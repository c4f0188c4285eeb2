#pragma once
// Turns the raw header lines of a message into (name, value) items: folded lines unfolded,
// encoded words decoded, other bytes read as UTF-8 where they are valid UTF-8 and as
// Windows-1252 otherwise, and the values made safe to show on one line. Names are kept as the
// server spelt them, items in the server's order. Time and memory grow linearly with the header.
#include "pop/DocOutput.h"

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

// The header as the program keeps it, in UTF-8: per field its name, " : ", its value and CR LF,
// read as parseHeaderLines reads the lines. Names hold no blank and values no line break, so
// headerItems gives back the very items of it.
[[nodiscard]] QByteArray headerDisplayText(const QList<QByteArray>& lines, const HeaderLimits& limits = {});
[[nodiscard]] QList<HeaderItem> headerItems(const QString& displayText);

// Decodes one unfolded field value. Encoded words (B and Q, any charset the system knows) are
// read as leniently as common mail readers read them: blanks inside a word (a mailer that did not
// encode them, or a fold that split the word), base64 without its padding, words not set apart
// by blanks. Blanks between adjacent encoded words are dropped. What cannot be read as an encoded
// word stays as it was sent. The result is display-safe (see DisplayText.h).
[[nodiscard]] QString decodeHeaderValue(QByteArrayView raw);

} // namespace ormisk
