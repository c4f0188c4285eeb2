#pragma once
// The "Config" section: options, mail log settings and window geometry.
#include <QString>

#include <limits>
#include <optional>

namespace ormisk {

struct AppState;
class SettingsStore;

// Check periods in minutes that the options accept: at least one minute, and few enough that the
// period in seconds fits the countdown's signed 32-bit count.
inline constexpr qint32 kDefaultPollMinutes = 5;
inline constexpr qint32 kLargestPollMinutes = std::numeric_limits<qint32>::max() / 60;
[[nodiscard]] constexpr bool IsAcceptedPollMinutes(qint32 minutes)
{
    return minutes >= 1 && minutes <= kLargestPollMinutes;
}

// Reads the options and the log keys, in store order, each with its default. `defaultLogFolder`
// (ending with "/") is the log folder when none is stored. A stored check period the options
// would refuse reads as the default.
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
