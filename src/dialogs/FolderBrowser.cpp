#include "dialogs/FolderBrowser.h"

#include "dialogs/DialogService.h"

namespace ormisk {

QString BrowseForFolder(DialogService& dialogs, QWidget* owner, const QString& title, const QString& start)
{
    QString path = dialogs.existingDirectory(owner, title, start);
    // A path handed through a native picker may carry a terminator; nothing after it is a path.
    const qsizetype nul = path.indexOf(QChar(u'\0'));
    if (nul >= 0)
        path.truncate(nul);
    return path;
}

} // namespace ormisk
