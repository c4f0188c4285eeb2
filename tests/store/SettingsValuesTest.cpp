#include "store/AppState.h"
#include "store/Options.h"
#include "store/RuleTables.h"
#include "store/SettingsStore.h"
#include "store/WindowGeometry.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

using namespace ormisk;

namespace {
QString conf(const QTemporaryDir& dir) { return dir.filePath(QStringLiteral("Ormisk.conf")); }
} // namespace

TEST(SettingsValues, LenientBooleans)
{
    for (const char* t : { "1", "-1", "True", "TRUE", "true", "tRuE", " 7 " })
        EXPECT_TRUE(SettingsStore::toBool(QLatin1String(t), false)) << t;
    for (const char* f : { "0", "False", "FALSE", "false", "00" })
        EXPECT_FALSE(SettingsStore::toBool(QLatin1String(f), true)) << f;
    // Unreadable values keep the default instead of silently flipping.
    EXPECT_TRUE(SettingsStore::toBool(QStringLiteral("yes please"), true));
    EXPECT_FALSE(SettingsStore::toBool(QString(), false));
}

TEST(SettingsValues, CountsAndNumbers)
{
    EXPECT_EQ(SettingsStore::toCount(QStringLiteral("3")), 3);
    EXPECT_EQ(SettingsStore::toCount(QStringLiteral("-4")), 0);
    EXPECT_EQ(SettingsStore::toCount(QStringLiteral("abc")), 0);
    EXPECT_EQ(SettingsStore::toCount(QStringLiteral("99999")), 0);
    EXPECT_EQ(SettingsStore::toInt32(QStringLiteral("995"), 110), 995);
    EXPECT_EQ(SettingsStore::toInt32(QStringLiteral("port"), 110), 110);
    EXPECT_EQ(SettingsStore::toInt32(QStringLiteral("99999999999"), 110), 110);
}

TEST(SettingsValues, EmptyStoreGivesEveryDefault)
{
    QTemporaryDir dir;
    SettingsStore store(conf(dir));
    AppState s;
    s.options.PoolingTime = 77; // prove the load overwrites
    s.options = LoadOptions(store, QStringLiteral("/data/Logs/"));
    s.filters.load(store);
    s.wavActions.load(store);
    EXPECT_EQ(s.options.PoolingTime, 5);
    EXPECT_TRUE(s.options.AutoExpand);
    EXPECT_TRUE(s.options.AutoDialog);
    EXPECT_EQ(s.options.DialogMessage, QStringLiteral("You have # new message[s]"));
    EXPECT_FALSE(s.options.PlayWav);
    EXPECT_FALSE(s.options.RandomPlayWAV);
    EXPECT_TRUE(s.options.WavFile.isEmpty());
    EXPECT_TRUE(s.options.RunInTray);
    EXPECT_FALSE(s.options.AutoMarkRead);
    EXPECT_EQ(s.options.LogFilesPath, QStringLiteral("/data/Logs/"));
    EXPECT_TRUE(s.options.LogDisabled);
    EXPECT_TRUE(s.options.LogAllInOne);
    EXPECT_EQ(s.options.CheckTimeLimit, 600);
    EXPECT_EQ(s.FilterCount(), 0);
    EXPECT_EQ(s.WavActionCount(), 0);
    EXPECT_TRUE(s.filters.autoPrompt());
    const StoredGeometry g = ReadGeometry(store);
    EXPECT_FALSE(g.top || g.left || g.width || g.height || g.state);
}

TEST(SettingsValues, FileIsOwnerOnly)
{
    QTemporaryDir dir;
    {
        SettingsStore store(conf(dir));
        store.write(Section::Config, QStringLiteral("PoolingTime"), QStringLiteral("3"));
        store.sync();
    }
    const auto perms = QFile::permissions(conf(dir));
    EXPECT_TRUE(perms & QFile::ReadOwner);
    EXPECT_FALSE(perms & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther));
}

TEST(SettingsValues, EachWriterWritesExactlyItsKeys)
{
    QTemporaryDir dir;
    const auto keysWritten = [&](const std::function<void(SettingsStore&)>& write) {
        const QString file = dir.filePath(QStringLiteral("keys.conf"));
        QFile::remove(file);
        SettingsStore store(file);
        write(store);
        QSettings written(file, QSettings::IniFormat);
        written.beginGroup(Section::Config);
        QStringList keys = written.childKeys();
        keys.sort();
        return keys;
    };
    QStringList options = { QStringLiteral("PoolingTime"), QStringLiteral("AutoExpand"), QStringLiteral("AutoDialog"),
        QStringLiteral("DialogMessage"), QStringLiteral("PlayWav"), QStringLiteral("RandomPlayWAV"),
        QStringLiteral("WavFile"), QStringLiteral("WavFolder"), QStringLiteral("RunInTray"),
        QStringLiteral("AutoMarkRead"), QStringLiteral("DesktopNotifications") };
    options.sort();
    EXPECT_EQ(keysWritten([](SettingsStore& s) { WriteOptions(s, Options {}); }), options);
    EXPECT_EQ(keysWritten([](SettingsStore& s) { WriteLogSettings(s, Options {}); }),
        (QStringList { QStringLiteral("LogAllInOne"), QStringLiteral("LogDisabled"), QStringLiteral("LogFilesPath") }));
}

TEST(SettingsValues, OptionsRoundTripAndGeometryRules)
{
    QTemporaryDir dir;
    SettingsStore store(conf(dir));
    AppState s;
    s.options.PoolingTime = 12;
    s.options.DialogMessage = QStringLiteral("  Mail: # [new] ; = \"x\"  ");
    s.options.PlayWav = true;
    s.options.WavFile = QStringLiteral("/home/me/Sounds/ding, dong.wav");
    WriteOptions(store, s.options);
    WriteNormalGeometry(store, 1500, 3000, 4500, 6000);
    WriteMaximizedState(store);
    AppState t;
    t.options = LoadOptions(store, QString());
    EXPECT_EQ(t.options.PoolingTime, 12);
    EXPECT_EQ(t.options.DialogMessage, s.options.DialogMessage);
    EXPECT_TRUE(t.options.PlayWav);
    EXPECT_EQ(t.options.WavFile, s.options.WavFile);
    EXPECT_EQ(store.read(Section::Config, QStringLiteral("PlayWav")), QStringLiteral("True"));
    const StoredGeometry g = ReadGeometry(store);
    // Maximizing keeps the last normal position and size.
    EXPECT_EQ(*g.top, 1500);
    EXPECT_EQ(*g.left, 3000);
    EXPECT_EQ(*g.height, 4500);
    EXPECT_EQ(*g.width, 6000);
    EXPECT_EQ(*g.state, 2);
    // A damaged geometry value is ignored rather than throwing the window off screen.
    store.write(Section::Config, QStringLiteral("Top"), QStringLiteral("1e30"));
    store.write(Section::Config, QStringLiteral("State"), QStringLiteral("maximized"));
    const StoredGeometry h = ReadGeometry(store);
    EXPECT_FALSE(h.top.has_value());
    EXPECT_FALSE(h.state.has_value());
}

TEST(RuleTables, LoadDefaultsStaleItemsAndSaveOrder)
{
    QTemporaryDir dir;
    SettingsStore store(conf(dir));
    store.write(Section::Filters, QStringLiteral("TotalFilters"), QStringLiteral("1"));
    store.write(Section::Filters, QStringLiteral("SenderText1"), QStringLiteral("joe"));
    store.write(Section::Filters, QStringLiteral("SenderText2"), QStringLiteral("stale"));
    AppState s;
    s.filters.load(store);
    ASSERT_EQ(s.FilterCount(), 1);
    const FilterRule& f = s.filters.first();
    EXPECT_EQ(f.SenderText, QStringLiteral("joe"));
    EXPECT_TRUE(f.SenderMatch);
    EXPECT_TRUE(f.SubjectText.isEmpty());
    EXPECT_TRUE(f.AndMode);
    EXPECT_FALSE(f.Disabled);

    // Ten actions: the tenth item's keys end in "10".
    for (int i = 0; i < 10; ++i) {
        WavAction a;
        a.SenderText = QStringLiteral("s%1").arg(i + 1);
        a.WavFile = QStringLiteral("/w/%1.wav").arg(i + 1);
        a.AndMode = i % 2 == 0;
        s.wavActions.append(a);
    }
    s.wavActions.save(store);
    EXPECT_EQ(store.read(Section::Actions, QStringLiteral("TotalActions")), QStringLiteral("10"));
    EXPECT_EQ(store.read(Section::Actions, QStringLiteral("WavFile10")), QStringLiteral("/w/10.wav"));
    EXPECT_FALSE(store.contains(Section::Actions, QStringLiteral("WavFile010")));
    AppState t;
    t.wavActions.load(store);
    ASSERT_EQ(t.WavActionCount(), 10);
    EXPECT_EQ(t.wavActions.at(9).SenderText, QStringLiteral("s10"));
    EXPECT_FALSE(t.wavActions.at(1).AndMode);
}

TEST(SettingsValues, CheckTimeLimitOutsideItsRangeReadsAsTheDefault)
{
    QTemporaryDir dir;
    SettingsStore store(conf(dir));
    for (const auto& [stored, expected] : { std::pair { "120", 120 }, { "86400", 86400 }, { "9", 600 }, { "0", 600 },
             { "-5", 600 }, { "86401", 600 }, { "ten", 600 } }) {
        store.write(Section::Config, QStringLiteral("CheckTimeLimit"), QLatin1String(stored));
        EXPECT_EQ(LoadOptions(store, QString()).CheckTimeLimit, expected) << stored;
    }
}
