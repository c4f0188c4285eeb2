#pragma once
// Where account passwords live: in the desktop keyring when one is reachable, else scrambled in
// the settings file as they always were.
#include <QCoroTask>
#include <QString>

namespace ormisk {

class AccountTable;
class Keyring;
class SettingsStore;

// With `intoKeyring`: moves every password still in the settings file into the keyring (leaving
// "Password" + i empty) and fills in the passwords of accounts whose file entry is empty from it.
// Without: brings the passwords the keyring holds back into the file, scrambled. Accounts are
// found again by node key after every wait, so edits made meanwhile are respected. Returns
// whether the keyring could be reached; when not, nothing changes.
[[nodiscard]] QCoro::Task<bool> SettlePasswords(
    AccountTable& accounts, SettingsStore& store, const Keyring& keyring, bool intoKeyring = true);

// True the first time it is asked for this settings file (and remembered there): the user is to
// be told once that the passwords stay in the file.
bool TakeFilePasswordsNotice(SettingsStore& store);
[[nodiscard]] QString FilePasswordsNotice(const QString& settingsFile);

} // namespace ormisk
