#include "store/Options.h"

#include "store/SettingsStore.h"

#include <variant>

namespace ormisk {

namespace {

const QString& C = Section::Config;

enum class Group { Option, Log, Other };

// Every key once, in the order the program reads them; the writers keep that order too.
struct Key {
    const char* name;
    const char* defaultText; // the folder of the log and the dialog message have theirs below
    std::variant<qint32 Options::*, bool Options::*, QString Options::*> member;
    Group group;
};

const Key kKeys[] = {
    { "PoolingTime", "5", &Options::PoolingTime, Group::Option },
    { "AutoExpand", "1", &Options::AutoExpand, Group::Option },
    { "AutoDialog", "1", &Options::AutoDialog, Group::Option },
    { "DialogMessage", "", &Options::DialogMessage, Group::Option },
    { "PlayWav", "0", &Options::PlayWav, Group::Option },
    { "RandomPlayWAV", "0", &Options::RandomPlayWAV, Group::Option },
    { "WavFile", "", &Options::WavFile, Group::Option },
    { "WavFolder", "", &Options::WavFolder, Group::Option },
    { "RunInTray", "1", &Options::RunInTray, Group::Option },
    { "AutoMarkRead", "0", &Options::AutoMarkRead, Group::Option },
    { "LogFilesPath", "", &Options::LogFilesPath, Group::Log },
    { "LogDisabled", "True", &Options::LogDisabled, Group::Log },
    { "LogAllInOne", "True", &Options::LogAllInOne, Group::Log },
    { "CAFile", "", &Options::CAFile, Group::Other },
    { "CheckTimeLimit", "600", &Options::CheckTimeLimit, Group::Other },
    { "PasswordsInKeyring", "True", &Options::PasswordsInKeyring, Group::Other },
    { "DesktopNotifications", "False", &Options::DesktopNotifications, Group::Option },
};

void write(SettingsStore& store, const Options& options, Group group)
{
    for (const Key& key : kKeys) {
        if (key.group != group)
            continue;
        const QString name = QLatin1String(key.name);
        std::visit(
            [&](auto member) {
                const auto& value = options.*member;
                using Value = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<Value, bool>)
                    store.write(C, name, SettingsStore::fromBool(value));
                else if constexpr (std::is_same_v<Value, qint32>)
                    store.write(C, name, QString::number(value));
                else
                    store.write(C, name, value);
            },
            key.member);
    }
    store.sync();
}

QString defaultText(const Key& key, const QString& defaultLogFolder)
{
    if (const auto* text = std::get_if<QString Options::*>(&key.member)) {
        if (*text == &Options::LogFilesPath)
            return defaultLogFolder;
        if (*text == &Options::DialogMessage)
            return kDefaultDialogMessage;
    }
    return QLatin1String(key.defaultText);
}

} // namespace

Options LoadOptions(const SettingsStore& store, const QString& defaultLogFolder)
{
    Options options;
    for (const Key& key : kKeys) {
        const QString name = QLatin1String(key.name);
        const QString fallback = defaultText(key, defaultLogFolder);
        std::visit(
            [&](auto member) {
                auto& value = options.*member;
                using Value = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<Value, bool>)
                    value = store.readBool(C, name, fallback);
                else if constexpr (std::is_same_v<Value, qint32>)
                    value = store.readInt32(C, name, fallback);
                else
                    value = store.read(C, name, fallback);
            },
            key.member);
    }
    // A hand-edited or damaged period would otherwise overflow the countdown or start a check on
    // every tick.
    if (!IsAcceptedPollMinutes(options.PoolingTime))
        options.PoolingTime = kDefaultPollMinutes;
    if (options.CheckTimeLimit < kShortestCheckTimeLimit || options.CheckTimeLimit > kLongestCheckTimeLimit)
        options.CheckTimeLimit = kDefaultCheckTimeLimit;
    return options;
}

void WriteOptions(SettingsStore& store, const Options& options) { write(store, options, Group::Option); }

void WriteLogSettings(SettingsStore& store, const Options& options) { write(store, options, Group::Log); }

} // namespace ormisk
