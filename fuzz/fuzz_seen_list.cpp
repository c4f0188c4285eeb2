// The seen-list file as found on disk (damaged, truncated, hand-edited): whatever is read back
// must write out and read back unchanged.
#include "engine/HeaderList.h"
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
    // past the longest one the format can hold; such an entry comes back as its identity alone
    // (its Message-Id line) or not at all. Every other entry comes back as it was.
    const QStringList written = ParseSeenList(FormatSeenList(entries));
    qsizetype j = 0;
    for (const QString& entry : entries) {
        const bool fits = entry.toUtf8().size() <= 99999;
        if (j < written.size() && MessageIdentity(written[j]) == MessageIdentity(entry)) {
            if (fits && written[j] != entry)
                abort();
            ++j;
        } else if (fits) {
            abort();
        }
    }
    if (j != written.size())
        abort();
    return 0;
}
