// The account editor's save path with a real keyring on a private session bus: a password typed
// in the editor ends in the keyring, the settings file keeps none, and deleting the account takes
// it out of the keyring again.
#include "app/MainWindow.h"
#include "store/Keyring.h"
#include "support/MainWindowFixture.h"
#include "support/NextDialog.h"
#include "support/PrivateKeyring.h"
#include "support/ServerProcess.h"
#include "support/Wait.h"
#include "tree/AccountEditorDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

using namespace ormisk;
using namespace ormisk::test;
using ormisk::testing::NextDialog;
using ormisk::testing::PrivateKeyring;

namespace {
class AccountKeyring : public MainWindowFixture { };
} // namespace

TEST_F(AccountKeyring, EditorSavesANewPasswordIntoTheKeyring)
{
    ORMISK_REQUIRE_KEYRING();
    QString error;
    PrivateKeyring* bus = PrivateKeyring::forThisProcess(&error);
    ASSERT_NE(bus, nullptr) << qPrintable(error);
    server.addUser(QStringLiteral("carol"), QStringLiteral("typed pw"), rawMessages(1, "carol"));
    const Keyring keyring(QStringLiteral("Ormisk editor test"));
    window = std::make_unique<MainWindow>(state, store, profile, dialogs);
    shortenTimeouts(window->pop());
    window->setKeyring(&keyring);
    window->startUp();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));

    NextDialog<AccountEditorDialog> next([&](AccountEditorDialog& d) {
        const auto box = [&](const char* name) { return d.findChild<QLineEdit*>(QLatin1String(name)); };
        box("txtTitle")->setText(QStringLiteral("Home"));
        box("txtHost")->setText(QStringLiteral("127.0.0.1"));
        box("txtUser")->setText(QStringLiteral("carol"));
        box("txtPassword")->setText(QStringLiteral("typed pw"));
        d.findChild<QComboBox*>(QStringLiteral("cboSecurity"))->setCurrentIndex(2);
        box("txtPort")->setText(QString::number(server.port()));
        d.findChild<QPushButton*>(QStringLiteral("butOK"))->click();
    });
    window->menus().mnuNewAccount->trigger();
    waitForCommand();
    ASSERT_EQ(next.shown(), 1);
    EXPECT_TRUE(tree().text(state.account(1).NodeKey).startsWith(QStringLiteral("Home --- 1 message")));
    ORMISK_WAIT_TRUE(state.account(1).PasswordInKeyring, 10000);
    EXPECT_EQ(store.read(Section::Accounts, QStringLiteral("Password1"), QStringLiteral("<none>")), QString());
    EXPECT_EQ(store.read(Section::Accounts, QStringLiteral("Security1")), QStringLiteral("None"));
    EXPECT_EQ(bus->secretTool({ QStringLiteral("lookup"), QStringLiteral("user"), QStringLiteral("carol@127.0.0.1"),
                  QStringLiteral("server"), QStringLiteral("Ormisk editor test") }),
        QByteArray("typed pw"));

    // Deleting the account takes its password out of the keyring.
    click(state.account(1).NodeKey);
    window->menus().mnuDeleteAccount->trigger();
    ASSERT_EQ(state.AccountCount(), 0);
    ORMISK_WAIT_TRUE(
        bus->secretTool({ QStringLiteral("lookup"), QStringLiteral("user"), QStringLiteral("carol@127.0.0.1"),
                            QStringLiteral("server"), QStringLiteral("Ormisk editor test") })
            .isEmpty(),
        10000);
}
