#pragma once
// Where the program keeps its files. Normally the XDG folders of the user; with `--profile DIR`
// (or ORMISK_PROFILE) everything lives under DIR, so tests and the demo never touch real files.
#include <QString>

namespace ormisk {

struct Profile {
    QString settingsFile; // the settings store (INI)
    QString dataDir; // seen-list file, default log folder; never ends with "/"
    QString lockFile; // single-instance lock

    [[nodiscard]] QString seenListFile() const { return dataDir + QStringLiteral("/log.tmp"); }
    [[nodiscard]] QString defaultLogFolder() const { return dataDir + QStringLiteral("/Logs/"); }

    // The user's own profile.
    static Profile standard();
    // Everything under one folder.
    static Profile inFolder(const QString& dir);
    // `dir` if not empty, else ORMISK_PROFILE if set, else the standard profile.
    static Profile resolve(const QString& dir);
    // Creates the folders the files live in, every new one owner-only (a `--profile` folder too).
    bool ensureFolders() const;
};

} // namespace ormisk
