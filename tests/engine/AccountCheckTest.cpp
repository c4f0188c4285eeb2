#include "EngineFixture.h"

#include "engine/ByteFormat.h"
#include "pop/PopClient.h"
#include "support/Wait.h"

#include <QFile>
#include <QLocale>
#include <QTcpServer>

using namespace ormisk;
using namespace ormisk::test;

namespace {

const QStringList kRestoredEnds = { QStringLiteral("menus 1111"), QStringLiteral("normal") };

class AccountCheck : public EngineFixture {
protected:
    AccountCheck() { QLocale::setDefault(QLocale::c()); }
    ~AccountCheck() override { QLocale::setDefault(QLocale::system()); }

    void expectMenusRestored()
    {
        ASSERT_GE(host.events.size(), 4);
        EXPECT_EQ(host.events.mid(0, 2), (QStringList { QStringLiteral("busy"), QStringLiteral("menus 0000") }));
        EXPECT_EQ(host.events.mid(host.events.size() - 2), kRestoredEnds);
        EXPECT_FALSE(engine.inConversation());
        EXPECT_TRUE(pop.isClosed());
        EXPECT_FALSE(pop.busy());
    }
};

} // namespace

TEST_F(AccountCheck, EveryStatusTextInItsTurn)
{
    const int work = addAccount(QStringLiteral("Work"));
    pop.mailbox = { fakeMessage(QStringLiteral("Minutes"), QStringLiteral("Ann Lee"), QStringLiteral("<1@x>"), 2417),
        fakeMessage(QStringLiteral("Plan"), QStringLiteral("Bob"), QStringLiteral("<2@x>"), 9888) };
    // What the tree shows while each request is out (sampled when the server answers it).
    QStringList seen;
    pop.onAnswer = [&](const QString& request) {
        const QStringList kids = messageKeys(work);
        seen << request + QStringLiteral(" | ") + accountText(work) + QStringLiteral(" | ")
                + (kids.isEmpty() ? QString() : tree.text(kids.last()));
        EXPECT_TRUE(engine.inConversation()) << request.toStdString();
    };
    check(work);

    const QStringList expected = {
        QStringLiteral("connect | Work --- Connecting... | "),
        QStringLiteral("authenticate | Work --- Verifying... | "),
        QStringLiteral("size 1 | Work --- 2 messages | #1 --- "),
        QStringLiteral("header 1 | Work --- 2 messages | #1 --- 2,417 bytes --- "),
        QStringLiteral("size 2 | Work --- 2 messages | #2 --- "),
        QStringLiteral("header 2 | Work --- 2 messages | #2 --- 9,888 bytes --- "),
        QStringLiteral("quit | Work --- 2 messages --- Totaling 12,305 bytes. | #2 --- 9,888 bytes --- Subject : Plan "
                       "--- From : Bob"),
    };
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(messageTexts(work),
        (QStringList { QStringLiteral("#1 --- 2,417 bytes --- Subject : Minutes --- From : Ann Lee"),
            QStringLiteral("#2 --- 9,888 bytes --- Subject : Plan --- From : Bob") }));
    EXPECT_EQ(messageImages(work), (QStringList { Image::NewMail, Image::NewMail }));
    EXPECT_EQ(tree.tag(messageKeys(work).first()),
        header(QStringLiteral("Minutes"), QStringLiteral("Ann Lee"), QStringLiteral("<1@x>")));
    EXPECT_EQ(tree.tag(key(work)), QString());
    EXPECT_EQ(counts.waiting, 2);
    EXPECT_EQ(counts.unseen, 2);
    EXPECT_EQ(counts.newMail, 2);
    EXPECT_EQ(tree.image(key(work)), Image::NoMail); // the account node keeps its caller's image
    EXPECT_TRUE(tree.expanded(key(work))); // AutoExpand
    EXPECT_EQ(pop.calls.mid(0, 6),
        (QStringList { QStringLiteral("host 127.0.0.1"), QStringLiteral("port 1110"), QStringLiteral("user user"),
            QStringLiteral("password"), QStringLiteral("connect"), QStringLiteral("authenticate") }));
    expectMenusRestored();
}

TEST_F(AccountCheck, OneMessageHasNoPluralAndAutoExpandOffLeavesTheNodeCollapsed)
{
    state.options.AutoExpand = false;
    const int work = addAccount(QStringLiteral("Work"));
    pop.mailbox = { fakeMessage(QStringLiteral("Minutes"), QStringLiteral("Ann"), QStringLiteral("<1@x>"), 2417) };
    check(work);
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- 1 message --- Totaling 2,417 bytes."));
    EXPECT_FALSE(tree.expanded(key(work)));
}

TEST_F(AccountCheck, ConnectionAndLoginFailuresMakeNoNodesAndNoLog)
{
    const int work = addAccount(QStringLiteral("Work"));
    pop.mailbox = { fakeMessage(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("<1@x>")) };
    pop.refuseConnect = true;
    check(work);
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- Error Connecting!"));
    EXPECT_TRUE(messageKeys(work).isEmpty());
    expectMenusRestored();

    tree.clear();
    host.events.clear();
    pop.refuseConnect = false;
    pop.password = QStringLiteral("other");
    check(work);
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- Bad user ID or Password!"));
    EXPECT_TRUE(messageKeys(work).isEmpty());
    expectMenusRestored();
    EXPECT_FALSE(QFile::exists(logFile(QStringLiteral("Master.doc"))));
}

TEST_F(AccountCheck, EmptyMailboxSaysSoAndCreatesNoLog)
{
    const int work = addAccount(QStringLiteral("Work"));
    check(work);
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- No messages."));
    EXPECT_FALSE(QFile::exists(logFile(QStringLiteral("Master.doc"))));
    expectMenusRestored();
}

TEST_F(AccountCheck, ConnectionLostAfterTheSecondSize)
{
    const int work = addAccount(QStringLiteral("Work"));
    for (int i = 1; i <= 4; ++i)
        pop.mailbox << fakeMessage(
            QStringLiteral("S%1").arg(i), QStringLiteral("F"), QStringLiteral("<%1@x>").arg(i), 1000 * i);
    pop.dropAfterSizeOf = 2;
    check(work);
    EXPECT_EQ(messageTexts(work),
        (QStringList { QStringLiteral("#1 --- 1,000 bytes --- Subject : S1 --- From : F"),
            QStringLiteral("#2 --- 2,000 bytes --- Error retrieving header!"),
            QStringLiteral("#3 --- Invalid message!"), QStringLiteral("#4 --- Invalid message!") }));
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- 4 messages --- Totaling 3,000 bytes."));
    EXPECT_EQ(messageImages(work), QStringList(4, Image::NewMail));
    EXPECT_EQ(counts.waiting, 1);
    EXPECT_EQ(counts.unseen, 1);
    // Messages 3 and 4 were never asked for: the check saw the connection was gone.
    EXPECT_FALSE(pop.calls.contains(QStringLiteral("size 3")));
    expectMenusRestored();
}

// What closing the window does to a check that waits for its server: the conversation is
// cancelled, the check runs to its end at once, and nothing is left waiting.
TEST(AccountCheckCancel, CancelledWhileWaitingEndsWithNothingLeftRunning)
{
    QTcpServer silent; // takes the connection and never greets
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    AppState state;
    MemoryTree tree;
    PopClient pop;
    RecordingHost host;
    MailEngine engine(state, tree, pop, host);
    AccountRecord account;
    account.Title = QStringLiteral("Work");
    account.Host = QStringLiteral("127.0.0.1");
    account.Port = silent.serverPort();
    account.NodeKey = QStringLiteral("P1");
    state.accounts.append(account);
    AddAccountNode(state, tree, 1, QStringLiteral(" --- Checking..."));
    tree.setSelected(account.NodeKey);
    state.CurrentAccount = 1;

    const QCoro::Task<MailCounts> running = engine.CheckAccount();
    ASSERT_TRUE(ormisk::testing::waitUntil([&] { return silent.hasPendingConnections(); }));
    EXPECT_FALSE(running.isReady());
    pop.cancel();
    ASSERT_TRUE(ormisk::testing::waitUntil([&] { return running.isReady(); }, 2000));
    EXPECT_FALSE(engine.inConversation());
    EXPECT_TRUE(pop.isClosed());
    EXPECT_EQ(tree.text(account.NodeKey), QStringLiteral("Work --- Error Connecting!"));
}

// A failed request is told from one that brought nothing by the events, not by the values: an
// empty message (size 0) and a header without fields are messages like any other.
TEST_F(AccountCheck, FailedHeadersAreNotCountedButEmptyMessagesAre)
{
    const int work = addAccount(QStringLiteral("Work"));
    FakeMessage failing = fakeMessage(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("<1@x>"), 500);
    failing.headerFails = true;
    FakeMessage silent = fakeMessage(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("<2@x>"), 600);
    silent.headerMissing = true;
    FakeMessage empty = fakeMessage(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("<3@x>"), 0);
    FakeMessage fieldless;
    fieldless.size = 12;
    pop.mailbox = { failing, silent, empty, fieldless };
    check(work);
    EXPECT_EQ(messageTexts(work),
        (QStringList { QStringLiteral("#1 --- 500 bytes --- Error retrieving header!"),
            QStringLiteral("#2 --- 600 bytes --- Error retrieving header!"),
            QStringLiteral("#3 --- 0 bytes --- Subject : A --- From : B"),
            QStringLiteral("#4 --- 12 bytes ---  --- ") }));
    const QStringList keys = messageKeys(work);
    EXPECT_EQ(tree.tag(keys[0]), QString());
    EXPECT_EQ(tree.tag(keys[1]), QString());
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- 4 messages --- Totaling 1,112 bytes."));
    EXPECT_EQ(counts.waiting, 2);
    EXPECT_EQ(counts.unseen, 2);
    EXPECT_EQ(counts.newMail, 2);
    QFile log(logFile(QStringLiteral("Master.doc")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll().count("[Begin Header]"), 2);
}

TEST_F(AccountCheck, EveryMessageInvalidGivesAnEmptyTotal)
{
    const int work = addAccount(QStringLiteral("Work"));
    pop.mailbox = { fakeMessage(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("<1@x>"), 0) };
    check(work);
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- 1 message --- Totaling  bytes."));
}

TEST_F(AccountCheck, MissingSubjectLeavesAnEmptyPart)
{
    const int work = addAccount(QStringLiteral("Work"));
    FakeMessage m;
    m.size = 10;
    m.headers = { { QStringLiteral("from"), QStringLiteral("Ann") } };
    pop.mailbox = { m };
    check(work);
    EXPECT_EQ(messageTexts(work), QStringList { QStringLiteral("#1 --- 10 bytes ---  --- from : Ann") });
}

TEST_F(AccountCheck, FilterDeletionConfirmedKeepsTheNumbering)
{
    const int work = addAccount(QStringLiteral("Work"));
    FilterRule joe;
    joe.SenderText = QStringLiteral("joe");
    joe.SenderMatch = false;
    state.filters = { joe };
    pop.mailbox = { fakeMessage(QStringLiteral("Hi"), QStringLiteral("Ann"), QStringLiteral("<1@x>")),
        fakeMessage(QStringLiteral("Sale"), QStringLiteral("Joe Smith"), QStringLiteral("<2@x>")),
        fakeMessage(QStringLiteral("Lunch"), QStringLiteral("Bob"), QStringLiteral("<3@x>")) };
    check(work);
    EXPECT_EQ(messageTexts(work),
        (QStringList { QStringLiteral("#1 --- 1,000 bytes --- Subject : Hi --- From : Ann"),
            QStringLiteral("(Deleted) --- Subject : Sale --- From : Joe Smith"),
            QStringLiteral("#2 --- 1,000 bytes --- Subject : Lunch --- From : Bob") }));
    EXPECT_EQ(messageImages(work), (QStringList { Image::NewMail, Image::Deleted, Image::NewMail }));
    EXPECT_EQ(counts.waiting, 3);
    EXPECT_EQ(counts.unseen, 2);
    EXPECT_EQ(counts.newMail, 2);
    EXPECT_EQ(pop.committedDeletions, QList<qint32> { 2 });
    EXPECT_EQ(pop.mailbox.size(), 2);
    QFile log(logFile(QStringLiteral("Master.doc")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_FALSE(log.readAll().contains("Joe Smith"));
    expectMenusRestored();
}

TEST_F(AccountCheck, FilterDeletionRefused)
{
    const int work = addAccount(QStringLiteral("Work"));
    FilterRule joe;
    joe.SenderText = QStringLiteral("joe");
    joe.SenderMatch = false;
    state.filters = { joe };
    FakeMessage refused = fakeMessage(QStringLiteral("Sale"), QStringLiteral("Joe"), QStringLiteral("<1@x>"), 1234);
    refused.refuseDelete = true;
    pop.mailbox = { refused, fakeMessage(QStringLiteral("Lunch"), QStringLiteral("Bob"), QStringLiteral("<2@x>")) };
    check(work);
    EXPECT_EQ(messageTexts(work),
        (QStringList { QStringLiteral("#1 --- 1,234 bytes --- Unable to Delete message!"),
            QStringLiteral("#1 --- 1,000 bytes --- Subject : Lunch --- From : Bob") }));
    EXPECT_EQ(messageImages(work), (QStringList { Image::Deleted, Image::NewMail }));
    EXPECT_TRUE(pop.committedDeletions.isEmpty());
    EXPECT_EQ(counts.newMail, 1);
    expectMenusRestored();
}

TEST_F(AccountCheck, SeenAndReadMessages)
{
    const int work = addAccount(QStringLiteral("Work"));
    const QString a = header(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("<a@x>"));
    const QString b = header(QStringLiteral("B"), QStringLiteral("X"), QStringLiteral("<b@x>"));
    state.SeenHeaders = { a, b };
    state.ReadHeaders = { a };
    pop.mailbox = { fakeMessage(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("<a@x>")),
        fakeMessage(QStringLiteral("B"), QStringLiteral("X"), QStringLiteral("<b@x>")),
        fakeMessage(QStringLiteral("C"), QStringLiteral("X"), QStringLiteral("<c@x>")) };
    check(work);
    EXPECT_EQ(messageImages(work), (QStringList { Image::Mail, Image::NewMail, Image::NewMail }));
    EXPECT_EQ(counts.newMail, 2);
    EXPECT_EQ(counts.unseen, 1);
    QFile log(logFile(QStringLiteral("Master.doc")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll().count("[Begin Header]"), 1);
}

TEST_F(AccountCheck, DoesNothingUnselectedOrDisabled)
{
    const int work = addAccount(QStringLiteral("Work"));
    const int off = addAccount(QStringLiteral("Off"), true);
    AddAccountNode(state, tree, work, QStringLiteral(" --- X"));
    tree.setSelected(QString());
    QCoro::waitFor(engine.CheckAccount());
    check(off);
    EXPECT_TRUE(pop.calls.isEmpty());
    EXPECT_TRUE(host.events.isEmpty());
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- X"));
    EXPECT_EQ(tree.text(key(off)), QStringLiteral("Off--- Disabled."));
}

TEST(ByteFormat, GroupsByThreesWithTheLocaleSeparator)
{
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(FormatBytes(0), QString());
    EXPECT_EQ(FormatBytes(7), QStringLiteral("7"));
    EXPECT_EQ(FormatBytes(999), QStringLiteral("999"));
    EXPECT_EQ(FormatBytes(1000), QStringLiteral("1,000"));
    EXPECT_EQ(FormatBytes(12305), QStringLiteral("12,305"));
    EXPECT_EQ(FormatBytes(123456789), QStringLiteral("123,456,789"));
    EXPECT_EQ(FormatBytes(3000000000LL), QStringLiteral("3,000,000,000"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(FormatBytes(1234567), QStringLiteral("1.234.567"));
    QLocale::setDefault(QLocale::system());
}
