#pragma once
// What a header request delivers: a state and the header items in the server's order.
#include <QList>
#include <QString>

namespace ormisk {

struct HeaderItem {
    QString name; // as the server spelt it
    QString value; // unfolded, encoded words decoded
};

struct DocOutput {
    enum State : qint16 { HeadersAvailable = 2, TransferError = 4 };
    qint16 state = 0;
    QList<HeaderItem> headers;
    // The same items as one text, per item its name, " : ", its value and CR LF, when the sender
    // has it at hand (a header taken from the cache is kept that way); null otherwise.
    QString text;
};

} // namespace ormisk
