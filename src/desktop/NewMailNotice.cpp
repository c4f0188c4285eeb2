#include "desktop/NewMailNotice.h"

#include "engine/AccountCheck.h"
#include "engine/FormatNotice.h"
#include "engine/HeaderText.h"
#include "store/AppState.h"

#include <QDateTime>
#include <QList>
#include <QStringList>

#include <algorithm>

namespace ormisk {

namespace {

const QString kSubject = QStringLiteral("Subject : ");
const QString kFrom = QStringLiteral("From : ");
const QString kDate = QStringLiteral("Date : ");
// A header line from a server is as long as it likes; a notice line is not.
constexpr int kLongestField = 120;

QString field(const QString& name, const QString& header)
{
    QString value = GetHeaderField(name, header).mid(name.size()).trimmed();
    if (value.size() > kLongestField)
        value = value.left(kLongestField - 1) + QChar(0x2026);
    return value;
}

struct Arrival {
    QDateTime date;
    QString line;
};

} // namespace

QString NoticeTemplate(const QString& dialogMessage)
{
    return dialogMessage.isEmpty() ? QStringLiteral("You have # message[s]") : dialogMessage;
}

NewMailNotice ComposeNewMailNotice(const AppState& state, const MailEngine& engine, qint32 newMail)
{
    NewMailNotice notice;
    notice.summary = FormatNotice(NoticeTemplate(state.options.DialogMessage), newMail);

    // Within an account the server numbers its messages oldest first, so each account's last few
    // new ones are all that can be among the newest.
    QList<Arrival> arrivals;
    for (int a = 1; a <= state.AccountCount(); ++a) {
        const AccountRecord& account = state.account(a);
        const AccountListing* listing = engine.listing(account.NodeKey);
        if (!listing)
            continue;
        QList<Arrival> own;
        for (const CheckedMessage& message : listing->messages) {
            const QString& header = message.header;
            if (!message.isNew() || header.isEmpty())
                continue;
            own.append({ QDateTime::fromString(field(kDate, header), Qt::RFC2822Date),
                account.Title + QStringLiteral(": ") + field(kFrom, header) + QStringLiteral(" \u2014 ")
                    + field(kSubject, header) });
            if (own.size() > kNoticeArrivals)
                own.removeFirst();
        }
        std::reverse(own.begin(), own.end());
        arrivals += own;
    }
    std::stable_sort(arrivals.begin(), arrivals.end(), [](const Arrival& x, const Arrival& y) {
        if (x.date.isValid() != y.date.isValid())
            return x.date.isValid();
        return x.date.isValid() && x.date > y.date;
    });
    QStringList lines;
    for (int i = 0; i < arrivals.size() && i < kNoticeArrivals; ++i)
        lines << arrivals[i].line;
    const qint32 others = newMail - static_cast<qint32>(lines.size());
    if (others > 0 && !lines.isEmpty())
        lines << QStringLiteral("and %1 more").arg(others);
    notice.body = lines.join(QLatin1Char('\n'));
    return notice;
}

} // namespace ormisk
