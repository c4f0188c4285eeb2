#include "engine/AccountCheck.h"

#include "engine/CheckedMail.h"
#include "engine/ConnectionSecurity.h"
#include "engine/FailureReason.h"
#include "engine/HeaderText.h"
#include "engine/MailLog.h"
#include "engine/NodeTree.h"
#include "engine/RuleMatching.h"
#include "engine/SeenLists.h"
#include "engine/ShellHost.h"
#include "pop/PopComponent.h"
#include "store/AccountTable.h"
#include "store/AppState.h"

namespace ormisk {

namespace {

// The status after a failed login request: the login itself, or what came before or after it
// (the link, the message count), which must not read as a wrong password.
AccountStatus loginFailureStatus(const PopFailure& failure)
{
    return failure.failed() && !failure.duringLogin() ? AccountStatus::ErrorConnecting : AccountStatus::BadLogin;
}

} // namespace

MailEngine::MailEngine(AppState& state, NodeTree& tree, PopComponent& pop, ShellHost& host, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_tree(tree)
    , m_pop(pop)
    , m_host(host)
    , m_requests(pop)
{
}

void MailEngine::beginConversation()
{
    m_inConversation = true;
    m_host.setBusyPointer(true);
    m_host.applyMenus();
}

void MailEngine::endConversation()
{
    m_inConversation = false;
    m_host.applyMenus();
    m_host.setBusyPointer(false);
}

QCoro::Task<MailCounts> MailEngine::CheckAccount()
{
    MailCounts counts;
    if (m_inConversation)
        co_return counts;
    const QString accountKey = m_tree.selected();
    if (accountKey.isEmpty())
        co_return counts;
    // The title comes from the index the caller set; every other field from the selected node's
    // account. Callers keep the two in step.
    const qint16 callerIndex = m_state.CurrentAccount;
    const qint16 index = FindAccountByKey(m_state, accountKey);
    m_state.CurrentAccount = index;
    if (index < 1)
        co_return counts;
    const AccountRecord& account = m_state.account(index);
    const QString title = callerIndex >= 1 && callerIndex <= m_state.AccountCount() ? m_state.account(callerIndex).Title
                                                                                    : account.Title;
    if (account.Disabled)
        co_return counts;

    beginConversation();
    // Filled here and kept once the conversation is over: nothing the user does during the waits
    // can then take it away from under the check. Until then the account shows no listing.
    m_listings.remove(accountKey);
    AccountListing listing;
    listing.title = title;
    auto setStatus = [&](AccountStatus status) {
        listing.status = status;
        m_tree.setText(accountKey, AccountText(listing));
    };
    // The account is read before the first wait: the table may change while the check waits.
    m_pop.setRemoteHost(account.Host);
    m_pop.setRemotePort(account.Port);
    m_pop.setUserId(account.User);
    m_pop.setPassword(account.Password);
    ApplyConnectionSecurity(m_pop, account, m_state.options);
    const QString host = account.Host;
    const qint32 port = account.Port;
    // The status texts stay short; the reason goes beside them, in the tool tip.
    m_failures.remove(accountKey);
    m_tree.setToolTip(accountKey, QString());
    auto failed = [&](AccountStatus status, const QString& step) {
        setStatus(status);
        const QString reason
            = FailureReason(m_pop.lastFailure(), host, port, step, m_pop, m_state.options.CheckTimeLimit);
        m_tree.setToolTip(accountKey, reason);
        m_failures.insert(accountKey, AccountFailure { title, reason });
    };

    m_tree.setExpanded(accountKey, false);
    setStatus(AccountStatus::Connecting);
    if (co_await m_requests.connect() != WaitEnd::Success) {
        failed(AccountStatus::ErrorConnecting, QStringLiteral("connecting"));
    } else {
        RememberConnectionSecurity(m_state, index, m_pop);
        setStatus(AccountStatus::Connected);
        setStatus(AccountStatus::Verifying);
        if (co_await m_requests.authenticate() != WaitEnd::Success) {
            failed(loginFailureStatus(m_pop.lastFailure()), QStringLiteral("logging in"));
        } else {
            setStatus(AccountStatus::Passed);
            listing.count = std::max(m_pop.messageCount(), 0);
            if (listing.count == 0) {
                setStatus(AccountStatus::NoMessages);
            } else {
                setStatus(AccountStatus::Listing);
                // The server's count is not trusted with memory: a claim beyond a million
                // messages reserves no more than that (and untouched, it costs no memory).
                listing.messages.reserve(std::min(listing.count, 1 << 20));
                MailLog log;
                if (!m_state.options.LogDisabled)
                    log.open(m_state, title);
                qint32 display = 0;
                for (qint32 number = 1; number <= listing.count && !timeLimitReached(); ++number) {
                    // The server renumbers nothing until the conversation ends, but the next
                    // conversation will: the display number of a message a filter chose is given
                    // to the next one.
                    if (!co_await checkMessage(listing, accountKey, ++display, log, counts))
                        --display;
                }
                // Past the time limit the conversation is gone: the messages listed so far stay,
                // the rest would only be "Invalid message!" lines.
                if (timeLimitReached())
                    failed(AccountStatus::ErrorConnecting, QStringLiteral("listing the messages"));
                else
                    setStatus(AccountStatus::Listed);
                log.close();
            }
        }
    }

    co_await m_requests.close();
    m_listings.insert(accountKey, std::move(listing));
    // The server removes messages only when it answers QUIT: a conversation that ended any other
    // way left every filtered message where it was.
    if (m_pop.lastFailure().failed()) {
        forEachMessage(accountKey, [&](CheckedMessage& m, const QString& key) {
            if (m.state == MessageState::Filtered) {
                m.state = MessageState::DeletionRefused;
                m_tree.setText(key, MessageText(m));
            }
        });
    }
    endConversation();
    co_return counts;
}

const AccountListing* MailEngine::listing(const QString& accountKey) const
{
    const auto it = m_listings.constFind(accountKey);
    return it == m_listings.cend() ? nullptr : &*it;
}

AccountListing* MailEngine::listing(const QString& accountKey)
{
    const auto it = m_listings.find(accountKey);
    return it == m_listings.end() ? nullptr : &*it;
}

const CheckedMessage* MailEngine::message(const QString& messageKey) const
{
    const QString accountKey = m_tree.parent(messageKey);
    const AccountListing* owner = listing(accountKey);
    if (!owner)
        return nullptr;
    qsizetype index = 0;
    for (QString key = m_tree.firstChild(accountKey); !key.isEmpty(); key = m_tree.next(key), ++index) {
        if (key == messageKey)
            return index < owner->messages.size() ? &owner->messages[index] : nullptr;
    }
    return nullptr;
}

void MailEngine::forEachMessage(
    const QString& accountKey, const std::function<void(CheckedMessage&, const QString&)>& show)
{
    AccountListing* owner = listing(accountKey);
    if (!owner)
        return;
    QString key = m_tree.firstChild(accountKey);
    for (qsizetype i = 0; i < owner->messages.size() && !key.isEmpty(); ++i, key = m_tree.next(key))
        show(owner->messages[i], key);
}

qint32 MailEngine::waitingShown() const
{
    qint32 waiting = 0;
    for (const AccountListing& listing : m_listings) {
        for (const CheckedMessage& message : listing.messages) {
            const bool headerRead = message.state == MessageState::New || message.state == MessageState::Unread
                || message.state == MessageState::Read;
            if (headerRead && !message.deletedByUser)
                ++waiting;
        }
    }
    return waiting;
}

bool MailEngine::timeLimitReached() const
{
    return m_pop.isClosed() && m_pop.lastFailure().reason == PopFailure::Reason::TimeLimit;
}

QCoro::Task<bool> MailEngine::checkMessage(
    AccountListing& listing, const QString& accountKey, qint32 display, MailLog& log, MailCounts& counts)
{
    const qint32 number = AccountListing::serverNumber(listing.messages.size());
    // Nothing else adds to the check's list, so the reference stays valid across the waits.
    CheckedMessage& m = listing.messages.emplace_back();
    const QString key = NewMessageKey(m_state, m_tree);
    m.display = display;
    // Rendered only for a tree that keeps it: `--once` prints from the value after the check.
    const bool rendered = m_tree.keepsChildTexts();
    auto show = [&] {
        if (rendered)
            m_tree.setText(key, MessageText(m));
    };
    m_tree.add(accountKey, key, rendered ? MessageText(m) : QString(), Image::NewMail);
    if (m_state.options.AutoExpand) {
        m_tree.setExpanded(accountKey, true);
        m_tree.ensureVisible(key);
    }
    m_tree.setTag(key, QString());
    if (m_pop.isClosed()) {
        m.state = MessageState::Invalid;
        show();
        co_return true;
    }

    const SizeAnswer sized = co_await m_requests.messageSize(number);
    if (sized.end != WaitEnd::Success) {
        m.state = MessageState::Invalid;
        show();
        co_return true;
    }
    listing.total += sized.size;
    m.size = sized.size;
    m.state = MessageState::Sized;
    show();

    const HeaderAnswer headed = co_await m_requests.header(number);
    if (headed.end != WaitEnd::Success) {
        m.state = MessageState::HeaderFailed;
        show();
        co_return true;
    }
    QString header;
    CaptureDocOutput(headed.doc, header);
    const QString* seenEntry = FindSeen(m_state, header);
    const bool seen = seenEntry != nullptr;
    // A message shown before keeps the seen list's copy of its header when the two are the same
    // text: with 100,000 messages on display, the tree and the seen list would otherwise hold
    // every header twice.
    if (seen && *seenEntry == header)
        header = *seenEntry;
    m.header = header;
    m.state = seen ? MessageState::Unread : MessageState::New;
    show();
    m_tree.setTag(key, m.header);

    const bool filtered = MatchFilters(m_state, header);
    ++counts.waiting;
    if (filtered) {
        m.state = MessageState::Filtered;
        show();
        m_tree.setImage(key, Image::Deleted);
        if (!(co_await m_requests.deleteMessage(number)).confirmed) {
            m.state = MessageState::DeletionRefused;
            show();
        }
        co_return false;
    }
    if (seen) {
        if (IsRead(m_state, header)) {
            m.state = MessageState::Read;
            m_tree.setImage(key, Image::Mail);
        } else {
            ++counts.newMail;
        }
    } else {
        if (!m_state.options.LogDisabled)
            log.write(header);
        ++counts.unseen;
        ++counts.newMail;
    }
    co_return true;
}

} // namespace ormisk
