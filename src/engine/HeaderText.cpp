#include "engine/HeaderText.h"

#include "engine/DocOutput.h"

namespace ormisk {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
const QString kSeparator = QStringLiteral(" : ");
} // namespace

void CaptureDocOutput(const DocOutput& doc, QString& headerText)
{
    switch (doc.state) {
    case DocOutput::HeadersAvailable:
        headerText.clear();
        for (const HeaderItem& item : doc.headers)
            headerText += item.name + kSeparator + item.value + kCrLf;
        break;
    case DocOutput::TransferError:
        headerText.clear();
        break;
    default:
        break;
    }
}

QString GetHeaderField(const QString& name, const QString& text)
{
    // Zero-based form of a 1-based scan: `start` is the first character of the current line.
    // The last line is examined only when it starts before the text's final character, so a
    // one-character final line without CR LF is never looked at.
    const QString padded = text + kCrLf;
    const QString wanted = name.toUpper();
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = padded.indexOf(kCrLf, start);
        if (end <= start)
            return {};
        const QString line = text.mid(start, end - start);
        if (line.left(name.size()).toUpper() == wanted)
            return line;
        start = end + 2;
        if (start + 1 >= text.size())
            return {};
    }
}

} // namespace ormisk
