#pragma once
// The POP3 check of one account, and the state its conversation shares with the component's
// events. One MailEngine lives as long as the main window; the scheduler, the account editor and
// the delete command all run through it.
#include "engine/CheckedMail.h"
#include "engine/MailCounts.h"
#include "pop/PopAwait.h"

#include <QCoro/QCoroTask>
#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

namespace ormisk {

struct AppState;
class NodeTree;
class PopComponent;
class ShellHost;

namespace Status {
inline const QString Connecting = QStringLiteral(" --- Connecting...");
inline const QString ErrorConnecting = QStringLiteral(" --- Error Connecting!");
inline const QString Connected = QStringLiteral(" --- Connected.");
inline const QString Verifying = QStringLiteral(" --- Verifying...");
inline const QString BadLogin = QStringLiteral(" --- Bad user ID or Password!");
inline const QString Passed = QStringLiteral(" --- Passed.");
inline const QString NoMessages = QStringLiteral(" --- No messages.");
inline const QString Checking = QStringLiteral(" --- Checking...");
} // namespace Status

// Why an account's last check failed (see FailureReason).
struct AccountFailure {
    QString title;
    QString reason;
};

class MailEngine : public QObject {
    Q_OBJECT
public:
    MailEngine(AppState& state, NodeTree& tree, PopComponent& pop, ShellHost& host, QObject* parent = nullptr);

    // Checks the account of the selected node (the caller selected it and set CurrentAccount).
    // Ends once the conversation is closed, with what it counted. Does nothing without a selection,
    // for a disabled account, or while another conversation of this engine is open; whoever starts
    // checks while monitoring is suspended (the scheduler, the account commands) leaves them out.
    [[nodiscard]] QCoro::Task<MailCounts> CheckAccount();

    // Busy pointer, then the menus told that a conversation holds the server; and the reverse.
    void beginConversation();
    void endConversation();
    // True from beginConversation() to endConversation(): a check or a delete command is running.
    [[nodiscard]] bool inConversation() const { return m_inConversation; }

    [[nodiscard]] AppState& state() { return m_state; }
    [[nodiscard]] NodeTree& tree() { return m_tree; }
    [[nodiscard]] PopComponent& pop() { return m_pop; }
    [[nodiscard]] ShellHost& host() { return m_host; }
    // The component's requests as awaitables; one conversation at a time uses them.
    [[nodiscard]] PopAwait& requests() { return m_requests; }
    // The failure of each account whose last check failed, by account node key; a successful
    // check removes its entry.
    [[nodiscard]] const QHash<QString, AccountFailure>& failures() const { return m_failures; }

    // What the last check of the account with node key `accountKey` found, or null.
    [[nodiscard]] const AccountListing* listing(const QString& accountKey) const;
    [[nodiscard]] AccountListing* listing(const QString& accountKey);
    // The message shown by the tree node `messageKey`, or null.
    [[nodiscard]] const CheckedMessage* message(const QString& messageKey) const;
    // Calls show(message, nodeKey) for each message of the account's last check, in order.
    void forEachMessage(const QString& accountKey, const std::function<void(CheckedMessage&, const QString&)>& show);
    // The tree was cleared, or the account's node went: what their checks found is shown no more.
    void forgetListings() { m_listings.clear(); }
    void forgetListing(const QString& accountKey) { m_listings.remove(accountKey); }
    // Messages on display that are still on the server with their header read. Counted from the
    // listings, so a check of one account replaces that account's share instead of adding to it.
    [[nodiscard]] qint32 waitingShown() const;

private:
    [[nodiscard]] bool timeLimitReached() const;
    // One message of the check: its node, size, header, the filters, the seen and read lists and
    // the log. False once the message was chosen by a filter (its number is then not shown again).
    // `listing` is the check's own, filled in until the conversation is over.
    [[nodiscard]] QCoro::Task<bool> checkMessage(
        AccountListing& listing, const QString& accountKey, qint32 display, class MailLog& log, MailCounts& counts);

    AppState& m_state;
    NodeTree& m_tree;
    PopComponent& m_pop;
    ShellHost& m_host;
    PopAwait m_requests;
    QHash<QString, AccountFailure> m_failures;
    QHash<QString, AccountListing> m_listings; // by account node key
    bool m_inConversation = false;
};

} // namespace ormisk
