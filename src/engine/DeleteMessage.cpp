#include "engine/DeleteMessage.h"

#include "engine/AccountCheck.h"
#include "engine/ConnectionSecurity.h"
#include "engine/HeaderText.h"
#include "engine/NodeTree.h"
#include "engine/PollScheduler.h"
#include "engine/SeenLists.h"
#include "engine/TreeOps.h"
#include "pop/PopComponent.h"
#include "store/AccountTable.h"
#include "store/AppState.h"

namespace ormisk {

namespace {

// The number is the one the last check showed, but another mail program may have removed mail
// since, and the server then gives that number to a different message. Deleting by number
// alone would destroy mail the user never chose, so the header under the number must still be
// the node's. A node without a header (its request failed in the check) has nothing to compare
// and is deleted by its number, as shown.
QCoro::Task<bool> stillTheSameMessage(MailEngine& engine, QString shown, qint32 number)
{
    if (shown.isEmpty())
        co_return true;
    const HeaderAnswer headed = co_await engine.requests().header(number);
    if (headed.end != WaitEnd::Success)
        co_return false;
    QString header;
    CaptureDocOutput(headed.doc, header);
    const QString identity = MessageIdentity(shown);
    co_return identity.isEmpty() ? header == shown : MessageIdentity(header) == identity;
}

// The message is gone from the server, which numbers every later message one lower.
void renumberAfter(MailEngine& engine, const QString& accountKey, const QString& messageKey)
{
    NodeTree& tree = engine.tree();
    bool after = false;
    engine.forEachMessage(accountKey, [&](CheckedMessage& m, const QString& key) {
        if (key == messageKey) {
            m.deletedByUser = true;
            tree.setImage(key, Image::Deleted);
        } else if (!after || !m.isLive()) {
            return;
        } else {
            --m.display;
        }
        after = true;
        tree.setText(key, MessageText(m));
    });
}

} // namespace

QCoro::Task<> DeleteMessage(MailEngine& engine, PollScheduler& scheduler)
{
    AppState& s = engine.state();
    NodeTree& tree = engine.tree();
    PopComponent& pop = engine.pop();
    const QString messageKey = tree.selected();
    if (messageKey.isEmpty() || !isMessageKey(messageKey) || engine.inConversation())
        co_return;
    const CheckedMessage* message = engine.message(messageKey);
    const QString accountKey = tree.parent(messageKey);
    const qint16 index = FindAccountByKey(s, accountKey);
    // Only a live message carries a number; an account it belongs to is always found.
    if (!message || !message->isLive() || message->display < 1 || index < 1)
        co_return;
    const qint32 n = message->display;
    const QString header = message->header;

    DialogPause pause(scheduler);
    engine.beginConversation();
    s.CurrentAccount = index;
    const AccountRecord& account = s.account(index);
    const QString title = account.Title;
    tree.setSelected(accountKey);
    const QString savedText = tree.text(accountKey);

    pop.setRemoteHost(account.Host);
    pop.setRemotePort(account.Port);
    pop.setUserId(account.User);
    pop.setPassword(account.Password);
    ApplyConnectionSecurity(pop, account, s.options);
    const QString number = QString::number(n);
    const QString refused = QStringLiteral(" --- Error deleting message #") + number;
    tree.setText(accountKey, title + QStringLiteral(" --- Deleting message #") + number);

    PopAwait& requests = engine.requests();
    bool deleted = false;
    if (co_await requests.connect() != WaitEnd::Success) {
        tree.setText(accountKey, title + Status::ErrorConnecting);
    } else {
        if (co_await requests.authenticate() != WaitEnd::Success) {
            const PopFailure failure = pop.lastFailure();
            tree.setText(accountKey,
                title + (failure.failed() && !failure.duringLogin() ? Status::ErrorConnecting : Status::BadLogin));
        } else if (!co_await stillTheSameMessage(engine, header, n)) {
            tree.setText(accountKey, title + refused);
        } else if ((co_await requests.deleteMessage(n)).end != WaitEnd::Success) {
            tree.setText(accountKey, title + refused);
        } else {
            // The server removes the message only when QUIT is answered: until then nothing is
            // shown as deleted. A QUIT refused or cut off leaves the message where it was.
            pop.quit();
            co_await untilIdle(pop);
            deleted = !pop.lastFailure().failed();
            if (!deleted)
                tree.setText(accountKey, title + refused);
        }
    }
    co_await requests.close();

    if (deleted) {
        tree.setText(accountKey, savedText);
        renumberAfter(engine, accountKey, messageKey);
    }
    engine.endConversation();
}

} // namespace ormisk
