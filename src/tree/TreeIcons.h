#pragma once
// The six 16×16 pictures of the account tree, drawn at run time so they stay crisp at any scale.
#include <QIcon>
#include <QString>

namespace ormisk {

// One of "NoMail", "HaveMail", "Closed", "Mail", "NewMail", "Deleted"; a null icon for other keys.
[[nodiscard]] QIcon treeIcon(const QString& imageKey);

} // namespace ormisk
