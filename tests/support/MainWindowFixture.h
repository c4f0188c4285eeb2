#pragma once
// A main window on a private profile, its accounts served by the test POP server on loopback,
// with short client time-outs and a countdown on a virtual clock: it stays where it is until a
// test moves time on.
#include "app/MainWindow.h"
#include "engine/AccountCheck.h"
#include "engine/PollScheduler.h"
#include "engine/TreeOps.h"
#include "pop/PopClient.h"
#include "store/AccountTable.h"
#include "store/AppState.h"
#include "store/Profile.h"
#include "store/SettingsStore.h"
#include "support/QtPrinters.h"
#include "support/ScriptedDialogService.h"
#include "support/VirtualClock.h"
#include "support/Wait.h"
#include "tree/AccountTree.h"

#include "demo/ScriptedPopServer.h"
#include <QTreeWidgetItemIterator>

#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace ormisk::test {

inline QByteArray rawMessage(int n, const QByteArray& user = "alice")
{
    return "Subject: S" + QByteArray::number(n) + "\nFrom: f" + QByteArray::number(n) + "@example.org\nMessage-Id: <"
        + QByteArray::number(n) + "." + user + "@example.org>\n\nbody\n";
}

inline QList<QByteArray> rawMessages(int count, const QByteArray& user = "alice")
{
    QList<QByteArray> out;
    for (int i = 1; i <= count; ++i)
        out << rawMessage(i, user);
    return out;
}

class MainWindowFixture : public ::testing::Test {
protected:
    MainWindowFixture()
    {
        // Node texts carry sizes with group separators.
        QLocale::setDefault(QLocale::c());
        EXPECT_TRUE(server.start());
    }
    ~MainWindowFixture() override
    {
        if (window) {
            window->scheduler().PoolingEvent().stop();
            window.reset();
        }
        QLocale::setDefault(QLocale::system());
    }

    // An account as the editor would store it, pointing at the test server.
    [[nodiscard]] AccountRecord account(const QString& title, const QString& user, bool disabled = false) const
    {
        AccountRecord a;
        a.Title = title;
        a.Host = QStringLiteral("127.0.0.1");
        a.User = user;
        a.Password = QStringLiteral("secret");
        a.Port = server.port();
        a.Disabled = disabled;
        return a;
    }
    // Accounts in the store before start-up.
    void storeAccounts(const QList<AccountRecord>& accounts) { AccountTable(accounts).save(store); }

    // A window, started up; its first poll cycle comes only when a test moves the clock on.
    void start()
    {
        window = std::make_unique<MainWindow>(state, store, profile, dialogs, clock);
        shortenTimeouts(window->pop());
        window->startUp();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    // One account "Work" whose mailbox holds `messages` messages, then start().
    void startWithMail(int messages)
    {
        server.addUser(QStringLiteral("alice"), QStringLiteral("secret"), rawMessages(messages));
        storeAccounts({ account(QStringLiteral("Work"), QStringLiteral("alice")) });
        start();
    }
    [[nodiscard]] QString workKey() const { return state.account(1).NodeKey; }
    static void shortenTimeouts(PopClient& pop)
    {
        pop.setConnectTimeout(3000);
        pop.setTlsHandshakeTimeout(3000);
        pop.setReplyTimeout(3000);
    }

    // A command started from a menu runs on while its conversation waits for the server; this
    // waits for its end.
    void waitForCommand() const
    {
        ASSERT_TRUE(::ormisk::testing::waitUntil([&] { return !window->engine().inConversation(); }, 30000));
    }

    [[nodiscard]] AccountTree& tree() const { return *window->tree(); }
    [[nodiscard]] Timer& countdown() const { return window->scheduler().PoolingEvent(); }
    [[nodiscard]] qint32 secondsLeft() const { return window->scheduler().SecondsLeft(); }
    [[nodiscard]] QStringList rootTexts() const
    {
        QStringList out;
        for (int i = 0; i < tree().topLevelItemCount(); ++i)
            out << tree().topLevelItem(i)->text(0);
        return out;
    }
    [[nodiscard]] QStringList childKeys(const QString& key) const
    {
        QStringList keys;
        for (QString k = tree().firstChild(key); !k.isEmpty(); k = tree().next(k))
            keys << k;
        return keys;
    }
    [[nodiscard]] QStringList childTexts(const QString& key) const
    {
        QStringList out;
        for (const QString& k : childKeys(key))
            out << tree().text(k);
        return out;
    }
    [[nodiscard]] QStringList childImages(const QString& key) const
    {
        QStringList out;
        for (const QString& k : childKeys(key))
            out << tree().image(k);
        return out;
    }
    // A left click on a node, as the user selects it.
    void click(const QString& key) const
    {
        tree().ensureVisible(key);
        QTreeWidgetItem* target = nullptr;
        for (QTreeWidgetItemIterator it(&tree()); *it && !target; ++it) {
            if (tree().keyAtPosition(tree().visualItemRect(*it).center()) == key)
                target = *it;
        }
        ASSERT_NE(target, nullptr) << key.toStdString();
        const QPoint at = tree().visualItemRect(target).center();
        QTest::mouseClick(tree().viewport(), Qt::LeftButton, {}, at);
    }
    [[nodiscard]] QString config(const char* key) const { return store.read(Section::Config, QLatin1String(key)); }

    QTemporaryDir dir;
    Profile profile = Profile::inFolder(dir.path());
    SettingsStore store { profile.settingsFile };
    AppState state;
    ormisk::testing::VirtualClock clock;
    ormisk::testing::ScriptedDialogService dialogs;
    ormisk::testing::ScriptedPopServer server;
    std::unique_ptr<MainWindow> window;
};

} // namespace ormisk::test
