#pragma once
// The one text form the program keeps for a message header: per field the name, " : ", the value
// and CR LF, in the server's order. It is a node's tag, a seen-list entry and a log record's body.
#include <QString>
#include <QStringView>

namespace ormisk {

struct DocOutput;

// Applies one header notification to `headerText`: items available rebuild it from scratch, a
// transfer error empties it, anything else leaves it alone.
void CaptureDocOutput(const DocOutput& doc, QString& headerText);

// The whole first line of `text` that begins with `name` (compared ignoring case, so the result
// keeps the server's spelling of the field name), or an empty string. The search ends at the
// first empty line. `name` carries its separator: "Subject : ", "From : ", "Message-Id : ".
[[nodiscard]] QString GetHeaderField(const QString& name, const QString& text);
// The same line as a view into `text` (empty when there is none).
[[nodiscard]] QStringView headerFieldLine(const QString& name, QStringView text);

} // namespace ormisk
