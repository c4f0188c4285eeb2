#pragma once
// The main window's place, size and state in the "Config" section, in twips.
#include <QtGlobal>

#include <optional>

namespace ormisk {

class SettingsStore;

// Window geometry in twips as stored; a missing or unreadable value is empty.
struct StoredGeometry {
    std::optional<double> top, left, width, height;
    std::optional<qint16> state;
};
[[nodiscard]] StoredGeometry ReadGeometry(const SettingsStore& store);
// Normal window: "Top", "Left", "Height", "Width" then "State" = "0".
void WriteNormalGeometry(SettingsStore& store, double top, double left, double height, double width);
// Maximized window: only "State" = "2".
void WriteMaximizedState(SettingsStore& store);

} // namespace ormisk
