// Hundreds of poll cycles, back to back, against the test server while mail arrives and a filter
// deletes some of it. Prints memory growth after warm-up, open descriptors before and after, the
// seen list's size and the mail log's record count against the never-seen messages.
//   long_run [cycles]     (default 300)
#include "demo/ScriptedPopServer.h"
#include "engine/AccountCheck.h"
#include "engine/MemoryTree.h"
#include "engine/PollScheduler.h"
#include "engine/ShellHost.h"
#include "pop/PopClient.h"
#include "store/AppState.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

using namespace ormisk;
using ormisk::testing::ScriptedPopServer;

namespace {

qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

int openDescriptors()
{
    return int(
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot).size());
}

QByteArray message(const QByteArray& subject, const QByteArray& from, int id)
{
    return "Subject: " + subject + "\r\nFrom: " + from + "\r\nMessage-Id: <" + QByteArray::number(id)
        + "@long.run>\r\nDate: Mon, 7 Dec 2026 10:00:00 +0000\r\n\r\nbody of " + QByteArray::number(id) + "\r\n";
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int cycles = argc > 1 ? std::max(60, atoi(argv[1])) : 300;
    QTemporaryDir dir;

    // The test server records every command it gets; a fresh one every 25 cycles keeps that
    // record out of the memory figures, which are meant for the program's side alone.
    const QStringList users = { QStringLiteral("ann"), QStringLiteral("bob") };
    auto server = std::make_unique<ScriptedPopServer>();
    int sessions = 0;
    const auto freshServer = [&] {
        auto next = std::make_unique<ScriptedPopServer>();
        for (const QString& user : users)
            next->addUser(user, QStringLiteral("pw"), server->messages(user));
        sessions += server->sessionsStarted();
        server = std::move(next);
        return server->start();
    };
    for (const QString& user : users)
        server->addUser(user, QStringLiteral("pw"));
    if (!server->start()) {
        std::fprintf(stderr, "the test server did not start\n");
        return 1;
    }

    AppState state;
    state.options.LogFilesPath = dir.path() + QStringLiteral("/logs/");
    state.options.LogDisabled = false;
    state.options.LogAllInOne = true;
    state.options.AutoDialog = false;
    for (const QString& user : users) {
        AccountRecord a;
        a.Title = user;
        a.Host = QStringLiteral("127.0.0.1");
        a.Port = server->port();
        a.User = user;
        a.Password = QStringLiteral("pw");
        a.NodeKey = QStringLiteral("P%1").arg(state.AccountCount() + 1);
        state.accounts.append(a);
    }
    FilterRule spam;
    spam.SubjectText = QStringLiteral("offer");
    spam.SubjectMatch = false;
    state.filters.append(spam);

    MemoryTree tree;
    PopClient pop;
    pop.setConnectTimeout(2000);
    pop.setReplyTimeout(2000);
    NullShellHost host;
    MailEngine engine(state, tree, pop, host);
    PollScheduler scheduler(engine);

    int nextId = 1;
    int neverSeen = 0; // messages that are not filtered: each must be logged exactly once
    int spamSent = 0;
    qint64 rssAt50 = 0;
    const int fdsBefore = openDescriptors();
    int mostSeen = 0;
    QElapsedTimer clock;
    clock.start();
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        // New mail for one of the two users; every third cycle some spam; the oldest mail goes
        // once a mailbox holds eight (read and deleted elsewhere).
        if (cycle % 25 == 0) {
            if (!freshServer()) {
                std::fprintf(stderr, "the test server did not start\n");
                return 1;
            }
            for (AccountRecord& a : state.accounts)
                a.Port = server->port();
        }
        const QString& user = users.at(cycle % 2);
        QList<QByteArray> box = server->messages(user);
        box.append(message("Report " + QByteArray::number(nextId), "Carol <c@x>", nextId));
        ++nextId;
        ++neverSeen;
        if (cycle % 3 == 0) {
            box.append(message("Special offer " + QByteArray::number(nextId), "Spam <s@x>", nextId));
            ++nextId;
            ++spamSent;
        }
        while (box.size() > 8)
            box.removeFirst();
        server->setMessages(user, box);

        QCoro::waitFor(scheduler.PollCycle());
        mostSeen = std::max(mostSeen, int(state.SeenHeaders.size()));
        if (cycle == 50)
            rssAt50 = residentKb();
    }
    const qint64 rssEnd = residentKb();
    const double seconds = clock.elapsed() / 1000.0;
    app.processEvents(); // lets closed sockets be deleted before counting descriptors
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const int fdsAfter = openDescriptors();

    QFile log(state.options.LogFilesPath + QStringLiteral("Master.doc"));
    int records = 0;
    if (log.open(QIODevice::ReadOnly))
        records = int(log.readAll().count("[Begin Header]"));
    int spamLeft = 0;
    for (const QString& user : users) {
        for (const QByteArray& m : server->messages(user))
            spamLeft += m.contains("Special offer") ? 1 : 0;
    }

    std::printf(
        "cycles                      %d in %.1f s (%.1f ms per cycle)\n", cycles, seconds, 1000.0 * seconds / cycles);
    std::printf("VmRSS at cycle 50           %lld kB\n", static_cast<long long>(rssAt50));
    std::printf("VmRSS at cycle %-4d         %lld kB (growth %+lld kB)\n", cycles, static_cast<long long>(rssEnd),
        static_cast<long long>(rssEnd - rssAt50));
    std::printf("open descriptors            %d before, %d after\n", fdsBefore, fdsAfter);
    std::printf(
        "seen list                   %d now, %d at most (limit 100)\n", int(state.SeenHeaders.size()), mostSeen);
    std::printf("log records                 %d for %d never-seen messages\n", records, neverSeen);
    std::printf("spam                        %d sent, %d left on the server\n", spamSent, spamLeft);
    std::printf("server sessions             %d, still open %d\n", sessions + server->sessionsStarted(),
        server->openSessions());
    const bool ok = mostSeen <= 100 && records == neverSeen && spamLeft == 0 && fdsAfter <= fdsBefore + 2;
    std::printf("%s\n", ok ? "OK" : "FAILED");
    return ok ? 0 : 1;
}
