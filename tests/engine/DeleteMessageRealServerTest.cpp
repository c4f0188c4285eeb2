// "Delete Message" through the real client against the test server and dovecot: the server loses
// exactly the selected message, and a fresh check shows what the renumbered tree promised.
#include "RealServerFixture.h"

#include "demo/ScriptedPopServer.h"
#include "engine/ByteFormat.h"
#include "engine/DeleteMessage.h"
#include "engine/PollScheduler.h"
#include "support/Dovecot.h"

#include <QDirIterator>
#include <QTest>

#include <memory>

using namespace ormisk;
using namespace ormisk::test;
using namespace ormisk::testing;

namespace {

QByteArray numbered(int i, qint32 size)
{
    return mail(
        "S" + QByteArray::number(i), "Ann <ann@example.com>", "<" + QByteArray::number(i) + "@ormisk.test>", size);
}

// Four messages of distinct sizes, so a wrong deletion would show in the texts too.
QList<QByteArray> four() { return { numbered(1, 1100), numbered(2, 1200), numbered(3, 1300), numbered(4, 1400) }; }

// Message 2 is one the "Sale" filter deletes during the check.
QList<QByteArray> withFiltered()
{
    return { numbered(1, 1100), mail("Sale", "Joe <joe@spam.example>", "<sale@ormisk.test>", 2000), numbered(3, 1300),
        numbered(4, 1400) };
}

QString text(int number, int index, qint32 size)
{
    return QStringLiteral("#%1 --- %2 bytes --- Subject : S%3 --- From : Ann <ann@example.com>")
        .arg(number)
        .arg(FormatBytes(size))
        .arg(index);
}

const QHash<QString, QList<QByteArray>>& mailboxes()
{
    static const QHash<QString, QList<QByteArray>> all {
        { QStringLiteral("four"), four() },
        { QStringLiteral("filtered"), withFiltered() },
        { QStringLiteral("refused"), four() },
        { QStringLiteral("moved"), four() },
    };
    return all;
}

enum class Server { TestServer, Dovecot };

class RealDelete : public RealServerFixture, public ::testing::WithParamInterface<Server> {
protected:
    static void TearDownTestSuite() { s_dovecot.reset(); }

    void SetUp() override
    {
        if (onDovecot()) {
            ORMISK_REQUIRE_DOVECOT();
            if (!s_dovecot && s_error.isEmpty()) {
                auto dovecot = std::make_unique<Dovecot>();
                for (auto it = mailboxes().cbegin(); it != mailboxes().cend(); ++it) {
                    dovecot->addUser(it.key(), QStringLiteral("secret"));
                    for (const QByteArray& m : it.value())
                        dovecot->deliver(it.key(), m);
                }
                if (dovecot->start(&s_error))
                    s_dovecot = std::move(dovecot);
            }
            ASSERT_TRUE(s_dovecot) << qPrintable(s_error);
            pop.setCaFile(s_dovecot->certificates().caFile);
        } else {
            ASSERT_TRUE(server.start());
            for (auto it = mailboxes().cbegin(); it != mailboxes().cend(); ++it)
                server.addUser(it.key(), QStringLiteral("secret"), it.value());
        }
    }
    void TearDown() override { scheduler.PoolingEvent().stop(); }

    [[nodiscard]] bool onDovecot() const { return GetParam() == Server::Dovecot; }
    int addWork(const QString& user)
    {
        return addAccount(QStringLiteral("Work"), onDovecot() ? s_dovecot->plainPort() : server.port(), user);
    }
    void deleteChild(int account, int child)
    {
        tree.setSelected(messageKeys(account).at(child - 1));
        tree.accountTexts.clear();
        QCoro::waitFor(DeleteMessage(engine, scheduler));
    }
    // What a fresh check finds on the server.
    QStringList recheck(int account)
    {
        tree.clear();
        check(account);
        return messageTexts(account);
    }
    // Message files of a user's Maildir, as another mail program would see them.
    QStringList maildirFiles(const QString& user) const
    {
        QStringList files;
        QDirIterator it(s_dovecot->directory() + QStringLiteral("/home/") + user + QStringLiteral("/Maildir"),
            QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.contains(QStringLiteral("/cur/")) || path.contains(QStringLiteral("/new/")))
                files << path;
        }
        files.sort();
        return files;
    }

    ScriptedPopServer server;
    PollScheduler scheduler { engine };
    static inline std::unique_ptr<Dovecot> s_dovecot;
    static inline QString s_error;
};

std::string serverName(const ::testing::TestParamInfo<Server>& info)
{
    return info.param == Server::TestServer ? "TestServer" : "Dovecot";
}

} // namespace

TEST_P(RealDelete, SecondOfFourRenumbersTheRest)
{
    const int work = addWork(QStringLiteral("four"));
    check(work);
    const QString before = accountText(work);
    ASSERT_EQ(before, QStringLiteral("Work --- 4 messages --- Totaling 5,000 bytes."));
    deleteChild(work, 2);
    EXPECT_EQ(tree.accountTexts.value(0), QStringLiteral("Work --- Deleting message #2"));
    EXPECT_EQ(accountText(work), before);
    EXPECT_EQ(messageTexts(work),
        (QStringList { text(1, 1, 1100),
            QStringLiteral("(Deleted) --- 1,200 bytes --- Subject : S2 --- From : Ann <ann@example.com>"),
            text(2, 3, 1300), text(3, 4, 1400) }));
    EXPECT_EQ(messageImages(work), (QStringList { Image::NewMail, Image::Deleted, Image::NewMail, Image::NewMail }));
    expectMenusRestored();
    if (onDovecot())
        EXPECT_TRUE(s_dovecot->waitForLog(QStringLiteral("del=1/4")));
    else
        EXPECT_EQ(server.commandCount("DELE"), 1);
    EXPECT_EQ(recheck(work), (QStringList { text(1, 1, 1100), text(2, 3, 1300), text(3, 4, 1400) }));
}

TEST_P(RealDelete, FirstMessageNextToAFilteredOne)
{
    FilterRule sale;
    sale.SubjectText = QStringLiteral("Sale");
    state.filters = { sale };
    const int work = addWork(QStringLiteral("filtered"));
    check(work);
    ASSERT_EQ(messageTexts(work).value(2), text(2, 3, 1300));
    state.filters.clear();
    deleteChild(work, 1);
    EXPECT_EQ(messageTexts(work),
        (QStringList { QStringLiteral("(Deleted) --- 1,100 bytes --- Subject : S1 --- From : Ann <ann@example.com>"),
            QStringLiteral("(Deleted) --- Subject : Sale --- From : Joe <joe@spam.example>"), text(1, 3, 1300),
            text(2, 4, 1400) }));
    expectMenusRestored();
    EXPECT_EQ(recheck(work), (QStringList { text(1, 3, 1300), text(2, 4, 1400) }));
}

TEST_P(RealDelete, RefusedDeletionKeepsTheErrorText)
{
    const int work = addWork(QStringLiteral("refused"));
    check(work);
    const QStringList texts = messageTexts(work);
    if (onDovecot()) {
        // Another mail program took the last message meanwhile: the server refuses its number.
        const QStringList files = maildirFiles(QStringLiteral("refused"));
        ASSERT_EQ(files.size(), 4);
        ASSERT_TRUE(QFile::remove(files.last()));
    } else {
        server.addFault({ PopFault::Kind::ErrReply, "DELE", 0, 0 });
    }
    deleteChild(work, 4);
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- Error deleting message #4"));
    EXPECT_EQ(messageTexts(work), texts);
    EXPECT_EQ(messageImages(work), QStringList(4, Image::NewMail));
    EXPECT_TRUE(scheduler.PoolingEvent().isActive());
    expectMenusRestored();
    if (!onDovecot()) {
        EXPECT_EQ(server.messages(QStringLiteral("refused")).size(), 4);
    }
}

// Another mail program removed message 1 after the check: number 2 now belongs to S3, which must
// survive a command meant for S2.
TEST_P(RealDelete, MailRemovedElsewhereIsNotMistakenForTheSelected)
{
    const int work = addWork(QStringLiteral("moved"));
    check(work);
    const QStringList texts = messageTexts(work);
    if (onDovecot()) {
        const QStringList files = maildirFiles(QStringLiteral("moved"));
        QString first;
        for (const QString& path : files) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains("<1@ormisk.test>"))
                first = path;
        }
        ASSERT_TRUE(QFile::remove(first));
    } else {
        server.setMessages(QStringLiteral("moved"), { numbered(2, 1200), numbered(3, 1300), numbered(4, 1400) });
    }
    deleteChild(work, 2);
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- Error deleting message #2"));
    EXPECT_EQ(messageTexts(work), texts);
    EXPECT_EQ(messageImages(work), QStringList(4, Image::NewMail));
    expectMenusRestored();
    if (!onDovecot()) {
        EXPECT_FALSE(server.sawCommand("DELE"));
    }
    EXPECT_EQ(recheck(work), (QStringList { text(1, 2, 1200), text(2, 3, 1300), text(3, 4, 1400) }));
}

INSTANTIATE_TEST_SUITE_P(Servers, RealDelete, ::testing::Values(Server::TestServer, Server::Dovecot), serverName);

// A filter deletion the server refused still lowers the numbers of the messages after it, so
// the next node's number names the refused message on the server: that one must not go.
class DeleteAfterRefusal : public RealServerFixture {
protected:
    ScriptedPopServer server;
};

TEST_F(DeleteAfterRefusal, NumberOfARefusedFilterDeletionIsNotTrusted)
{
    ASSERT_TRUE(server.start());
    server.addUser(QStringLiteral("dora"), QStringLiteral("secret"), withFiltered());
    server.addFault({ PopFault::Kind::ErrReply, "DELE", 0, 1 });
    FilterRule sale;
    sale.SubjectText = QStringLiteral("Sale");
    state.filters = { sale };
    const int work = addAccount(QStringLiteral("Work"), server.port(), QStringLiteral("dora"));
    check(work);
    ASSERT_EQ(messageTexts(work),
        (QStringList { text(1, 1, 1100), QStringLiteral("#2 --- 2,000 bytes --- Unable to Delete message!"),
            text(2, 3, 1300), text(3, 4, 1400) }));
    state.filters.clear();

    PollScheduler scheduler(engine);
    tree.setSelected(messageKeys(work).at(2));
    QCoro::waitFor(DeleteMessage(engine, scheduler));
    scheduler.PoolingEvent().stop();
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- Error deleting message #2"));
    EXPECT_EQ(messageTexts(work).value(2), text(2, 3, 1300));
    EXPECT_EQ(server.messages(QStringLiteral("dora")).size(), 4);
    expectMenusRestored();
}

// The server removes a message only when it answers QUIT: a QUIT refused or cut off after DELE's
// +OK leaves the message on the server, so the tree must not show it deleted.
TEST_F(DeleteAfterRefusal, QuitNotConfirmedLeavesTheMessageShown)
{
    ASSERT_TRUE(server.start());
    const int work = addAccount(QStringLiteral("Work"), server.port(), QStringLiteral("four"));
    for (const PopFault::Kind kind : { PopFault::Kind::DropBeforeReply, PopFault::Kind::ErrReply }) {
        server.clearFaults();
        server.addUser(QStringLiteral("four"), QStringLiteral("secret"), four());
        tree.clear();
        check(work);
        const QStringList texts = messageTexts(work);
        ASSERT_EQ(texts.size(), 4);
        // The check's own QUIT has gone by; the next one is the delete command's.
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.openSessions() == 0; }, 5000));
        server.addFault({ kind, "QUIT", 0, server.commandCount("QUIT") + 1 });
        PollScheduler scheduler(engine);
        tree.setSelected(messageKeys(work).at(1));
        QCoro::waitFor(DeleteMessage(engine, scheduler));
        scheduler.PoolingEvent().stop();
        EXPECT_EQ(accountText(work), QStringLiteral("Work --- Error deleting message #2"));
        EXPECT_EQ(messageTexts(work), texts);
        EXPECT_EQ(messageImages(work), QStringList(4, Image::NewMail));
        EXPECT_EQ(server.messages(QStringLiteral("four")).size(), 4);
        expectMenusRestored();
    }
}
