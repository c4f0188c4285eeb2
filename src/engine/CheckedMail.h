#pragma once
// What an account's last check found: the account's outcome and, per message, its number, size,
// header and what became of it. The tree and `--once` show it; the delete command, the message
// properties and the new-mail notice read it. A mailbox may hold 100,000 messages, so a message
// holds only its header (shared with the seen list, never copied) and a few numbers; its Subject,
// From and Message-Id are read from the header when asked for, and its tree node is the account
// node's child at the message's own index.
#include <QList>
#include <QString>

namespace ormisk {

enum class MessageState : quint8 {
    Listing, // asked for, nothing known yet
    Sized, // its size known, its header not yet
    Invalid, // the server gave no size for it
    HeaderFailed, // its header could not be read
    New, // never seen before
    Unread, // seen before, not marked read
    Read, // seen before and marked read
    Filtered, // a filter deleted it on the server
    DeletionRefused, // a filter chose it, but the server kept it
};

struct CheckedMessage {
    QString header; // empty when it was not read
    // The number shown, which the next conversation knows the message by: a filter's deletion
    // gives its number to the next message, and so does the delete command.
    qint32 display = 0;
    qint32 size = -1; // -1 while unknown
    MessageState state = MessageState::Listing;
    bool deletedByUser = false;

    [[nodiscard]] QString subject() const; // the whole "Subject : " line, or empty
    [[nodiscard]] QString from() const; // the whole "From : " line, or empty
    [[nodiscard]] QString messageId() const; // the whole "Message-Id : " line, or empty
    // Still on the server as far as anyone knows: it shows a number and may be deleted.
    [[nodiscard]] bool isLive() const;
    // Left showing new mail by its check.
    [[nodiscard]] bool isNew() const
    {
        return !deletedByUser && (state == MessageState::New || state == MessageState::Unread);
    }
};

// The node text and image of a message.
[[nodiscard]] QString MessageText(const CheckedMessage& message);
[[nodiscard]] QString MessageImage(const CheckedMessage& message);

enum class AccountStatus : quint8 {
    Connecting,
    ErrorConnecting,
    Connected,
    Verifying,
    BadLogin,
    Passed,
    NoMessages,
    Listing, // its messages being asked for
    Listed, // every message asked for; the total is known
};

struct AccountListing {
    QString title;
    AccountStatus status = AccountStatus::Connecting;
    qint32 count = 0; // messages the server reported
    qint64 total = 0; // bytes of the messages whose size is known
    // In the server's order: the message at index i has number i + 1 in the check's conversation,
    // and the account node's child i is its node.
    QList<CheckedMessage> messages;

    [[nodiscard]] static qint32 serverNumber(qsizetype index) { return static_cast<qint32>(index + 1); }
};

// The account node's text: its title followed by its status.
[[nodiscard]] QString AccountText(const AccountListing& listing);

} // namespace ormisk
