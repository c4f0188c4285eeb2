#include "store/Profile.h"

#include "store/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace ormisk {

Profile Profile::standard()
{
    Profile p;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    p.settingsFile = config + QStringLiteral("/Ormisk/Ormisk.conf");
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    p.dataDir = data + QStringLiteral("/Ormisk");
    p.lockFile = p.dataDir + QStringLiteral("/ormisk.lock");
    return p;
}

Profile Profile::inFolder(const QString& dir)
{
    const QString root = QDir(dir).absolutePath();
    Profile p;
    p.settingsFile = root + QStringLiteral("/Ormisk.conf");
    p.dataDir = root;
    p.lockFile = root + QStringLiteral("/ormisk.lock");
    return p;
}

Profile Profile::resolve(const QString& dir)
{
    if (!dir.isEmpty())
        return inFolder(dir);
    const QString env = qEnvironmentVariable("ORMISK_PROFILE");
    if (!env.isEmpty())
        return inFolder(env);
    return standard();
}

bool Profile::ensureFolders() const
{
    return MakePrivateFolders(QFileInfo(settingsFile).absolutePath()) && MakePrivateFolders(dataDir);
}

} // namespace ormisk
