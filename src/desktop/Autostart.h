#pragma once
// Starting at login, the freedesktop way: an entry in the user's autostart folder that starts
// this program. Whether it starts at login is whether that entry exists; nothing else keeps it.
#include <QString>

namespace ormisk {

// $XDG_CONFIG_HOME/autostart/ormisk.desktop, or ~/.config/autostart/ormisk.desktop when the
// variable is unset or not an absolute path.
[[nodiscard]] QString AutostartEntryPath();
[[nodiscard]] bool StartsAtLogin();
// The program's own desktop entry with its Exec line naming `program` (quoted where the entry
// format asks for it).
[[nodiscard]] QString AutostartEntryText(const QString& program);
// Writes the entry for `program` or removes it. An empty result means done; otherwise it says
// what failed.
[[nodiscard]] QString SetStartAtLogin(bool on, const QString& program);

} // namespace ormisk
