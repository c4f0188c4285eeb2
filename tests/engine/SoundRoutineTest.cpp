// The sound routine: one sound at a time, and the right file for each mode.
#include "engine/SoundRoutine.h"
#include "engine/SoundPlayer.h"
#include "store/AppState.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace ormisk;

namespace {

// Remembers what it was asked to play; a test says when each sound ends.
class RecordingPlayer : public SoundPlayer {
public:
    void play(const QString& file) override { played.append(file); }
    void end() { emit finished(); }
    QStringList played;
};

class SoundRoutineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    void touch(const QString& name)
    {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    AppState state;
    RecordingPlayer player;
    int beeps = 0;
    SoundRoutine routine { state, player, [this] { ++beeps; } };
    QTemporaryDir dir;
};

} // namespace

TEST_F(SoundRoutineTest, SecondCallWaitsForTheFirstSoundToEnd)
{
    state.options.PlayWav = true;
    state.options.WavFile = QStringLiteral("/sounds/first.wav");
    QCoro::waitFor(routine.PlayMessage(SoundRequest::fromOptions(state.options)));
    EXPECT_EQ(player.played, QStringList { QStringLiteral("/sounds/first.wav") });
    EXPECT_FALSE(routine.idle());

    // While the second call waits, window events still run; the first sound ends from one.
    QStringList seenWhileWaiting;
    QTimer::singleShot(20, [&] {
        seenWhileWaiting = player.played;
        player.end();
    });
    state.options.WavFile = QStringLiteral("/sounds/second.wav");
    QCoro::waitFor(routine.PlayMessage(SoundRequest::fromOptions(state.options)));
    EXPECT_EQ(seenWhileWaiting, QStringList { QStringLiteral("/sounds/first.wav") });
    EXPECT_EQ(
        player.played, (QStringList { QStringLiteral("/sounds/first.wav"), QStringLiteral("/sounds/second.wav") }));
    EXPECT_FALSE(routine.idle());
    player.end();
    EXPECT_TRUE(routine.idle());
}

TEST_F(SoundRoutineTest, EachEndLetsOneWaitingCallThroughInTurn)
{
    const auto play = [&](const char* file) {
        return routine.PlayMessage(SoundRequest { true, QLatin1String(file), {} });
    };
    QCoro::waitFor(play("a.wav"));
    const QCoro::Task<> second = play("b.wav");
    const QCoro::Task<> third = play("c.wav");
    EXPECT_EQ(player.played, QStringList { QStringLiteral("a.wav") });
    player.end();
    ASSERT_TRUE(ormisk::testing::waitUntil([&] { return second.isReady(); }));
    EXPECT_FALSE(third.isReady());
    EXPECT_EQ(player.played, (QStringList { QStringLiteral("a.wav"), QStringLiteral("b.wav") }));
    player.end();
    ASSERT_TRUE(ormisk::testing::waitUntil([&] { return third.isReady(); }));
    EXPECT_EQ(player.played.last(), QStringLiteral("c.wav"));
    EXPECT_FALSE(routine.idle());
}

TEST_F(SoundRoutineTest, SingleFileModeUsesTheNameAsStored)
{
    state.options.PlayWav = true;
    state.options.WavFolder = dir.path();
    state.options.WavFile = QStringLiteral("/does/not/exist.wav");
    QCoro::waitFor(routine.PlayMessage(SoundRequest::fromOptions(state.options)));
    EXPECT_EQ(player.played, QStringList { QStringLiteral("/does/not/exist.wav") });
    EXPECT_EQ(beeps, 0);
}

TEST_F(SoundRoutineTest, RandomModePicksOnlyWavFilesAndEveryOneOfThem)
{
    touch(QStringLiteral("A.WAV"));
    touch(QStringLiteral("b.wav"));
    touch(QStringLiteral("c.txt"));
    touch(QStringLiteral(".hidden.wav"));
    touch(QStringLiteral("wav"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.wav")));

    bool ok = false;
    EXPECT_EQ(SoundRoutine::listWavFiles(dir.path(), &ok),
        (QStringList { QStringLiteral("A.WAV"), QStringLiteral("b.wav") }));
    EXPECT_TRUE(ok);

    state.options.PlayWav = false;
    state.options.WavFolder = dir.path();
    QSet<QString> chosen;
    for (int i = 0; i < 40; ++i) {
        QCoro::waitFor(routine.PlayMessage(SoundRequest::fromOptions(state.options)));
        chosen.insert(player.played.last());
        player.end();
    }
    EXPECT_EQ(chosen, (QSet<QString> { dir.filePath(QStringLiteral("A.WAV")), dir.filePath(QStringLiteral("b.wav")) }));
    EXPECT_EQ(beeps, 0);
}

TEST_F(SoundRoutineTest, RandomModeWithOneFileAlwaysPlaysIt)
{
    touch(QStringLiteral("only.wav"));
    state.options.PlayWav = false;
    state.options.WavFolder = dir.path();
    for (int i = 0; i < 10; ++i) {
        QCoro::waitFor(routine.PlayMessage(SoundRequest::fromOptions(state.options)));
        EXPECT_EQ(player.played.last(), dir.filePath(QStringLiteral("only.wav")));
        player.end();
    }
}

TEST_F(SoundRoutineTest, MissingFolderBeepsAndReplaysTheLastFile)
{
    state.options.PlayWav = true;
    state.options.WavFile = QStringLiteral("/sounds/last.wav");
    QCoro::waitFor(routine.PlayMessage(SoundRequest::fromOptions(state.options)));
    player.end();

    state.options.PlayWav = false;
    for (const QString& folder : { dir.filePath(QStringLiteral("gone")), QString() }) {
        state.options.WavFolder = folder;
        QCoro::waitFor(routine.PlayMessage(SoundRequest::fromOptions(state.options)));
        EXPECT_EQ(player.played.last(), QStringLiteral("/sounds/last.wav"));
        EXPECT_FALSE(routine.idle()) << "the replay still has to report its end";
        player.end();
        EXPECT_TRUE(routine.idle());
    }
    EXPECT_EQ(beeps, 2);
    EXPECT_EQ(player.played.size(), 3);
}

TEST_F(SoundRoutineTest, EmptyFolderPlaysNothingButStillCompletes)
{
    state.options.PlayWav = false;
    state.options.WavFolder = dir.path();
    QCoro::waitFor(routine.PlayMessage(SoundRequest::fromOptions(state.options)));
    ASSERT_EQ(player.played.size(), 1);
    EXPECT_FALSE(player.played.last().endsWith(QLatin1String(".wav")));
    EXPECT_EQ(beeps, 0);
    player.end();
    EXPECT_TRUE(routine.idle());
}
