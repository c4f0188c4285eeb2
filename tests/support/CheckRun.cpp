#include "support/CheckRun.h"

#include "engine/AccountCheck.h"
#include "engine/MemoryTree.h"
#include "engine/ShellHost.h"
#include "engine/TreeOps.h"
#include "pop/PopClient.h"
#include "store/AppState.h"
#include "support/PopRecorder.h"

namespace ormisk::testing {

CheckOutcome runCheck(PopComponent& pop, const QString& host, quint16 port, const QString& user,
    const QString& password, qint32 checkTimeLimit)
{
    AppState state;
    state.options.LogDisabled = true;
    if (checkTimeLimit > 0)
        state.options.CheckTimeLimit = checkTimeLimit;
    AccountRecord account;
    account.Title = QStringLiteral("Box");
    account.Host = host;
    account.Port = port;
    account.User = user;
    account.Password = password;
    account.NodeKey = QStringLiteral("P1");
    // The check sets the client's TLS mode from the account: a mode the test gave the client
    // becomes the account's choice.
    if (const auto* client = qobject_cast<const PopClient*>(&pop)) {
        switch (client->tlsMode()) {
        case PopClient::TlsMode::Plain:
            account.Security = AccountSecurity::None;
            break;
        case PopClient::TlsMode::ImplicitTls:
            account.Security = AccountSecurity::Tls;
            break;
        case PopClient::TlsMode::StartTlsRequired:
            account.Security = AccountSecurity::StartTls;
            break;
        case PopClient::TlsMode::Automatic:
            break;
        }
    }
    state.accounts.append(account);
    MemoryTree tree;
    NullShellHost host_;
    MailEngine engine(state, tree, pop, host_);
    PopRecorder recorder(pop);

    AddAccountNode(state, tree, 1, QStringLiteral(" --- Checking..."));
    tree.setSelected(account.NodeKey);
    state.CurrentAccount = 1;
    QCoro::waitFor(engine.CheckAccount());

    CheckOutcome out;
    out.accountText = tree.text(account.NodeKey);
    for (QString k = tree.firstChild(account.NodeKey); !k.isEmpty(); k = tree.next(k)) {
        out.messageTexts << tree.text(k);
        out.headerTags << tree.tag(k);
    }
    out.events = recorder.log;
    out.eventWhileIdle = recorder.eventWhileIdle;
    return out;
}

} // namespace ormisk::testing
