#include "store/AccountTable.h"

#include "store/AppState.h"
#include "store/Random.h"
#include "store/Scramble.h"
#include "store/SettingsStore.h"

#include <QSet>

#include <algorithm>

namespace ormisk {

namespace {
QString itemKey(const char* field, qsizetype item) { return QLatin1String(field) + QString::number(item); }

// Random draws find a free key at once for any real table; the walk afterwards guarantees an end
// when nearly every key is taken (a damaged "Total" asks for tens of thousands of accounts).
QString drawAccountKey(QRandomGenerator& random, const QSet<QString>& used)
{
    constexpr int kHighest = 32766;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const int n = static_cast<int>(NextRandom(random) * float(kHighest) + 1.0f);
        const QString candidate = QLatin1Char('P') + QString::number(n);
        if (!used.contains(candidate))
            return candidate;
    }
    for (int n = 1; n <= kHighest; ++n) {
        const QString candidate = QLatin1Char('P') + QString::number(n);
        if (!used.contains(candidate))
            return candidate;
    }
    return {};
}
} // namespace

void AccountTable::load(const SettingsStore& store, QRandomGenerator& random)
{
    const QString& s = Section::Accounts;
    // More accounts than there are node keys is a damaged file: the rest could never be shown.
    constexpr qint16 kMostAccounts = 32766;
    const qint16 count
        = std::min(SettingsStore::toCount(store.read(s, QStringLiteral("Total"), QStringLiteral("0"))), kMostAccounts);
    m_rows.clear();
    m_rows.reserve(count);
    // The keys drawn so far are kept in a set: scanning the table for every draw would make a
    // large table take minutes.
    QSet<QString> keys;
    for (qsizetype item = 1; item <= count; ++item) {
        AccountRecord a;
        a.Title = store.read(s, itemKey("Title", item));
        a.Host = store.read(s, itemKey("Host", item));
        a.User = store.read(s, itemKey("User", item));
        a.Password = UnscrambleText(store.read(s, itemKey("Password", item)));
        // A port or flag that does not convert (a hand-edited file) falls back to its natural
        // default so the remaining accounts still load.
        a.Port = SettingsStore::toInt32(store.read(s, itemKey("Port", item)), 110);
        a.Disabled = SettingsStore::toBool(store.read(s, itemKey("Disabled", item)), false);
        a.Security = SecurityFromText(store.read(s, itemKey("Security", item)));
        a.NodeKey = drawAccountKey(random, keys);
        keys.insert(a.NodeKey);
        m_rows.append(a);
    }
}

void AccountTable::save(SettingsStore& store) const
{
    const QString& s = Section::Accounts;
    store.write(s, QStringLiteral("Total"), QString::number(size()));
    for (qsizetype row = 0; row < size(); ++row) {
        const AccountRecord& a = at(row);
        const qsizetype item = row + 1;
        store.write(s, itemKey("Title", item), a.Title);
        store.write(s, itemKey("Host", item), a.Host);
        store.write(s, itemKey("User", item), a.User);
        store.write(s, itemKey("Password", item), a.PasswordInKeyring ? QString() : ScrambleText(a.Password));
        store.write(s, itemKey("Port", item), QString::number(a.Port));
        store.write(s, itemKey("Disabled", item), SettingsStore::fromBool(a.Disabled));
        // Written even when automatic: the key of a deleted account's row must not pass its
        // choice on to the account that moves into that row.
        store.write(s, itemKey("Security", item), SecurityText(a.Security));
    }
    store.sync();
}

void AccountTable::saveSecurity(SettingsStore& store, qsizetype row) const
{
    if (row < 0 || row >= size())
        return;
    store.write(Section::Accounts, itemKey("Security", row + 1), SecurityText(at(row).Security));
    store.sync();
}

qsizetype AccountTable::indexOfKey(const QString& key) const
{
    const auto found = std::find_if(begin(), end(), [&](const AccountRecord& a) { return a.NodeKey == key; });
    return found == end() ? -1 : std::distance(begin(), found);
}

QString AccountTable::newKey(QRandomGenerator& random) const
{
    QSet<QString> keys;
    for (const AccountRecord& a : *this)
        keys.insert(a.NodeKey);
    return drawAccountKey(random, keys);
}

QString SecurityText(AccountSecurity security)
{
    switch (security) {
    case AccountSecurity::Tls:
        return QStringLiteral("TLS");
    case AccountSecurity::StartTls:
        return QStringLiteral("STARTTLS");
    case AccountSecurity::None:
        return QStringLiteral("None");
    case AccountSecurity::Automatic:
        break;
    }
    return {};
}

AccountSecurity SecurityFromText(const QString& text)
{
    // Letter case is forgiven: a hand-edited "tls" must not quietly fall back to automatic.
    for (const AccountSecurity s : { AccountSecurity::Tls, AccountSecurity::StartTls, AccountSecurity::None }) {
        if (text.trimmed().compare(SecurityText(s), Qt::CaseInsensitive) == 0)
            return s;
    }
    return AccountSecurity::Automatic;
}

qint16 FindAccountByKey(const AppState& state, const QString& key)
{
    return static_cast<qint16>(state.accounts.indexOfKey(key) + 1);
}

} // namespace ormisk
