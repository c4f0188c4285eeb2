#pragma once
// The program-wide state: the option values (named after their store keys), the three tables,
// the selection, the counters and the shared flags. One instance is owned by the application
// and passed to whoever needs it; tests make their own. Nothing here is a hidden singleton.
#include "engine/HeaderList.h"
#include "store/MenuState.h"
#include "store/Options.h"
#include "store/Records.h"

#include <QList>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

namespace ormisk {

struct AppState {
    // Options and mail log settings ("Config" section), loaded at start-up.
    Options options;

    // Account table (1-based through account()).
    QList<AccountRecord> AccountTable;
    AccountRecord EditAccount;
    [[nodiscard]] qint16 AccountCount() const { return static_cast<qint16>(AccountTable.size()); }
    AccountRecord& account(int i) { return AccountTable[i - 1]; }
    [[nodiscard]] const AccountRecord& account(int i) const { return AccountTable[i - 1]; }

    // Rule tables (1-based through filter() / wavAction()).
    QList<FilterRule> FilterTable;
    FilterRule CurrentFilter;
    bool AutoPrompt = true;
    QList<WavAction> WavActionTable;
    WavAction CurrentWavAction;
    [[nodiscard]] qint16 FilterCount() const { return static_cast<qint16>(FilterTable.size()); }
    [[nodiscard]] qint16 WavActionCount() const { return static_cast<qint16>(WavActionTable.size()); }

    // Selection.
    qint16 CurrentAccount = 0;
    qint32 CurrentMessage = 0; // a tree position: wider than 16 bits in a large mailbox

    // Scheduler and shared flags.
    qint32 PollMinutes = 5;
    qint32 SecondsLeft = 5;
    bool Suspended = false;
    bool NewMailShown = false;
    bool SoundIdle = true;
    bool DialogAccepted = false;
    bool SelectionResetAllowed = false;
    bool StartingUp = false;
    QString RestoreState = QStringLiteral("0");

    // Counters of the current poll cycle; a mailbox may hold 100,000 messages and more.
    qint32 NewMailCount = 0;
    qint32 WaitingCount = 0;
    qint32 UnseenCount = 0;

    // Seen and read lists: header texts, oldest first.
    HeaderList SeenHeaders;
    HeaderList ReadHeaders;
    [[nodiscard]] qint32 SeenCount() const { return static_cast<qint32>(SeenHeaders.size()); }
    [[nodiscard]] qint32 ReadCount() const { return static_cast<qint32>(ReadHeaders.size()); }

    MenuState menus;

    // Seeded once at start-up from the clock; tests may seed it to a fixed value.
    QRandomGenerator random { 42u };
    // Uniform value in [0, 1), single precision like the keys and the random sound pick expect.
    float nextRandom() { return static_cast<float>(random.generateDouble()) * 0.99999994f; }
};

} // namespace ormisk
