#include "EngineFixture.h"

#include "engine/DeleteMessage.h"
#include "engine/PollScheduler.h"

using namespace ormisk;
using namespace ormisk::test;

namespace {

class DeleteCommand : public EngineFixture {
protected:
    DeleteCommand()
    {
        state.options.LogDisabled = true;
        QLocale::setDefault(QLocale::c());
        work = addAccount(QStringLiteral("Work"));
    }
    ~DeleteCommand() override
    {
        scheduler.PoolingEvent().stop();
        QLocale::setDefault(QLocale::system());
    }
    void fill(int count)
    {
        for (int i = 1; i <= count; ++i)
            pop.mailbox << fakeMessage(
                QStringLiteral("S%1").arg(i), QStringLiteral("F"), QStringLiteral("<%1>").arg(i));
    }
    void select(int child)
    {
        tree.setSelected(messageKeys(work).at(child - 1));
        host.events.clear();
        pop.calls.clear();
    }
    PollScheduler scheduler { engine };
    int work = 0;
};

} // namespace

TEST_F(DeleteCommand, SecondOfFourRenumbersTheRest)
{
    fill(4);
    check(work);
    const QString before = accountText(work);
    scheduler.start();
    QString duringAccountText;
    pop.onAnswer = [&](const QString& request) {
        if (request == QStringLiteral("connect")) {
            duringAccountText = accountText(work);
            EXPECT_FALSE(scheduler.PoolingEvent().isActive());
        }
    };
    select(2);
    QCoro::waitFor(DeleteMessage(engine, scheduler));
    EXPECT_EQ(duringAccountText, QStringLiteral("Work --- Deleting message #2"));
    EXPECT_EQ(accountText(work), before);
    EXPECT_EQ(messageTexts(work),
        (QStringList { QStringLiteral("#1 --- 1,000 bytes --- Subject : S1 --- From : F"),
            QStringLiteral("(Deleted) --- 1,000 bytes --- Subject : S2 --- From : F"),
            QStringLiteral("#2 --- 1,000 bytes --- Subject : S3 --- From : F"),
            QStringLiteral("#3 --- 1,000 bytes --- Subject : S4 --- From : F") }));
    EXPECT_EQ(messageImages(work)[1], Image::Deleted);
    EXPECT_EQ(pop.committedDeletions, QList<qint32> { 2 });
    EXPECT_EQ(tree.selected(), key(work));
    EXPECT_TRUE(scheduler.PoolingEvent().isActive());
    EXPECT_EQ(host.events,
        (QStringList { QStringLiteral("busy"), QStringLiteral("menus 0000"), QStringLiteral("menus 1111"),
            QStringLiteral("normal") }));
}

TEST_F(DeleteCommand, FirstMessageNextToAFilteredOne)
{
    FilterRule f;
    f.SubjectText = QStringLiteral("S2");
    state.filters = { f };
    fill(3);
    check(work);
    ASSERT_EQ(messageTexts(work)[2], QStringLiteral("#2 --- 1,000 bytes --- Subject : S3 --- From : F"));
    state.filters.clear();
    select(1);
    QCoro::waitFor(DeleteMessage(engine, scheduler));
    EXPECT_EQ(pop.committedDeletions, QList<qint32> { 1 });
    EXPECT_EQ(messageTexts(work),
        (QStringList { QStringLiteral("(Deleted) --- 1,000 bytes --- Subject : S1 --- From : F"),
            QStringLiteral("(Deleted) --- Subject : S2 --- From : F"),
            QStringLiteral("#1 --- 1,000 bytes --- Subject : S3 --- From : F") }));
}

TEST_F(DeleteCommand, RefusedDeletionAndFailedLoginKeepTheErrorText)
{
    fill(2);
    check(work);
    const QStringList texts = messageTexts(work);
    pop.mailbox[1].refuseDelete = true;
    select(2);
    scheduler.Suspend(); // suspended: the countdown stays stopped afterwards
    QCoro::waitFor(DeleteMessage(engine, scheduler));
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- Error deleting message #2"));
    EXPECT_EQ(messageTexts(work), texts);
    EXPECT_EQ(messageImages(work), QStringList(2, Image::NewMail));
    EXPECT_FALSE(scheduler.PoolingEvent().isActive());
    EXPECT_TRUE(pop.isClosed());
    EXPECT_EQ(host.events.last(), QStringLiteral("normal"));

    scheduler.Resume();
    scheduler.PoolingEvent().stop();
    pop.password = QStringLiteral("changed");
    select(1);
    QCoro::waitFor(DeleteMessage(engine, scheduler));
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- Bad user ID or Password!"));
    EXPECT_EQ(messageTexts(work), texts);
    EXPECT_TRUE(scheduler.PoolingEvent().isActive());
    EXPECT_EQ(host.events.last(), QStringLiteral("normal"));

    pop.refuseConnect = true;
    select(1);
    QCoro::waitFor(DeleteMessage(engine, scheduler));
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- Error Connecting!"));
}

TEST_F(DeleteCommand, IgnoresAccountNodesAndDeletedMessages)
{
    fill(1);
    check(work);
    tree.setSelected(key(work));
    pop.calls.clear();
    QCoro::waitFor(DeleteMessage(engine, scheduler));
    EXPECT_TRUE(pop.calls.isEmpty());
    select(1);
    QCoro::waitFor(DeleteMessage(engine, scheduler));
    ASSERT_EQ(messageImages(work), QStringList { Image::Deleted });
    select(1);
    QCoro::waitFor(DeleteMessage(engine, scheduler));
    EXPECT_TRUE(pop.calls.isEmpty()) << "a message deleted once is not deleted again";
}
