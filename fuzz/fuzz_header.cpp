// Header lines as a server sends them (folded, encoded words, any bytes): unfolded and decoded
// values must stay single-line, and the header text built from them must give back the fields.
#include "FuzzInput.h"
#include "engine/DocOutput.h"
#include "engine/HeaderDecoding.h"
#include "engine/HeaderText.h"

#include <cstdlib>

using namespace ormisk;

namespace {

void requireOneLine(const QString& text)
{
    for (const QChar c : text) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray raw(reinterpret_cast<const char*>(data), qsizetype(size));
    requireOneLine(decodeHeaderValue(raw));
    (void)decodeUtf8OrLatin1(raw);

    QList<QByteArray> lines = raw.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    HeaderLimits limits;
    limits.maxItems = 200;
    limits.maxValueLength = 4096;
    const QList<HeaderItem> items = parseHeaderLines(lines, limits);
    if (items.size() > limits.maxItems)
        abort();
    for (const HeaderItem& item : items) {
        requireOneLine(item.name);
        requireOneLine(item.value);
        if (item.value.size() > limits.maxValueLength)
            abort();
    }

    DocOutput doc;
    doc.state = DocOutput::HeadersAvailable;
    doc.headers = items;
    QString text;
    CaptureDocOutput(doc, text);
    // Every line of the text is one field: as many CR LF as items.
    if (text.count(QStringLiteral("\r\n")) != items.size())
        abort();
    (void)GetHeaderField(QStringLiteral("Subject : "), text);
    (void)GetHeaderField(QStringLiteral("From : "), text);
    return 0;
}
