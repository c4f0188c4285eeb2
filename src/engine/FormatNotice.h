#pragma once
// The text of the new-mail window from its template: the first "#" becomes the count, and the
// first bracket pair keeps its contents only for a plural ("[s]" in "message[s]").
#include <QString>

namespace ormisk {

[[nodiscard]] QString FormatNotice(const QString& notice, qint32 count);

} // namespace ormisk
