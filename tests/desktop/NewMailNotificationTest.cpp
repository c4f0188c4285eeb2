// New mail told through the desktop's notification service, on a private bus with a fake service
// that records what it is told; and the own window when no service is there.
#include "desktop/DesktopNotifier.h"
#include "desktop/SessionBus.h"
#include "support/MainWindowFixture.h"
#include "support/Wait.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QJsonArray>

using namespace ormisk;
using namespace ormisk::test;

namespace {

class NotificationTest : public MainWindowFixture {
protected:
    void SetUp() override
    {
        if (SessionBusEnvironment::address.isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed";
        server.addUser(QStringLiteral("alice"), QStringLiteral("secret"), rawMessages(7));
        storeAccounts({ account(QStringLiteral("Work"), QStringLiteral("alice")) });
        store.write(Section::Config, QStringLiteral("DesktopNotifications"), QStringLiteral("True"));
    }
    void invoke(uint id, const QString& action)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
            QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.ormisk.FakeNotifications"),
            QStringLiteral("Invoke"));
        call << id << action;
        QDBusConnection::sessionBus().asyncCall(call);
    }
};

} // namespace

TEST_F(NotificationTest, NoticeNamesTheNewestArrivalsReplacesTheLastOneAndItsDefaultActionBringsTheWindowBack)
{
    FakeNotificationService service;
    ASSERT_TRUE(service.ready());
    start();
    (void)window->scheduler().PollCycle();
    ORMISK_WAIT_EQ(service.notifies().size(), 1);
    const QJsonObject first = service.notifies().first();
    EXPECT_EQ(first.value(QStringLiteral("summary")).toString(), QStringLiteral("You have 7 new messages"));
    EXPECT_EQ(first.value(QStringLiteral("body")).toString(),
        QStringLiteral("Work: f7@example.org \u2014 S7\nWork: f6@example.org \u2014 S6\nWork: f5@example.org \u2014 "
                       "S5\nWork: f4@example.org \u2014 S4\nWork: f3@example.org \u2014 S3\nand 2 more"));
    EXPECT_EQ(first.value(QStringLiteral("replaces_id")).toInt(), 0);
    EXPECT_TRUE(first.value(QStringLiteral("actions")).toArray().contains(QStringLiteral("default")));
    EXPECT_EQ(window->newMailWindow(), nullptr);
    EXPECT_FALSE(window->newMailWindowShown());

    // Nothing newer: the notice that is up stays as it is.
    (void)window->scheduler().PollCycle();
    QTest::qWait(300);
    EXPECT_EQ(service.notifies().size(), 1);

    server.appendMessage(QStringLiteral("alice"), rawMessage(8));
    (void)window->scheduler().PollCycle();
    ORMISK_WAIT_EQ(service.notifies().size(), 2);
    const QJsonObject second = service.notifies().last();
    EXPECT_EQ(second.value(QStringLiteral("replaces_id")).toInt(), first.value(QStringLiteral("id")).toInt());
    EXPECT_EQ(second.value(QStringLiteral("summary")).toString(), QStringLiteral("You have 8 new messages"));
    EXPECT_TRUE(second.value(QStringLiteral("body")).toString().startsWith(QStringLiteral("Work: f8@example.org")));

    window->showMinimized();
    ORMISK_WAIT_TRUE(window->isMinimized(), 5000);
    invoke(second.value(QStringLiteral("id")).toInt(), QStringLiteral("default"));
    ORMISK_WAIT_TRUE(!window->isMinimized() && window->isVisible(), 5000);
}

TEST_F(NotificationTest, WithoutTheServiceTheOwnWindowOpens)
{
    start();
    (void)window->scheduler().PollCycle();
    ORMISK_WAIT_TRUE(window->newMailWindow() != nullptr, 5000);
    EXPECT_TRUE(window->newMailWindowShown());
}

TEST_F(NotificationTest, NoticesAskedForInQuickSuccessionNeverStackAndTheNewestWins)
{
    FakeNotificationService service;
    ASSERT_TRUE(service.ready());
    DesktopNotifier notifier(QDBusConnection::sessionBus());
    // A notice up and gone again: the service is known, and the next notice is a new one.
    notifier.show(QStringLiteral("zero"), QString());
    ORMISK_WAIT_EQ(service.notifies().size(), 1);
    QTest::qWait(200);
    notifier.close();
    ORMISK_WAIT_EQ(service.calls().size(), 2);
    for (const char* summary : { "one", "two", "three" }) {
        notifier.show(QLatin1String(summary), QString());
        QCoreApplication::processEvents();
    }
    ORMISK_WAIT_TRUE(!service.notifies().isEmpty()
            && service.notifies().last().value(QStringLiteral("summary")) == QStringLiteral("three"),
        5000);
    QTest::qWait(200);
    const QList<QJsonObject> notifies = service.notifies().mid(1);
    EXPECT_EQ(notifies.last().value(QStringLiteral("summary")).toString(), QStringLiteral("three"));
    EXPECT_EQ(notifies[0].value(QStringLiteral("replaces_id")).toInt(), 0);
    for (int i = 1; i < notifies.size(); ++i)
        EXPECT_EQ(notifies[i].value(QStringLiteral("replaces_id")), notifies[0].value(QStringLiteral("id")));
    const qsizetype before = service.calls().size();
    notifier.close();
    ORMISK_WAIT_EQ(service.calls().size(), before + 1);
    EXPECT_EQ(service.calls().last().value(QStringLiteral("call")).toString(), QStringLiteral("CloseNotification"));
}
