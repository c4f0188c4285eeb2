#include "engine/AccountCheck.h"

#include "engine/ByteFormat.h"
#include "engine/ConnectionSecurity.h"
#include "engine/HeaderText.h"
#include "engine/MailLog.h"
#include "engine/NodeTree.h"
#include "engine/RuleMatching.h"
#include "engine/SeenLists.h"
#include "engine/ShellHost.h"
#include "pop/PopComponent.h"
#include "pop/PopWait.h"
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
{
    connect(&m_pop, &PopComponent::messageSize, this, &MailEngine::onMessageSize);
    connect(&m_pop, &PopComponent::docOutput, this, &MailEngine::onDocOutput);
    connect(&m_pop, &PopComponent::deleteConfirmed, this, &MailEngine::onDeleteConfirmed);
}

void MailEngine::onMessageSize(qint32 size) { LastMsgSize = size; }
void MailEngine::onDocOutput(const DocOutput& doc)
{
    CaptureDocOutput(doc, HeaderText);
    if (doc.state == DocOutput::HeadersAvailable)
        HeaderArrived = true;
    else if (doc.state == DocOutput::TransferError)
        HeaderArrived = false;
}
void MailEngine::onDeleteConfirmed() { DeleteState = 1; }

void MailEngine::beginConversation()
{
    m_inConversation = true;
    m_host.setBusyPointer(true);
    MenuState& m = m_state.menus;
    m.mnuMonitoring.enabled = false;
    m.mnuAccounts.enabled = false;
    m.mnuMessages.enabled = false;
    m.mnuHelp.enabled = false;
    m_host.applyMenus();
}

void MailEngine::endConversation()
{
    MenuState& m = m_state.menus;
    m.mnuMonitoring.enabled = true;
    m.mnuAccounts.enabled = true;
    m.mnuMessages.enabled = true;
    m.mnuHelp.enabled = true;
    m_host.applyMenus();
    m_host.setBusyPointer(false);
    m_inConversation = false;
}

void MailEngine::CheckAccount()
{
    if (m_state.Suspended || m_inConversation)
        return;
    const QString accountKey = m_tree.selected();
    if (accountKey.isEmpty())
        return;
    // The title comes from the index the caller set; every other field from the selected node's
    // account. Callers keep the two in step.
    const qint16 callerIndex = m_state.CurrentAccount;
    const qint16 index = FindAccountByKey(m_state, accountKey);
    m_state.CurrentAccount = index;
    if (index < 1)
        return;
    const AccountRecord& account = m_state.account(index);
    const QString title = callerIndex >= 1 && callerIndex <= m_state.AccountCount() ? m_state.account(callerIndex).Title
                                                                                    : account.Title;
    if (account.Disabled)
        return;

    beginConversation();
    PopComponent& pop = m_pop;
    auto setAccountText = [&](const QString& status) { m_tree.setText(accountKey, title + status); };
    auto closed = [&] {
        return pop.protocolState() == PopComponent::NotConnected && pop.connectionState() == PopComponent::Closed;
    };
    auto inState = [&](qint16 protocol) {
        return [&pop, protocol] {
            return pop.protocolState() == protocol && pop.connectionState() == PopComponent::Connected;
        };
    };

    pop.setRemoteHost(account.Host);
    pop.setRemotePort(account.Port);
    pop.setUserId(account.User);
    pop.setPassword(account.Password);
    ApplyConnectionSecurity(pop, account, m_state.options);

    m_tree.setExpanded(accountKey, false);
    setAccountText(Status::Connecting);
    pop.connectToServer();
    if (waitFor(pop, inState(PopComponent::Authorization), closed) == WaitResult::Failure) {
        setAccountText(Status::ErrorConnecting);
    } else {
        RememberConnectionSecurity(m_state, index, pop);
        setAccountText(Status::Connected);
        setAccountText(Status::Verifying);
        pop.authenticate();
        if (waitFor(pop, inState(PopComponent::Transaction), closed) == WaitResult::Failure) {
            setAccountText(loginFailureStatus(pop.lastFailure()));
        } else {
            setAccountText(Status::Passed);
            const qint32 count = pop.messageCount();
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
                for (qint32 i = 1; i <= count; ++i) {
                    ++display;
                    QString label = QLatin1Char('#') + QString::number(display) + kDash;
                    const QString key = NewMessageKey(m_state, m_tree);
                    m_tree.add(accountKey, key, label, Image::NewMail);
                    if (m_state.options.AutoExpand) {
                        m_tree.setExpanded(accountKey, true);
                        m_tree.ensureVisible(key);
                    }
                    m_tree.setTag(key, QString());
                    if (closed()) {
                        m_tree.setText(key, label + QStringLiteral("Invalid message!"));
                        continue;
                    }

                    // What the client reported tells success from failure, not the value: an empty
                    // message has a size of 0 and a header without fields.
                    LastMsgSize = -1;
                    pop.requestMessageSize(i);
                    const auto sized = waitFor(
                        pop,
                        [&] {
                            return pop.protocolState() == PopComponent::Transaction && LastMsgSize >= 0
                                && pop.connectionState() == PopComponent::Connected;
                        },
                        [&] { return closed() || LastMsgSize < 0; });
                    if (sized == WaitResult::Failure) {
                        m_tree.setText(key, label + QStringLiteral("Invalid message!"));
                        continue;
                    }
                    total += LastMsgSize;
                    label += messageBytes(LastMsgSize) + QStringLiteral(" bytes --- ");
                    m_tree.setText(key, label);

                    HeaderText.clear();
                    HeaderArrived = false;
                    pop.retrieveHeader(i);
                    const auto headed = waitFor(
                        pop,
                        [&] {
                            return HeaderArrived && pop.protocolState() == PopComponent::Transaction
                                && pop.connectionState() == PopComponent::Connected;
                        },
                        [&] { return !HeaderArrived || closed(); });
                    if (headed == WaitResult::Failure) {
                        m_tree.setText(key, label + QStringLiteral("Error retrieving header!"));
                        continue;
                    }
                    const QString header = HeaderText;
                    const QString subject = GetHeaderField(kSubject, header);
                    const QString from = GetHeaderField(kFrom, header);
                    m_tree.setText(key, label + subject + kDash + from);
                    m_tree.setTag(key, header);

                    const bool filtered = MatchFilters(m_state, header);
                    ++m_state.WaitingCount;
                    if (filtered) {
                        m_tree.setText(key, QStringLiteral("(Deleted)") + kDash + subject + kDash + from);
                        m_tree.setImage(key, Image::Deleted);
                        DeleteState = -1;
                        pop.deleteMessage(i);
                        (void)waitFor(
                            pop,
                            [&] {
                                return pop.protocolState() == PopComponent::Transaction && DeleteState == 1
                                    && pop.connectionState() == PopComponent::Connected;
                            },
                            [&] { return closed() || DeleteState == -1; });
                        // The server renumbers nothing until the conversation ends, but the next
                        // conversation will: the display number follows the new numbering.
                        --display;
                        if (DeleteState == -1)
                            m_tree.setText(key, label + QStringLiteral("Unable to Delete message!"));
                        continue;
                    }
                    if (IsSeen(m_state, header)) {
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
                }
                m_tree.setText(accountKey,
                    m_tree.text(accountKey) + QStringLiteral(" --- Totaling ") + FormatBytes(total)
                        + QStringLiteral(" bytes."));
                log.close();
            }
        }
    }

    closeConversation(pop);
    endConversation();
}

} // namespace ormisk
