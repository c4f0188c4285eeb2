#pragma once
// The options the user sets, with the mail log settings: one value each, named after its key in
// the "Config" section. Each key, its default and its member are named once, in the table behind
// LoadOptions and the two writers.
#include <QString>

#include <limits>

namespace ormisk {

class SettingsStore;

inline const QString kDefaultDialogMessage = QStringLiteral("You have # new message[s]");

// Check periods in minutes that the options accept: at least one minute, and few enough that the
// period in seconds fits the countdown's signed 32-bit count.
inline constexpr qint32 kDefaultPollMinutes = 5;
inline constexpr qint32 kLargestPollMinutes = std::numeric_limits<qint32>::max() / 60;
[[nodiscard]] constexpr bool IsAcceptedPollMinutes(qint32 minutes)
{
    return minutes >= 1 && minutes <= kLargestPollMinutes;
}

// The longest one account's check may take, in seconds: a server that answers every request just
// in time would otherwise hold the check (and every account after it) for days. Stored values
// outside the accepted range read as the default.
inline constexpr qint32 kDefaultCheckTimeLimit = 600;
inline constexpr qint32 kShortestCheckTimeLimit = 10;
inline constexpr qint32 kLongestCheckTimeLimit = 24 * 60 * 60;

struct Options {
    qint32 PoolingTime = kDefaultPollMinutes;
    bool AutoExpand = true;
    bool AutoDialog = true;
    QString DialogMessage = kDefaultDialogMessage;
    bool PlayWav = false;
    bool RandomPlayWAV = false;
    QString WavFile;
    QString WavFolder;
    bool RunInTray = true;
    bool AutoMarkRead = false;
    // New mail announced through the desktop's notification service instead of the own window.
    bool DesktopNotifications = false;
    // Mail log settings; LogFilesPath always ends with "/".
    QString LogFilesPath;
    bool LogDisabled = true;
    bool LogAllInOne = true;
    // Extra CA certificates trusted for POP3 over TLS (private servers); empty = system CAs only.
    QString CAFile;
    qint32 CheckTimeLimit = kDefaultCheckTimeLimit; // seconds
    // Passwords go into the desktop keyring when one is reachable; false brings them back into the
    // settings file (scrambled) at the next start.
    bool PasswordsInKeyring = true;
};

// Reads the options and the log keys, in store order, each with its default. `defaultLogFolder`
// (ending with "/") is the log folder when none is stored. A stored check period the options
// would refuse reads as the default.
[[nodiscard]] Options LoadOptions(const SettingsStore& store, const QString& defaultLogFolder);
// Writes the ten option keys in their fixed order, then "DesktopNotifications" (the countdown
// restart is the scheduler's business).
void WriteOptions(SettingsStore& store, const Options& options);
// Writes "LogFilesPath", "LogDisabled", "LogAllInOne".
void WriteLogSettings(SettingsStore& store, const Options& options);

} // namespace ormisk
