#pragma once
// Message filters and sound rules look at a header the same way: the sender and subject values,
// each tested for equality or containment, ignoring case. The first enabled rule that applies wins.
#include <QCoro/QCoroTask>
#include <QString>
#include <QStringList>

namespace ormisk {

struct AppState;
struct FilterRule;
class NodeTree;
class ShellHost;

// Sender and subject values of a header, upper-cased, without their field names; empty when the
// field is missing.
struct RuleValues {
    QString sender;
    QString subject;
};
[[nodiscard]] RuleValues ExtractRuleValues(const QString& header);

// Whether one rule applies to those values (its Disabled flag is the caller's business).
[[nodiscard]] bool RuleApplies(const FilterRule& rule, const RuleValues& values);

// True when an enabled filter applies: the check then deletes the message on the server.
[[nodiscard]] bool MatchFilters(const AppState& state, const QString& header);

// Looks for the first enabled sound rule that applies: sets `wav` to its file and `found` to
// true; otherwise `found` is false and `wav` is left as it was.
void MatchActions(const AppState& state, const QString& header, QString& wav, bool& found);

// Sorts items at 1-based positions first..last in place, ascending by character codes. A range
// reaching outside the list is cut to the list, so the sort never reads past either end.
void SortArray(qint32 first, qint32 last, QStringList& items);

// End of a poll cycle: plays the new-mail sound once, or each distinct file chosen by sound rules
// once in ascending order, when a message of this cycle had never been seen before. Each rule's
// file goes with its call; the options are left alone.
// `unseen` is how many messages of the cycle had never been seen before.
[[nodiscard]] QCoro::Task<> RunSoundStep(AppState& state, const NodeTree& tree, ShellHost& host, qint32 unseen);

} // namespace ormisk
