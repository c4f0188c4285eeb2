// The account check end to end: the real POP client against the scriptable test server and a
// private dovecot, down to the node texts, the log, the counters and what the server was asked.
#include "RealServerFixture.h"
#include "support/Wait.h"

#include "engine/ByteFormat.h"

#include "demo/MailboxGenerator.h"
#include "demo/ScriptedPopServer.h"
#include "support/Dovecot.h"
#include "support/TestCertificates.h"

#include <QTcpServer>
#include <QTest>

#include <memory>

using namespace ormisk;
using namespace ormisk::test;
using namespace ormisk::testing;

namespace {

const QString kAnnFrom = QStringLiteral("From : Ann Lee <ann@example.com>");
const QString kBobFrom = QStringLiteral("From : Bob <bob@example.com>");

// Three messages: plain, without Subject, and with encoded words in Subject and From.
QList<QByteArray> threeMessages()
{
    return { mail("Minutes", "Ann Lee <ann@example.com>", "<1@ormisk.test>", 2417),
        mail(QByteArray(), "Bob <bob@example.com>", "<2@ormisk.test>", 9888),
        mail(MailboxGenerator::encodeQ(QStringLiteral("Grüße"), "UTF-8"),
            MailboxGenerator::encodeB(QStringLiteral("Zoë Ørsted")) + " <zoe@example.dk>", "<3@ormisk.test>", 1000) };
}

const QStringList kThreeTexts { QStringLiteral("#1 --- 2,417 bytes --- Subject : Minutes --- ") + kAnnFrom,
    QStringLiteral("#2 --- 9,888 bytes ---  --- ") + kBobFrom,
    QStringLiteral("#3 --- 1,000 bytes --- Subject : Grüße --- From : Zoë Ørsted <zoe@example.dk>") };

// The second message is the one a "joe" filter deletes.
QList<QByteArray> filterMessages()
{
    return { mail("Hi", "Ann Lee <ann@example.com>", "<h@ormisk.test>", 1200),
        mail("Sale", "Joe Smith <joe@spam.example>", "<s@ormisk.test>", 3000),
        mail("Lunch", "Bob <bob@example.com>", "<l@ormisk.test>", 800) };
}

FilterRule senderContains(const QString& text)
{
    FilterRule rule;
    rule.SenderText = text;
    rule.SenderMatch = false;
    return rule;
}

// Mailboxes by user; each test that changes a mailbox has one of its own.
const QHash<QString, QList<QByteArray>>& mailboxes()
{
    static const QHash<QString, QList<QByteArray>> all {
        { QStringLiteral("ann"), threeMessages() },
        { QStringLiteral("dora"), filterMessages() },
        { QStringLiteral("empty"), {} },
        { QStringLiteral("gen"), MailboxGenerator(5).generateRaw(8) },
    };
    return all;
}

enum class Server { TestServer, Dovecot };

std::string serverName(const ::testing::TestParamInfo<Server>& info)
{
    return info.param == Server::TestServer ? "TestServer" : "Dovecot";
}

class RealCheck : public RealServerFixture, public ::testing::WithParamInterface<Server> {
protected:
    static void TearDownTestSuite() { s_dovecot.reset(); }

    void SetUp() override
    {
        if (GetParam() == Server::Dovecot) {
            ORMISK_REQUIRE_DOVECOT();
            startDovecotOnce();
            ASSERT_TRUE(s_dovecot) << qPrintable(s_error);
        } else {
            ASSERT_TRUE(server.start());
            for (auto it = mailboxes().cbegin(); it != mailboxes().cend(); ++it)
                server.addUser(it.key(), QStringLiteral("secret"), it.value());
        }
    }

    [[nodiscard]] bool onDovecot() const { return GetParam() == Server::Dovecot; }
    [[nodiscard]] quint16 port() const { return onDovecot() ? s_dovecot->plainPort() : server.port(); }
    // The CA the client trusts: the one that signed the server's certificate.
    [[nodiscard]] QString trustedCa() const { return onDovecot() ? s_dovecot->certificates().caFile : QString(); }

    // Messages the server still holds for user, as a fresh check sees them.
    [[nodiscard]] QStringList recheck(int index)
    {
        tree.clear();
        check(index);
        return messageTexts(index);
    }

    static void startDovecotOnce()
    {
        if (s_dovecot || !s_error.isEmpty())
            return;
        auto dovecot = std::make_unique<Dovecot>();
        for (auto it = mailboxes().cbegin(); it != mailboxes().cend(); ++it) {
            dovecot->addUser(it.key(), QStringLiteral("secret"));
            for (const QByteArray& m : it.value())
                dovecot->deliver(it.key(), m);
        }
        if (dovecot->start(&s_error))
            s_dovecot = std::move(dovecot);
    }

    ScriptedPopServer server;
    static inline std::unique_ptr<Dovecot> s_dovecot;
    static inline QString s_error;
};

} // namespace

TEST_P(RealCheck, NormalCheckTextsImagesLogAndCounters)
{
    pop.setCaFile(trustedCa());
    const int work = addAccount(QStringLiteral("Work"), port(), QStringLiteral("ann"));
    check(work);
    EXPECT_EQ(tree.accountTexts,
        (QStringList { QStringLiteral("Work --- Connecting..."), QStringLiteral("Work --- Connected."),
            QStringLiteral("Work --- Verifying..."), QStringLiteral("Work --- Passed."),
            QStringLiteral("Work --- 3 messages"), QStringLiteral("Work --- 3 messages --- Totaling 13,305 bytes.") }));
    EXPECT_EQ(messageTexts(work), kThreeTexts);
    EXPECT_EQ(messageImages(work), (QStringList { Image::NewMail, Image::NewMail, Image::NewMail }));
    const QString firstTag = tree.tag(messageKeys(work).value(0));
    EXPECT_EQ(firstTag,
        QStringLiteral("Subject : Minutes\r\n") + kAnnFrom + QStringLiteral("\r\nMessage-Id : <1@ormisk.test>\r\n"));
    EXPECT_EQ(counts.waiting, 3);
    EXPECT_EQ(counts.unseen, 3);
    EXPECT_EQ(counts.newMail, 3);

    QFile log(masterLog());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString logText = QString::fromUtf8(log.readAll());
    EXPECT_EQ(logText.count(QStringLiteral("[Begin Header]\r\n")), 3);
    EXPECT_TRUE(
        logText.startsWith(QStringLiteral("[Begin Header]\r\n") + firstTag + QStringLiteral("[End Header]\r\n\r\n")))
        << qPrintable(logText);
    EXPECT_TRUE(logText.contains(QStringLiteral("Subject : Grüße")));
    expectMenusRestored();

    // Only headers went over the wire, and the session ended with QUIT.
    if (onDovecot()) {
        ASSERT_TRUE(s_dovecot->waitForLog(QStringLiteral("top=3/")));
        const QStringList ends = s_dovecot->logLines(QStringLiteral("pop3(ann)"));
        ASSERT_FALSE(ends.filter(QStringLiteral("Logged out")).isEmpty());
        EXPECT_TRUE(ends.filter(QStringLiteral("Logged out")).last().contains(QStringLiteral("retr=0/0")));
        EXPECT_FALSE(s_dovecot->logLines(QStringLiteral("Login: user=<ann>")).filter(QStringLiteral("TLS")).isEmpty());
    } else {
        EXPECT_FALSE(server.sawCommand("RETR"));
        EXPECT_EQ(server.commandCount("TOP"), 3);
        // QUIT is sent without waiting for its answer when nothing was deleted; it still arrives.
        ORMISK_WAIT_TRUE(server.sawCommand("QUIT"), 5000);
    }
}

TEST_P(RealCheck, UntrustedCertificateNeverSendsThePassword)
{
    // The client trusts an unrelated CA only; the server's certificate must be refused.
    TestCertificates certs;
    QTemporaryDir certDir;
    if (onDovecot()) {
        pop.setCaFile(s_dovecot->certificates().otherCaFile);
    } else {
        QString error;
        ASSERT_TRUE(certs.create(certDir.path(), &error)) << qPrintable(error);
        server.setTlsIdentity(certs.serverCertificate(), certs.serverKey());
        server.setCapabilities(server.capabilities() | ScriptedPopServer::Stls);
        pop.setCaFile(certs.otherCaFile);
    }
    const int logins = onDovecot() ? int(s_dovecot->logLines(QStringLiteral("Login: user=<ann>")).size()) : 0;
    const int work = addAccount(QStringLiteral("Work"), port(), QStringLiteral("ann"));
    check(work);
    EXPECT_EQ(tree.accountTexts,
        (QStringList { QStringLiteral("Work --- Connecting..."), QStringLiteral("Work --- Error Connecting!") }));
    EXPECT_TRUE(tree.toolTip(key(work)).startsWith(QStringLiteral("TLS with 127.0.0.1:")))
        << qPrintable(tree.toolTip(key(work)));
    EXPECT_TRUE(messageKeys(work).isEmpty());
    EXPECT_TRUE(logFolderEmpty());
    expectMenusRestored();
    if (onDovecot()) {
        ASSERT_TRUE(s_dovecot->waitForLog(QStringLiteral("no auth attempts")));
        EXPECT_EQ(s_dovecot->logLines(QStringLiteral("Login: user=<ann>")).size(), logins);
    } else {
        EXPECT_TRUE(server.sawCommand("STLS"));
        EXPECT_FALSE(server.sawCommand("USER"));
        EXPECT_FALSE(server.sawCommand("PASS"));
        for (const auto& r : server.received())
            EXPECT_FALSE(r.line.contains("secret"));
    }
}

TEST_P(RealCheck, EmptyMailboxSaysSoAndCreatesNoLog)
{
    pop.setCaFile(trustedCa());
    const int work = addAccount(QStringLiteral("Work"), port(), QStringLiteral("empty"));
    check(work);
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- No messages."));
    EXPECT_EQ(tree.accountTexts.last(), QStringLiteral("Work --- No messages."));
    EXPECT_TRUE(messageKeys(work).isEmpty());
    EXPECT_FALSE(QFile::exists(masterLog()));
    EXPECT_TRUE(logFolderEmpty());
    EXPECT_EQ(counts.waiting, 0);
    expectMenusRestored();
}

TEST_P(RealCheck, FilterDeletionIsCommittedAndTheNextCheckAgrees)
{
    pop.setCaFile(trustedCa());
    state.filters = { senderContains(QStringLiteral("joe")) };
    const int work = addAccount(QStringLiteral("Work"), port(), QStringLiteral("dora"));
    check(work);
    const QStringList firstCheck { QStringLiteral("#1 --- 1,200 bytes --- Subject : Hi --- ") + kAnnFrom,
        QStringLiteral("(Deleted) --- Subject : Sale --- From : Joe Smith <joe@spam.example>"),
        QStringLiteral("#2 --- 800 bytes --- Subject : Lunch --- ") + kBobFrom };
    EXPECT_EQ(messageTexts(work), firstCheck);
    EXPECT_EQ(messageImages(work), (QStringList { Image::NewMail, Image::Deleted, Image::NewMail }));
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- 3 messages --- Totaling 5,000 bytes."));
    EXPECT_EQ(counts.waiting, 3);
    EXPECT_EQ(counts.unseen, 2);
    EXPECT_EQ(logRecords(), 2);
    expectMenusRestored();
    if (onDovecot())
        EXPECT_TRUE(s_dovecot->waitForLog(QStringLiteral("del=1/3")));
    else
        EXPECT_EQ(server.messages(QStringLiteral("dora")).size(), 2);

    // The display numbers of the first check are the server's numbers now.
    state.filters.clear();
    EXPECT_EQ(recheck(work), (QStringList { firstCheck[0], firstCheck[2] }));
}

// Mail as mail programs write it (encoded words, folded lines, a missing Subject or Message-Id):
// each node shows the decoded, unfolded Subject and From lines and its exact size.
TEST_P(RealCheck, GeneratedMailShowsDecodedHeaderLines)
{
    pop.setCaFile(trustedCa());
    const int work = addAccount(QStringLiteral("Work"), port(), QStringLiteral("gen"));
    check(work);
    const QList<GeneratedMessage> sent = MailboxGenerator(5).generate(8);
    QStringList expected;
    qint64 total = 0;
    for (qsizetype i = 0; i < sent.size(); ++i) {
        auto line = [&](const QString& name) {
            for (const ExpectedField& f : sent[i].fields) {
                if (f.name.compare(name, Qt::CaseInsensitive) == 0)
                    return f.name + QStringLiteral(" : ") + f.value;
            }
            return QString();
        };
        const qint64 size = sent[i].raw.size() + sent[i].raw.count('\n');
        total += size;
        expected << QStringLiteral("#%1 --- ").arg(i + 1) + FormatBytes(size) + QStringLiteral(" bytes --- ")
                + line(QStringLiteral("Subject")) + QStringLiteral(" --- ") + line(QStringLiteral("From"));
    }
    EXPECT_EQ(messageTexts(work), expected);
    EXPECT_EQ(accountText(work),
        QStringLiteral("Work --- 8 messages --- Totaling ") + FormatBytes(total) + QStringLiteral(" bytes."));
    EXPECT_EQ(counts.waiting, 8);
    EXPECT_EQ(logRecords(), 8);
    expectMenusRestored();
}

// Last of the suite: after a failed login dovecot delays further logins from the same address.
TEST_P(RealCheck, WrongPasswordMakesNoNodesAndNoLog)
{
    pop.setCaFile(trustedCa());
    const int work = addAccount(QStringLiteral("Work"), port(), QStringLiteral("ann"), QStringLiteral("wrong"));
    check(work);
    EXPECT_EQ(tree.accountTexts,
        (QStringList { QStringLiteral("Work --- Connecting..."), QStringLiteral("Work --- Connected."),
            QStringLiteral("Work --- Verifying..."), QStringLiteral("Work --- Bad user ID or Password!") }));
    // Why, in the server's own words.
    const QString why = tree.toolTip(key(work));
    EXPECT_TRUE(why.startsWith(QStringLiteral("The server answered PASS with: "))) << qPrintable(why);
    if (onDovecot()) {
        EXPECT_TRUE(why.contains(QStringLiteral("[AUTH] Authentication failed."))) << qPrintable(why);
    }
    EXPECT_TRUE(messageKeys(work).isEmpty());
    EXPECT_TRUE(logFolderEmpty());
    expectMenusRestored();
}

INSTANTIATE_TEST_SUITE_P(Servers, RealCheck, ::testing::Values(Server::TestServer, Server::Dovecot), serverName);

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
