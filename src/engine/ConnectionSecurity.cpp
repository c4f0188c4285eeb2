#include "engine/ConnectionSecurity.h"

#include "pop/PopClient.h"
#include "pop/PopConnection.h"
#include "store/AppState.h"
#include "store/SettingsStore.h"

namespace ormisk {

namespace {

PopClient::TlsMode tlsMode(AccountSecurity security)
{
    switch (security) {
    case AccountSecurity::Tls:
        return PopClient::TlsMode::ImplicitTls;
    case AccountSecurity::StartTls:
        return PopClient::TlsMode::StartTlsRequired;
    case AccountSecurity::None:
        return PopClient::TlsMode::Plain;
    case AccountSecurity::Automatic:
        break;
    }
    return PopClient::TlsMode::Automatic;
}

} // namespace

void ApplyConnectionSecurity(PopComponent& pop, const AccountRecord& account, const Options& options)
{
    auto* client = qobject_cast<PopClient*>(&pop);
    if (!client)
        return;
    client->setTlsMode(tlsMode(account.Security));
    // A server that answers each reply just in time must not hold the check (and every account
    // after it) for days.
    client->setConversationTimeLimit(options.CheckTimeLimit * 1000);
}

bool RememberConnectionSecurity(AppState& state, qint16 index, const PopComponent& pop)
{
    const auto* client = qobject_cast<const PopClient*>(&pop);
    if (!client || index < 1 || index > state.AccountCount())
        return false;
    AccountRecord& account = state.account(index);
    if (account.Security != AccountSecurity::Automatic || !client->isEncrypted())
        return false;
    // Automatic speaks TLS from the first byte exactly on the TLS port; elsewhere TLS came by STLS.
    account.Security = account.Port == PopConnection::kImplicitTlsPort ? AccountSecurity::Tls : AccountSecurity::StartTls;
    if (state.store)
        state.accounts.saveSecurity(*state.store, index - 1);
    return true;
}

} // namespace ormisk
