#include "store/AccountTable.h"

#include "store/AppState.h"
#include "store/Scramble.h"
#include "store/SettingsStore.h"

#include <QSet>

#include <algorithm>

namespace ormisk {

namespace {
QString itemKey(const char* field, int i)
{
    return QLatin1String(field) + QString::number(i);
}

// Random draws find a free key at once for any real table; the walk afterwards guarantees an end
// when nearly every key is taken (a damaged "Total" asks for tens of thousands of accounts).
template<typename Used>
QString drawAccountKey(AppState& state, const Used& used)
{
    constexpr int kHighest = 32766;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const int n = static_cast<int>(state.nextRandom() * float(kHighest) + 1.0f);
        const QString candidate = QLatin1Char('P') + QString::number(n);
        if (!used(candidate))
            return candidate;
    }
    for (int n = 1; n <= kHighest; ++n) {
        const QString candidate = QLatin1Char('P') + QString::number(n);
        if (!used(candidate))
            return candidate;
    }
    return {};
}
} // namespace

void LoadAccounts(const SettingsStore& store, AppState& state)
{
    const QString& s = Section::Accounts;
    // More accounts than there are node keys is a damaged file: the rest could never be shown.
    constexpr qint16 kMostAccounts = 32766;
    const qint16 count
        = std::min(SettingsStore::toCount(store.read(s, QStringLiteral("Total"), QStringLiteral("0"))), kMostAccounts);
    state.AccountTable.clear();
    if (count == 0)
        return;
    // The table has its final size while keys are drawn; records not yet loaded hold an empty key
    // and never clash.
    state.AccountTable.resize(count);
    QSet<QString> keys;
    for (int i = 1; i <= count; ++i) {
        AccountRecord& a = state.account(i);
        a.Title = store.read(s, itemKey("Title", i));
        a.Host = store.read(s, itemKey("Host", i));
        a.User = store.read(s, itemKey("User", i));
        a.Password = UnscrambleText(store.read(s, itemKey("Password", i)));
        // A port or flag that does not convert (a hand-edited file) falls back to its natural
        // default so the remaining accounts still load.
        a.Port = SettingsStore::toInt32(store.read(s, itemKey("Port", i)), 110);
        a.Disabled = SettingsStore::toBool(store.read(s, itemKey("Disabled", i)), false);
        // The keys drawn so far are kept in a set: scanning the table for every draw would make a
        // large table take minutes.
        a.NodeKey = drawAccountKey(state, [&](const QString& candidate) { return keys.contains(candidate); });
        keys.insert(a.NodeKey);
    }
}

void SaveAccounts(SettingsStore& store, const AppState& state)
{
    const QString& s = Section::Accounts;
    store.write(s, QStringLiteral("Total"), QString::number(state.AccountCount()));
    for (int i = 1; i <= state.AccountCount(); ++i) {
        const AccountRecord& a = state.account(i);
        store.write(s, itemKey("Title", i), a.Title);
        store.write(s, itemKey("Host", i), a.Host);
        store.write(s, itemKey("User", i), a.User);
        store.write(s, itemKey("Password", i), ScrambleText(a.Password));
        store.write(s, itemKey("Port", i), QString::number(a.Port));
        store.write(s, itemKey("Disabled", i), SettingsStore::fromBool(a.Disabled));
    }
    store.sync();
}

QString NewAccountKey(AppState& state)
{
    QSet<QString> keys;
    for (const AccountRecord& a : std::as_const(state.AccountTable))
        keys.insert(a.NodeKey);
    return drawAccountKey(state, [&](const QString& candidate) { return keys.contains(candidate); });
}

qint16 FindAccountByKey(const AppState& state, const QString& key)
{
    for (int i = 1; i <= state.AccountCount(); ++i) {
        if (state.account(i).NodeKey == key)
            return static_cast<qint16>(i);
    }
    return 0;
}

void RemoveAccount(AppState& state, int index)
{
    if (index >= 1 && index <= state.AccountCount())
        state.AccountTable.removeAt(index - 1);
}

} // namespace ormisk
