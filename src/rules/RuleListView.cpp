#include "rules/RuleListView.h"

#include <QListWidget>

namespace ormisk {

int CurrentListPosition(const QListWidget* list)
{
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

void ClearListPosition(QListWidget* list)
{
    list->clearSelection();
    list->setCurrentRow(-1);
}

} // namespace ormisk
