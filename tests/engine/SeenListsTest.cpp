#include "EngineFixture.h"

#include "engine/PollScheduler.h"
#include "engine/SeenLists.h"

using namespace ormisk;
using namespace ormisk::test;

TEST(SeenLists, IdentityIsTheExactMessageIdLine)
{
    AppState s;
    s.SeenHeaders = { QStringLiteral("Message-Id : <1@x>\r\n") };
    EXPECT_TRUE(IsSeen(s, QStringLiteral("Subject : other\r\nMessage-Id : <1@x>\r\n")));
    EXPECT_FALSE(IsSeen(s, QStringLiteral("Message-ID : <1@x>\r\n")));
    EXPECT_FALSE(IsSeen(s, QStringLiteral("Subject : no id\r\n")));
    s.SeenHeaders << QStringLiteral("Subject : also no id\r\n");
    EXPECT_TRUE(IsSeen(s, QStringLiteral("Subject : no id\r\n")));
    EXPECT_TRUE(IsSeen(s, QString())); // the empty tag of a failed header
    EXPECT_FALSE(IsRead(s, QStringLiteral("Message-Id : <1@x>\r\n")));
}

TEST(SeenLists, RememberKeepsTheHundredNewestAndAddsOnce)
{
    AppState s;
    MemoryTree tree;
    tree.add({}, QStringLiteral("P1"), QStringLiteral("Work"), Image::NoMail);
    tree.setTag(QStringLiteral("P1"), QStringLiteral("Message-Id : <account>\r\n")); // not a message node
    for (int i = 1; i <= 101; ++i) {
        const QString key = QStringLiteral("C%1").arg(i);
        tree.add(QStringLiteral("P1"), key, key, Image::NewMail);
        tree.setTag(key, QStringLiteral("Message-Id : <%1>\r\n").arg(i));
    }
    tree.add(QStringLiteral("P1"), QStringLiteral("C500"), {}, Image::NewMail);
    tree.setTag(QStringLiteral("C500"), QStringLiteral("Message-Id : <5>\r\n")); // shown twice
    RememberSeen(s, tree);
    ASSERT_EQ(s.SeenCount(), 100);
    EXPECT_EQ(s.SeenHeaders.first(), QStringLiteral("Message-Id : <2>\r\n"));
    EXPECT_EQ(s.SeenHeaders.last(), QStringLiteral("Message-Id : <101>\r\n"));
    EXPECT_FALSE(IsSeen(s, QStringLiteral("Message-Id : <1>\r\n")));
    EXPECT_FALSE(IsSeen(s, QStringLiteral("Message-Id : <account>\r\n")));

    s.NewMailCount = 9;
    SnapshotRead(s, tree);
    EXPECT_EQ(s.ReadCount(), 102);
    EXPECT_EQ(s.NewMailCount, 0);
    EXPECT_EQ(s.SeenCount(), 100);
    EXPECT_EQ(s.SeenHeaders.last(), QStringLiteral("Message-Id : <1>\r\n")); // shown again: added again
}

TEST(SeenLists, MarkAllReadTurnsNewMailIntoMailUnlessACheckRuns)
{
    AppState s;
    MemoryTree tree;
    tree.add({}, QStringLiteral("P1"), QStringLiteral("Work"), Image::NoMail);
    tree.add(QStringLiteral("P1"), QStringLiteral("C1"), {}, Image::NewMail);
    tree.setTag(QStringLiteral("C1"), QStringLiteral("Message-Id : <1>\r\n"));
    s.NewMailCount = 1;
    s.menus.mnuAccounts.enabled = false;
    MarkAllRead(s, tree);
    EXPECT_EQ(tree.image(QStringLiteral("C1")), Image::NewMail);
    EXPECT_EQ(s.NewMailCount, 1);
    EXPECT_EQ(s.ReadCount(), 0);
    s.menus.mnuAccounts.enabled = true;
    MarkAllRead(s, tree);
    EXPECT_EQ(tree.image(QStringLiteral("C1")), Image::Mail);
    EXPECT_EQ(tree.image(QStringLiteral("P1")), Image::NoMail);
    EXPECT_EQ(s.NewMailCount, 0);
    EXPECT_TRUE(IsRead(s, QStringLiteral("Message-Id : <1>\r\n")));
}

TEST(SeenLists, NewMessageKeysAreUniqueAndInRange)
{
    AppState s;
    MemoryTree tree;
    tree.add({}, QStringLiteral("P1"), {}, Image::NoMail);
    for (int i = 0; i < 3000; ++i) {
        const QString key = NewMessageKey(s, tree);
        ASSERT_TRUE(key.startsWith(QLatin1Char('C')));
        const int n = key.mid(1).toInt();
        ASSERT_GE(n, 1);
        ASSERT_LE(n, 32766);
        ASSERT_FALSE(tree.contains(key));
        tree.add(QStringLiteral("P1"), key, {}, Image::NewMail);
    }
}

namespace {
class SeenAcrossCycles : public EngineFixture { };
} // namespace

TEST_F(SeenAcrossCycles, SecondCycleLogsNothingAndAHundredAndOneMessagesForgetTheFirst)
{
    PollScheduler scheduler(engine);
    addAccount(QStringLiteral("Work"));
    pop.mailbox = { fakeMessage(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("<a>")),
        fakeMessage(QStringLiteral("B"), QStringLiteral("X"), QStringLiteral("<b>")) };
    scheduler.PollCycle();
    EXPECT_EQ(state.UnseenCount, 2);
    EXPECT_EQ(state.NewMailCount, 2);
    scheduler.PollCycle();
    EXPECT_EQ(state.UnseenCount, 0);
    EXPECT_EQ(state.NewMailCount, 2); // seen but never marked read
    EXPECT_EQ(messageImages(1), QStringList(2, Image::NewMail));
    MarkAllRead(state, tree);
    scheduler.PollCycle();
    EXPECT_EQ(messageImages(1), QStringList(2, Image::Mail));
    EXPECT_EQ(state.NewMailCount, 0);

    pop.mailbox.clear();
    for (int i = 1; i <= 101; ++i)
        pop.mailbox << fakeMessage(QStringLiteral("S"), QStringLiteral("X"), QStringLiteral("<m%1>").arg(i));
    scheduler.PollCycle();
    EXPECT_EQ(state.UnseenCount, 101);
    EXPECT_EQ(state.SeenCount(), 100);
    scheduler.PollCycle();
    EXPECT_EQ(state.UnseenCount, 1); // the first one fell off the list and counts as new again
    QFile log(logFile(QStringLiteral("Master.doc")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll().count("Message-Id : <m1>\r\n"), 2);
    scheduler.PoolingEvent().stop();
}

TEST_F(SeenAcrossCycles, MarkAllReadDuringACheckChangesNothing)
{
    const int work = addAccount(QStringLiteral("Work"));
    pop.mailbox = { fakeMessage(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("<a>")),
        fakeMessage(QStringLiteral("B"), QStringLiteral("X"), QStringLiteral("<b>")) };
    pop.onAnswer = [&](const QString& request) {
        if (request == QStringLiteral("size 2"))
            MarkAllRead(state, tree);
    };
    check(work);
    EXPECT_EQ(messageImages(work), QStringList(2, Image::NewMail));
    EXPECT_EQ(state.NewMailCount, 2);
    EXPECT_EQ(state.ReadCount(), 0);
}
