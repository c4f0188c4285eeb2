#include "engine/CheckedMail.h"

#include "engine/AccountCheck.h"
#include "engine/ByteFormat.h"
#include "engine/HeaderText.h"
#include "engine/NodeTree.h"

namespace ormisk {

namespace {

const QString kDash = QStringLiteral(" --- ");
const QString kDeleted = QStringLiteral("(Deleted)");

// The number and what follows it, up to the size; a size as a node shows it: an empty message
// says 0 rather than nothing.
QString label(const CheckedMessage& m) { return QLatin1Char('#') + QString::number(m.display) + kDash; }
QString sizedLabel(const CheckedMessage& m)
{
    return label(m) + (m.size == 0 ? QStringLiteral("0") : FormatBytes(m.size)) + QStringLiteral(" bytes --- ");
}

QString liveText(const CheckedMessage& m)
{
    switch (m.state) {
    case MessageState::Listing:
        return label(m);
    case MessageState::Invalid:
        return label(m) + QStringLiteral("Invalid message!");
    case MessageState::Sized:
        return sizedLabel(m);
    case MessageState::HeaderFailed:
        return sizedLabel(m) + QStringLiteral("Error retrieving header!");
    case MessageState::DeletionRefused:
        return sizedLabel(m) + QStringLiteral("Unable to Delete message!");
    case MessageState::Filtered:
        return kDeleted + kDash + m.subject() + kDash + m.from();
    case MessageState::New:
    case MessageState::Unread:
    case MessageState::Read:
        break;
    }
    return sizedLabel(m) + m.subject() + kDash + m.from();
}

} // namespace

QString CheckedMessage::subject() const { return GetHeaderField(QStringLiteral("Subject : "), header); }
QString CheckedMessage::from() const { return GetHeaderField(QStringLiteral("From : "), header); }
QString CheckedMessage::messageId() const { return GetHeaderField(QStringLiteral("Message-Id : "), header); }

bool CheckedMessage::isLive() const
{
    return !deletedByUser && state != MessageState::Filtered && state != MessageState::DeletionRefused;
}

QString MessageText(const CheckedMessage& message)
{
    const QString text = liveText(message);
    if (!message.deletedByUser)
        return text;
    // What the node said, with "(Deleted)" in place of its number.
    return kDeleted + text.mid(text.indexOf(QLatin1Char(' ')));
}

QString MessageImage(const CheckedMessage& message)
{
    if (!message.isLive())
        return Image::Deleted;
    return message.state == MessageState::Read ? Image::Mail : Image::NewMail;
}

QString AccountText(const AccountListing& listing)
{
    switch (listing.status) {
    case AccountStatus::Connecting:
        return listing.title + Status::Connecting;
    case AccountStatus::ErrorConnecting:
        return listing.title + Status::ErrorConnecting;
    case AccountStatus::Connected:
        return listing.title + Status::Connected;
    case AccountStatus::Verifying:
        return listing.title + Status::Verifying;
    case AccountStatus::BadLogin:
        return listing.title + Status::BadLogin;
    case AccountStatus::Passed:
        return listing.title + Status::Passed;
    case AccountStatus::NoMessages:
        return listing.title + Status::NoMessages;
    case AccountStatus::Listing:
    case AccountStatus::Listed:
        break;
    }
    QString text = listing.title + kDash + QString::number(listing.count) + QStringLiteral(" message")
        + (listing.count > 1 ? QStringLiteral("s") : QString());
    if (listing.status == AccountStatus::Listed)
        text += QStringLiteral(" --- Totaling ") + FormatBytes(listing.total) + QStringLiteral(" bytes.");
    return text;
}

} // namespace ormisk
