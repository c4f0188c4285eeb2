#include "engine/OnceRun.h"

#include "engine/AccountCheck.h"
#include "engine/MemoryTree.h"
#include "engine/PollScheduler.h"
#include "engine/ShellHost.h"
#include "store/AppState.h"

namespace ormisk {

QCoro::Task<QStringList> RunOnce(AppState& state, PopComponent& pop, std::function<void(const QString& line)> write)
{
    MemoryTree tree;
    NullShellHost host;
    MailEngine engine(state, tree, pop, host);
    PollScheduler scheduler(engine);
    co_await scheduler.PollCycle();
    scheduler.PoolingEvent().stop();
    tree.dump(write);
    QStringList failures;
    for (qint16 i = 1; i <= state.AccountCount(); ++i) {
        const auto failure = engine.failures().constFind(state.account(i).NodeKey);
        if (failure != engine.failures().cend())
            failures << failure->title + QStringLiteral(": ") + failure->reason;
    }
    co_return failures;
}

QCoro::Task<OnceResult> RunOnce(AppState& state, PopComponent& pop)
{
    OnceResult result;
    result.failures = co_await RunOnce(state, pop, [&result](const QString& line) { result.tree += line; });
    co_return result;
}

} // namespace ormisk
