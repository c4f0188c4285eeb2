#include "engine/TreeSelection.h"

#include "engine/NodeTree.h"
#include "engine/TreeOps.h"
#include "store/AccountTable.h"
#include "store/AppState.h"

namespace ormisk {

namespace {

void selectNode(AppState& state, NodeTree& tree, const QString& key)
{
    tree.setSelected(key);
    if (isAccountKey(key)) {
        state.CurrentAccount = FindAccountByKey(state, key);
        state.CurrentMessage = 0;
    } else {
        state.CurrentMessage = tree.image(key) == Image::Deleted ? 0 : FindNodePosition(tree, key);
        state.CurrentAccount = FindAccountByKey(state, tree.parent(key));
    }
}

} // namespace

PopupMenu OnTreeMouseDown(AppState& state, NodeTree& tree, const QString& key, bool rightButton,
    const std::function<void()>& refreshMenuState)
{
    if (key.isEmpty() || !tree.contains(key)) {
        tree.setSelected(QString());
        state.CurrentAccount = 0;
        state.CurrentMessage = 0;
        if (rightButton && state.menus.mnuMonitoring.enabled)
            return PopupMenu::Monitoring;
        return PopupMenu::None;
    }
    selectNode(state, tree, key);
    if (!rightButton)
        return PopupMenu::None;
    refreshMenuState();
    if (state.CurrentMessage < 1)
        return state.menus.mnuAccounts.enabled ? PopupMenu::Accounts : PopupMenu::None;
    return state.menus.mnuMessages.enabled ? PopupMenu::Messages : PopupMenu::None;
}

void OnTreeNodeExpanded(
    AppState& state, NodeTree& tree, const QString& key, const std::function<void()>& refreshMenuState)
{
    tree.setSelected(key);
    state.CurrentAccount = FindAccountByKey(state, key);
    state.CurrentMessage = 0;
    refreshMenuState();
}

void OnTreeClick(AppState& state, NodeTree& tree, const std::function<void()>& refreshMenuState)
{
    refreshMenuState();
    if (state.CurrentAccount == 0 && state.CurrentMessage == 0)
        HideSelection(state, tree);
}

void OnTreeDoubleClick(AppState& state, NodeTree& tree, const std::function<void()>& refreshMenuState)
{
    if (state.CurrentAccount != 0 || state.CurrentMessage != 0)
        refreshMenuState();
    else
        HideSelection(state, tree);
}

void OnTreeKeyboardSelect(
    AppState& state, NodeTree& tree, const QString& key, const std::function<void()>& refreshMenuState)
{
    if (key.isEmpty() || !tree.contains(key))
        return;
    selectNode(state, tree, key);
    refreshMenuState();
}

} // namespace ormisk
