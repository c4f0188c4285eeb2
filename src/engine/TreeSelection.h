#pragma once
// How clicks, expansion and the keyboard on the account tree set the selection globals, and which
// context menu a right click opens. The tree widget only reports; these rules decide.
#include <QString>

#include <functional>

namespace ormisk {

struct AppState;
class NodeTree;

enum class PopupMenu { None, Monitoring, Accounts, Messages };

// A mouse button pressed over `key` (empty: over empty space). `refreshMenuState` is called where
// the rules ask for it. Returns the menu to pop up (only for the right button, only if enabled).
PopupMenu OnTreeMouseDown(AppState& state, NodeTree& tree, const QString& key, bool rightButton,
    const std::function<void()>& refreshMenuState);
// The user expanded or collapsed an account node.
void OnTreeNodeExpanded(
    AppState& state, NodeTree& tree, const QString& key, const std::function<void()>& refreshMenuState);
void OnTreeClick(AppState& state, NodeTree& tree, const std::function<void()>& refreshMenuState);
void OnTreeDoubleClick(AppState& state, NodeTree& tree, const std::function<void()>& refreshMenuState);
// The keyboard moved the selection to `key`: the same globals as a left click there, then the
// menu state, so no command acts on a stale selection.
void OnTreeKeyboardSelect(
    AppState& state, NodeTree& tree, const QString& key, const std::function<void()>& refreshMenuState);

} // namespace ormisk
