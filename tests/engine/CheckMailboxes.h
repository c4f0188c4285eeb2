#pragma once
// The small mailboxes the checks against real servers and the scriptable server share, and the
// texts their messages show.
#include "RealServerFixture.h"

#include "demo/MailboxGenerator.h"
#include "store/Records.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace ormisk::test {

inline const QString kAnnFrom = QStringLiteral("From : Ann Lee <ann@example.com>");
inline const QString kBobFrom = QStringLiteral("From : Bob <bob@example.com>");

// Three messages: plain, without Subject, and with encoded words in Subject and From.
inline QList<QByteArray> threeMessages()
{
    return { mail("Minutes", "Ann Lee <ann@example.com>", "<1@ormisk.test>", 2417),
        mail(QByteArray(), "Bob <bob@example.com>", "<2@ormisk.test>", 9888),
        mail(testing::MailboxGenerator::encodeQ(QStringLiteral("Grüße"), "UTF-8"),
            testing::MailboxGenerator::encodeB(QStringLiteral("Zoë Ørsted")) + " <zoe@example.dk>", "<3@ormisk.test>",
            1000) };
}

inline const QStringList kThreeTexts { QStringLiteral("#1 --- 2,417 bytes --- Subject : Minutes --- ") + kAnnFrom,
    QStringLiteral("#2 --- 9,888 bytes ---  --- ") + kBobFrom,
    QStringLiteral("#3 --- 1,000 bytes --- Subject : Grüße --- From : Zoë Ørsted <zoe@example.dk>") };

// The second message is the one a "joe" filter deletes.
inline QList<QByteArray> filterMessages()
{
    return { mail("Hi", "Ann Lee <ann@example.com>", "<h@ormisk.test>", 1200),
        mail("Sale", "Joe Smith <joe@spam.example>", "<s@ormisk.test>", 3000),
        mail("Lunch", "Bob <bob@example.com>", "<l@ormisk.test>", 800) };
}

inline FilterRule senderContains(const QString& text)
{
    FilterRule rule;
    rule.SenderText = text;
    rule.SenderMatch = false;
    return rule;
}

} // namespace ormisk::test
