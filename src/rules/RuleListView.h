#pragma once
// The list of rules in the two list dialogs: list position p shows table entry p + 1.
class QListWidget;

namespace ormisk {

// The position of the list's current entry, or -1. An entry is current once the user has picked
// it (clicked or moved to it); merely focusing the list picks nothing.
[[nodiscard]] int CurrentListPosition(const QListWidget* list);
// Leaves the list with no current entry.
void ClearListPosition(QListWidget* list);

} // namespace ormisk
