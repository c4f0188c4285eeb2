#include "engine/OnceRun.h"

#include "engine/AccountCheck.h"
#include "engine/MemoryTree.h"
#include "engine/PollScheduler.h"
#include "engine/ShellHost.h"
#include "store/AppState.h"

namespace ormisk {

QString RunOnce(AppState& state, PopComponent& pop)
{
    MemoryTree tree;
    NullShellHost host;
    MailEngine engine(state, tree, pop, host);
    PollScheduler scheduler(engine);
    scheduler.PollCycle();
    scheduler.PoolingEvent().stop();
    return tree.dump();
}

} // namespace ormisk
