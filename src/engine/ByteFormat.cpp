#include "engine/ByteFormat.h"

#include <QLocale>

namespace ormisk {

QString FormatBytes(qint64 bytes)
{
    if (bytes == 0)
        return {};
    QString separator = QLocale().groupSeparator();
    if (separator.isEmpty())
        separator = QStringLiteral(",");
    const bool negative = bytes < 0;
    const QString digits = QString::number(bytes).mid(negative ? 1 : 0);
    QString out;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += separator;
        out += digits.at(i);
    }
    return negative ? QLatin1Char('-') + out : out;
}

} // namespace ormisk
