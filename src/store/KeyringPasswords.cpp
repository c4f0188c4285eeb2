#include "store/KeyringPasswords.h"

#include "store/AccountTable.h"
#include "store/Keyring.h"
#include "store/SettingsStore.h"

namespace ormisk {

namespace {

const QString kNoticeKey = QStringLiteral("PasswordsInFileNoticed");

struct Pending {
    QString nodeKey;
    QString entry;
    QString password;
    bool inFile = false;
};

AccountRecord* findUnchanged(AccountTable& accounts, const Pending& p)
{
    const qsizetype row = accounts.indexOfKey(p.nodeKey);
    if (row < 0)
        return nullptr;
    AccountRecord& a = accounts[row];
    if (Keyring::entryFor(a) != p.entry || a.Password != p.password || a.PasswordInKeyring)
        return nullptr;
    return &a;
}

} // namespace

QCoro::Task<bool> SettlePasswords(
    AccountTable& accounts, SettingsStore& store, const Keyring& keyring, bool intoKeyring)
{
    QList<Pending> pending;
    for (const AccountRecord& a : accounts) {
        if (!a.PasswordInKeyring)
            pending.append({ a.NodeKey, Keyring::entryFor(a), a.Password, !a.Password.isEmpty() });
    }
    bool moved = false;
    for (const Pending& p : std::as_const(pending)) {
        if (p.inFile && intoKeyring) {
            const Keyring::Outcome outcome = co_await keyring.write(p.entry, p.password);
            if (outcome == Keyring::Outcome::Unavailable)
                co_return false;
            if (AccountRecord* a = findUnchanged(accounts, p)) {
                a->PasswordInKeyring = true;
                moved = true;
            }
        } else if (!p.inFile) {
            const Keyring::Reading reading = co_await keyring.read(p.entry);
            if (reading.outcome == Keyring::Outcome::Unavailable)
                co_return false;
            if (reading.outcome != Keyring::Outcome::Done)
                continue;
            if (AccountRecord* a = findUnchanged(accounts, p)) {
                a->Password = reading.password;
                a->PasswordInKeyring = intoKeyring;
                moved = moved || !intoKeyring;
            }
        }
    }
    // Only after the keyring has every password is it taken out of the file (or, going back, once
    // every password is known again).
    if (moved)
        accounts.save(store);
    co_return true;
}

bool TakeFilePasswordsNotice(SettingsStore& store)
{
    if (store.readBool(Section::Config, kNoticeKey, QStringLiteral("False")))
        return false;
    store.write(Section::Config, kNoticeKey, SettingsStore::fromBool(true));
    store.sync();
    return true;
}

QString FilePasswordsNotice(const QString& settingsFile)
{
    return QStringLiteral("No desktop keyring could be reached, so the account passwords stay scrambled (not "
                          "encrypted) in the settings file %1, which only you can read.")
        .arg(settingsFile);
}

} // namespace ormisk
