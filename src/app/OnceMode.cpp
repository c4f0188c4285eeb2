#include "app/OnceMode.h"

#include "engine/OnceRun.h"
#include "engine/SeenListFile.h"
#include "pop/PopClient.h"
#include "store/AccountTable.h"
#include "store/AppState.h"
#include "store/Options.h"
#include "store/RuleTables.h"
#include "store/SettingsStore.h"

#include <QDateTime>

#include <cstdio>

namespace ormisk {

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
    const QString tree = RunOnce(state, pop);
    std::fputs(tree.toUtf8().constData(), stdout);
    std::fflush(stdout);

    // The cycle has already remembered every message shown.
    if (!WriteSeenListFile(profile.seenListFile(), state.SeenHeaders)) {
        std::fprintf(stderr, "Ormisk: the seen-list file could not be written.\n");
        return 2;
    }
    return 0;
}

} // namespace ormisk
