#include "engine/OnceRun.h"

#include "engine/AccountCheck.h"
#include "engine/MemoryTree.h"
#include "engine/PollScheduler.h"
#include "engine/ShellHost.h"
#include "store/AppState.h"

namespace ormisk {

QCoro::Task<QString> RunOnce(AppState& state, PopComponent& pop)
{
    MemoryTree tree;
    NullShellHost host;
    MailEngine engine(state, tree, pop, host);
    PollScheduler scheduler(engine);
    co_await scheduler.PollCycle();
    scheduler.PoolingEvent().stop();
    co_return tree.dump();
}

} // namespace ormisk
