#pragma once
// `ormisk --once`: one full poll cycle without a window, the resulting tree as text.
#include "engine/MailCounts.h"

#include <QCoro/QCoroTask>
#include <QString>
#include <QStringList>

#include <functional>

namespace ormisk {

struct AppState;
class PopComponent;

struct OnceResult {
    // One line per node, indented by level, its text and its image key in brackets.
    QString tree;
    // One line per account whose check failed: its title, then why.
    QStringList failures;
    // What the cycle counted.
    MailCounts counts;
};

// Runs one poll cycle over every account of `state` (already loaded) through `pop`. The seen list
// in `state` is updated as by any cycle.
[[nodiscard]] QCoro::Task<OnceResult> RunOnce(AppState& state, PopComponent& pop);
// The same, with the tree's lines handed to `write` one at a time rather than returned whole (the
// tree of 100,000 messages is some 20 MB of text); the result's `tree` stays empty.
[[nodiscard]] QCoro::Task<OnceResult> RunOnce(
    AppState& state, PopComponent& pop, std::function<void(const QString& line)> write);

} // namespace ormisk
