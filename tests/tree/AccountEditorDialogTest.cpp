#include "tree/AccountEditorDialog.h"

#include "store/AccountTable.h"
#include "support/ScriptedDialogService.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "support/Wait.h"

using namespace ormisk;
using ormisk::testing::ScriptedDialogService;

namespace {

AccountRecord makeAccount(const QString& title, const QString& key)
{
    AccountRecord a;
    a.Title = title;
    a.Host = QStringLiteral("127.0.0.1");
    a.User = QStringLiteral("user");
    a.Password = QStringLiteral("secret");
    a.Port = 1110;
    a.NodeKey = key;
    return a;
}

class AccountEditorTest : public ::testing::Test {
protected:
    // Add mode without a row, else modify mode for that row.
    void open(std::optional<qsizetype> row)
    {
        dialog = std::make_unique<AccountEditorDialog>(accounts, row, dialogs);
        dialog->show();
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }
    QLineEdit* box(const char* name) { return dialog->findChild<QLineEdit*>(QLatin1String(name)); }
    QPushButton* ok() { return dialog->findChild<QPushButton*>(QStringLiteral("butOK")); }
    void fill(const QString& title)
    {
        box("txtTitle")->setText(title);
        box("txtHost")->setText(QStringLiteral("127.0.0.1"));
        box("txtUser")->setText(QStringLiteral("me"));
        box("txtPassword")->setText(QStringLiteral("pw"));
    }

    AccountTable accounts { makeAccount(QStringLiteral("Home"), QStringLiteral("P11")),
        makeAccount(QStringLiteral("Work"), QStringLiteral("P22")) };
    ScriptedDialogService dialogs;
    std::unique_ptr<AccountEditorDialog> dialog;
};

} // namespace

TEST_F(AccountEditorTest, OkIsEnabledOnlyWhileAllFiveTextsAreFilled)
{
    open(std::nullopt);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Add New e-mail Account"));
    EXPECT_EQ(ok()->text(), QStringLiteral("&OK"));
    EXPECT_EQ(box("txtPort")->text(), QStringLiteral("995"));
    EXPECT_EQ(box("txtPassword")->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(ok()->isEnabled());
    QStringList labels;
    for (const char* name : { "lblTitle", "lblHost", "lblUser", "lblPassword", "lblPort" })
        labels.append(dialog->findChild<QLabel*>(QLatin1String(name))->text());
    EXPECT_EQ(labels,
        QStringList({ QStringLiteral("Account &Title : "), QStringLiteral("Mail &Host : "),
            QStringLiteral("&Username : "), QStringLiteral("Pass&word : "), QStringLiteral("&Port : ") }));
    fill(QStringLiteral("New"));
    EXPECT_TRUE(ok()->isEnabled());
    for (const char* name : { "txtTitle", "txtHost", "txtUser", "txtPassword", "txtPort" }) {
        const QString kept = box(name)->text();
        box(name)->clear();
        EXPECT_FALSE(ok()->isEnabled()) << name;
        box(name)->setText(kept);
        EXPECT_TRUE(ok()->isEnabled()) << name;
    }
}

TEST_F(AccountEditorTest, LeadingSpacesCannotBeTypedButCanBePasted)
{
    open(std::nullopt);
    QLineEdit* title = box("txtTitle");
    title->setFocus();
    QTest::keyClicks(title, QStringLiteral("  a  b"));
    EXPECT_EQ(title->text(), QStringLiteral("a  b"));
    // At the start, or after blanks only, a space is dropped; other keys are not.
    title->setText(QStringLiteral("  x"));
    title->setCursorPosition(2);
    QTest::keyClick(title, Qt::Key_Space);
    EXPECT_EQ(title->text(), QStringLiteral("  x"));
    QTest::keyClicks(title, QStringLiteral("y"));
    EXPECT_EQ(title->text(), QStringLiteral("  yx"));
    // The whole text is selected on focus, so a typed space would replace it from position 0.
    title->setText(QStringLiteral("abc"));
    title->selectAll();
    QTest::keyClick(title, Qt::Key_Space);
    EXPECT_EQ(title->text(), QStringLiteral("abc"));

    QLineEdit* password = box("txtPassword");
    password->setFocus();
    QTest::keyClicks(password, QStringLiteral(" pw"));
    EXPECT_EQ(password->text(), QStringLiteral("pw"));
    password->clear();
    password->insert(QStringLiteral("  pasted"));
    EXPECT_EQ(password->text(), QStringLiteral("  pasted"));
}

TEST_F(AccountEditorTest, FocusSelectsTheWholeText)
{
    open(0);
    box("txtHost")->setFocus(Qt::MouseFocusReason);
    ORMISK_WAIT_EQ(box("txtHost")->selectedText(), QStringLiteral("127.0.0.1"));
}

TEST_F(AccountEditorTest, DuplicateTitleIsRefusedCaseSensitively)
{
    open(std::nullopt);
    fill(QStringLiteral("Work"));
    box("txtHost")->setFocus();
    QTest::mouseClick(ok(), Qt::LeftButton);
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].title, QStringLiteral("Ormisk"));
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Account Title already exist."));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), box("txtTitle"));
    EXPECT_FALSE(dialog->confirmed().has_value());

    box("txtTitle")->setText(QStringLiteral("work"));
    box("txtPort")->setText(QStringLiteral("995"));
    QTest::mouseClick(ok(), Qt::LeftButton);
    EXPECT_EQ(dialogs.shown.size(), 1);
    EXPECT_FALSE(dialog->isVisible());
    ASSERT_TRUE(dialog->confirmed().has_value());
    const AccountRecord& added = *dialog->confirmed();
    EXPECT_EQ(added.Title, QStringLiteral("work"));
    EXPECT_EQ(added.Port, 995);
    EXPECT_TRUE(added.NodeKey.isEmpty()) << "the caller draws the key of a new account";
    EXPECT_EQ(accounts.size(), 2);
}

TEST_F(AccountEditorTest, ModifyingWithoutChangingTheTitleKeepsTheNodeKey)
{
    open(1);
    EXPECT_EQ(ok()->text(), QStringLiteral("&Modify"));
    EXPECT_EQ(ok()->toolTip(), QStringLiteral("Click here to apply changes"));
    EXPECT_EQ(box("txtTitle")->text(), QStringLiteral("Work"));
    EXPECT_EQ(box("txtPort")->text(), QStringLiteral("1110"));
    EXPECT_TRUE(ok()->isEnabled());
    box("txtHost")->setText(QStringLiteral("::1"));
    dialog->findChild<QCheckBox*>(QStringLiteral("chkDisabled"))->setChecked(true);
    QTest::mouseClick(ok(), Qt::LeftButton);
    EXPECT_TRUE(dialogs.shown.isEmpty());
    ASSERT_TRUE(dialog->confirmed().has_value());
    EXPECT_EQ(dialog->confirmed()->Host, QStringLiteral("::1"));
    EXPECT_TRUE(dialog->confirmed()->Disabled);
    EXPECT_EQ(dialog->confirmed()->NodeKey, QStringLiteral("P22"));
    EXPECT_EQ(accounts.at(1).Host, QStringLiteral("127.0.0.1")) << "storing it is the caller's business";
}

TEST_F(AccountEditorTest, ClosingTheWindowAfterEditsChangesNothing)
{
    open(0);
    box("txtTitle")->setText(QStringLiteral("Changed"));
    box("txtPort")->setText(QStringLiteral("7"));
    dialog->close();
    EXPECT_FALSE(dialog->confirmed().has_value());

    open(0);
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("butCancel")), Qt::LeftButton);
    EXPECT_FALSE(dialog->confirmed().has_value());
}

TEST_F(AccountEditorTest, PortThatIsNoValidNumberIsRefused)
{
    open(std::nullopt);
    fill(QStringLiteral("New"));
    for (const char* bad : { "abc", "0", "70000", "11O", "-1", "1.5" }) {
        box("txtPort")->setText(QLatin1String(bad));
        QTest::mouseClick(ok(), Qt::LeftButton);
        EXPECT_TRUE(dialog->isVisible()) << bad;
        EXPECT_EQ(QApplication::focusWidget(), box("txtPort")) << bad;
    }
    EXPECT_EQ(dialogs.shown.size(), 6);
    EXPECT_EQ(dialogs.shown.last().title, QStringLiteral("Ormisk"));
    EXPECT_FALSE(dialog->confirmed().has_value());
    box("txtPort")->setText(QStringLiteral("65535"));
    QTest::mouseClick(ok(), Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
    ASSERT_TRUE(dialog->confirmed().has_value());
    EXPECT_EQ(dialog->confirmed()->Port, 65535);
}

TEST_F(AccountEditorTest, SecurityChoiceProposesItsPortAndWarnsOfPlainText)
{
    open(std::nullopt);
    auto* security = dialog->findChild<QComboBox*>(QStringLiteral("cboSecurity"));
    auto* warning = dialog->findChild<QLabel*>(QStringLiteral("lblSecurityWarning"));
    EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("lblSecurity"))->text(), QStringLiteral("&Security : "));
    ASSERT_EQ(security->count(), 3);
    EXPECT_EQ(security->itemText(0), QStringLiteral("SSL/TLS"));
    EXPECT_EQ(security->itemText(1), QStringLiteral("STARTTLS"));
    EXPECT_EQ(security->itemText(2), QStringLiteral("None"));
    EXPECT_EQ(security->currentIndex(), 0);
    EXPECT_FALSE(warning->isVisible());

    security->setCurrentIndex(2);
    EXPECT_EQ(box("txtPort")->text(), QStringLiteral("110"));
    EXPECT_TRUE(warning->isVisible());
    security->setCurrentIndex(1);
    EXPECT_FALSE(warning->isVisible());
    // A port the user typed stays, whatever is chosen afterwards.
    box("txtPort")->setFocus();
    box("txtPort")->selectAll();
    QTest::keyClicks(box("txtPort"), QStringLiteral("1110"));
    security->setCurrentIndex(0);
    EXPECT_EQ(box("txtPort")->text(), QStringLiteral("1110"));
    fill(QStringLiteral("New"));
    QTest::mouseClick(ok(), Qt::LeftButton);
    ASSERT_TRUE(dialog->confirmed().has_value());
    EXPECT_EQ(dialog->confirmed()->Security, AccountSecurity::Tls);
    EXPECT_EQ(dialog->confirmed()->Port, 1110);

    // An account stored without a choice shows none and keeps it unless the user picks one; its
    // own port is no proposal to replace.
    open(0);
    security = dialog->findChild<QComboBox*>(QStringLiteral("cboSecurity"));
    EXPECT_EQ(security->currentIndex(), -1);
    QTest::mouseClick(ok(), Qt::LeftButton);
    EXPECT_EQ(dialog->confirmed()->Security, AccountSecurity::Automatic);
    open(0);
    security = dialog->findChild<QComboBox*>(QStringLiteral("cboSecurity"));
    security->setCurrentIndex(1);
    EXPECT_EQ(box("txtPort")->text(), QStringLiteral("1110"));
    QTest::mouseClick(ok(), Qt::LeftButton);
    EXPECT_EQ(dialog->confirmed()->Security, AccountSecurity::StartTls);
}
