#pragma once
#include <QString>

namespace ormisk {

// A byte count as the tree shows it: digits grouped by threes with the user's locale separator
// ("," when the locale names none), no leading zeros; zero gives the empty string.
[[nodiscard]] QString FormatBytes(qint64 bytes);

} // namespace ormisk
