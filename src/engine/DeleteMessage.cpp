#include "engine/DeleteMessage.h"

#include "engine/HeaderText.h"

#include "engine/AccountCheck.h"
#include "engine/ConnectionSecurity.h"
#include "engine/NodeTree.h"
#include "engine/PollScheduler.h"
#include "engine/SeenLists.h"
#include "engine/TreeOps.h"
#include "pop/PopComponent.h"
#include "store/AccountTable.h"
#include "store/AppState.h"

#include <limits>

namespace ormisk {

namespace {

// The display number of a message node: the digits after its first character, up to its first
// blank (blanks before the digits are skipped, anything else ends the number).
qint32 displayNumber(const QString& text)
{
    const qsizetype blank = text.indexOf(QLatin1Char(' '));
    if (blank < 1)
        return 0;
    qint64 n = 0;
    for (const QChar c : text.mid(1, blank - 1)) {
        if (c == QLatin1Char(' ') && n == 0)
            continue;
        if (!c.isDigit() || c.unicode() > u'9')
            break;
        n = n * 10 + (c.unicode() - u'0');
        if (n > std::numeric_limits<qint32>::max())
            return 0;
    }
    return static_cast<qint32>(n);
}

QString fromFirstBlank(const QString& text)
{
    const qsizetype blank = text.indexOf(QLatin1Char(' '));
    return blank < 0 ? QString() : text.mid(blank);
}

// The number is the one the last check showed, but another mail program may have removed mail
// since, and the server then gives that number to a different message. Deleting by number
// alone would destroy mail the user never chose, so the header under the number must still be
// the node's. A node without a header (its request failed in the check) has nothing to compare
// and is deleted by its number, as shown.
QCoro::Task<bool> stillTheSameMessage(MailEngine& engine, QString tag, qint32 number)
{
    if (tag.isEmpty())
        co_return true;
    const HeaderAnswer headed = co_await engine.requests().header(number);
    if (headed.end != WaitEnd::Success)
        co_return false;
    QString header;
    CaptureDocOutput(headed.doc, header);
    const QString identity = MessageIdentity(tag);
    co_return identity.isEmpty() ? header == tag : MessageIdentity(header) == identity;
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
    const QString text = tree.text(messageKey);
    const qint32 n = displayNumber(text);
    const QString accountKey = tree.parent(messageKey);
    const qint16 index = FindAccountByKey(s, accountKey);
    // Only a live message node carries a number; an account it belongs to is always found.
    if (n < 1 || index < 1 || tree.image(messageKey) == Image::Deleted)
        co_return;

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
        } else if (!co_await stillTheSameMessage(engine, tree.tag(messageKey), n)) {
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
        tree.setImage(messageKey, Image::Deleted);
        tree.setText(messageKey, QStringLiteral("(Deleted)") + fromFirstBlank(text));
        int skipped = 1;
        const int siblings = tree.children(accountKey);
        QString node = messageKey;
        for (int k = n + 1; k <= siblings; ++k) {
            node = tree.next(node);
            if (node.isEmpty())
                break;
            if (tree.image(node) == Image::Deleted) {
                ++skipped;
                continue;
            }
            tree.setText(node, QLatin1Char('#') + QString::number(k - skipped) + fromFirstBlank(tree.text(node)));
        }
    }
    engine.endConversation();
}

} // namespace ormisk
