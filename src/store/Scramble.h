#pragma once
// Passwords are kept in the settings file obfuscated, not encrypted: anyone with the file and this
// program can read them back. The scramble is a fixed, documented, length-preserving shift of the
// printable ASCII characters, so stored files stay portable between versions.
#include <QString>

namespace ormisk {

inline const QString kScrambleKey = QStringLiteral("k9$Pw+e2!Tz?a7&");

[[nodiscard]] QString ScrambleText(const QString& text);
[[nodiscard]] QString UnscrambleText(const QString& text);

} // namespace ormisk
