// The seen-list file as found on disk (damaged, truncated, hand-edited): whatever is read back
// must write out and read back unchanged.
#include "engine/SeenListFile.h"

#include <cstdlib>

using namespace ormisk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList entries = ParseSeenList(bytes);
    if (entries.size() > 99999)
        abort();
    // Bytes that are not UTF-8 come back as U+FFFD (three bytes each), which may push an entry
    // past the longest one the format can hold; such an entry is left out on writing.
    QStringList writable;
    for (const QString& entry : entries) {
        if (entry.toUtf8().size() <= 99999)
            writable.append(entry);
    }
    if (ParseSeenList(FormatSeenList(entries)) != writable)
        abort();
    return 0;
}
