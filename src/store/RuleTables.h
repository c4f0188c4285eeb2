#pragma once
// The message filter and sound rule tables: loaded at start-up, written whole by their editors.
namespace ormisk {

struct AppState;
class SettingsStore;

void LoadFilters(const SettingsStore& store, AppState& state);
void LoadWavActions(const SettingsStore& store, AppState& state);
// "TotalFilters", "AutoPrompt", then each filter's keys in field order.
void SaveFilters(SettingsStore& store, AppState& state);
// "TotalActions", then each action's keys in field order, "WavFile" last.
void SaveWavActions(SettingsStore& store, AppState& state);

} // namespace ormisk
