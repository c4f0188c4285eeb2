// The settings file as found on disk: every value conversion (counts, booleans, ports, geometry)
// over any text, and the whole file read through every loader the program has.
#include "FuzzInput.h"
#include "store/AccountTable.h"
#include "store/Options.h"
#include "store/RuleTables.h"
#include "store/SettingsStore.h"
#include "store/WindowGeometry.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdlib>
#include <utility>

using namespace ormisk;

namespace {

void conversions(const QString& text)
{
    const bool b1 = SettingsStore::toBool(text, false);
    const bool b2 = SettingsStore::toBool(text, true);
    // A text that reads as a boolean reads the same whatever the fallback.
    const QString t = text.trimmed();
    if ((t.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0 && !(b1 && b2))
        || (t.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0 && (b1 || b2)))
        abort();
    if (SettingsStore::toCount(text) < 0)
        abort();
    const qint16 a = SettingsStore::toInt16(text, 7);
    const qint16 b = SettingsStore::toInt16(text, -7);
    if (a != b && !(a == 7 && b == -7))
        abort();
    (void)SettingsStore::toInt32(text, 110);
}

void loadEverything(const SettingsStore& store)
{
    QRandomGenerator random(1);
    AccountTable accounts;
    accounts.load(store, random);
    (void)LoadOptions(store, QStringLiteral("/tmp/logs/"));
    FilterTable filters;
    filters.load(store);
    WavActionTable wavActions;
    wavActions.load(store);
    const StoredGeometry g = ReadGeometry(store);
    if (g.state && (*g.state < 0 || *g.state > 2))
        abort();
    for (const auto* v : { &g.top, &g.left, &g.width, &g.height }) {
        if (*v && !(**v > -1.0e7 && **v < 1.0e7))
            abort();
    }
    if (accounts.size() < 0)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray raw(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QByteArray& piece : raw.split('\n'))
        conversions(QString::fromUtf8(piece));

    // QSettings keeps the files it has read and takes one of the same name, size and time stamp
    // for unchanged: each run's file gets a time stamp of its own. (A new name each run would
    // grow that cache, and make every run a leak check.)
    static QTemporaryDir dir;
    static qint64 run = 0;
    const QString path = dir.path() + QStringLiteral("/settings.ini");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            abort();
        file.write(raw);
        file.setFileTime(QDateTime::fromMSecsSinceEpoch(1000 * ++run, Qt::UTC), QFileDevice::FileModificationTime);
    }
    bool tooMany = false;
    {
        SettingsStore store(path);
        // Every record is read by the same code, so more than a few only make each run slow
        // (the cap on them has its own test); the fuzzer is told not to keep such inputs.
        for (const auto& [section, key] : { std::pair { Section::Accounts, QStringLiteral("Total") },
                 std::pair { Section::Filters, QStringLiteral("TotalFilters") },
                 std::pair { Section::Actions, QStringLiteral("TotalActions") } }) {
            tooMany = tooMany || SettingsStore::toCount(store.read(section, key)) > 16;
        }
        if (!tooMany)
            loadEverything(store);
    }
    QFile::remove(path);
    return tooMany ? -1 : 0;
}
