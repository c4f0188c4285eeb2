#pragma once
// `ormisk --once`: one full poll cycle without a window, the resulting tree as text.
#include <QCoro/QCoroTask>
#include <QString>

#include <functional>

namespace ormisk {

struct AppState;
class PopComponent;

// Runs one poll cycle over every account of `state` (already loaded) through `pop` and ends with
// the tree: one line per node, indented by level, its text and its image key in brackets. The
// counters and the seen list in `state` are updated as by any cycle.
[[nodiscard]] QCoro::Task<QString> RunOnce(AppState& state, PopComponent& pop);
// The same, with the tree's lines handed to `write` one at a time rather than returned whole: the
// tree of 100,000 messages is some 20 MB of text.
[[nodiscard]] QCoro::Task<> RunOnce(AppState& state, PopComponent& pop, std::function<void(const QString& line)> write);

} // namespace ormisk
