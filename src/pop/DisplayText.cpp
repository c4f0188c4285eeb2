#include "pop/DisplayText.h"

namespace ormisk {

namespace {

bool isBlanked(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029; }

// The characters with the Bidi_Control property.
bool isBidiControl(char16_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

void makeDisplaySafe(QString& text)
{
    qsizetype kept = 0;
    const qsizetype size = text.size();
    const QChar* in = text.constData();
    // Most text needs nothing: look first, so that it is neither copied nor detached.
    qsizetype i = 0;
    while (i < size && !isBlanked(in[i].unicode()) && !isBidiControl(in[i].unicode()))
        ++i;
    if (i == size)
        return;
    QChar* out = text.data();
    kept = i;
    for (; i < size; ++i) {
        const char16_t c = out[i].unicode();
        if (isBidiControl(c))
            continue;
        out[kept++] = isBlanked(c) ? QChar(u' ') : out[i];
    }
    text.truncate(kept);
}

} // namespace ormisk
