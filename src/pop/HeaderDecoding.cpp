#include "pop/HeaderDecoding.h"

#include "pop/DisplayText.h"
#include "pop/HeaderCharsets.h"

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

void appendQ(QByteArrayView text, QByteArray& out)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '_') {
            out.append(' ');
        } else if (c == '=' && i + 2 < text.size() && hexValue(text.at(i + 1)) >= 0 && hexValue(text.at(i + 2)) >= 0) {
            out.append(static_cast<char>(hexValue(text.at(i + 1)) * 16 + hexValue(text.at(i + 2))));
            i += 2;
        } else {
            out.append(c); // blanks too: some mailers leave them unencoded
        }
    }
}

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// Base64 as mailers put it in encoded words: blanks where a fold split the word are skipped, and
// missing or partial padding is accepted. Anything else, and the text is no encoded word.
bool appendB(QByteArrayView text, QByteArray& out)
{
    quint32 bits = 0;
    int bitCount = 0;
    qsizetype symbols = 0;
    bool padded = false;
    for (const char c : text) {
        if (isBlank(c))
            continue;
        if (c == '=') {
            padded = true;
            continue;
        }
        const int value = base64Value(c);
        if (value < 0 || padded)
            return false;
        bits = ((bits << 6) | quint32(value)) & 0xFFFFFF;
        bitCount += 6;
        ++symbols;
        if (bitCount >= 8) {
            bitCount -= 8;
            out.append(static_cast<char>((bits >> bitCount) & 0xFF));
        }
    }
    return symbols % 4 != 1; // six bits short of a byte: not base64 at all
}

// Anything printable but "?" (which ends the label) and "=" (so that no "=?" starts inside one).
bool isCharsetChar(char c) { return c > ' ' && c < 127 && c != '?' && c != '='; }

// A label is short; 75 characters is the longest a whole encoded word may be.
constexpr qsizetype kMaxCharsetLength = 75;

// An encoded word at `start` (which holds "=?"), or no word and where the next one may start.
// "=?" charset "?" B|Q "?" text "?=", where text is everything up to the next "?". A label cannot
// hold "=" and the encoding letter is not "=", so between start and that "?" no other word can
// begin except at the "=" just before it: resuming there keeps the whole scan linear, however
// many unfinished words a value holds.
struct WordScan {
    bool found = false;
    qsizetype resume = 0; // one past the word's "?=" when found
    QByteArrayView charset; // as sent, a language suffix ("utf-8*en") removed
};

WordScan readEncodedWord(QByteArrayView raw, qsizetype start, QByteArray& bytes)
{
    const qsizetype labelBegin = start + 2;
    const qsizetype labelLimit = std::min(raw.size(), labelBegin + kMaxCharsetLength);
    qsizetype labelEnd = labelBegin;
    while (labelEnd < labelLimit && isCharsetChar(raw.at(labelEnd)))
        ++labelEnd;
    const qsizetype textBegin = labelEnd + 3;
    if (labelEnd == labelBegin || textBegin > raw.size() || raw.at(labelEnd) != '?'
        || QByteArrayView("BbQq").indexOf(raw.at(labelEnd + 1)) < 0 || raw.at(labelEnd + 2) != '?')
        return { false, labelBegin, {} };
    const qsizetype textEnd = raw.indexOf('?', textBegin);
    if (textEnd < 0) // no "?" left, so no word anywhere further on
        return { false, raw.size(), {} };
    if (textEnd + 1 >= raw.size() || raw.at(textEnd + 1) != '=')
        return { false, textEnd - 1, {} };
    const QByteArrayView text = raw.sliced(textBegin, textEnd - textBegin);
    bytes.resize(0);
    const char encoding = raw.at(labelEnd + 1);
    if (encoding == 'B' || encoding == 'b') {
        if (!appendB(text, bytes))
            return { false, textEnd - 1, {} };
    } else {
        appendQ(text, bytes);
    }
    QByteArrayView charset = raw.sliced(labelBegin, labelEnd - labelBegin);
    if (const qsizetype star = charset.indexOf('*'); star >= 0)
        charset.truncate(star);
    return { true, textEnd + 2, charset };
}

bool onlyBlanks(QByteArrayView text) { return std::all_of(text.cbegin(), text.cend(), isBlank); }

QString decodeValue(QByteArrayView raw, CharsetDecoders& charsets)
{
    QString out;
    if (raw.indexOf("=?") < 0) { // the common case: nothing encoded
        out = decodeUtf8OrWindows1252(raw);
        makeDisplaySafe(out);
        return out;
    }
    out.reserve(raw.size());
    // The bytes of adjacent encoded words in one charset are decoded together, so that a
    // multi-byte character split over two words comes out whole.
    QByteArray runCharset; // lower-cased
    QByteArray runBytes;
    bool inRun = false;
    auto endRun = [&] {
        if (inRun)
            out += charsets.decode(runCharset, runBytes);
        runBytes.resize(0);
        inRun = false;
    };
    QByteArray wordBytes;
    qsizetype plainBegin = 0; // the first byte not yet taken into `out` or the run
    qsizetype from = 0;
    bool afterWord = false;
    while (from < raw.size()) {
        const qsizetype start = raw.indexOf("=?", from);
        if (start < 0)
            break;
        const WordScan word = readEncodedWord(raw, start, wordBytes);
        from = word.resume;
        if (!word.found)
            continue;
        const QByteArrayView between = raw.sliced(plainBegin, start - plainBegin);
        if (!afterWord || !onlyBlanks(between)) {
            endRun();
            out += decodeUtf8OrWindows1252(between);
        }
        if (inRun && runCharset.compare(word.charset, Qt::CaseInsensitive) != 0)
            endRun();
        if (!inRun) {
            runCharset = word.charset.toByteArray().toLower();
            inRun = true;
        }
        runBytes += wordBytes;
        afterWord = true;
        plainBegin = word.resume;
    }
    endRun();
    out += decodeUtf8OrWindows1252(raw.sliced(plainBegin));
    makeDisplaySafe(out);
    return out;
}

} // namespace

QString decodeHeaderValue(QByteArrayView raw)
{
    CharsetDecoders charsets;
    return decodeValue(raw, charsets);
}

namespace {

// Hands each field of the header lines to sink(name, value), in the server's order.
template <typename Sink> void readFields(const QList<QByteArray>& lines, const HeaderLimits& limits, Sink sink)
{
    CharsetDecoders charsets;
    qsizetype fields = 0;
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
        if (fields >= limits.maxItems)
            return;
        ++fields;
        QString text = decodeValue((folded.isNull() ? firstValue : QByteArrayView(folded)).trimmed(), charsets);
        if (text.size() > limits.maxValueLength) {
            text.truncate(limits.maxValueLength);
            if (text.back().isHighSurrogate()) // half a character is none
                text.chop(1);
        }
        sink(name, text);
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
}

constexpr QStringView kSeparator = u" : ";
constexpr QStringView kLineEnd = u"\r\n";

} // namespace

QList<HeaderItem> parseHeaderLines(const QList<QByteArray>& lines, const HeaderLimits& limits)
{
    QList<HeaderItem> items;
    readFields(lines, limits, [&items](QByteArrayView name, QString& value) {
        items.append(HeaderItem { QString::fromLatin1(name), std::move(value) });
    });
    return items;
}

QByteArray headerDisplayText(const QList<QByteArray>& lines, const HeaderLimits& limits)
{
    QString text;
    readFields(lines, limits, [&text](QByteArrayView name, const QString& value) {
        text += QLatin1StringView(name);
        text += kSeparator;
        text += value;
        text += kLineEnd;
    });
    return text.toUtf8();
}

QList<HeaderItem> headerItems(const QString& displayText)
{
    QList<HeaderItem> items;
    const QStringView text(displayText);
    // Searched for by character: a search for the two-character strings costs several times more.
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf(u'\r', start);
        while (end >= 0 && end + 1 < text.size() && text.at(end + 1) != u'\n')
            end = text.indexOf(u'\r', end + 1);
        if (end < 0)
            end = text.size();
        // A name holds no blank, and a value no line break.
        const QStringView line = text.sliced(start, end - start);
        const qsizetype separator = line.indexOf(u' ');
        if (separator > 0 && line.sliced(separator).startsWith(kSeparator))
            items.append(HeaderItem { line.first(separator).toString(), line.sliced(separator + 3).toString() });
        start = end + kLineEnd.size();
    }
    return items;
}

} // namespace ormisk
