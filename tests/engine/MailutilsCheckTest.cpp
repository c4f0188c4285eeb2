// Checks against a second real POP3 server, GNU Mailutils' pop3d, on its STLS and its plain port:
// what dovecot forgives or does alike may differ here (an APOP greeting, more capabilities, status
// headers it adds to every message and writes back into the mbox when a session ends).
#include "RealServerFixture.h"

#include "demo/MailboxGenerator.h"
#include "engine/ByteFormat.h"
#include "engine/SeenLists.h"
#include "support/Mailutils.h"

#include <memory>

using namespace ormisk;
using namespace ormisk::test;
using namespace ormisk::testing;

namespace {

QList<QByteArray> smallMailbox()
{
    return { mail("Minutes", "Ann Lee <ann@example.com>", "<1@ormisk.test>", 2417),
        mail(MailboxGenerator::encodeQ(QStringLiteral("Grüße"), "UTF-8"),
            MailboxGenerator::encodeB(QStringLiteral("Zoë Ørsted")) + " <zoe@example.dk>", "<2@ormisk.test>", 1000),
        mailWithSize("From: Bob <bob@example.com>\nSubject: No id\n", 700),
        mailWithSize("From: Carol <carol@example.com>\n", 500) };
}

// Subject and From of each node, as the tree shows them after the size.
const QStringList kSubjectsAndSenders { QStringLiteral("Subject : Minutes --- From : Ann Lee <ann@example.com>"),
    QStringLiteral("Subject : Grüße --- From : Zoë Ørsted <zoe@example.dk>"),
    QStringLiteral("Subject : No id --- From : Bob <bob@example.com>"),
    QStringLiteral(" --- From : Carol <carol@example.com>") };

enum class Port { Stls, Plain };

std::string portName(const ::testing::TestParamInfo<Port>& info) { return info.param == Port::Stls ? "Stls" : "Plain"; }

class MailutilsCheck : public RealServerFixture, public ::testing::WithParamInterface<Port> {
protected:
    static void TearDownTestSuite() { s_server.reset(); }

    void SetUp() override
    {
        ORMISK_REQUIRE_MAILUTILS();
        if (!s_server && s_error.isEmpty()) {
            auto server = std::make_unique<Mailutils>();
            for (const char* user : { "stls", "plain" })
                server->addUser(QLatin1String(user), QStringLiteral("secret"), smallMailbox());
            if (server->start(&s_error))
                s_server = std::move(server);
        }
        ASSERT_TRUE(s_server) << qPrintable(s_error);
        pop.setCaFile(s_server->certificates().caFile);
    }

    [[nodiscard]] bool stls() const { return GetParam() == Port::Stls; }
    // The status word pop3d answered STLS with, from its transcript ("S: +OK" or "S: -ERR").
    [[nodiscard]] static QString stlsAnswer(const QString& session)
    {
        const qsizetype asked = session.indexOf(QStringLiteral("C: STLS"));
        const qsizetype answer = asked < 0 ? -1 : session.indexOf(QStringLiteral("S: "), asked);
        return answer < 0 ? QString() : session.mid(answer).section(QLatin1Char(' '), 0, 1);
    }
    [[nodiscard]] QString user() const { return stls() ? QStringLiteral("stls") : QStringLiteral("plain"); }
    [[nodiscard]] quint16 port() const { return stls() ? s_server->stlsPort() : s_server->plainPort(); }

    // One check of the account, then the server's transcript of that session.
    QString checkAndTranscript(int account)
    {
        const qsizetype from = s_server->transcriptMark();
        tree.clear();
        tree.accountTexts.clear();
        check(account);
        return s_server->waitForSessionEnd(from);
    }

    static inline std::unique_ptr<Mailutils> s_server;
    static inline QString s_error;
};

} // namespace

TEST_P(MailutilsCheck, EveryMessageShownWithItsSizeAndTheSessionEndsWithQuit)
{
    const int work = addAccount(QStringLiteral("Work"), port(), Mailutils::login(user()));
    // pop3d writes status headers of its own (X-UID, Status) into every message when the first
    // session ends, and counts them in the sizes from then on: the sizes are compared on the
    // second pass, and the messages must still be known as seen, those without Message-Id too.
    for (int pass = 1; pass <= 2; ++pass) {
        SCOPED_TRACE(pass);
        const QList<qint64> sizes
            = pass == 2 ? s_server->listSizes(user(), QStringLiteral("secret")) : QList<qint64>(4);
        ASSERT_EQ(sizes.size(), 4);
        const qint32 unseenBefore = counts.unseen;
        const QString session = checkAndTranscript(work);
        const QStringList texts = messageTexts(work);
        ASSERT_EQ(texts.size(), 4);
        qint64 total = 0;
        for (int i = 0; i < 4; ++i) {
            const QString shown = QStringLiteral(" bytes --- ") + kSubjectsAndSenders[i];
            if (pass == 1)
                EXPECT_TRUE(texts[i].endsWith(shown)) << qPrintable(texts[i]);
            else
                EXPECT_EQ(texts[i], QStringLiteral("#%1 --- ").arg(i + 1) + FormatBytes(sizes[i]) + shown);
            total += sizes[i];
        }
        if (pass == 2) {
            EXPECT_EQ(accountText(work),
                QStringLiteral("Work --- 4 messages --- Totaling ") + FormatBytes(total) + QStringLiteral(" bytes."));
            EXPECT_TRUE(tree.tag(messageKeys(work).value(3)).contains(QStringLiteral("X-UID : ")));
        }
        EXPECT_EQ(counts.unseen - unseenBefore, pass == 1 ? 4 : 0);
        RememberSeen(state, tree);
        EXPECT_EQ(messageImages(work), QStringList(4, Image::NewMail));
        expectMenusRestored();

        // The conversation as pop3d heard it: over TLS where offered, and closed with QUIT,
        // never the "remote protocol error" of a dropped connection.
        // STLS is asked for on both ports (it saves a round trip where it is offered); the plain
        // port refuses it and the login goes on in plain text, as configured there.
        EXPECT_EQ(stlsAnswer(session), stls() ? QStringLiteral("S: +OK") : QStringLiteral("S: -ERR"))
            << qPrintable(session);
        EXPECT_TRUE(session.contains(QStringLiteral("C: PASS ***")));
        EXPECT_TRUE(session.contains(QStringLiteral("C: QUIT"))) << qPrintable(session);
        EXPECT_FALSE(session.contains(QStringLiteral("protocol error"))) << qPrintable(session);
        EXPECT_FALSE(session.contains(QStringLiteral("C: RETR")));
    }
}

TEST_P(MailutilsCheck, WrongPasswordIsABadLogin)
{
    const int work = addAccount(QStringLiteral("Work"), port(), Mailutils::login(user()), QStringLiteral("wrong"));
    const QString session = checkAndTranscript(work);
    EXPECT_EQ(tree.accountTexts,
        (QStringList { QStringLiteral("Work --- Connecting..."), QStringLiteral("Work --- Connected."),
            QStringLiteral("Work --- Verifying..."), QStringLiteral("Work --- Bad user ID or Password!") }));
    EXPECT_TRUE(messageKeys(work).isEmpty());
    EXPECT_TRUE(logFolderEmpty());
    expectMenusRestored();
    EXPECT_TRUE(session.contains(QStringLiteral("authentication failed"))) << qPrintable(session);
    EXPECT_EQ(stlsAnswer(session), stls() ? QStringLiteral("S: +OK") : QStringLiteral("S: -ERR"));
}

INSTANTIATE_TEST_SUITE_P(Ports, MailutilsCheck, ::testing::Values(Port::Stls, Port::Plain), portName);
