// One poll cycle over several accounts on loopback, the way the scheduler runs it: every account
// checked in turn, sizes and headers of every message, log records, the seen list at the end.
// Runs two cycles: the first finds everything new (all logged), the second finds it all seen.
// Against a private dovecot when one is installed, otherwise the in-process test server (whose
// work then counts in the CPU time).
// Usage: poll_cycle [ACCOUNTS [MESSAGES]] [--test-server] [--plain]
#include "ProcessFigures.h"
#include "demo/MailboxGenerator.h"
#include "demo/ScriptedPopServer.h"
#include "engine/AccountCheck.h"
#include "engine/MemoryTree.h"
#include "engine/PollScheduler.h"
#include "engine/ShellHost.h"
#include "pop/PopClient.h"
#include "store/AppState.h"
#include "support/Dovecot.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

#include <sys/resource.h>

using namespace ormisk;
using ormisk::bench::cpuSeconds;
using ormisk::bench::memoryFigure;
using namespace ormisk::testing;

namespace {

qint64 fileSize(const QString& path) { return QFile(path).size(); }

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int accounts = 5;
    int messages = 200;
    bool forceTestServer = false;
    bool plain = false;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg == "--test-server")
            forceTestServer = true;
        else if (arg == "--plain")
            plain = true;
        else if (positional++ == 0)
            accounts = std::max(1, arg.toInt());
        else
            messages = std::max(0, arg.toInt());
    }
    const bool useDovecot = !forceTestServer && !Dovecot::binary().isEmpty();

    std::unique_ptr<Dovecot> dovecot;
    ScriptedPopServer server;
    quint16 port = 0;
    qint64 mailboxBytes = 0;
    auto userName = [](int a) { return QStringLiteral("user%1").arg(a + 1); };
    // One mailbox at a time, and dropped once dovecot has it, so the peak memory is the cycle's.
    auto mailbox = [&](int a) {
        QList<QByteArray> raw = MailboxGenerator(1000 + a).generateRaw(messages);
        for (const QByteArray& m : raw)
            mailboxBytes += m.size();
        return raw;
    };
    if (useDovecot) {
        dovecot = std::make_unique<Dovecot>();
        for (int a = 0; a < accounts; ++a)
            dovecot->addUser(userName(a), QStringLiteral("secret"));
        for (int a = 0; a < accounts; ++a) {
            for (const QByteArray& m : mailbox(a))
                dovecot->deliver(userName(a), m);
        }
        QString error;
        if (!dovecot->start(&error)) {
            std::fprintf(stderr, "dovecot: %s\n", qPrintable(error));
            return 1;
        }
        port = dovecot->plainPort();
    } else {
        if (!server.start()) {
            std::fprintf(stderr, "the test server cannot listen\n");
            return 1;
        }
        for (int a = 0; a < accounts; ++a)
            server.addUser(userName(a), QStringLiteral("secret"), mailbox(a));
        port = server.port();
    }

    QTemporaryDir logDir;
    AppState state;
    state.options.LogDisabled = false;
    state.options.LogAllInOne = true;
    state.options.LogFilesPath = logDir.path() + QStringLiteral("/");
    for (int a = 0; a < accounts; ++a) {
        AccountRecord record;
        record.Title = QStringLiteral("Account %1").arg(a + 1);
        record.Host = QStringLiteral("127.0.0.1");
        record.Port = port;
        record.User = userName(a);
        record.Password = QStringLiteral("secret");
        record.NodeKey = QStringLiteral("P%1").arg(a + 1);
        state.accounts.append(record);
    }

    MemoryTree tree;
    NullShellHost host;
    PopClient pop;
    if (plain || !dovecot) {
        // The check sets the client's mode from each account's choice.
        for (AccountRecord& record : state.accounts)
            record.Security = AccountSecurity::None;
    } else {
        pop.setCaFile(dovecot->certificates().caFile);
    }
    MailEngine engine(state, tree, pop, host);
    PollScheduler scheduler(engine);

    std::printf("server: %s%s, %d accounts x %d messages (mailbox %lld bytes)\n",
        dovecot ? "dovecot" : "test server (in process)", (plain || !dovecot) ? ", plain" : ", STLS", accounts,
        messages, static_cast<long long>(mailboxBytes));
    std::printf("before the cycles: VmRSS %s, VmHWM %s\n", memoryFigure("VmRSS").constData(),
        memoryFigure("VmHWM").constData());
    const QString log = state.options.LogFilesPath + QStringLiteral("Master.doc");
    for (const char* name : { "first cycle (all new)", "second cycle (all seen)" }) {
        const double cpuBefore = cpuSeconds();
        QElapsedTimer clock;
        clock.start();
        QCoro::waitFor(scheduler.PollCycle());
        scheduler.PoolingEvent().stop();
        const double wall = clock.nsecsElapsed() / 1e9;
        const double cpu = cpuSeconds() - cpuBefore;
        const MailCounts counts = host.mailCounts();
        std::printf("%s: wall %.3f s, cpu %.3f s, %.0f messages/s; waiting %d, unseen %d, tree nodes %d, "
                    "log %lld bytes\n",
            name, wall, cpu, counts.waiting / std::max(wall, 1e-9), counts.waiting, counts.unseen, tree.count(),
            static_cast<long long>(fileSize(log)));
        if (counts.waiting != accounts * messages)
            std::fprintf(stderr, "warning: expected %d headers, read %d\n", accounts * messages, counts.waiting);
    }
    std::printf("after the cycles: VmRSS %s, peak memory (VmHWM) %s\n", memoryFigure("VmRSS").constData(),
        memoryFigure("VmHWM").constData());
    return 0;
}
