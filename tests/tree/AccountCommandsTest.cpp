// "Add Account", "Modify Account" and "Delete Account" through the main window's menu, with the
// accounts on the loopback test server.
#include "support/MainWindowFixture.h"

#include "support/NextDialog.h"
#include "tree/AccountController.h"
#include "tree/AccountEditorDialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

using namespace ormisk;
using namespace ormisk::test;
using ormisk::testing::NextDialog;

namespace {

class AccountCommandsTest : public MainWindowFixture {
protected:
    AccountCommandsTest()
    {
        server.addUser(QStringLiteral("alice"), QStringLiteral("secret"), rawMessages(1, "alice"));
        server.addUser(QStringLiteral("bob"), QStringLiteral("secret"), rawMessages(2, "bob"));
    }

    static QLineEdit* box(QDialog& d, const char* name) { return d.findChild<QLineEdit*>(QLatin1String(name)); }
    // Fills the editor like a user and presses OK.
    void fillAndAccept(AccountEditorDialog& d, const QString& title, const QString& user, bool disabled)
    {
        box(d, "txtTitle")->setText(title);
        box(d, "txtHost")->setText(QStringLiteral("127.0.0.1"));
        box(d, "txtUser")->setText(user);
        box(d, "txtPassword")->setText(QStringLiteral("secret"));
        // The test server speaks plain text only.
        d.findChild<QComboBox*>(QStringLiteral("cboSecurity"))->setCurrentIndex(2);
        box(d, "txtPort")->setText(QString::number(server.port()));
        d.findChild<QCheckBox*>(QStringLiteral("chkDisabled"))->setChecked(disabled);
        auto* ok = d.findChild<QPushButton*>(QStringLiteral("butOK"));
        ASSERT_TRUE(ok->isEnabled());
        ok->click();
    }
    void addAccount(const QString& title, const QString& user, bool disabled = false)
    {
        NextDialog<AccountEditorDialog> next([&](AccountEditorDialog& d) { fillAndAccept(d, title, user, disabled); });
        window->menus().mnuNewAccount->trigger();
        waitForCommand();
        ASSERT_EQ(next.shown(), 1);
    }
    [[nodiscard]] QString accounts(const char* key) const { return store.read(Section::Accounts, QLatin1String(key)); }
    [[nodiscard]] QStringList storedTitles() const
    {
        AppState loaded;
        loaded.accounts.load(store, loaded.random);
        QStringList titles;
        for (const AccountRecord& a : loaded.accounts)
            titles << a.Title;
        return titles;
    }
};

} // namespace

TEST_F(AccountCommandsTest, AddAppendsSavesAndChecksTheNewAccountAtOnce)
{
    storeAccounts({ account(QStringLiteral("Work"), QStringLiteral("alice")) });
    start();
    ASSERT_EQ(server.sessionsStarted(), 0);

    addAccount(QStringLiteral("Home"), QStringLiteral("bob"));
    ASSERT_EQ(state.AccountCount(), 2);
    EXPECT_EQ(state.account(2).Title, QStringLiteral("Home"));
    EXPECT_EQ(state.account(2).Port, server.port());
    EXPECT_EQ(storedTitles(), (QStringList { QStringLiteral("Work"), QStringLiteral("Home") }));
    EXPECT_EQ(accounts("Total"), QStringLiteral("2"));

    const QString key = state.account(2).NodeKey;
    EXPECT_EQ(tree().topLevelItemCount(), 2);
    ASSERT_EQ(rootTexts().size(), 2);
    EXPECT_TRUE(rootTexts()[1].startsWith(QStringLiteral("Home"))) << "appended at the root, after the others";
    EXPECT_TRUE(tree().text(key).startsWith(QStringLiteral("Home --- "))) << tree().text(key).toStdString();
    EXPECT_EQ(childKeys(key).size(), 2);
    EXPECT_EQ(server.sessionsStarted(), 1) << "only the new account was checked";
    EXPECT_TRUE(tree().text(state.account(1).NodeKey).endsWith(QStringLiteral(" --- Unchecked.")));
    EXPECT_TRUE(countdown().isActive());
    EXPECT_TRUE(window->pop().isClosed());
}

TEST_F(AccountCommandsTest, AddingADisabledAccountRunsNoCheckAndSuspensionKeepsTheTimerStopped)
{
    start();
    window->menus().mnuSuspend->trigger();
    ASSERT_TRUE(window->scheduler().Suspended());

    addAccount(QStringLiteral("Home"), QStringLiteral("bob"), true);
    ASSERT_EQ(state.AccountCount(), 1);
    const QString key = state.account(1).NodeKey;
    EXPECT_EQ(tree().text(key), QStringLiteral("Home--- Disabled."));
    EXPECT_EQ(tree().image(key), QStringLiteral("Closed"));
    EXPECT_EQ(server.sessionsStarted(), 0);
    EXPECT_EQ(accounts("Disabled1"), QStringLiteral("True"));
    EXPECT_FALSE(countdown().isActive());
}

TEST_F(AccountCommandsTest, CancelledAddChangesNothing)
{
    storeAccounts({ account(QStringLiteral("Work"), QStringLiteral("alice")) });
    start();
    const QStringList before = rootTexts();
    NextDialog<AccountEditorDialog> next([](AccountEditorDialog& d) {
        box(d, "txtTitle")->setText(QStringLiteral("Typed"));
        d.close(); // the close box
    });
    window->menus().mnuNewAccount->trigger();
    waitForCommand();
    ASSERT_EQ(next.shown(), 1);
    EXPECT_EQ(state.AccountCount(), 1);
    EXPECT_EQ(storedTitles(), QStringList { QStringLiteral("Work") });
    EXPECT_EQ(rootTexts(), before);
    EXPECT_EQ(server.sessionsStarted(), 0);
    EXPECT_TRUE(countdown().isActive());
}

TEST_F(AccountCommandsTest, ModifyFromAMessageNodeRetitlesAndRechecksTheAccount)
{
    storeAccounts({ account(QStringLiteral("Work"), QStringLiteral("alice")),
        account(QStringLiteral("Home"), QStringLiteral("bob")) });
    start();
    QCoro::waitFor(window->scheduler().PollCycle());
    const QString key = state.account(2).NodeKey;
    const QStringList oldChildren = childKeys(key);
    ASSERT_EQ(oldChildren.size(), 2);
    click(oldChildren[0]);
    ASSERT_NE(window->accounts().selection().message, 0);
    const int sessions = server.sessionsStarted();

    bool modifyMode = false;
    NextDialog<AccountEditorDialog> next([&](AccountEditorDialog& d) {
        modifyMode = d.isModifyMode();
        EXPECT_EQ(box(d, "txtTitle")->text(), QStringLiteral("Home"));
        box(d, "txtTitle")->setText(QStringLiteral("Private"));
        d.findChild<QPushButton*>(QStringLiteral("butOK"))->click();
    });
    window->menus().mnuModifyAccount->trigger();
    waitForCommand();
    ASSERT_EQ(next.shown(), 1);
    EXPECT_TRUE(modifyMode);
    EXPECT_EQ(window->accounts().selection().message, 0);
    EXPECT_EQ(state.AccountCount(), 2);
    EXPECT_EQ(state.account(2).NodeKey, key);
    EXPECT_EQ(storedTitles(), (QStringList { QStringLiteral("Work"), QStringLiteral("Private") }));
    EXPECT_TRUE(tree().text(key).startsWith(QStringLiteral("Private --- "))) << tree().text(key).toStdString();
    const QStringList newChildren = childKeys(key);
    EXPECT_EQ(newChildren.size(), 2) << "re-checked";
    for (const QString& k : oldChildren)
        EXPECT_FALSE(newChildren.contains(k)) << "the old message nodes were removed";
    EXPECT_EQ(server.sessionsStarted(), sessions + 1);
    EXPECT_EQ(childKeys(state.account(1).NodeKey).size(), 1) << "the other account is untouched";
    EXPECT_TRUE(countdown().isActive());
}

TEST_F(AccountCommandsTest, CancelledModifyChangesNothing)
{
    storeAccounts({ account(QStringLiteral("Work"), QStringLiteral("alice")) });
    start();
    QCoro::waitFor(window->scheduler().PollCycle());
    const QString key = state.account(1).NodeKey;
    click(key);
    const QStringList texts = rootTexts() + childTexts(key);
    const QStringList children = childKeys(key);
    const int sessions = server.sessionsStarted();
    const QString storeFile = store.fileName();

    NextDialog<AccountEditorDialog> next([](AccountEditorDialog& d) {
        box(d, "txtTitle")->setText(QStringLiteral("Changed"));
        d.findChild<QPushButton*>(QStringLiteral("butCancel"))->click();
    });
    window->menus().mnuModifyAccount->trigger();
    waitForCommand();
    ASSERT_EQ(next.shown(), 1);
    EXPECT_EQ(state.account(1).Title, QStringLiteral("Work"));
    EXPECT_EQ(storedTitles(), QStringList { QStringLiteral("Work") });
    EXPECT_EQ(rootTexts() + childTexts(key), texts);
    EXPECT_EQ(childKeys(key), children);
    EXPECT_EQ(server.sessionsStarted(), sessions);
    EXPECT_TRUE(countdown().isActive());
}

TEST_F(AccountCommandsTest, DeleteFromAMessageNodeRemovesThatAccount)
{
    storeAccounts({ account(QStringLiteral("Work"), QStringLiteral("alice")),
        account(QStringLiteral("Home"), QStringLiteral("bob")) });
    start();
    QCoro::waitFor(window->scheduler().PollCycle());
    const QString workKey = state.account(1).NodeKey;
    const QString homeKey = state.account(2).NodeKey;
    click(childKeys(workKey).at(0));
    ASSERT_TRUE(window->menus().mnuDeleteAccount->isEnabled());

    window->menus().mnuDeleteAccount->trigger();
    ASSERT_EQ(state.AccountCount(), 1);
    EXPECT_EQ(state.account(1).Title, QStringLiteral("Home"));
    EXPECT_TRUE(window->accounts().selection().isEmpty());
    EXPECT_FALSE(window->menus().mnuDeleteAccount->isEnabled()) << "no account is left to act on";
    EXPECT_EQ(storedTitles(), QStringList { QStringLiteral("Home") });
    EXPECT_EQ(accounts("Total"), QStringLiteral("1"));
    EXPECT_EQ(accounts("Title2"), QStringLiteral("Home")) << "the table's old last item stays behind";
    EXPECT_FALSE(tree().contains(workKey));
    EXPECT_TRUE(tree().contains(homeKey));
    EXPECT_EQ(tree().topLevelItemCount(), 1);
    EXPECT_EQ(childKeys(homeKey).size(), 2);
    EXPECT_TRUE(tree().selected().isEmpty());
    EXPECT_TRUE(countdown().isActive());
}

TEST_F(AccountCommandsTest, DeletingTheLastAccountLeavesAnEmptyTable)
{
    storeAccounts({ account(QStringLiteral("Work"), QStringLiteral("alice")) });
    start();
    window->menus().mnuSuspend->trigger();
    click(state.account(1).NodeKey);
    window->menus().mnuDeleteAccount->trigger();
    EXPECT_EQ(state.AccountCount(), 0);
    EXPECT_EQ(accounts("Total"), QStringLiteral("0"));
    EXPECT_EQ(accounts("Title1"), QStringLiteral("Work")) << "items are not erased, only the count";
    EXPECT_TRUE(storedTitles().isEmpty());
    EXPECT_EQ(tree().count(), 0);
    EXPECT_FALSE(countdown().isActive()) << "suspended: the timer stays stopped";
}

TEST_F(AccountCommandsTest, ModifyingToDisabledClearsTheMessagesWithoutAConversation)
{
    storeAccounts({ account(QStringLiteral("Work"), QStringLiteral("alice")) });
    start();
    QCoro::waitFor(window->scheduler().PollCycle());
    const QString key = state.account(1).NodeKey;
    ASSERT_EQ(childKeys(key).size(), 1);
    click(key);
    const int sessions = server.sessionsStarted();
    NextDialog<AccountEditorDialog> next([](AccountEditorDialog& d) {
        d.findChild<QCheckBox*>(QStringLiteral("chkDisabled"))->setChecked(true);
        d.findChild<QPushButton*>(QStringLiteral("butOK"))->click();
    });
    window->menus().mnuModifyAccount->trigger();
    waitForCommand();
    ASSERT_EQ(next.shown(), 1);
    EXPECT_EQ(tree().text(key), QStringLiteral("Work--- Disabled."));
    EXPECT_EQ(tree().image(key), QStringLiteral("Closed"));
    EXPECT_TRUE(childKeys(key).isEmpty());
    EXPECT_EQ(server.sessionsStarted(), sessions);
    EXPECT_EQ(accounts("Disabled1"), QStringLiteral("True"));
    EXPECT_TRUE(countdown().isActive());
}
