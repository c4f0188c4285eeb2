// The account check end to end: the real POP client against the scriptable test server and a
// private dovecot, down to the node texts, the log, the counters and what the server was asked.
#include "CheckMailboxes.h"
#include "RealServerFixture.h"
#include "support/Wait.h"

#include "engine/ByteFormat.h"

#include "demo/MailboxGenerator.h"
#include "demo/ScriptedPopServer.h"
#include "support/Dovecot.h"
#include "support/TestCertificates.h"

#include <QTest>

#include <memory>

using namespace ormisk;
using namespace ormisk::test;
using namespace ormisk::testing;

namespace {

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
