#include "engine/HeaderDecoding.h"

#include <QStringDecoder>

#include <algorithm>

#include <optional>

namespace ormisk {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// A field name is printable ASCII without blanks or colon; obsolete syntax allows blanks
// between the name and the colon.
std::optional<qsizetype> fieldNameEnd(const QByteArray& line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return std::nullopt;
    qsizetype end = colon;
    while (end > 0 && isBlank(line.at(end - 1)))
        --end;
    if (end == 0)
        return std::nullopt;
    for (qsizetype i = 0; i < end; ++i) {
        const auto c = static_cast<unsigned char>(line.at(i));
        if (c <= 32 || c >= 127)
            return std::nullopt;
    }
    return end;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

QByteArray decodeQ(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '_') {
            out.append(' ');
        } else if (c == '=' && i + 2 < text.size() && hexValue(text.at(i + 1)) >= 0 && hexValue(text.at(i + 2)) >= 0) {
            out.append(static_cast<char>(hexValue(text.at(i + 1)) * 16 + hexValue(text.at(i + 2))));
            i += 2;
        } else {
            out.append(c);
        }
    }
    return out;
}

struct EncodedWord {
    qsizetype begin = 0; // position of "=?"
    qsizetype end = 0; // one past "?="
    QByteArray charset;
    QByteArray bytes; // decoded, still in charset
};

// Finds the next well-formed encoded word at or after from.
std::optional<EncodedWord> findEncodedWord(QByteArrayView raw, qsizetype from)
{
    while (true) {
        const qsizetype start = QByteArrayView(raw).indexOf("=?", from);
        if (start < 0)
            return std::nullopt;
        const qsizetype q1 = raw.indexOf('?', start + 2);
        const qsizetype q2 = q1 < 0 ? -1 : raw.indexOf('?', q1 + 1);
        const qsizetype stop = q2 < 0 ? -1 : raw.indexOf("?=", q2 + 1);
        if (q1 < 0 || q2 != q1 + 2 || stop < 0) {
            from = start + 2;
            continue;
        }
        const QByteArrayView charsetPart = raw.sliced(start + 2, q1 - start - 2);
        const char encoding = raw.at(q1 + 1);
        const QByteArrayView text = raw.sliced(q2 + 1, stop - q2 - 1);
        bool clean = !charsetPart.isEmpty();
        for (const char c : text)
            clean = clean && !isBlank(c) && c != '?';
        for (const char c : charsetPart)
            clean = clean && !isBlank(c);
        if (!clean || (encoding != 'B' && encoding != 'b' && encoding != 'Q' && encoding != 'q')) {
            from = start + 2;
            continue;
        }
        EncodedWord word;
        word.begin = start;
        word.end = stop + 2;
        word.charset = charsetPart.toByteArray();
        // A language suffix ("UTF-8*en") is not part of the charset name.
        if (const qsizetype star = word.charset.indexOf('*'); star >= 0)
            word.charset.truncate(star);
        if (encoding == 'B' || encoding == 'b') {
            const auto result
                = QByteArray::fromBase64Encoding(text.toByteArray(), QByteArray::AbortOnBase64DecodingErrors);
            if (!result) {
                from = start + 2;
                continue;
            }
            word.bytes = *result;
        } else {
            word.bytes = decodeQ(text);
        }
        return word;
    }
}

std::optional<QString> decodeCharset(const QByteArray& charset, const QByteArray& bytes)
{
    const QByteArray name = charset.toLower();
    if (name == "utf-8" || name == "utf8" || name == "us-ascii")
        return decodeUtf8OrLatin1(bytes);
    QStringDecoder decoder(name.constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return std::nullopt;
    return decoder.decode(bytes);
}

QString withoutControls(QString text)
{
    for (QChar& c : text) {
        if ((c.unicode() < 0x20 && c != u'\t') || c.unicode() == 0x7f)
            c = u' ';
    }
    return text;
}

} // namespace

QString decodeUtf8OrLatin1(QByteArrayView raw)
{
    if (std::all_of(raw.cbegin(), raw.cend(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return QString::fromLatin1(raw);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(raw);
    if (utf8.hasError())
        return QString::fromLatin1(raw);
    return text;
}

QString decodeHeaderValue(QByteArrayView raw)
{
    if (raw.indexOf("=?") < 0) // the common case: nothing encoded
        return withoutControls(decodeUtf8OrLatin1(raw));
    QString out;
    qsizetype pos = 0;
    // Bytes of a run of adjacent encoded words in one charset are decoded together, so that a
    // multi-byte character split over two words comes out whole.
    QByteArray pendingCharset;
    QByteArray pendingBytes;
    QByteArray pendingRaw; // the words as sent, shown as they are when the charset is unknown
    auto flush = [&] {
        if (pendingRaw.isEmpty())
            return;
        if (const auto text = decodeCharset(pendingCharset, pendingBytes))
            out += *text;
        else
            out += decodeUtf8OrLatin1(pendingRaw);
        pendingCharset.clear();
        pendingBytes.clear();
        pendingRaw.clear();
    };
    bool lastWasEncoded = false;
    while (pos < raw.size()) {
        const auto word = findEncodedWord(raw, pos);
        const qsizetype plainEnd = word ? word->begin : raw.size();
        const QByteArrayView plain = raw.sliced(pos, plainEnd - pos);
        bool onlyBlanks = true;
        for (const char c : plain)
            onlyBlanks = onlyBlanks && isBlank(c);
        if (!(lastWasEncoded && word && onlyBlanks)) {
            flush();
            out += decodeUtf8OrLatin1(plain);
        }
        if (!word)
            break;
        if (pendingRaw.isEmpty() || pendingCharset.compare(word->charset, Qt::CaseInsensitive) != 0) {
            flush();
            pendingCharset = word->charset;
        }
        pendingBytes += word->bytes;
        pendingRaw += raw.sliced(word->begin, word->end - word->begin).toByteArray();
        lastWasEncoded = true;
        pos = word->end;
    }
    flush();
    return withoutControls(out);
}

QList<HeaderItem> parseHeaderLines(const QList<QByteArray>& lines, const HeaderLimits& limits)
{
    QList<HeaderItem> items;
    // The field being read: its name and first line's value as views into `lines`, and its
    // unfolded value only once a folded line has to be added.
    QByteArrayView name;
    QByteArrayView firstValue;
    QByteArray folded;
    bool open = false;
    auto close = [&] {
        if (!open)
            return;
        open = false;
        if (items.size() >= limits.maxItems)
            return;
        QString text = decodeHeaderValue((folded.isNull() ? firstValue : QByteArrayView(folded)).trimmed());
        if (text.size() > limits.maxValueLength)
            text.truncate(limits.maxValueLength);
        items.append(HeaderItem { QString::fromLatin1(name), text });
    };
    for (const QByteArray& line : lines) {
        if (line.isEmpty())
            break;
        if (isBlank(line.at(0))) {
            // A folded line: unfolding removes only the line break, the blank stays.
            if (open) {
                if (folded.isNull())
                    folded = firstValue.toByteArray();
                if (folded.size() < limits.maxValueLength * 4)
                    folded += line;
            }
            continue;
        }
        close();
        const auto end = fieldNameEnd(line);
        if (!end)
            continue; // not a field (a stray "From " line, garbage); nothing to attach it to
        name = QByteArrayView(line).first(*end);
        firstValue = QByteArrayView(line).sliced(line.indexOf(':') + 1);
        folded = QByteArray();
        open = true;
    }
    close();
    return items;
}

} // namespace ormisk
