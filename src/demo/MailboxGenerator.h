#pragma once
// Realistic mail for tests, benchmarks and the demo, the same for the same seed: encoded-word
// subjects and names, folded lines, duplicate Received fields, messages without Subject or
// Message-Id, bodies with lines that start with ".", sizes from about 0.5 KB to 300 KB.
#include <QByteArray>
#include <QList>
#include <QString>

namespace ormisk::testing {

// A header field as a client should show it: name as sent, value unfolded and decoded.
struct ExpectedField {
    QString name;
    QString value;
};

struct GeneratedMessage {
    QByteArray raw; // LF line ends, header and body
    QList<ExpectedField> fields;
};

class MailboxGenerator {
public:
    explicit MailboxGenerator(quint32 seed = 1)
        : m_seed(seed)
    {
    }

    // Bodies stop growing at this size (0: no limit), for mailboxes of many thousand messages.
    void setMaxSize(qsizetype bytes) { m_maxSize = bytes; }

    // Messages cycle through the header variants, so any 8 in a row cover them all.
    [[nodiscard]] QList<GeneratedMessage> generate(int count) const;
    [[nodiscard]] QList<QByteArray> generateRaw(int count) const;

    // A message whose header alone is about headerBytes long (many fields, none overlong).
    [[nodiscard]] static QByteArray oversizedHeaderMessage(qsizetype headerBytes);

    // Encoded words as mail programs write them.
    [[nodiscard]] static QByteArray encodeB(const QString& text); // UTF-8, B
    [[nodiscard]] static QByteArray encodeQ(const QString& text, const QByteArray& charset); // Q

private:
    quint32 m_seed;
    qsizetype m_maxSize = 0;
};

} // namespace ormisk::testing
