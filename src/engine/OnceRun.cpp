#include "engine/OnceRun.h"

#include "engine/AccountCheck.h"
#include "engine/MemoryTree.h"
#include "engine/PollScheduler.h"
#include "engine/ShellHost.h"
#include "store/AppState.h"

namespace ormisk {

namespace {

// The tree's lines: each account's node as the tree shows it, then its messages as the check
// found them, indented.
void writeTree(const MemoryTree& tree, const MailEngine& engine, const std::function<void(const QString&)>& write)
{
    QString line;
    auto writeLine = [&](const QString& indent, const QString& text, const QString& image) {
        line.clear();
        line.append(indent).append(text).append(QStringLiteral(" [")).append(image).append(QStringLiteral("]\n"));
        write(line);
    };
    const QString indent = QStringLiteral("  ");
    for (const QString& accountKey : tree.roots()) {
        writeLine(QString(), tree.text(accountKey), tree.image(accountKey));
        if (const AccountListing* listing = engine.listing(accountKey)) {
            for (const CheckedMessage& message : listing->messages)
                writeLine(indent, MessageText(message), MessageImage(message));
        }
    }
}

} // namespace

QCoro::Task<OnceResult> RunOnce(AppState& state, PopComponent& pop, std::function<void(const QString& line)> write)
{
    MemoryTree tree;
    // The messages are printed from what the check found; their node texts would only cost
    // memory (a 100,000-message tree holds some 20 MB of them).
    tree.setKeepsChildTexts(false);
    NullShellHost host;
    MailEngine engine(state, tree, pop, host);
    PollScheduler scheduler(engine);
    co_await scheduler.PollCycle();
    scheduler.PoolingEvent().stop();
    writeTree(tree, engine, write);
    OnceResult result;
    result.counts = host.mailCounts();
    for (qint16 i = 1; i <= state.AccountCount(); ++i) {
        const auto failure = engine.failures().constFind(state.account(i).NodeKey);
        if (failure != engine.failures().cend())
            result.failures << failure->title + QStringLiteral(": ") + failure->reason;
    }
    co_return result;
}

QCoro::Task<OnceResult> RunOnce(AppState& state, PopComponent& pop)
{
    QString tree;
    OnceResult result = co_await RunOnce(state, pop, [&tree](const QString& line) { tree += line; });
    result.tree = std::move(tree);
    co_return result;
}

} // namespace ormisk
