#include "store/RuleTables.h"

#include "store/AppState.h"
#include "store/SettingsStore.h"

namespace ormisk {

namespace {

QString itemKey(const char* field, int i)
{
    return QLatin1String(field) + QString::number(i);
}

const QString kTrue = QStringLiteral("True");
const QString kFalse = QStringLiteral("False");

void readRule(const SettingsStore& store, const QString& s, int i, FilterRule& rule)
{
    rule.SenderText = store.read(s, itemKey("SenderText", i));
    rule.SubjectText = store.read(s, itemKey("SubjectText", i));
    rule.SenderMatch = store.readBool(s, itemKey("SenderMatch", i), kTrue);
    rule.SubjectMatch = store.readBool(s, itemKey("SubjectMatch", i), kTrue);
    rule.AndMode = store.readBool(s, itemKey("AND", i), kTrue);
    rule.Disabled = store.readBool(s, itemKey("Disabled", i), kFalse);
}

void writeRule(SettingsStore& store, const QString& s, int i, const FilterRule& rule)
{
    store.write(s, itemKey("SenderText", i), rule.SenderText);
    store.write(s, itemKey("SubjectText", i), rule.SubjectText);
    store.write(s, itemKey("SenderMatch", i), SettingsStore::fromBool(rule.SenderMatch));
    store.write(s, itemKey("SubjectMatch", i), SettingsStore::fromBool(rule.SubjectMatch));
    store.write(s, itemKey("AND", i), SettingsStore::fromBool(rule.AndMode));
    store.write(s, itemKey("Disabled", i), SettingsStore::fromBool(rule.Disabled));
}

} // namespace

void LoadFilters(const SettingsStore& store, AppState& state)
{
    const QString& s = Section::Filters;
    const qint16 count = SettingsStore::toCount(store.read(s, QStringLiteral("TotalFilters"), QStringLiteral("0")));
    state.AutoPrompt = store.readBool(s, QStringLiteral("AutoPrompt"), kTrue);
    state.FilterTable.clear();
    for (int i = 1; i <= count; ++i) {
        readRule(store, s, i, state.CurrentFilter);
        state.FilterTable.append(state.CurrentFilter);
    }
}

void LoadWavActions(const SettingsStore& store, AppState& state)
{
    const QString& s = Section::Actions;
    const qint16 count = SettingsStore::toCount(store.read(s, QStringLiteral("TotalActions"), QStringLiteral("0")));
    state.WavActionTable.clear();
    for (int i = 1; i <= count; ++i) {
        readRule(store, s, i, state.CurrentWavAction);
        state.CurrentWavAction.WavFile = store.read(s, itemKey("WavFile", i));
        state.WavActionTable.append(state.CurrentWavAction);
    }
}

void SaveFilters(SettingsStore& store, AppState& state)
{
    const QString& s = Section::Filters;
    store.write(s, QStringLiteral("TotalFilters"), QString::number(state.FilterCount()));
    store.write(s, QStringLiteral("AutoPrompt"), SettingsStore::fromBool(state.AutoPrompt));
    for (int i = 1; i <= state.FilterCount(); ++i) {
        state.CurrentFilter = state.FilterTable.at(i - 1);
        writeRule(store, s, i, state.CurrentFilter);
    }
    store.sync();
}

void SaveWavActions(SettingsStore& store, AppState& state)
{
    const QString& s = Section::Actions;
    store.write(s, QStringLiteral("TotalActions"), QString::number(state.WavActionCount()));
    for (int i = 1; i <= state.WavActionCount(); ++i) {
        state.CurrentWavAction = state.WavActionTable.at(i - 1);
        writeRule(store, s, i, state.CurrentWavAction);
        store.write(s, itemKey("WavFile", i), state.CurrentWavAction.WavFile);
    }
    store.sync();
}

} // namespace ormisk
