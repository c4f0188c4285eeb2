// A damaged "Total" asks for more accounts than there are node keys: the load must end, with
// every account it keeps holding its own key.
#include "store/AccountTable.h"
#include "store/AppState.h"
#include "store/SettingsStore.h"

#include <QElapsedTimer>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ormisk;

TEST(DamagedAccountCount, MoreAccountsThanKeysLoadsTheKeySpaceAndEnds)
{
    QTemporaryDir dir;
    SettingsStore store(dir.filePath(QStringLiteral("Ormisk.conf")));
    store.write(Section::Accounts, QStringLiteral("Total"), QStringLiteral("32767"));
    store.write(Section::Accounts, QStringLiteral("Title1"), QStringLiteral("First"));
    AppState state;
    state.random.seed(7);
    QElapsedTimer clock;
    clock.start();
    state.accounts.load(store, state.random);
    EXPECT_LT(clock.elapsed(), 30000);
    ASSERT_EQ(state.AccountCount(), 32766);
    EXPECT_EQ(state.account(1).Title, QStringLiteral("First"));
    QSet<QString> keys;
    for (const AccountRecord& a : std::as_const(state.accounts)) {
        EXPECT_FALSE(a.NodeKey.isEmpty());
        keys.insert(a.NodeKey);
    }
    EXPECT_EQ(keys.size(), 32766) << "every key is unique";
    // With the key space full, a new account gets no key rather than a duplicate, and at once.
    EXPECT_EQ(state.accounts.newKey(state.random), QString());
}
