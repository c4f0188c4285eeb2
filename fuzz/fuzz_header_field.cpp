// GetHeaderField over any text: the result is empty or one whole CR LF line that starts with
// the name.
#include "FuzzInput.h"
#include "engine/HeaderText.h"

#include <cstdlib>

using namespace ormisk;

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
    if (field.isEmpty())
        return 0;
    if (!field.startsWith(name, Qt::CaseInsensitive) || field.contains(QStringLiteral("\r\n")) || !text.contains(field))
        abort();
    return 0;
}
