#include "engine/TreeOps.h"

#include "engine/NodeTree.h"
#include "store/AppState.h"

namespace ormisk {

void ShowAccountDisabled(NodeTree& tree, const QString& key, const QString& title)
{
    tree.setImage(key, Image::Closed);
    tree.setText(key, title + QStringLiteral("--- Disabled."));
}

void AddAccountNode(const AppState& state, NodeTree& tree, int index, const QString& status)
{
    const AccountRecord& a = state.account(index);
    tree.add(QString(), a.NodeKey, a.Title + status, Image::NoMail);
    tree.setExpandedImage(a.NodeKey, Image::HaveMail);
    tree.setExpanded(a.NodeKey, false);
    if (a.Disabled)
        ShowAccountDisabled(tree, a.NodeKey, a.Title);
}

void RebuildTree(const AppState& state, NodeTree& tree, const QString& status)
{
    tree.clear();
    for (int i = 1; i <= state.AccountCount(); ++i)
        AddAccountNode(state, tree, i, status);
}

qint32 FindNodePosition(const NodeTree& tree, const QString& key)
{
    if (!tree.contains(key))
        return 0;
    const qint32 n = tree.count();
    for (qint32 i = 1; i <= n; ++i) {
        if (tree.keyAt(i) == key)
            return i - 1;
    }
    return 0;
}

} // namespace ormisk
