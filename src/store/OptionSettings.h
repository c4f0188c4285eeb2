#pragma once
// The "Config" section: options, mail log settings and window geometry.
#include <QString>

#include <optional>

namespace ormisk {

struct AppState;
class SettingsStore;

// Reads the options and the log keys, in store order, each with its default. `defaultLogFolder`
// (ending with "/") is the log folder when none is stored.
void LoadOptions(const SettingsStore& store, AppState& state, const QString& defaultLogFolder);
// Writes the option keys in their fixed order (the countdown restart is the scheduler's business).
void WriteOptions(SettingsStore& store, const AppState& state);
// Writes "LogFilesPath", "LogDisabled", "LogAllInOne".
void WriteLogSettings(SettingsStore& store, const AppState& state);

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
