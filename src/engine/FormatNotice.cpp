#include "engine/FormatNotice.h"

namespace ormisk {

QString FormatNotice(const QString& notice, qint32 count)
{
    QString text = notice;
    const qsizetype hash = text.indexOf(QLatin1Char('#'));
    if (hash >= 0)
        text = text.left(hash) + QString::number(count) + text.mid(hash + 1);

    // The brackets are looked for after the count is in, so their positions are those of the
    // final text; a "]" that comes first leaves the text alone.
    const qsizetype open = text.indexOf(QLatin1Char('['));
    const qsizetype close = text.indexOf(QLatin1Char(']'));
    if (open < 0 || close <= open)
        return text;
    if (count > 1)
        return text.left(open) + text.mid(open + 1, close - open - 1) + text.mid(close + 1);
    return text.left(open) + text.mid(close + 1);
}

} // namespace ormisk
