#include "app/OnceMode.h"

#include "engine/OnceRun.h"
#include "engine/SeenListFile.h"
#include "pop/PopClient.h"
#include "store/AccountTable.h"
#include "store/AppState.h"
#include "store/Options.h"
#include "store/RuleTables.h"
#include "store/SettingsStore.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>
#include <optional>

namespace ormisk {

namespace {

// The cycle, its output and the seen list; then `code` is set and the main loop ends.
QCoro::Task<> checkAndReport(AppState& state, PopComponent& pop, const Profile& profile, std::optional<int>& code)
{
    // Line by line: the tree of a 100,000-message mailbox is some 20 MB of text, more again in
    // UTF-8, on top of everything the check still holds. As a C string, the output ends at a NUL.
    bool ended = false;
    co_await RunOnce(state, pop, [&ended](const QString& line) {
        if (ended)
            return;
        const QByteArray bytes = line.toUtf8();
        const qsizetype nul = bytes.indexOf('\0');
        std::fwrite(bytes.constData(), 1, size_t(nul < 0 ? bytes.size() : nul), stdout);
        ended = nul >= 0;
    });
    std::fflush(stdout);

    // The cycle has already remembered every message shown.
    code = 0;
    if (!WriteSeenListFile(profile.seenListFile(), state.SeenHeaders)) {
        std::fprintf(stderr, "Ormisk: the seen-list file could not be written.\n");
        code = 2;
    }
    QCoreApplication::exit(*code);
}

} // namespace

int runOnce(const Profile& profile)
{
    AppState state;
    state.random.seed(static_cast<quint32>(QDateTime::currentMSecsSinceEpoch()));
    SettingsStore store(profile.settingsFile);
    state.accounts.load(store, state.random);
    state.options = LoadOptions(store, profile.defaultLogFolder());
    state.filters.load(store);
    state.wavActions.load(store);
    state.SeenHeaders = ReadSeenListFile(profile.seenListFile());

    PopClient pop;
    pop.setCaFile(state.options.CAFile);
    pop.setCacheFile(profile.dataDir + QStringLiteral("/header-cache"));
    std::optional<int> code;
    const QCoro::Task<> run = checkAndReport(state, pop, profile, code);
    // A cycle that needed no server has ended already; exit() then found no loop to end.
    if (!code)
        QCoreApplication::exec();
    return code.value_or(1);
}

} // namespace ormisk
