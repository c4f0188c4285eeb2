#pragma once
// Account-node helpers shared by start-up, the poll cycle and the account commands, and the
// kinds of node keys.
#include <QString>

namespace ormisk {

struct AppState;
class NodeTree;

// Adds the root node of account `index` with its title followed by `status` ("NoMail", collapsed,
// expanded image "HaveMail"); a disabled account reads its title followed by "--- Disabled."
// with the "Closed" image instead.
void AddAccountNode(const AppState& state, NodeTree& tree, int index, const QString& status);
// Makes a root node show its account as disabled.
void ShowAccountDisabled(NodeTree& tree, const QString& key, const QString& title);
// Removes every node, then adds one root node per account in table order.
void RebuildTree(const AppState& state, NodeTree& tree, const QString& status);
// Position of the node with `key` in tree order, minus one; 0 when no node has it.
[[nodiscard]] qint32 FindNodePosition(const NodeTree& tree, const QString& key);

[[nodiscard]] inline bool isMessageKey(const QString& key) { return key.startsWith(QLatin1Char('C')); }
[[nodiscard]] inline bool isAccountKey(const QString& key) { return key.startsWith(QLatin1Char('P')); }

} // namespace ormisk
