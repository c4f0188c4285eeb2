#include "engine/AccountCheck.h"

#include "engine/ByteFormat.h"
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

const QString kSubject = QStringLiteral("Subject : ");
const QString kFrom = QStringLiteral("From : ");
const QString kDash = QStringLiteral(" --- ");

// The status after a failed login request: the login itself, or what came before or after it
// (the link, the message count), which must not read as a wrong password.
const QString& loginFailureStatus(const PopFailure& failure)
{
    return failure.failed() && !failure.duringLogin() ? Status::ErrorConnecting : Status::BadLogin;
}

// A size as a message node shows it; an empty message says 0 rather than nothing.
QString messageBytes(qint32 size) { return size == 0 ? QStringLiteral("0") : FormatBytes(size); }

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

QCoro::Task<> MailEngine::CheckAccount()
{
    if (m_inConversation)
        co_return;
    const QString accountKey = m_tree.selected();
    if (accountKey.isEmpty())
        co_return;
    // The title comes from the index the caller set; every other field from the selected node's
    // account. Callers keep the two in step.
    const qint16 callerIndex = m_state.CurrentAccount;
    const qint16 index = FindAccountByKey(m_state, accountKey);
    m_state.CurrentAccount = index;
    if (index < 1)
        co_return;
    const AccountRecord& account = m_state.account(index);
    const QString title = callerIndex >= 1 && callerIndex <= m_state.AccountCount() ? m_state.account(callerIndex).Title
                                                                                    : account.Title;
    if (account.Disabled)
        co_return;

    beginConversation();
    auto setAccountText = [&](const QString& status) { m_tree.setText(accountKey, title + status); };
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
    auto failed = [&](const QString& status, const QString& step) {
        setAccountText(status);
        const QString reason
            = FailureReason(m_pop.lastFailure(), host, port, step, m_pop, m_state.options.CheckTimeLimit);
        m_tree.setToolTip(accountKey, reason);
        m_failures.insert(accountKey, AccountFailure { title, reason });
    };

    m_tree.setExpanded(accountKey, false);
    setAccountText(Status::Connecting);
    if (co_await m_requests.connect() != WaitEnd::Success) {
        failed(Status::ErrorConnecting, QStringLiteral("connecting"));
    } else {
        RememberConnectionSecurity(m_state, index, m_pop);
        setAccountText(Status::Connected);
        setAccountText(Status::Verifying);
        if (co_await m_requests.authenticate() != WaitEnd::Success) {
            failed(loginFailureStatus(m_pop.lastFailure()), QStringLiteral("logging in"));
        } else {
            setAccountText(Status::Passed);
            const qint32 count = m_pop.messageCount();
            if (count <= 0) {
                setAccountText(Status::NoMessages);
            } else {
                setAccountText(kDash + QString::number(count) + QStringLiteral(" message")
                    + (count > 1 ? QStringLiteral("s") : QString()));
                MailLog log;
                if (!m_state.options.LogDisabled)
                    log.open(m_state, title);
                qint64 total = 0;
                qint32 display = 0;
                for (qint32 number = 1; number <= count && !timeLimitReached(); ++number) {
                    // The server renumbers nothing until the conversation ends, but the next
                    // conversation will: the display number of a message a filter chose is given
                    // to the next one.
                    if (!co_await checkMessage(accountKey, number, ++display, total, log))
                        --display;
                }
                // Past the time limit the conversation is gone: the messages listed so far stay,
                // the rest would only be "Invalid message!" lines.
                if (timeLimitReached())
                    failed(Status::ErrorConnecting, QStringLiteral("listing the messages"));
                else
                    m_tree.setText(accountKey,
                        m_tree.text(accountKey) + QStringLiteral(" --- Totaling ") + FormatBytes(total)
                            + QStringLiteral(" bytes."));
                log.close();
            }
        }
    }

    co_await m_requests.close();
    // The server removes messages only when it answers QUIT: a conversation that ended any other
    // way left every filtered message where it was.
    if (m_pop.lastFailure().failed()) {
        for (const auto& [key, label] : std::as_const(m_uncommittedDeletions)) {
            if (m_tree.contains(key))
                m_tree.setText(key, label + QStringLiteral("Unable to Delete message!"));
        }
    }
    m_uncommittedDeletions.clear();
    endConversation();
}

bool MailEngine::timeLimitReached() const
{
    return m_pop.isClosed() && m_pop.lastFailure().reason == PopFailure::Reason::TimeLimit;
}

QCoro::Task<bool> MailEngine::checkMessage(
    const QString& accountKey, qint32 number, qint32 display, qint64& total, MailLog& log)
{
    QString label = QLatin1Char('#') + QString::number(display) + kDash;
    const QString key = NewMessageKey(m_state, m_tree);
    m_tree.add(accountKey, key, label, Image::NewMail);
    if (m_state.options.AutoExpand) {
        m_tree.setExpanded(accountKey, true);
        m_tree.ensureVisible(key);
    }
    m_tree.setTag(key, QString());
    if (m_pop.isClosed()) {
        m_tree.setText(key, label + QStringLiteral("Invalid message!"));
        co_return true;
    }

    const SizeAnswer sized = co_await m_requests.messageSize(number);
    if (sized.end != WaitEnd::Success) {
        m_tree.setText(key, label + QStringLiteral("Invalid message!"));
        co_return true;
    }
    total += sized.size;
    label += messageBytes(sized.size) + QStringLiteral(" bytes --- ");
    m_tree.setText(key, label);

    const HeaderAnswer headed = co_await m_requests.header(number);
    if (headed.end != WaitEnd::Success) {
        m_tree.setText(key, label + QStringLiteral("Error retrieving header!"));
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
    const QString subject = GetHeaderField(kSubject, header);
    const QString from = GetHeaderField(kFrom, header);
    m_tree.setText(key, label + subject + kDash + from);
    m_tree.setTag(key, header);

    const bool filtered = MatchFilters(m_state, header);
    ++m_state.WaitingCount;
    if (filtered) {
        m_tree.setText(key, QStringLiteral("(Deleted)") + kDash + subject + kDash + from);
        m_tree.setImage(key, Image::Deleted);
        if (!(co_await m_requests.deleteMessage(number)).confirmed)
            m_tree.setText(key, label + QStringLiteral("Unable to Delete message!"));
        else
            m_uncommittedDeletions.append({ key, label });
        co_return false;
    }
    if (seen) {
        if (IsRead(m_state, header))
            m_tree.setImage(key, Image::Mail);
        else
            ++m_state.NewMailCount;
    } else {
        if (!m_state.options.LogDisabled)
            log.write(header);
        ++m_state.UnseenCount;
        ++m_state.NewMailCount;
    }
    co_return true;
}

} // namespace ormisk
