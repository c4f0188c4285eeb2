#include "store/AccountTable.h"
#include "store/AppState.h"
#include "store/Scramble.h"
#include "store/SettingsStore.h"

#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ormisk;

namespace {

AccountRecord account(const QString& title, const QString& password = QStringLiteral("pw"))
{
    AccountRecord a;
    a.Title = title;
    a.Host = title.toLower() + QStringLiteral(".example.org");
    a.User = QStringLiteral("user-") + title;
    a.Password = password;
    a.Port = 995;
    return a;
}

} // namespace

TEST(Scramble, FollowsTheDocumentedShiftAndReverses)
{
    // Position 0: 'a' (97) with key 'k' (107): 32 + ((65 + 75 + 0) mod 95) = 77 = 'M'.
    EXPECT_EQ(ScrambleText(QStringLiteral("a")), QStringLiteral("M"));
    // Position 1 of "aa": key '9' (57): 32 + ((65 + 25 + 1) mod 95) = 123 = '{'.
    EXPECT_EQ(ScrambleText(QStringLiteral("aa")), QStringLiteral("M{"));
    EXPECT_EQ(ScrambleText(QString()), QString());

    QString printable;
    for (int c = 32; c <= 126; ++c)
        printable += QChar(c);
    const QStringList samples = { printable, printable + printable, QStringLiteral("Grüße, 日本 – ☃ pass word "),
        QStringLiteral("tab\tand\nnewline"), QStringLiteral("          ") };
    for (const QString& s : samples) {
        const QString scrambled = ScrambleText(s);
        EXPECT_EQ(scrambled.size(), s.size());
        EXPECT_EQ(UnscrambleText(scrambled), s);
        for (int i = 0; i < s.size(); ++i) {
            if (s[i].unicode() < 32 || s[i].unicode() > 126)
                EXPECT_EQ(scrambled[i], s[i]) << "non-printable characters stay as they are";
            else
                EXPECT_TRUE(scrambled[i].unicode() >= 32 && scrambled[i].unicode() <= 126);
        }
    }
}

TEST(AccountTable, SaveLoadRoundTripWithAndWithoutPasswords)
{
    QTemporaryDir dir;
    SettingsStore store(dir.filePath(QStringLiteral("Ormisk.conf")));
    AppState s;
    s.accounts = { account(QStringLiteral("Work"), QStringLiteral(" sp@ce;=\"x\" ")),
        account(QStringLiteral("Home"), QString()) };
    s.accounts[1].Disabled = true;
    s.accounts[1].Port = 110;
    s.accounts.save(store);
    EXPECT_EQ(store.read(Section::Accounts, QStringLiteral("Password2"), QStringLiteral("<none>")), QString());
    EXPECT_NE(store.read(Section::Accounts, QStringLiteral("Password1")), s.accounts[0].Password);
    EXPECT_EQ(store.read(Section::Accounts, QStringLiteral("Disabled2")), QStringLiteral("True"));
    EXPECT_EQ(store.read(Section::Accounts, QStringLiteral("Port1")), QStringLiteral("995"));

    AppState t;
    t.accounts.load(store, t.random);
    ASSERT_EQ(t.AccountCount(), 2);
    for (int i = 1; i <= 2; ++i) {
        EXPECT_EQ(t.account(i).Title, s.account(i).Title);
        EXPECT_EQ(t.account(i).Host, s.account(i).Host);
        EXPECT_EQ(t.account(i).User, s.account(i).User);
        EXPECT_EQ(t.account(i).Password, s.account(i).Password);
        EXPECT_EQ(t.account(i).Port, s.account(i).Port);
        EXPECT_EQ(t.account(i).Disabled, s.account(i).Disabled);
        EXPECT_TRUE(t.account(i).NodeKey.startsWith(QLatin1Char('P')));
        EXPECT_EQ(FindAccountByKey(t, t.account(i).NodeKey), i);
    }
    EXPECT_EQ(FindAccountByKey(t, QStringLiteral("P0")), 0);
}

TEST(AccountTable, DeletingTheThirdOfFiveLeavesStaleItemFive)
{
    QTemporaryDir dir;
    SettingsStore store(dir.filePath(QStringLiteral("Ormisk.conf")));
    AppState s;
    for (const char* t : { "A", "B", "C", "D", "E" })
        s.accounts.append(account(QLatin1String(t)));
    s.accounts.save(store);
    s.accounts.removeAt(2); // the third
    s.accounts.save(store);
    EXPECT_EQ(store.read(Section::Accounts, QStringLiteral("Total")), QStringLiteral("4"));
    EXPECT_EQ(store.read(Section::Accounts, QStringLiteral("Title3")), QStringLiteral("D"));
    EXPECT_EQ(store.read(Section::Accounts, QStringLiteral("Title5")), QStringLiteral("E")) << "stale, never read";
    AppState t;
    t.accounts.load(store, t.random);
    ASSERT_EQ(t.AccountCount(), 4);
    EXPECT_EQ(t.account(4).Title, QStringLiteral("E"));
}

TEST(AccountTable, DamagedValuesFallBackAndTheLoadGoesOn)
{
    QTemporaryDir dir;
    SettingsStore store(dir.filePath(QStringLiteral("Ormisk.conf")));
    store.write(Section::Accounts, QStringLiteral("Total"), QStringLiteral("2"));
    store.write(Section::Accounts, QStringLiteral("Title1"), QStringLiteral("Broken"));
    store.write(Section::Accounts, QStringLiteral("Port1"), QStringLiteral("pop3"));
    store.write(Section::Accounts, QStringLiteral("Disabled1"), QStringLiteral("maybe"));
    store.write(Section::Accounts, QStringLiteral("Title2"), QStringLiteral("Fine"));
    store.write(Section::Accounts, QStringLiteral("Port2"), QStringLiteral("995"));
    AppState t;
    t.accounts.load(store, t.random);
    ASSERT_EQ(t.AccountCount(), 2);
    EXPECT_EQ(t.account(1).Port, 110);
    EXPECT_FALSE(t.account(1).Disabled);
    EXPECT_EQ(t.account(2).Port, 995);

    store.write(Section::Accounts, QStringLiteral("Total"), QStringLiteral("-3"));
    t.accounts.load(store, t.random);
    EXPECT_EQ(t.AccountCount(), 0);
}

TEST(AccountTable, KeysAreUniqueAndWellFormed)
{
    AppState s;
    s.random.seed(7);
    QSet<QString> keys;
    for (int i = 0; i < 3000; ++i) {
        AccountRecord a;
        a.NodeKey = s.accounts.newKey(s.random);
        const int n = a.NodeKey.mid(1).toInt();
        ASSERT_TRUE(n >= 1 && n <= 32766) << qPrintable(a.NodeKey);
        ASSERT_FALSE(keys.contains(a.NodeKey));
        keys.insert(a.NodeKey);
        s.accounts.append(a);
    }
}

TEST(AccountTable, SecurityChoiceRoundTripsAndNeverPassesToTheNextRow)
{
    QTemporaryDir dir;
    SettingsStore store(dir.filePath(QStringLiteral("Ormisk.conf")));
    AppState s;
    for (const char* t : { "A", "B", "C", "D" })
        s.accounts.append(account(QLatin1String(t)));
    s.accounts[0].Security = AccountSecurity::Tls;
    s.accounts[1].Security = AccountSecurity::StartTls;
    s.accounts[2].Security = AccountSecurity::None;
    s.accounts.save(store);
    EXPECT_EQ(store.read(Section::Accounts, QStringLiteral("Security1")), QStringLiteral("TLS"));
    EXPECT_EQ(store.read(Section::Accounts, QStringLiteral("Security2")), QStringLiteral("STARTTLS"));
    EXPECT_EQ(store.read(Section::Accounts, QStringLiteral("Security3")), QStringLiteral("None"));
    AppState t;
    t.accounts.load(store, t.random);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(t.accounts[i].Security, s.accounts[i].Security) << i;

    // The automatic account D moves into row 3, which held "None".
    s.accounts.removeAt(2);
    s.accounts.save(store);
    t.accounts.load(store, t.random);
    EXPECT_EQ(t.accounts[2].Security, AccountSecurity::Automatic);

    // A file from before the choice existed, and hand edits.
    store.write(Section::Accounts, QStringLiteral("Total"), QStringLiteral("5"));
    store.write(Section::Accounts, QStringLiteral("Security1"), QStringLiteral("tls"));
    store.write(Section::Accounts, QStringLiteral("Security2"), QStringLiteral("bogus"));
    t.accounts.load(store, t.random);
    EXPECT_EQ(t.accounts[0].Security, AccountSecurity::Tls);
    EXPECT_EQ(t.accounts[1].Security, AccountSecurity::Automatic);
    EXPECT_EQ(t.accounts[4].Security, AccountSecurity::Automatic) << "no key at all";

    t.accounts[1].Security = AccountSecurity::StartTls;
    t.accounts.saveSecurity(store, 1);
    EXPECT_EQ(store.read(Section::Accounts, QStringLiteral("Security2")), QStringLiteral("STARTTLS"));
    EXPECT_EQ(store.read(Section::Accounts, QStringLiteral("Total")), QStringLiteral("5"));
}
