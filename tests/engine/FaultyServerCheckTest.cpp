// The account check against failures only the scriptable server produces on demand: a link lost
// or a request refused mid-check, odd mail, and the reasons shown for each.
#include "CheckMailboxes.h"
#include "RealServerFixture.h"
#include "engine/ByteFormat.h"
#include "support/Wait.h"

#include "demo/MailboxGenerator.h"
#include "demo/ScriptedPopServer.h"

#include <QTcpServer>
#include <QTest>

using namespace ormisk;
using namespace ormisk::test;
using namespace ormisk::testing;

namespace {

// Failures only the scriptable server can produce on demand.
class FaultyServerCheck : public RealServerFixture {
protected:
    FaultyServerCheck()
    {
        server.start();
        server.addUser(QStringLiteral("ann"), QStringLiteral("secret"), threeMessages());
        server.addUser(QStringLiteral("dora"), QStringLiteral("secret"), filterMessages());
    }
    int addWork(const QString& user = QStringLiteral("ann"))
    {
        return addAccount(QStringLiteral("Work"), server.port(), user);
    }
    ScriptedPopServer server;
};

} // namespace

TEST_F(FaultyServerCheck, NothingListening)
{
    quint16 deadPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        deadPort = probe.serverPort();
    }
    const int work = addAccount(QStringLiteral("Work"), deadPort, QStringLiteral("ann"));
    check(work);
    EXPECT_EQ(tree.accountTexts,
        (QStringList { QStringLiteral("Work --- Connecting..."), QStringLiteral("Work --- Error Connecting!") }));
    EXPECT_TRUE(messageKeys(work).isEmpty());
    EXPECT_TRUE(logFolderEmpty());
    expectMenusRestored();
}

// Each failure names its cause beside the short status text; a later success clears it.
TEST_F(FaultyServerCheck, FailureReasonsNameTheCause)
{
    const auto reasonFor = [&](const QString& host, quint16 port) {
        const int index = addAccount(QStringLiteral("Box"), port, QStringLiteral("ann"));
        state.account(index).Host = host;
        check(index);
        return tree.toolTip(key(index));
    };
    quint16 deadPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        deadPort = probe.serverPort();
    }
    EXPECT_EQ(reasonFor(QStringLiteral("127.0.0.1"), deadPort),
        QStringLiteral("127.0.0.1:%1: Connection refused").arg(deadPort));
    EXPECT_EQ(reasonFor(QStringLiteral("no-such-host.invalid"), 110),
        QStringLiteral("no-such-host.invalid:110: Host not found"));

    pop.setReplyTimeout(1000);
    server.addFault({ PopFault::Kind::Withhold, "STAT", 0, 1 });
    EXPECT_EQ(reasonFor(QStringLiteral("127.0.0.1"), server.port()),
        QStringLiteral("127.0.0.1:%1: no reply within 1 s while logging in").arg(server.port()));

    const int work = addWork();
    state.account(work).Security = AccountSecurity::StartTls;
    check(work);
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- Error Connecting!"));
    EXPECT_EQ(tree.toolTip(key(work)),
        QStringLiteral("127.0.0.1:%1 refused STARTTLS (STLS), which this account requires: STLS not available")
            .arg(server.port()));
    state.account(work).Security = AccountSecurity::None;
    check(work);
    EXPECT_EQ(tree.toolTip(key(work)), QString());
}

TEST_F(FaultyServerCheck, ConnectionLostAfterTheSecondSize)
{
    server.addFault({ PopFault::Kind::DropBeforeReply, "TOP", 0, 2 });
    const int work = addWork();
    check(work);
    EXPECT_EQ(messageTexts(work),
        (QStringList { kThreeTexts[0], QStringLiteral("#2 --- 9,888 bytes --- Error retrieving header!"),
            QStringLiteral("#3 --- Invalid message!") }));
    EXPECT_EQ(messageImages(work), (QStringList { Image::NewMail, Image::NewMail, Image::NewMail }));
    EXPECT_TRUE(tree.tag(messageKeys(work).value(1)).isEmpty());
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- 3 messages --- Totaling 12,305 bytes."));
    EXPECT_EQ(counts.waiting, 1);
    EXPECT_EQ(counts.unseen, 1);
    EXPECT_EQ(logRecords(), 1);
    // Nothing was asked after the link was gone.
    EXPECT_EQ(server.commandCount("LIST"), 2);
    expectMenusRestored();
}

TEST_F(FaultyServerCheck, FailedHeaderRequestKeepsTheConversationGoing)
{
    server.addFault({ PopFault::Kind::ErrReply, "TOP", 0, 1 });
    const int work = addWork();
    check(work);
    EXPECT_EQ(messageTexts(work),
        (QStringList {
            QStringLiteral("#1 --- 2,417 bytes --- Error retrieving header!"), kThreeTexts[1], kThreeTexts[2] }));
    EXPECT_TRUE(tree.tag(messageKeys(work).value(0)).isEmpty());
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- 3 messages --- Totaling 13,305 bytes."));
    EXPECT_EQ(counts.waiting, 2);
    EXPECT_EQ(counts.unseen, 2);
    EXPECT_EQ(counts.newMail, 2);
    EXPECT_EQ(logRecords(), 2);
    expectMenusRestored();
}

TEST_F(FaultyServerCheck, RefusedFilterDeletion)
{
    server.addFault({ PopFault::Kind::ErrReply, "DELE", 0, 0 });
    state.filters = { senderContains(QStringLiteral("joe")) };
    const int work = addWork(QStringLiteral("dora"));
    check(work);
    EXPECT_EQ(messageTexts(work),
        (QStringList { QStringLiteral("#1 --- 1,200 bytes --- Subject : Hi --- ") + kAnnFrom,
            QStringLiteral("#2 --- 3,000 bytes --- Unable to Delete message!"),
            QStringLiteral("#2 --- 800 bytes --- Subject : Lunch --- ") + kBobFrom }));
    EXPECT_EQ(messageImages(work), (QStringList { Image::NewMail, Image::Deleted, Image::NewMail }));
    EXPECT_EQ(counts.waiting, 3);
    EXPECT_EQ(counts.unseen, 2);
    EXPECT_EQ(server.messages(QStringLiteral("dora")).size(), 3);
    expectMenusRestored();
}

// DELE only marks a message; the server removes it when it answers QUIT. A link lost at QUIT leaves
// the filtered message on the server, and the tree says so.
TEST_F(FaultyServerCheck, FilterDeletionLostWithTheQuitIsNotShownAsDone)
{
    server.addFault({ PopFault::Kind::DropBeforeReply, "QUIT", 0, 0 });
    state.filters = { senderContains(QStringLiteral("joe")) };
    const int work = addWork(QStringLiteral("dora"));
    check(work);
    ASSERT_EQ(messageTexts(work).size(), 3);
    EXPECT_EQ(messageTexts(work).at(1), QStringLiteral("#2 --- 3,000 bytes --- Unable to Delete message!"));
    EXPECT_EQ(server.messages(QStringLiteral("dora")).size(), 3);
    expectMenusRestored();
}

TEST_F(FaultyServerCheck, EveryMessageInvalidGivesTheEmptyTotal)
{
    server.addFault({ PopFault::Kind::ErrReply, "LIST", 0, 0 });
    const int work = addWork();
    check(work);
    EXPECT_EQ(messageTexts(work),
        (QStringList { QStringLiteral("#1 --- Invalid message!"), QStringLiteral("#2 --- Invalid message!"),
            QStringLiteral("#3 --- Invalid message!") }));
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- 3 messages --- Totaling  bytes."));
    EXPECT_EQ(counts.waiting, 0);
    EXPECT_FALSE(server.sawCommand("TOP"));
    // The log was opened for the account, but nothing was worth a record.
    EXPECT_EQ(logRecords(), 0);
    expectMenusRestored();
}

TEST_F(FaultyServerCheck, TotalsGroupWithTheLocaleSeparator)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const int work = addWork();
    check(work);
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- 3 messages --- Totaling 13.305 bytes."));
    EXPECT_EQ(messageTexts(work).value(1), QStringLiteral("#2 --- 9.888 bytes ---  --- ") + kBobFrom);
}

// Mail as it comes from outside: a header line of 100 KB, a header block of 2 MiB, lines that
// look like status lines, an empty message and one without header fields. Each is listed with
// what could be kept, counted and logged, one request at a time and pipelined alike, and the
// conversation stays in step throughout.
TEST_F(FaultyServerCheck, OddMailIsListedWholeEveryWay)
{
    const QList<QByteArray> odd = { threeMessages()[0],
        "Subject: Long\nFrom: Ann <ann@example.com>\nX-Tracking: " + QByteArray(100 * 1024, 't')
            + "\nTo: b@example.com\n\nbody\n",
        MailboxGenerator::oversizedHeaderMessage(2 * 1024 * 1024),
        "Subject: Status\n+OK 3 200\n-ERR not a reply\nFrom: Eve <eve@example.com>\n\n+OK\n-ERR\n", QByteArray(),
        "\nonly a body\n", threeMessages()[2] };
    auto wire = [](const QByteArray& m) { return FormatBytes(m.size() + m.count('\n')); };
    const QStringList texts { kThreeTexts[0],
        QStringLiteral("#2 --- %1 bytes --- Subject : Long --- From : Ann <ann@example.com>").arg(wire(odd[1])),
        QStringLiteral("#3 --- %1 bytes --- Subject : a header too large --- From : big@example.com").arg(wire(odd[2])),
        QStringLiteral("#4 --- %1 bytes --- Subject : Status --- From : Eve <eve@example.com>").arg(wire(odd[3])),
        QStringLiteral("#5 --- 0 bytes ---  --- "), QStringLiteral("#6 --- 15 bytes ---  --- "),
        kThreeTexts[2].left(1) + QStringLiteral("7") + kThreeTexts[2].mid(2) };
    server.addUser(QStringLiteral("odd"), QStringLiteral("secret"), odd);
    const int work = addWork(QStringLiteral("odd"));
    QTemporaryDir cacheDir;
    pop.setCacheFile(cacheDir.filePath(QStringLiteral("header-cache")));
    using Caps = ScriptedPopServer::Capabilities;
    for (const bool pipelined : { false, true, true }) {
        SCOPED_TRACE(pipelined ? "pipelined" : "one at a time");
        Caps caps(ScriptedPopServer::Top | ScriptedPopServer::Uidl | ScriptedPopServer::User);
        if (pipelined)
            caps |= ScriptedPopServer::Pipelining;
        server.setCapabilities(caps);
        counts = {};
        const int logged = logRecords();
        tree.clear();
        check(work);
        EXPECT_EQ(messageTexts(work), texts);
        EXPECT_EQ(counts.waiting, 7);
        EXPECT_EQ(counts.unseen, 7);
        EXPECT_EQ(counts.newMail, 7);
        EXPECT_EQ(logRecords() - logged, 7);
        EXPECT_TRUE(tree.tag(messageKeys(work).value(1)).contains(QStringLiteral("X-Tracking : ttt")));
        EXPECT_EQ(pop.conversationPipelined(), pipelined);
        EXPECT_FALSE(pop.pipeliningRefused(QStringLiteral("127.0.0.1"), server.port()));
        expectMenusRestored();
    }
}
