// The windowless one-cycle run against dovecot: the printed tree for a mix of accounts, and what
// a second run over the same state and server prints.
#include "RealServerFixture.h"

#include "demo/MailboxGenerator.h"
#include "engine/OnceRun.h"
#include "support/Dovecot.h"

#include <QTcpServer>

using namespace ormisk;
using namespace ormisk::test;
using namespace ormisk::testing;

TEST(OnceRunRealServer, PrintsOneLinePerNodeForEveryKindOfAccount)
{
    ORMISK_REQUIRE_DOVECOT();
    CLocaleScope locale;
    Dovecot dovecot;
    dovecot.addUser(QStringLiteral("ann"), QStringLiteral("secret"));
    dovecot.addUser(QStringLiteral("spare"), QStringLiteral("secret"));
    for (const QByteArray& m : { mail("Minutes", "Ann Lee <ann@example.com>", "<1@ormisk.test>", 2417),
             mail("Sale", "Joe <joe@spam.example>", "<2@ormisk.test>", 1000),
             mail(MailboxGenerator::encodeQ(QStringLiteral("Grüße"), "UTF-8"), "Bob <bob@example.com>",
                 "<3@ormisk.test>", 1500) })
        ASSERT_TRUE(dovecot.deliver(QStringLiteral("ann"), m));
    QString error;
    ASSERT_TRUE(dovecot.start(&error)) << qPrintable(error);
    quint16 deadPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        deadPort = probe.serverPort();
    }

    AppState state;
    state.options.LogDisabled = true;
    auto account = [&](const QString& title, quint16 port, const QString& user, bool disabled = false) {
        AccountRecord a;
        a.Title = title;
        a.Host = QStringLiteral("127.0.0.1");
        a.Port = port;
        a.User = user;
        a.Password = QStringLiteral("secret");
        a.Disabled = disabled;
        a.NodeKey = QStringLiteral("P%1").arg(state.AccountCount() + 1);
        state.accounts.append(a);
    };
    account(QStringLiteral("Work"), dovecot.plainPort(), QStringLiteral("ann"));
    account(QStringLiteral("Home"), dovecot.plainPort(), QStringLiteral("ann"), true);
    account(QStringLiteral("Spare"), dovecot.plainPort(), QStringLiteral("spare"));
    account(QStringLiteral("Gone"), deadPort, QStringLiteral("ann"));
    FilterRule sale;
    sale.SubjectText = QStringLiteral("Sale");
    state.filters = { sale };

    PopClient pop;
    shortenTimeouts(pop);
    pop.setCaFile(dovecot.certificates().caFile);
    OnceResult first = QCoro::waitFor(RunOnce(state, pop));
    EXPECT_EQ(first.tree,
        QStringLiteral("Work --- 3 messages --- Totaling 4,917 bytes. [NoMail]\n"
                       "  #1 --- 2,417 bytes --- Subject : Minutes --- From : Ann Lee <ann@example.com> [NewMail]\n"
                       "  (Deleted) --- Subject : Sale --- From : Joe <joe@spam.example> [Deleted]\n"
                       "  #2 --- 1,500 bytes --- Subject : Grüße --- From : Bob <bob@example.com> [NewMail]\n"
                       "Home--- Disabled. [Closed]\n"
                       "Spare --- No messages. [NoMail]\n"
                       "Gone --- Error Connecting! [NoMail]\n"));
    EXPECT_EQ(first.counts, (MailCounts { .newMail = 2, .waiting = 3, .unseen = 2 }));
    EXPECT_TRUE(dovecot.waitForLog(QStringLiteral("del=1/3")));

    // The next run finds the filtered message gone; what it shows was seen, but never read.
    OnceResult second = QCoro::waitFor(RunOnce(state, pop));
    EXPECT_EQ(second.tree,
        QStringLiteral("Work --- 2 messages --- Totaling 3,917 bytes. [NoMail]\n"
                       "  #1 --- 2,417 bytes --- Subject : Minutes --- From : Ann Lee <ann@example.com> [NewMail]\n"
                       "  #2 --- 1,500 bytes --- Subject : Grüße --- From : Bob <bob@example.com> [NewMail]\n"
                       "Home--- Disabled. [Closed]\n"
                       "Spare --- No messages. [NoMail]\n"
                       "Gone --- Error Connecting! [NoMail]\n"));
    EXPECT_EQ(second.counts, (MailCounts { .newMail = 2, .waiting = 2, .unseen = 0 }));
    EXPECT_TRUE(pop.isClosed());
}
