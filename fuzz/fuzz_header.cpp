// Header lines as a server sends them (folded, encoded words, any bytes): unfolded and decoded
// values must be display-safe (one line, no control or bidirectional formatting characters), and
// the header text built from them must give back the fields.
#include "FuzzInput.h"
#include "pop/DocOutput.h"
#include "pop/HeaderCharsets.h"
#include "pop/HeaderDecoding.h"
#include "engine/HeaderText.h"

#include <cstdlib>

using namespace ormisk;

namespace {

void requireDisplaySafe(const QString& text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029 || u == 0x061C || u == 0x200E
            || u == 0x200F || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069))
            abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray raw(reinterpret_cast<const char*>(data), qsizetype(size));
    requireDisplaySafe(decodeHeaderValue(raw));
    // Every byte is one character in Windows-1252, whatever it is.
    if (decodeWindows1252(raw).size() != raw.size())
        abort();
    (void)decodeUtf8OrWindows1252(raw);

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
        for (const QChar c : item.name) {
            if (c.unicode() <= 0x20 || c.unicode() >= 0x7F) // names stay printable ASCII
                abort();
        }
        requireDisplaySafe(item.value);
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
