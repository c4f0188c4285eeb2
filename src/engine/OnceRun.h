#pragma once
// `ormisk --once`: one full poll cycle without a window, the resulting tree as text.
#include <QCoro/QCoroTask>
#include <QString>

namespace ormisk {

struct AppState;
class PopComponent;

// Runs one poll cycle over every account of `state` (already loaded) through `pop` and ends with
// the tree: one line per node, indented by level, its text and its image key in brackets. The
// counters and the seen list in `state` are updated as by any cycle.
[[nodiscard]] QCoro::Task<QString> RunOnce(AppState& state, PopComponent& pop);

} // namespace ormisk
