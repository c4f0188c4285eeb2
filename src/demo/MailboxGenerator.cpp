#include "demo/MailboxGenerator.h"

#include <QRandomGenerator>
#include <QStringEncoder>

#include <cmath>
#include <iterator>

namespace ormisk::testing {

namespace {

struct Sender {
    const char16_t* name; // empty: address only
    const char* address;
    enum class Form { Plain, Quoted, Utf8Q, Utf8B, Latin1Q } form;
};

const Sender kSenders[] = {
    { u"Ann Lee", "ann.lee@example.com", Sender::Form::Plain },
    { u"Jürgen Müller", "jm@example.de", Sender::Form::Utf8Q },
    { u"Zoë Ørsted", "zoe@example.dk", Sender::Form::Utf8B },
    { u"François Lefèvre", "f.lefevre@example.fr", Sender::Form::Latin1Q },
    { u"", "noreply@lists.example.org", Sender::Form::Plain },
    { u"Lee, Ann (Work)", "ann@work.example", Sender::Form::Quoted },
};

const char16_t* const kPlainSubjects[] = {
    u"Minutes of the Tuesday meeting",
    u"Re: Budget for the next quarter",
    u"Invoice 2024-0117",
    u"Your weekly digest",
    u"Lunch?",
};

const char16_t* const kUnicodeSubjects[] = {
    u"Grüße aus München",
    u"Ελληνικά νέα για σήμερα",
    u"日本語の件名です",
    u"Ça va? Ünïcödé ✓",
};

const char16_t* const kLatin1Subjects[] = {
    u"Café crème à la française",
    u"Réunion de l'équipe",
    u"Señor Muñoz: año nuevo",
};

QByteArray from(const Sender& s, QString* expected)
{
    const QString name = QString::fromUtf16(s.name);
    const QByteArray address = s.address;
    if (name.isEmpty()) {
        *expected = QString::fromLatin1(address);
        return address;
    }
    *expected = name + QStringLiteral(" <") + QString::fromLatin1(address) + u'>';
    switch (s.form) {
    case Sender::Form::Plain:
        return name.toUtf8() + " <" + address + '>';
    case Sender::Form::Quoted:
        *expected = u'"' + name + QStringLiteral("\" <") + QString::fromLatin1(address) + u'>';
        return '"' + name.toUtf8() + "\" <" + address + '>';
    case Sender::Form::Utf8Q:
        return MailboxGenerator::encodeQ(name, "UTF-8") + " <" + address + '>';
    case Sender::Form::Utf8B:
        return MailboxGenerator::encodeB(name) + " <" + address + '>';
    case Sender::Form::Latin1Q:
        return MailboxGenerator::encodeQ(name, "ISO-8859-1") + " <" + address + '>';
    }
    return {};
}

} // namespace

QByteArray MailboxGenerator::encodeB(const QString& text) { return "=?UTF-8?B?" + text.toUtf8().toBase64() + "?="; }

QByteArray MailboxGenerator::encodeQ(const QString& text, const QByteArray& charset)
{
    QStringEncoder encoder(charset.constData());
    const QByteArray bytes = encoder.encode(text);
    QByteArray out = "=?" + charset + "?Q?";
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u == ' ')
            out += '_';
        else if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9'))
            out += c;
        else
            out += '=' + QByteArray::number(u, 16).toUpper().rightJustified(2, '0');
    }
    return out + "?=";
}

QList<GeneratedMessage> MailboxGenerator::generate(int count) const
{
    QRandomGenerator random(m_seed);
    QList<GeneratedMessage> out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        GeneratedMessage m;
        QByteArray& raw = m.raw;
        auto field = [&](const QByteArray& name, const QByteArray& rawValue, const QString& expected) {
            raw += name + ": " + rawValue + '\n';
            m.fields.append({ QString::fromLatin1(name), expected });
        };
        const int variant = i % 8;
        const Sender& sender = kSenders[random.bounded(int(std::size(kSenders)))];
        const QByteArray host = "mx" + QByteArray::number(random.bounded(1, 9)) + ".example.net";
        const int receivedCount = 2 + random.bounded(2);
        for (int r = 0; r < receivedCount; ++r) {
            const QByteArray id = QByteArray::number(random.generate64(), 36).toUpper();
            const QByteArray first = "from relay" + QByteArray::number(r) + ".example.org (relay"
                + QByteArray::number(r) + ".example.org [192.0.2." + QByteArray::number(10 + r) + "])";
            const QByteArray second = "by " + host + " with ESMTP id " + id + ";";
            const QByteArray third = "Mon, 6 May 2024 09:" + QByteArray::number(10 + r) + ":00 +0200";
            raw += "Received: " + first + "\n\t" + second + "\n\t" + third + '\n';
            // A client shows the tab that folding left as a blank.
            m.fields.append({ QStringLiteral("Received"), QString::fromLatin1(first + ' ' + second + ' ' + third) });
        }
        QString fromText;
        const QByteArray fromRaw = from(sender, &fromText);
        field("From", fromRaw, fromText);
        field("To", "Mailbox Owner <owner@example.com>", QStringLiteral("Mailbox Owner <owner@example.com>"));
        switch (variant) {
        case 0: { // folded with a blank
            const QString a = QString::fromUtf16(kPlainSubjects[random.bounded(int(std::size(kPlainSubjects)))]);
            raw += "Subject: " + a.toUtf8() + "\n and a second line of it\n";
            m.fields.append({ QStringLiteral("Subject"), a + QStringLiteral(" and a second line of it") });
            break;
        }
        case 1: {
            const QString s = QString::fromUtf16(kUnicodeSubjects[random.bounded(int(std::size(kUnicodeSubjects)))]);
            field("Subject", encodeB(s), s);
            break;
        }
        case 2: { // Latin-1 Q, folded with a tab
            const QString s = QString::fromUtf16(kLatin1Subjects[random.bounded(int(std::size(kLatin1Subjects)))]);
            raw += "Subject: " + encodeQ(s, "ISO-8859-1") + "\n\t(was: old thread)\n";
            m.fields.append({ QStringLiteral("Subject"), s + QStringLiteral(" (was: old thread)") });
            break;
        }
        case 3: // no Subject at all
            break;
        case 5: { // two encoded words on two lines: joined without the blank between them
            const QString s = QString::fromUtf16(kUnicodeSubjects[random.bounded(int(std::size(kUnicodeSubjects)))]);
            const qsizetype half = s.size() / 2;
            raw += "Subject: " + encodeQ(s.left(half), "UTF-8") + "\n " + encodeB(s.mid(half)) + '\n';
            m.fields.append({ QStringLiteral("Subject"), s });
            break;
        }
        default: {
            const QString s = QString::fromUtf16(kPlainSubjects[random.bounded(int(std::size(kPlainSubjects)))]);
            field("Subject", s.toUtf8(), s);
            break;
        }
        }
        field("Date", "Mon, 6 May 2024 09:30:00 +0200", QStringLiteral("Mon, 6 May 2024 09:30:00 +0200"));
        if (variant != 4) {
            const QByteArray id = "<" + QByteArray::number(m_seed) + "." + QByteArray::number(i) + "."
                + QByteArray::number(random.generate(), 16) + "@example.com>";
            field("Message-Id", id, QString::fromLatin1(id));
        }
        field("MIME-Version", "1.0", QStringLiteral("1.0"));
        field("Content-Type", "text/plain; charset=UTF-8", QStringLiteral("text/plain; charset=UTF-8"));
        raw += '\n';
        // Sizes spread evenly on a log scale from 0.5 KB to 300 KB.
        const double exponent = random.generateDouble();
        qsizetype target = static_cast<qsizetype>(512.0 * std::pow(300.0 * 1024 / 512.0, exponent));
        if (m_maxSize > 0)
            target = std::min(target, m_maxSize);
        int line = 0;
        while (raw.size() < target) {
            ++line;
            if (line % 7 == 0)
                raw += ".this line starts with a dot\n";
            else if (line % 29 == 0)
                raw += ".\n"; // a lone dot: the end of a reply unless stuffed
            else
                raw += "Line " + QByteArray::number(line) + " of the body, some plain text to fill the message up.\n";
        }
        out.append(std::move(m));
    }
    return out;
}

QList<QByteArray> MailboxGenerator::generateRaw(int count) const
{
    QList<QByteArray> raw;
    for (GeneratedMessage& m : generate(count))
        raw.append(std::move(m.raw));
    return raw;
}

QByteArray MailboxGenerator::oversizedHeaderMessage(qsizetype headerBytes)
{
    QByteArray raw = "From: big@example.com\nSubject: a header too large\n";
    int n = 0;
    while (raw.size() < headerBytes)
        raw += "X-Filler-" + QByteArray::number(++n) + ": " + QByteArray(200, 'f') + '\n';
    raw += "\nbody\n";
    return raw;
}

} // namespace ormisk::testing
