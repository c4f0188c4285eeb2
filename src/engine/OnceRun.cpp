#include "engine/OnceRun.h"

#include "engine/AccountCheck.h"
#include "engine/MemoryTree.h"
#include "engine/PollScheduler.h"
#include "engine/ShellHost.h"
#include "store/AppState.h"

namespace ormisk {

QCoro::Task<> RunOnce(AppState& state, PopComponent& pop, std::function<void(const QString& line)> write)
{
    MemoryTree tree;
    NullShellHost host;
    MailEngine engine(state, tree, pop, host);
    PollScheduler scheduler(engine);
    co_await scheduler.PollCycle();
    scheduler.PoolingEvent().stop();
    tree.dump(write);
}

QCoro::Task<QString> RunOnce(AppState& state, PopComponent& pop)
{
    QString out;
    co_await RunOnce(state, pop, [&out](const QString& line) { out += line; });
    co_return out;
}

} // namespace ormisk
