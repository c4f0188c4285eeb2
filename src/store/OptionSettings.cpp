#include "store/OptionSettings.h"

#include "store/AppState.h"
#include "store/SettingsStore.h"

namespace ormisk {

namespace {
const QString& C = Section::Config;
QString k(const char* key) { return QLatin1String(key); }
} // namespace

void LoadOptions(const SettingsStore& store, AppState& state, const QString& defaultLogFolder)
{
    // A hand-edited or damaged period would otherwise overflow the countdown or start a check on
    // every tick.
    state.PoolingTime = store.readInt32(C, k("PoolingTime"), k("5"));
    if (!IsAcceptedPollMinutes(state.PoolingTime))
        state.PoolingTime = kDefaultPollMinutes;
    state.AutoExpand = store.readBool(C, k("AutoExpand"), k("1"));
    state.AutoDialog = store.readBool(C, k("AutoDialog"), k("1"));
    state.DialogMessage = store.read(C, k("DialogMessage"), kDefaultDialogMessage);
    state.PlayWav = store.readBool(C, k("PlayWav"), k("0"));
    state.RandomPlayWAV = store.readBool(C, k("RandomPlayWAV"), k("0"));
    state.WavFile = store.read(C, k("WavFile"));
    state.WavFolder = store.read(C, k("WavFolder"));
    state.RunInTray = store.readBool(C, k("RunInTray"), k("1"));
    state.AutoMarkRead = store.readBool(C, k("AutoMarkRead"), k("0"));
    state.LogFilesPath = store.read(C, k("LogFilesPath"), defaultLogFolder);
    state.LogDisabled = store.readBool(C, k("LogDisabled"), k("True"));
    state.LogAllInOne = store.readBool(C, k("LogAllInOne"), k("True"));
    state.CAFile = store.read(C, k("CAFile"));
}

void WriteOptions(SettingsStore& store, const AppState& state)
{
    store.write(C, k("PoolingTime"), QString::number(state.PoolingTime));
    store.write(C, k("AutoExpand"), SettingsStore::fromBool(state.AutoExpand));
    store.write(C, k("AutoDialog"), SettingsStore::fromBool(state.AutoDialog));
    store.write(C, k("DialogMessage"), state.DialogMessage);
    store.write(C, k("PlayWav"), SettingsStore::fromBool(state.PlayWav));
    store.write(C, k("RandomPlayWAV"), SettingsStore::fromBool(state.RandomPlayWAV));
    store.write(C, k("WavFile"), state.WavFile);
    store.write(C, k("WavFolder"), state.WavFolder);
    store.write(C, k("RunInTray"), SettingsStore::fromBool(state.RunInTray));
    store.write(C, k("AutoMarkRead"), SettingsStore::fromBool(state.AutoMarkRead));
    store.sync();
}

void WriteLogSettings(SettingsStore& store, const AppState& state)
{
    store.write(C, k("LogFilesPath"), state.LogFilesPath);
    store.write(C, k("LogDisabled"), SettingsStore::fromBool(state.LogDisabled));
    store.write(C, k("LogAllInOne"), SettingsStore::fromBool(state.LogAllInOne));
    store.sync();
}

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
