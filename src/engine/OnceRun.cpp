#include "engine/OnceRun.h"

#include "engine/AccountCheck.h"
#include "engine/MemoryTree.h"
#include "engine/PollScheduler.h"
#include "engine/ShellHost.h"
#include "store/AppState.h"

namespace ormisk {

QCoro::Task<OnceResult> RunOnce(AppState& state, PopComponent& pop)
{
    MemoryTree tree;
    NullShellHost host;
    MailEngine engine(state, tree, pop, host);
    PollScheduler scheduler(engine);
    co_await scheduler.PollCycle();
    scheduler.PoolingEvent().stop();
    OnceResult result { tree.dump(), {} };
    for (qint16 i = 1; i <= state.AccountCount(); ++i) {
        const auto failure = engine.failures().constFind(state.account(i).NodeKey);
        if (failure != engine.failures().cend())
            result.failures << failure->title + QStringLiteral(": ") + failure->reason;
    }
    co_return result;
}

} // namespace ormisk
