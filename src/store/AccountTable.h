#pragma once
// The account table: loaded from the "Accounts" section at start-up, written whole after every
// change. Node keys tie each account to its tree node for one run and are never stored.
#include "store/Records.h"
#include "store/TableRows.h"

#include <QString>

class QRandomGenerator;

namespace ormisk {

struct AppState;
class SettingsStore;

class AccountTable : public TableRows<AccountRecord> {
public:
    using TableRows::TableRows;

    // Reads "Total" and each account's keys; every account gets a fresh node key drawn from `random`.
    void load(const SettingsStore& store, QRandomGenerator& random);
    // Writes "Total" and every account's keys. Items beyond the count stay in the store, unread.
    void save(SettingsStore& store) const;
    // Writes only "Security" + i of row `row`: what a connection learnt, without rewriting the rest.
    void saveSecurity(SettingsStore& store, qsizetype row) const;

    // The row of the account whose node has `key`, or -1.
    [[nodiscard]] qsizetype indexOfKey(const QString& key) const;
    // A node key no account holds, "P" + 1..32766; empty when every key is taken.
    [[nodiscard]] QString newKey(QRandomGenerator& random) const;
};

// The "Security" + i text of a choice, and back. Empty, absent or unknown text reads as Automatic,
// which asks the server for TLS whenever it offers it.
[[nodiscard]] QString SecurityText(AccountSecurity security);
[[nodiscard]] AccountSecurity SecurityFromText(const QString& text);

// The 1-based index of the account whose node has `key`, 0 when none has.
[[nodiscard]] qint16 FindAccountByKey(const AppState& state, const QString& key);

} // namespace ormisk
