#include "engine/HeaderText.h"

#include "pop/DocOutput.h"

#include <algorithm>

namespace ormisk {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
const QString kSeparator = QStringLiteral(" : ");
} // namespace

void CaptureDocOutput(const DocOutput& doc, QString& headerText)
{
    switch (doc.state) {
    case DocOutput::HeadersAvailable: {
        if (!doc.text.isNull()) {
            headerText = doc.text;
            break;
        }
        qsizetype size = 0;
        for (const HeaderItem& item : doc.headers)
            size += item.name.size() + kSeparator.size() + item.value.size() + kCrLf.size();
        headerText.clear();
        headerText.reserve(size);
        for (const HeaderItem& item : doc.headers) {
            headerText += item.name;
            headerText += kSeparator;
            headerText += item.value;
            headerText += kCrLf;
        }
        break;
    }
    case DocOutput::TransferError:
        headerText.clear();
        break;
    default:
        break;
    }
}

namespace {

bool isAscii(QStringView text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

// Does the line begin with the name, compared in upper case? Plain ASCII (every real field name)
// is compared in place; anything else goes through full Unicode upper-casing, which may change
// a text's length.
bool startsWithName(QStringView line, const QString& name, bool asciiName)
{
    // An ASCII first character that differs from the name's in any case rules the line out
    // whichever way it is compared; most lines of a header go no further.
    const auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 0x20) : c; };
    if (asciiName && !name.isEmpty() && !line.isEmpty() && line.front().unicode() < 0x80
        && upper(line.front().unicode()) != upper(name.front().unicode()))
        return false;
    const QStringView prefix = line.left(name.size());
    if (asciiName && isAscii(prefix))
        return prefix.size() == name.size() && prefix.compare(name, Qt::CaseInsensitive) == 0;
    return prefix.toString().toUpper() == name.toUpper();
}

} // namespace

QStringView headerFieldLine(const QString& name, QStringView text)
{
    // Zero-based form of a 1-based scan: `start` is the first character of the current line.
    // The text reads as if it ended in one more CR LF. The last line is examined only when it
    // starts before the text's final character, so a one-character final line without CR LF is
    // never looked at. Called for every message against every seen entry and rule, so it makes
    // no copies.
    const bool asciiName = isAscii(name);
    qsizetype start = 0;
    for (;;) {
        qsizetype end = text.indexOf(u'\r', start);
        while (end >= 0 && end + 1 < text.size() && text.at(end + 1) != u'\n')
            end = text.indexOf(u'\r', end + 1);
        if (end < 0 || end + 1 >= text.size())
            end = text.size(); // the CR LF the text is read as ending in
        if (end <= start)
            return {};
        const QStringView line = text.mid(start, end - start);
        if (startsWithName(line, name, asciiName))
            return line;
        start = end + 2;
        if (start + 1 >= text.size())
            return {};
    }
}

QString GetHeaderField(const QString& name, const QString& text) { return headerFieldLine(name, text).toString(); }

} // namespace ormisk
