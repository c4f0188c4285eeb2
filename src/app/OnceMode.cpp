#include "app/OnceMode.h"

#include "engine/OnceRun.h"
#include "engine/SeenListFile.h"
#include "pop/PopClient.h"
#include "store/AccountTable.h"
#include "store/AppState.h"
#include "store/Keyring.h"
#include "store/KeyringPasswords.h"
#include "store/Options.h"
#include "store/RuleTables.h"
#include "store/SettingsStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

#include <cstdio>
#include <optional>

namespace ormisk {

namespace {

// Settles the passwords, runs the cycle and prints the tree; the exit status.
QCoro::Task<int> settleAndCheck(AppState& state, SettingsStore& store, const Profile& profile)
{
    const Keyring keyring(Keyring::serviceFor(profile));
    const bool reachable = co_await SettlePasswords(state.accounts, store, keyring, state.options.PasswordsInKeyring);
    if (!reachable && TakeFilePasswordsNotice(store))
        std::fprintf(stderr, "Ormisk: %s\n", qPrintable(FilePasswordsNotice(store.fileName())));

    PopClient pop;
    pop.setCaFile(state.options.CAFile);
    pop.setCacheFile(profile.dataDir + QStringLiteral("/header-cache"));
    // Line by line: the tree of a 100,000-message mailbox is some 20 MB of text, more again in
    // UTF-8, on top of everything the check still holds. As a C string, the output ends at a NUL.
    bool ended = false;
    const QStringList failures = (co_await RunOnce(state, pop, [&ended](const QString& line) {
        if (ended)
            return;
        const QByteArray bytes = line.toUtf8();
        const qsizetype nul = bytes.indexOf('\0');
        std::fwrite(bytes.constData(), 1, size_t(nul < 0 ? bytes.size() : nul), stdout);
        ended = nul >= 0;
    })).failures;
    std::fflush(stdout);
    // Scripts tell a failed account by the exit status; a person reads why on stderr.
    for (const QString& line : failures)
        std::fprintf(stderr, "%s\n", line.toUtf8().constData());

    // The cycle has already remembered every message shown.
    if (!WriteSeenListFile(profile.seenListFile(), state.SeenHeaders)) {
        std::fprintf(stderr, "Ormisk: the seen-list file could not be written.\n");
        co_return 2;
    }
    co_return failures.isEmpty() ? 0 : 1;
}

QCoro::Task<> checkAndExit(AppState& state, SettingsStore& store, const Profile& profile)
{
    QCoreApplication::exit(co_await settleAndCheck(state, store, profile));
}

} // namespace

int runOnce(const Profile& profile)
{
    AppState state;
    state.random.seed(static_cast<quint32>(QDateTime::currentMSecsSinceEpoch()));
    SettingsStore store(profile.settingsFile);
    state.store = &store;
    state.accounts.load(store, state.random);
    state.options = LoadOptions(store, profile.defaultLogFolder());
    state.filters.load(store);
    state.wavActions.load(store);
    state.SeenHeaders = ReadSeenListFile(profile.seenListFile());

    // The keyring answers through the event loop, so the run happens inside it and ends it.
    std::optional<QCoro::Task<>> run;
    QTimer::singleShot(0, [&] { run.emplace(checkAndExit(state, store, profile)); });
    return QCoreApplication::exec();
}

} // namespace ormisk
