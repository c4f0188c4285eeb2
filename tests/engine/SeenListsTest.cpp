#include "EngineFixture.h"

#include "engine/PollScheduler.h"
#include "engine/SeenLists.h"

using namespace ormisk;
using namespace ormisk::test;

TEST(SeenLists, IdentityIsTheExactMessageIdLineOrTheWholeHeader)
{
    AppState s;
    s.SeenHeaders = { QStringLiteral("Message-Id : <1@x>\r\n") };
    EXPECT_TRUE(IsSeen(s, QStringLiteral("Subject : other\r\nMessage-Id : <1@x>\r\n")));
    EXPECT_FALSE(IsSeen(s, QStringLiteral("Message-ID : <1@x>\r\n")));
    EXPECT_FALSE(IsSeen(s, QStringLiteral("Subject : no id\r\n")));
    // Messages without a Message-Id are told apart by their whole header: one seen message
    // without an id must not hide every later one.
    s.SeenHeaders << QStringLiteral("Subject : also no id\r\n") << QString();
    EXPECT_FALSE(IsSeen(s, QStringLiteral("Subject : no id\r\n")));
    EXPECT_TRUE(IsSeen(s, QStringLiteral("Subject : also no id\r\n")));
    EXPECT_FALSE(IsSeen(s, QStringLiteral("Subject : also no id\r\nFrom : b\r\n")));
    EXPECT_TRUE(IsSeen(s, QString())); // the empty tag of a failed header
    // The lines a mailbox server keeps its state in change while the message stays the same.
    s.SeenHeaders << QStringLiteral("Subject : kept\r\nStatus : O\r\n");
    EXPECT_TRUE(IsSeen(s, QStringLiteral("Subject : kept\r\nX-UID : 7\r\nstatus : RO\r\n")));
    EXPECT_FALSE(IsSeen(s, QStringLiteral("Subject : kept\r\nStatus : O\r\nX-Other : 1\r\n")));
    EXPECT_FALSE(IsRead(s, QStringLiteral("Message-Id : <1@x>\r\n")));
    // Entries leave the index with the list, duplicates one at a time.
    s.SeenHeaders = { QStringLiteral("Message-Id : <1@x>\r\n"), QStringLiteral("X : y\r\nMessage-Id : <1@x>\r\n"),
        QStringLiteral("Message-Id : <2@x>\r\n") };
    s.SeenHeaders.removeFirst(1);
    EXPECT_TRUE(IsSeen(s, QStringLiteral("Message-Id : <1@x>\r\n")));
    s.SeenHeaders.removeFirst(1);
    EXPECT_FALSE(IsSeen(s, QStringLiteral("Message-Id : <1@x>\r\n")));
    EXPECT_TRUE(IsSeen(s, QStringLiteral("Message-Id : <2@x>\r\n")));
}

namespace {

QString idHeader(int n) { return QStringLiteral("Subject : s\r\nMessage-Id : <%1@x>\r\n").arg(n); }

// An account node with one message node per header, keys from NewMessageKey.
void showMessages(AppState& s, MemoryTree& tree, const QStringList& headers)
{
    tree.clear();
    tree.add({}, QStringLiteral("P1"), QStringLiteral("Work"), Image::NoMail);
    tree.setTag(QStringLiteral("P1"), QStringLiteral("Message-Id : <account>\r\n")); // not a message node
    for (const QString& h : headers) {
        const QString key = NewMessageKey(s, tree);
        tree.add(QStringLiteral("P1"), key, {}, Image::NewMail);
        tree.setTag(key, h);
    }
}

} // namespace

TEST(SeenLists, RememberKeepsEveryMessageOnDisplayAndTheNewestOthers)
{
    AppState s;
    MemoryTree tree;
    QStringList first;
    for (int i = 1; i <= 150; ++i)
        first << idHeader(i);
    showMessages(s, tree, first + QStringList { idHeader(5) }); // shown twice: kept once
    RememberSeen(s, tree);
    EXPECT_EQ(s.SeenHeaders, first);
    EXPECT_FALSE(IsSeen(s, QStringLiteral("Message-Id : <account>\r\n")));

    // 120 of them stay, 40 arrive: the 30 gone from display are the oldest and leave first,
    // down to what is on display; the order is kept.
    QStringList second = first.mid(30);
    for (int i = 151; i <= 190; ++i)
        second << idHeader(i);
    showMessages(s, tree, second);
    RememberSeen(s, tree);
    EXPECT_EQ(s.SeenHeaders, second);

    // With few on display the list keeps 100: the one on display, though old, and the newest.
    showMessages(s, tree, { idHeader(31) });
    RememberSeen(s, tree);
    EXPECT_EQ(s.SeenHeaders, QStringList { idHeader(31) } + second.mid(61));

    SnapshotRead(s, tree);
    EXPECT_EQ(s.ReadHeaders, QStringList { idHeader(31) });
}

// 100,000 messages on display: keys beyond 32766, each message remembered, lookups by hash.
TEST(SeenLists, HundredThousandMessagesOnDisplay)
{
    AppState s;
    MemoryTree tree;
    QStringList headers;
    constexpr int kMessages = 100000;
    for (int i = 1; i <= kMessages; ++i)
        headers << (i % 2 ? idHeader(i) : QStringLiteral("Subject : no id %1\r\n").arg(i));
    showMessages(s, tree, headers);
    ASSERT_EQ(tree.count(), kMessages + 1) << "every key unique";
    qint64 highest = 0;
    for (QString k = tree.firstChild(QStringLiteral("P1")); !k.isEmpty(); k = tree.next(k)) {
        ASSERT_TRUE(k.startsWith(QLatin1Char('C')));
        bool ok = false;
        const qint64 n = k.mid(1).toLongLong(&ok);
        ASSERT_TRUE(ok && n >= 1) << qPrintable(k);
        highest = std::max(highest, n);
    }
    EXPECT_GT(highest, 32766);
    EXPECT_LE(highest, 2 * kMessages + 2);
    EXPECT_EQ(FindNodePosition(tree, tree.keyAt(kMessages + 1)), kMessages);

    RememberSeen(s, tree);
    // More than the file's 99,999: still every message on display is known between checks.
    ASSERT_EQ(s.SeenCount(), kMessages);
    for (int i = 0; i < kMessages; ++i)
        ASSERT_TRUE(IsSeen(s, headers.at(i))) << i;
    EXPECT_FALSE(IsSeen(s, idHeader(kMessages + 1)));
    EXPECT_FALSE(IsSeen(s, QStringLiteral("Subject : no id 7\r\n"))); // odd numbers carry an id
}

TEST(SeenLists, MarkAllReadTurnsNewMailIntoMailUnlessACheckRuns)
{
    AppState s;
    MemoryTree tree;
    tree.add({}, QStringLiteral("P1"), QStringLiteral("Work"), Image::NoMail);
    tree.add(QStringLiteral("P1"), QStringLiteral("C1"), {}, Image::NewMail);
    tree.setTag(QStringLiteral("C1"), QStringLiteral("Message-Id : <1>\r\n"));
    MarkAllRead(s, tree, true);
    EXPECT_EQ(tree.image(QStringLiteral("C1")), Image::NewMail);
    EXPECT_EQ(s.ReadCount(), 0);
    MarkAllRead(s, tree, false);
    EXPECT_EQ(tree.image(QStringLiteral("C1")), Image::Mail);
    EXPECT_EQ(tree.image(QStringLiteral("P1")), Image::NoMail);
    EXPECT_TRUE(IsRead(s, QStringLiteral("Message-Id : <1>\r\n")));
}

TEST(SeenLists, NewMessageKeysStayInTheSmallRangeWhileItIsHalfFree)
{
    AppState s;
    MemoryTree tree;
    tree.add({}, QStringLiteral("P1"), {}, Image::NoMail);
    for (int i = 0; i < 16000; ++i) {
        const QString key = NewMessageKey(s, tree);
        const int n = key.mid(1).toInt();
        ASSERT_TRUE(key.startsWith(QLatin1Char('C')) && n >= 1 && n <= 32766) << qPrintable(key);
        ASSERT_FALSE(tree.contains(key));
        tree.add(QStringLiteral("P1"), key, {}, Image::NewMail);
    }
}

namespace {
class SeenAcrossCycles : public EngineFixture { };
} // namespace

TEST_F(SeenAcrossCycles, SecondCycleLogsNothingAndSoundsNoAlarm)
{
    PollScheduler scheduler(engine);
    addAccount(QStringLiteral("Work"));
    pop.mailbox = { fakeMessage(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("<a>")),
        fakeMessage(QStringLiteral("B"), QStringLiteral("X"), QStringLiteral("<b>")) };
    QCoro::waitFor(scheduler.PollCycle());
    EXPECT_EQ(host.mailCounts().unseen, 2);
    EXPECT_EQ(host.mailCounts().newMail, 2);
    QCoro::waitFor(scheduler.PollCycle());
    EXPECT_EQ(host.mailCounts().unseen, 0);
    EXPECT_EQ(host.mailCounts().newMail, 2); // seen but never marked read
    EXPECT_EQ(messageImages(1), QStringList(2, Image::NewMail));
    MarkAllRead(state, tree, false);
    QCoro::waitFor(scheduler.PollCycle());
    EXPECT_EQ(messageImages(1), QStringList(2, Image::Mail));
    EXPECT_EQ(host.mailCounts().newMail, 0);

    // Far more than 100 waiting, some without a Message-Id: each is logged and announced once.
    state.options.PlayWav = true;
    pop.mailbox.clear();
    for (int i = 1; i <= 140; ++i)
        pop.mailbox << fakeMessage(QStringLiteral("S"), QStringLiteral("X"), QStringLiteral("<m%1>").arg(i));
    for (int i = 1; i <= 10; ++i) {
        FakeMessage noId;
        noId.headers = { { QStringLiteral("Subject"), QStringLiteral("no id %1").arg(i) } };
        pop.mailbox << noId;
    }
    QCoro::waitFor(scheduler.PollCycle());
    EXPECT_EQ(host.mailCounts().unseen, 150);
    EXPECT_EQ(host.played.size(), 1);
    for (int cycle = 0; cycle < 2; ++cycle) {
        QCoro::waitFor(scheduler.PollCycle());
        EXPECT_EQ(host.mailCounts().unseen, 0);
        EXPECT_EQ(host.played.size(), 1);
    }
    EXPECT_EQ(state.SeenCount(), 150);
    QFile log(logFile(QStringLiteral("Master.doc")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray logged = log.readAll();
    EXPECT_EQ(logged.count("[Begin Header]"), 2 + 150);
    EXPECT_EQ(logged.count("Message-Id : <m1>\r\n"), 1);
    EXPECT_EQ(logged.count("Subject : no id 10\r\n"), 1);
    scheduler.PoolingEvent().stop();
}

TEST_F(SeenAcrossCycles, MarkAllReadDuringACheckChangesNothing)
{
    const int work = addAccount(QStringLiteral("Work"));
    pop.mailbox = { fakeMessage(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("<a>")),
        fakeMessage(QStringLiteral("B"), QStringLiteral("X"), QStringLiteral("<b>")) };
    pop.onAnswer = [&](const QString& request) {
        if (request == QStringLiteral("size 2"))
            MarkAllRead(state, tree, engine.inConversation());
    };
    check(work);
    EXPECT_EQ(messageImages(work), QStringList(2, Image::NewMail));
    EXPECT_EQ(counts.newMail, 2);
    EXPECT_EQ(state.ReadCount(), 0);
}
