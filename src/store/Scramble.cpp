#include "store/Scramble.h"

namespace ormisk {

namespace {

// The character at position i with code c in 32..126 moves by (k - 32) + i within those 95 codes,
// k being key character i mod 15; anything else is left alone so the text keeps its length.
QString shift(const QString& text, int direction)
{
    QString out = text;
    const int keyLength = static_cast<int>(kScrambleKey.size());
    for (int i = 0; i < out.size(); ++i) {
        const int c = out.at(i).unicode();
        if (c < 32 || c > 126)
            continue;
        const int k = kScrambleKey.at(i % keyLength).unicode();
        const int offset = ((k - 32) + i) % 95;
        const int moved = ((c - 32) + direction * offset) % 95;
        out[i] = QChar(32 + (moved + 95) % 95);
    }
    return out;
}

} // namespace

QString ScrambleText(const QString& text)
{
    return text.isEmpty() ? QString() : shift(text, +1);
}

QString UnscrambleText(const QString& text)
{
    return text.isEmpty() ? QString() : shift(text, -1);
}

} // namespace ormisk
