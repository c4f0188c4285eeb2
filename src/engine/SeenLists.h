#pragma once
// The memory of messages shown before (seen, the last 100, kept across runs) and of messages on
// display when the user last marked mail as read. A message is known by its "Message-Id : " line,
// compared exactly; a header without one has the empty identity.
#include <QString>

namespace ormisk {

struct AppState;
class NodeTree;

constexpr int kSeenLimit = 100;

[[nodiscard]] QString MessageIdentity(const QString& header);
[[nodiscard]] bool IsSeen(const AppState& state, const QString& header);
[[nodiscard]] bool IsRead(const AppState& state, const QString& header);

// Adds the tags of all message nodes not seen yet, then keeps only the 100 newest entries.
void RememberSeen(AppState& state, const NodeTree& tree);
// RememberSeen, then the read list becomes the tags of all message nodes; NewMailCount = 0.
void SnapshotRead(AppState& state, const NodeTree& tree);
// Does nothing while a check runs (the Accounts menu is disabled then); otherwise SnapshotRead
// and every "NewMail" image becomes "Mail".
void MarkAllRead(AppState& state, NodeTree& tree);

// "C" followed by 1..32766, unique among the tree's keys. Empty only when every such key is taken.
[[nodiscard]] QString NewMessageKey(AppState& state, const NodeTree& tree);

} // namespace ormisk
