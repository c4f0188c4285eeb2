#pragma once
// The memory of messages shown before (seen: kept across runs) and of messages on display when
// the user last marked mail as read. Messages are told apart by their identity (HeaderList.h).
#include "engine/HeaderList.h"

#include <QString>

namespace ormisk {

struct AppState;
class NodeTree;

// The seen list never shrinks below this many entries, nor below the number of messages on
// display; the seen-list file's 5-digit count holds at most kSeenFileLimit.
constexpr qint32 kSeenLimit = 100;
constexpr qint32 kSeenFileLimit = 99999;
// Message keys are "C" followed by 1..kMessageKeyRange while the tree is at most half as large.
constexpr qint32 kMessageKeyRange = 32766;

[[nodiscard]] bool IsSeen(const AppState& state, const QString& header);
// The seen-list entry with the identity of `header`, or null when the message was not seen.
[[nodiscard]] const QString* FindSeen(const AppState& state, const QString& header);
[[nodiscard]] bool IsRead(const AppState& state, const QString& header);

// Adds the tags of all message nodes not seen yet, then drops the oldest entries no longer on
// display down to the larger of 100 and the number of messages on display.
void RememberSeen(AppState& state, const NodeTree& tree);
// RememberSeen, then the read list becomes the tags of all message nodes: none is new any more.
void SnapshotRead(AppState& state, const NodeTree& tree);
// Does nothing while a conversation runs (`inConversation`); otherwise SnapshotRead and every
// "NewMail" image becomes "Mail".
void MarkAllRead(AppState& state, NodeTree& tree, bool inConversation);

// "C" followed by a number unique among the tree's keys: 1..32766 while that range is at most
// half full, a range twice the tree's size beyond. Found in constant expected time.
[[nodiscard]] QString NewMessageKey(AppState& state, const NodeTree& tree);

} // namespace ormisk
