#include "store/WindowGeometry.h"

#include "store/SettingsStore.h"

namespace ormisk {

namespace {
const QString& C = Section::Config;
QString k(const char* key) { return QLatin1String(key); }
} // namespace

StoredGeometry ReadGeometry(const SettingsStore& store)
{
    StoredGeometry g;
    const auto number = [&](const char* key) -> std::optional<double> {
        const QString text = store.read(C, k(key));
        if (text.trimmed().isEmpty())
            return std::nullopt;
        bool ok = false;
        const double value = text.trimmed().toDouble(&ok);
        // A value no screen could hold is a damaged file, not a place to put the window.
        if (!ok || !(value > -1.0e7 && value < 1.0e7))
            return std::nullopt;
        return value;
    };
    g.top = number("Top");
    g.left = number("Left");
    g.width = number("Width");
    g.height = number("Height");
    const QString stateText = store.read(C, k("State"));
    if (!stateText.trimmed().isEmpty()) {
        bool ok = false;
        const int value = stateText.trimmed().toInt(&ok);
        if (ok && value >= 0 && value <= 2)
            g.state = static_cast<qint16>(value);
    }
    return g;
}

void WriteNormalGeometry(SettingsStore& store, double top, double left, double height, double width)
{
    const auto text = [](double v) { return QString::number(static_cast<float>(v), 'g', 9); };
    store.write(C, k("Top"), text(top));
    store.write(C, k("Left"), text(left));
    store.write(C, k("Height"), text(height));
    store.write(C, k("Width"), text(width));
    store.write(C, k("State"), k("0"));
    store.sync();
}

void WriteMaximizedState(SettingsStore& store)
{
    store.write(C, k("State"), k("2"));
    store.sync();
}

} // namespace ormisk
