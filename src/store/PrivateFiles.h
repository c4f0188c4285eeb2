#pragma once
// Files and folders the program creates hold mail headers and (scrambled) passwords: they are made
// owner-only whatever the user's umask says.
#include <QFileDevice>
#include <QString>

namespace ormisk {

inline constexpr QFileDevice::Permissions kOwnerOnlyFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Creates the folder `path` and every missing folder above it, each new one with mode 0700.
// Folders that exist are left as they are. True when `path` is a folder afterwards.
bool MakePrivateFolders(const QString& path);

} // namespace ormisk
