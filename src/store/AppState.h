#pragma once
// What the engine shares: the option values (named after their store keys), the three tables,
// the seen and read lists and the account a check works on. One instance is owned by the application
// and passed to whoever needs it; tests make their own. Nothing here is a hidden singleton.
#include "engine/HeaderList.h"
#include "store/AccountTable.h"
#include "store/Options.h"
#include "store/Random.h"
#include "store/Records.h"
#include "store/RuleTables.h"

#include <QList>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

namespace ormisk {

class SettingsStore;

struct AppState {
    // Where the engine writes what a check learns about an account (the security its first TLS
    // connection earned); tests that keep everything in memory leave it out.
    SettingsStore* store = nullptr;

    // Options and mail log settings ("Config" section), loaded at start-up.
    Options options;

    // The tables the user keeps (0-based inside; account() counts from 1 like the store's items).
    AccountTable accounts;
    [[nodiscard]] qint16 AccountCount() const { return static_cast<qint16>(accounts.size()); }
    AccountRecord& account(int i) { return accounts[i - 1]; }
    [[nodiscard]] const AccountRecord& account(int i) const { return accounts[i - 1]; }
    FilterTable filters;
    WavActionTable wavActions;
    [[nodiscard]] qint16 FilterCount() const { return static_cast<qint16>(filters.size()); }
    [[nodiscard]] qint16 WavActionCount() const { return static_cast<qint16>(wavActions.size()); }

    // The account a check works on: whoever starts a check sets it first (the check takes the
    // account's title from it). The user's selection is the window's own.
    qint16 CurrentAccount = 0;

    // Seen and read lists: header texts, oldest first.
    HeaderList SeenHeaders;
    HeaderList ReadHeaders;
    [[nodiscard]] qint32 SeenCount() const { return static_cast<qint32>(SeenHeaders.size()); }
    [[nodiscard]] qint32 ReadCount() const { return static_cast<qint32>(ReadHeaders.size()); }

    // Seeded once at start-up from the clock; tests may seed it to a fixed value.
    QRandomGenerator random { 42u };
    float nextRandom() { return NextRandom(random); }
};

} // namespace ormisk
