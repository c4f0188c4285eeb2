#pragma once
// Lets the user pick a file-system folder.
#include <QString>

class QWidget;

namespace ormisk {

class DialogService;

// The chosen folder's full path, or empty text when the user cancels.
// `start` is the folder the picker opens in (empty: its own choice).
[[nodiscard]] QString BrowseForFolder(
    DialogService& dialogs, QWidget* owner, const QString& title, const QString& start = QString());

} // namespace ormisk
