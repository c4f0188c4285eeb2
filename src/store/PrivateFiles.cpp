#include "store/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>

namespace ormisk {

bool MakePrivateFolders(const QString& path)
{
    const QString absolute = QDir::cleanPath(QDir(path).absolutePath());
    const QStringList parts = absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current;
    for (const QString& part : parts) {
        current += QLatin1Char('/') + part;
        const QByteArray name = QFile::encodeName(current);
        if (::mkdir(name.constData(), 0700) == 0) {
            // A umask that takes the owner's own bits away is undone too.
            ::chmod(name.constData(), 0700);
        } else if (errno != EEXIST) {
            return false;
        }
    }
    return QFileInfo(absolute).isDir();
}

} // namespace ormisk
