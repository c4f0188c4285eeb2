// Seen and read mail over several poll cycles and a restart, against dovecot: the seen list kept
// in its file decides what is logged and counted as unseen, the read list what shows as "Mail".
#include "RealServerFixture.h"

#include "demo/MailboxGenerator.h"
#include "engine/PollScheduler.h"
#include "engine/SeenListFile.h"
#include "engine/SeenLists.h"
#include "support/Dovecot.h"

#include <memory>

using namespace ormisk;
using namespace ormisk::test;
using namespace ormisk::testing;

namespace {

// One run of the program: its state, tree, client and scheduler; the log folder and the seen
// list file outlive it.
struct ProgramRun {
    ProgramRun(const QString& logPath, quint16 port, const QString& caFile)
    {
        state.options.LogFilesPath = logPath;
        state.options.LogDisabled = false;
        state.options.LogAllInOne = true;
        AccountRecord work;
        work.Title = QStringLiteral("Work");
        work.Host = QStringLiteral("127.0.0.1");
        work.Port = port;
        work.User = QStringLiteral("ann");
        work.Password = QStringLiteral("secret");
        work.NodeKey = QStringLiteral("P1");
        state.accounts = { work };
        shortenTimeouts(pop);
        pop.setCaFile(caFile);
    }
    ~ProgramRun() { scheduler.PoolingEvent().stop(); }

    void cycle()
    {
        QCoro::waitFor(scheduler.PollCycle());
        scheduler.PoolingEvent().stop();
    }
    [[nodiscard]] QStringList images() const
    {
        QStringList out;
        for (QString k = tree.firstChild(QStringLiteral("P1")); !k.isEmpty(); k = tree.next(k))
            out << tree.image(k);
        return out;
    }
    [[nodiscard]] QString counters() const
    {
        const MailCounts counts = host.mailCounts();
        return QStringLiteral("waiting %1 unseen %2 new %3 seen %4")
            .arg(counts.waiting)
            .arg(counts.unseen)
            .arg(counts.newMail)
            .arg(state.SeenCount());
    }

    AppState state;
    MemoryTree tree;
    PopClient pop;
    RecordingHost host { &engine };
    MailEngine engine { state, tree, pop, host };
    PollScheduler scheduler { engine };
};

QStringList times(int n, const QString& image) { return QStringList(n, image); }

} // namespace

TEST(SeenCyclesRealServer, LoggedOnceAcrossCyclesAndARestart)
{
    ORMISK_REQUIRE_DOVECOT();
    CLocaleScope locale;
    Dovecot dovecot;
    dovecot.addUser(QStringLiteral("ann"), QStringLiteral("secret"));
    const QList<QByteArray> first { mail("Minutes", "Ann Lee <ann@example.com>", "<1@ormisk.test>", 2417),
        mail(MailboxGenerator::encodeQ(QStringLiteral("Grüße"), "UTF-8"), "Bob <bob@example.com>", "<2@ormisk.test>",
            1500),
        mail("Lunch?", "Carol <carol@example.com>", "<3@ormisk.test>", 900) };
    for (const QByteArray& m : first)
        ASSERT_TRUE(dovecot.deliver(QStringLiteral("ann"), m));
    QString error;
    ASSERT_TRUE(dovecot.start(&error)) << qPrintable(error);

    QTemporaryDir dir;
    const QString logPath = dir.path() + QStringLiteral("/logs/");
    const QString seenFile = dir.path() + QStringLiteral("/log.tmp");
    auto records = [&] {
        QFile file(logPath + QStringLiteral("Master.doc"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    auto recordCount = [&] { return records().count(QStringLiteral("[Begin Header]\r\n")); };

    QStringList seenAtShutdown;
    {
        ProgramRun run(logPath, dovecot.plainPort(), dovecot.certificates().caFile);
        run.cycle();
        EXPECT_EQ(run.counters(), QStringLiteral("waiting 3 unseen 3 new 3 seen 3"));
        EXPECT_EQ(recordCount(), 3);
        EXPECT_EQ(run.images(), times(3, Image::NewMail));

        run.cycle();
        EXPECT_EQ(run.counters(), QStringLiteral("waiting 3 unseen 0 new 3 seen 3"));
        EXPECT_EQ(recordCount(), 3);
        EXPECT_EQ(run.images(), times(3, Image::NewMail));

        // Mail that arrives between two cycles is logged by the next one, and only by it.
        ASSERT_TRUE(
            dovecot.deliver(QStringLiteral("ann"), mail("Late", "Dan <dan@example.com>", "<4@ormisk.test>", 700)));
        run.cycle();
        EXPECT_EQ(run.counters(), QStringLiteral("waiting 4 unseen 1 new 4 seen 4"));
        EXPECT_EQ(recordCount(), 4);
        EXPECT_EQ(records().count(QStringLiteral("Subject : Late")), 1);
        run.cycle();
        EXPECT_EQ(run.counters(), QStringLiteral("waiting 4 unseen 0 new 4 seen 4"));
        EXPECT_EQ(recordCount(), 4);

        // Marked as read: the next cycle shows every message as read mail.
        MarkAllRead(run.state, run.tree, run.engine.inConversation());
        run.cycle();
        EXPECT_EQ(run.counters(), QStringLiteral("waiting 4 unseen 0 new 0 seen 4"));
        EXPECT_EQ(run.images(), times(4, Image::Mail));

        // Shutdown keeps the seen list, not the read list.
        SnapshotRead(run.state, run.tree);
        seenAtShutdown = run.state.SeenHeaders;
        ASSERT_TRUE(WriteSeenListFile(seenFile, run.state.SeenHeaders));
    }
    ASSERT_EQ(seenAtShutdown.size(), 4);
    EXPECT_TRUE(seenAtShutdown[1].contains(QStringLiteral("Subject : Grüße")));

    ProgramRun restarted(logPath, dovecot.plainPort(), dovecot.certificates().caFile);
    restarted.state.SeenHeaders = ReadSeenListFile(seenFile);
    EXPECT_EQ(restarted.state.SeenHeaders, seenAtShutdown);
    restarted.cycle();
    EXPECT_EQ(restarted.counters(), QStringLiteral("waiting 4 unseen 0 new 4 seen 4"));
    EXPECT_EQ(restarted.images(), times(4, Image::NewMail));
    EXPECT_EQ(recordCount(), 4);

    ASSERT_TRUE(dovecot.deliver(QStringLiteral("ann"), mail("After", "Eve <eve@example.com>", "<5@ormisk.test>", 800)));
    restarted.cycle();
    EXPECT_EQ(restarted.counters(), QStringLiteral("waiting 5 unseen 1 new 5 seen 5"));
    EXPECT_EQ(recordCount(), 5);
    EXPECT_TRUE(records().endsWith(QStringLiteral("Message-Id : <5@ormisk.test>\r\n[End Header]\r\n\r\n")));
    // Nothing but headers was fetched in all those cycles.
    EXPECT_FALSE(dovecot.log().contains(QStringLiteral("retr=1")));
}
