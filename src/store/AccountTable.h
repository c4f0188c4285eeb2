#pragma once
// The account table: loaded from the "Accounts" section at start-up, written whole after every
// change. Node keys tie each account to its tree node for one run and are never stored.
#include <QString>

namespace ormisk {

struct AppState;
class SettingsStore;

void LoadAccounts(const SettingsStore& store, AppState& state);
void SaveAccounts(SettingsStore& store, const AppState& state);
[[nodiscard]] QString NewAccountKey(AppState& state);
[[nodiscard]] qint16 FindAccountByKey(const AppState& state, const QString& key);
// Removes account `index` (1-based), keeping the order of the others.
void RemoveAccount(AppState& state, int index);

} // namespace ormisk
