#include "engine/RuleMatching.h"

#include "engine/HeaderText.h"
#include "engine/NodeTree.h"
#include "engine/SeenLists.h"
#include "engine/ShellHost.h"
#include "store/AppState.h"

#include <algorithm>

namespace ormisk {

namespace {

const QString kFrom = QStringLiteral("From : ");
const QString kSubject = QStringLiteral("Subject : ");

QString fieldValue(const QString& name, const QString& header)
{
    return GetHeaderField(name, header).mid(name.size()).toUpper();
}

bool conditionHolds(const QString& text, bool mustEqual, const QString& value)
{
    if (text.isEmpty())
        return false;
    const QString wanted = text.toUpper();
    return mustEqual ? value == wanted : value.contains(wanted);
}

} // namespace

RuleValues ExtractRuleValues(const QString& header)
{
    return { fieldValue(kFrom, header), fieldValue(kSubject, header) };
}

bool RuleApplies(const FilterRule& rule, const RuleValues& values)
{
    const bool sender = conditionHolds(rule.SenderText, rule.SenderMatch, values.sender);
    const bool subject = conditionHolds(rule.SubjectText, rule.SubjectMatch, values.subject);
    // The AND/OR choice only counts when both texts are set; the editors store it regardless.
    if (!rule.SenderText.isEmpty() && !rule.SubjectText.isEmpty())
        return rule.AndMode ? sender && subject : sender || subject;
    return sender || subject;
}

bool MatchFilters(const AppState& state, const QString& header)
{
    const qint16 count = state.FilterCount();
    if (count <= 0)
        return false;
    const RuleValues values = ExtractRuleValues(header);
    for (int i = 0; i < count; ++i) {
        const FilterRule& rule = state.filters.at(i);
        if (!rule.Disabled && RuleApplies(rule, values))
            return true;
    }
    return false;
}

void MatchActions(const AppState& state, const QString& header, QString& wav, bool& found)
{
    found = false;
    const qint16 count = state.WavActionCount();
    if (count <= 0)
        return;
    const RuleValues values = ExtractRuleValues(header);
    for (int i = 0; i < count; ++i) {
        const WavAction& action = state.wavActions.at(i);
        if (!action.Disabled && RuleApplies(action, values)) {
            wav = action.WavFile;
            found = true;
            return;
        }
    }
}

namespace {

// Quicksort with the range's last element as pivot, on 1-based positions. Each bound test comes
// before the element it guards is read.
void quickSort(qint32 first, qint32 last, QStringList& items)
{
    while (first < last) {
        auto at = [&](qint32 pos) -> QString& { return items[pos - 1]; };
        const QString pivot = at(last);
        qint32 i = first - 1;
        qint32 j = last;
        for (;;) {
            ++i;
            while (i < j && at(i) < pivot)
                ++i;
            --j;
            while (j > i && at(j) > pivot)
                --j;
            if (i >= j)
                break;
            std::swap(at(i), at(j));
        }
        if (i != last)
            std::swap(at(i), at(last));
        // Recurse into the smaller side and loop on the larger, so sorted input cannot exhaust
        // the stack; the order of the two sub-sorts does not change the result.
        if (i - first < last - i) {
            quickSort(first, i - 1, items);
            first = i + 1;
        } else {
            quickSort(i + 1, last, items);
            last = i - 1;
        }
    }
}

} // namespace

void SortArray(qint32 first, qint32 last, QStringList& items)
{
    first = std::max<qint32>(first, 1);
    last = std::min<qint32>(last, static_cast<qint32>(std::min<qsizetype>(items.size(), INT32_MAX)));
    quickSort(first, last, items);
}

QCoro::Task<> RunSoundStep(AppState& state, const NodeTree& tree, ShellHost& host, qint32 unseen)
{
    if (!(state.options.PlayWav || state.options.RandomPlayWAV) || unseen < 1)
        co_return;
    QStringList list;
    const int nodes = tree.count();
    for (int index = 1; index <= nodes; ++index) {
        const QString key = tree.keyAt(index);
        const QString tag = tree.tag(key);
        const bool eligible = !state.options.AutoMarkRead || (tree.image(key) == Image::NewMail && !IsRead(state, tag));
        if (!eligible)
            continue;
        QString wav;
        bool found = false;
        MatchActions(state, tag, wav, found);
        if (found)
            list.append(wav);
    }
    if (list.isEmpty()) {
        co_await host.playMessage(SoundRequest::fromOptions(state.options));
        co_return;
    }
    SortArray(1, static_cast<qint32>(list.size()), list);
    // Each rule's file goes to the routine with the call: while a later call waits for the
    // device, the options (and a dialog saving them) hold the user's own sound.
    QString previous;
    for (const QString& file : std::as_const(list)) {
        if (file != previous) {
            previous = file;
            co_await host.playMessage(SoundRequest::ruleSound(state.options, file));
        }
    }
}

} // namespace ormisk
