// Every way the test server can misbehave, seen from a whole account check through the real POP
// client: the conversation ends closed within the shortened time-outs, the account and message
// nodes say what happened, and the password shows up in no text the program produces.
#include "demo/MailboxGenerator.h"
#include "demo/ScriptedPopServer.h"
#include "engine/AccountCheck.h"
#include "engine/ByteFormat.h"
#include "engine/MemoryTree.h"
#include "engine/TreeOps.h"
#include "pop/PopClient.h"
#include "store/AppState.h"
#include "support/CheckRun.h"
#include "support/PopRecorder.h"
#include "support/QtPrinters.h"
#include "support/RecordingHost.h"
#include "support/TestCertificates.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLocale>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ormisk;
using namespace ormisk::testing;

namespace {

const QString kPassword = QStringLiteral("pw-S3cr3t!x");

const QByteArray kSpam = "Subject: Spam offer\r\nFrom: Ann <a@x>\r\nMessage-Id: <1@x>\r\n\r\nbuy\r\n";
const QByteArray kMinutes = "Subject: Minutes\r\nFrom: Bob\r\nMessage-Id: <2@x>\r\n\r\nhello\r\n";

const TestCertificates& certificates() { return sharedTestCertificates(); }

QString bytes(const QByteArray& message) { return FormatBytes(message.size()); }
QString shown(int number, const QByteArray& message, const QString& rest)
{
    return QStringLiteral("#%1 --- %2 bytes --- %3").arg(number).arg(bytes(message), rest);
}
const QString kSpamFields = QStringLiteral("Subject : Spam offer --- From : Ann <a@x>");
const QString kMinutesFields = QStringLiteral("Subject : Minutes --- From : Bob");
QString totaling(qsizetype total)
{
    return QStringLiteral("Work --- 2 messages --- Totaling %1 bytes.").arg(FormatBytes(total));
}

enum class Tls { Plain, HandshakeFails, Untrusted };

struct Row {
    const char* name;
    QList<PopFault> faults;
    QString accountText;
    QStringList messageTexts;
    bool deleteSpam = false; // a filter deletes the first message
    Tls tls = Tls::Plain;
    bool refused = false;
    bool oversizedFirst = false;
    bool passwordSent = true;
};

} // namespace

TEST(FaultMatrix, EveryFaultEndsTheCheckClosedWithTheRightNodeTexts)
{
    QLocale::setDefault(QLocale::c());
    using K = PopFault::Kind;
    const qsizetype both = kSpam.size() + kMinutes.size();
    const QString errorConnecting = QStringLiteral("Work --- Error Connecting!");
    const QString badLogin = QStringLiteral("Work --- Bad user ID or Password!");
    const QString spamOk = shown(1, kSpam, kSpamFields);
    const QString minutesOk = shown(2, kMinutes, kMinutesFields);
    const QString deleted = QStringLiteral("(Deleted) --- ") + kSpamFields;
    const QString noHeader = QStringLiteral("Error retrieving header!");
    const QString invalid = QStringLiteral("Invalid message!");
    // In CR LF form, so that its size on the wire is its size here.
    const QByteArray oversized
        = MailboxGenerator::oversizedHeaderMessage(2 * 1024 * 1024).replace("\r\n", "\n").replace("\n", "\r\n");

    const QList<Row> rows = {
        { "refused connection", {}, errorConnecting, {}, false, Tls::Plain, true, false, false },
        { "no greeting", { { K::NoGreeting, {} } }, errorConnecting, {}, false, Tls::Plain, false, false, false },
        { "garbage greeting", { { K::GarbageGreeting, {} } }, errorConnecting, {}, false, Tls::Plain, false, false,
            false },
        { "TLS handshake failure", {}, errorConnecting, {}, false, Tls::HandshakeFails, false, false, false },
        { "certificate not trusted", {}, errorConnecting, {}, false, Tls::Untrusted, false, false, false },
        { "drop after USER", { { K::DropBeforeReply, "USER" } }, badLogin, {}, false, Tls::Plain, false, false, false },
        { "drop after PASS", { { K::DropBeforeReply, "PASS" } }, badLogin, {} },
        // After the server took the password, a failure is not a wrong password.
        { "drop after STAT", { { K::DropBeforeReply, "STAT" } }, errorConnecting, {} },
        { "STAT never answered", { { K::Withhold, "STAT" } }, errorConnecting, {} },
        { "drop during LIST", { { K::DropMidReply, "LIST" } }, totaling(0),
            { QStringLiteral("#1 --- ") + invalid, QStringLiteral("#2 --- ") + invalid } },
        { "drop during TOP", { { K::DropMidReply, "TOP" } }, totaling(kSpam.size()),
            { shown(1, kSpam, noHeader), QStringLiteral("#2 --- ") + invalid } },
        { "drop after DELE", { { K::DropBeforeReply, "DELE" } }, totaling(kSpam.size()),
            { shown(1, kSpam, QStringLiteral("Unable to Delete message!")), QStringLiteral("#1 --- ") + invalid },
            true },
        { "reply to TOP withheld", { { K::Withhold, "TOP" } }, totaling(kSpam.size()),
            { shown(1, kSpam, noHeader), QStringLiteral("#2 --- ") + invalid } },
        { "endless line in TOP", { { K::EndlessLine, "TOP" } }, totaling(kSpam.size()),
            { shown(1, kSpam, noHeader), QStringLiteral("#2 --- ") + invalid } },
        // Cut to our cap, listed with what came before the cut.
        { "oversized header", {}, totaling(oversized.size() + kMinutes.size()),
            { shown(1, oversized, QStringLiteral("Subject : a header too large --- From : big@example.com")),
                minutesOk },
            false, Tls::Plain, false, true },
        { "-ERR to TOP", { { K::ErrReply, "TOP", 0, 1 } }, totaling(both), { shown(1, kSpam, noHeader), minutesOk } },
        { "-ERR to DELE", { { K::ErrReply, "DELE" } }, totaling(both),
            { shown(1, kSpam, QStringLiteral("Unable to Delete message!")), shown(1, kMinutes, kMinutesFields) },
            true },
        { "filter deletes", {}, totaling(both), { deleted, shown(1, kMinutes, kMinutesFields) }, true },
        { "close after QUIT without +OK", { { K::DropBeforeReply, "QUIT" } }, totaling(both), { spamOk, minutesOk } },
    };

    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir logDir;
        ScriptedPopServer server;
        server.addUser(QStringLiteral("bob"), kPassword, { row.oversizedFirst ? oversized : kSpam, kMinutes });
        server.setCapabilities(ScriptedPopServer::Capabilities(ScriptedPopServer::Top | ScriptedPopServer::User));
        for (const PopFault& fault : row.faults)
            server.addFault(fault);
        if (row.tls == Tls::Untrusted) {
            server.setTlsIdentity(certificates().serverCertificate(), certificates().serverKey());
            server.setImplicitTls(true);
        }
        ASSERT_TRUE(server.start());
        quint16 port = server.port();
        if (row.refused) {
            // A port that was free a moment ago and has nobody listening now.
            QTcpServer probe;
            ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
            port = probe.serverPort();
            probe.close();
        }

        AppState state;
        state.options.LogFilesPath = logDir.path() + QStringLiteral("/logs/");
        state.options.LogDisabled = false;
        state.options.LogAllInOne = true;
        if (row.deleteSpam) {
            FilterRule spam;
            spam.SubjectText = QStringLiteral("spam");
            spam.SubjectMatch = false;
            state.filters.append(spam);
        }
        AccountRecord account;
        account.Title = QStringLiteral("Work");
        account.Host = QStringLiteral("127.0.0.1");
        account.User = QStringLiteral("bob");
        account.Password = kPassword;
        account.Port = port;
        account.NodeKey = QStringLiteral("P1");
        state.accounts.append(account);

        MemoryTree tree;
        PopClient pop;
        pop.setConnectTimeout(300);
        pop.setTlsHandshakeTimeout(300);
        pop.setReplyTimeout(300);
        if (row.tls != Tls::Plain) {
            state.accounts[0].Security = AccountSecurity::Tls;
            pop.setCaFile(row.tls == Tls::Untrusted ? certificates().otherCaFile : certificates().caFile);
        }
        QStringList errors;
        QObject::connect(&pop, &PopComponent::changed, [&] {
            if (!pop.lastError().isEmpty() && !errors.contains(pop.lastError()))
                errors << pop.lastError();
        });
        test::RecordingHost host;
        MailEngine engine(state, tree, pop, host);

        AddAccountNode(state, tree, 1, QStringLiteral(" --- Checking..."));
        tree.setSelected(QStringLiteral("P1"));
        state.CurrentAccount = 1;
        QElapsedTimer clock;
        clock.start();
        QCoro::waitFor(engine.CheckAccount());
        EXPECT_LT(clock.elapsed(), 4000);

        EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
        EXPECT_FALSE(pop.busy());
        EXPECT_FALSE(engine.inConversation());
        EXPECT_EQ(tree.text(QStringLiteral("P1")), row.accountText);
        QStringList texts;
        for (QString k = tree.firstChild(QStringLiteral("P1")); !k.isEmpty(); k = tree.next(k))
            texts << tree.text(k);
        EXPECT_EQ(texts, row.messageTexts);
        EXPECT_EQ(server.sawCommand("PASS"), row.passwordSent);
        if (row.tls == Tls::Untrusted) {
            EXPECT_FALSE(server.sawCommand("USER"));
        }

        // The password is in no text the program made: errors, nodes, tags, the mail log.
        for (const QString& error : std::as_const(errors))
            EXPECT_FALSE(error.contains(kPassword)) << qPrintable(error);
        for (const QString& text : std::as_const(texts))
            EXPECT_FALSE(text.contains(kPassword));
        for (QString k = tree.firstChild(QStringLiteral("P1")); !k.isEmpty(); k = tree.next(k))
            EXPECT_FALSE(tree.tag(k).contains(kPassword));
        QDirIterator logs(logDir.path(), QDir::Files, QDirIterator::Subdirectories);
        while (logs.hasNext()) {
            QFile log(logs.next());
            ASSERT_TRUE(log.open(QIODevice::ReadOnly));
            EXPECT_FALSE(log.readAll().contains(kPassword.toUtf8()));
        }
    }
    QLocale::setDefault(QLocale::system());
}

// A server that answers every reply well within the reply time-out but never finishes: the check
// ends at its time limit with the connect error, keeping what it listed, and leaves no
// "Invalid message!" line behind.
TEST(CheckTimeLimit, ASlowServerEndsTheCheckAtTheLimit)
{
    QList<QByteArray> mail;
    for (int i = 0; i < 50; ++i)
        mail << kMinutes;
    ScriptedPopServer server;
    server.addUser(QStringLiteral("bob"), kPassword, mail);
    server.addFault({ PopFault::Kind::Delay, "TOP", 150 });
    ASSERT_TRUE(server.start());
    PopClient pop;
    pop.setTlsMode(PopClient::TlsMode::Plain);
    QElapsedTimer clock;
    clock.start();
    const CheckOutcome out
        = runCheck(pop, QStringLiteral("127.0.0.1"), server.port(), QStringLiteral("bob"), kPassword, 1);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(out.accountText, QStringLiteral("Box --- Error Connecting!"));
    EXPECT_GT(out.messageTexts.size(), 0);
    EXPECT_LT(out.messageTexts.size(), 50);
    for (const QString& text : out.messageTexts)
        EXPECT_FALSE(text.contains(QStringLiteral("Invalid message!"))) << text.toStdString();
    EXPECT_TRUE(pop.isClosed());
}
