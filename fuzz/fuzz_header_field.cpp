// GetHeaderField over any text: the result is empty or one whole CR LF line of the text, and
// exactly what the plain line-by-line scan below finds (the real one avoids its copies).
#include "FuzzInput.h"
#include "engine/HeaderText.h"

#include <cstdlib>

using namespace ormisk;

namespace {

QString referenceHeaderField(const QString& name, const QString& text)
{
    const QString crlf = QStringLiteral("\r\n");
    const QString padded = text + crlf;
    const QString wanted = name.toUpper();
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = padded.indexOf(crlf, start);
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput in(data, size);
    const uint8_t pick = in.byte();
    const QString text = QString::fromUtf8(in.rest(), qsizetype(in.restSize()));
    static const QString kNames[] = { QStringLiteral("Subject : "), QStringLiteral("From : "),
        QStringLiteral("Message-Id : "), QStringLiteral("X"), QString() };
    QString name = kNames[pick % 5];
    if (pick >= 0x80) // a name taken from the text itself
        name = text.left(pick & 0x0f);
    const QString field = GetHeaderField(name, text);
    if (field != referenceHeaderField(name, text))
        abort();
    if (!field.isEmpty() && (field.contains(QStringLiteral("\r\n")) || !text.contains(field)))
        abort();
    return 0;
}
