#include "engine/FailureReason.h"

#include "pop/DisplayText.h"
#include "pop/PopClient.h"
#include "pop/PopComponent.h"

namespace ormisk {

namespace {

using Reason = PopFailure::Reason;

QString commandName(const PopFailure& failure) { return QString::fromLatin1(failure.command); }

QString serverAnswer(const PopFailure& failure)
{
    const QString command = commandName(failure);
    if (failure.serverText.isEmpty())
        return command.isEmpty() ? QStringLiteral("The server refused the request.")
                                 : QStringLiteral("The server refused %1.").arg(command);
    return command.isEmpty() ? QStringLiteral("The server answered: %1").arg(failure.serverText)
                             : QStringLiteral("The server answered %1 with: %2").arg(command, failure.serverText);
}

} // namespace

QString FailureReason(const PopFailure& failure, const QString& host, qint32 port, const QString& step,
    const PopComponent& pop, qint32 checkTimeLimitSeconds)
{
    const QString where = host + QLatin1Char(':') + QString::number(port);
    QString text;
    switch (failure.reason) {
    case Reason::None:
        return {};
    case Reason::LoginRefused:
    case Reason::Refused:
        text = serverAnswer(failure);
        break;
    case Reason::Link:
        text = where + QStringLiteral(": ") + failure.detail;
        break;
    case Reason::TimedOut:
        if (failure.command.isEmpty() && !failure.detail.startsWith(QStringLiteral("no reply"))) {
            text = QStringLiteral("%1: %2 while %3").arg(where, failure.detail, step);
        } else {
            const auto* client = qobject_cast<const PopClient*>(&pop);
            const int seconds = (client ? client->replyTimeout() : PopClient::kDefaultReplyTimeout) / 1000;
            const QString to = failure.command.isEmpty() ? QString() : QStringLiteral(" to ") + commandName(failure);
            text = QStringLiteral("%1: no reply%2 within %3 s while %4").arg(where, to).arg(seconds).arg(step);
        }
        break;
    case Reason::Tls:
        text = QStringLiteral("TLS with %1 failed: %2").arg(where, failure.detail);
        break;
    case Reason::StartTlsRefused:
        text = failure.serverText.isEmpty()
            ? QStringLiteral("%1 does not offer STARTTLS (STLS), and this account requires it.").arg(where)
            : QStringLiteral("%1 refused STARTTLS (STLS), which this account requires: %2")
                  .arg(where, failure.serverText);
        break;
    case Reason::TimeLimit:
        text = QStringLiteral("The check took longer than its time limit of %1 s.").arg(checkTimeLimitSeconds);
        break;
    case Reason::Protocol:
        text = QStringLiteral("The server broke the protocol: %1").arg(failure.detail);
        break;
    case Reason::Unavailable:
        text = failure.detail;
        break;
    }
    // The server chose some of these words.
    makeDisplaySafe(text);
    return text;
}

} // namespace ormisk
