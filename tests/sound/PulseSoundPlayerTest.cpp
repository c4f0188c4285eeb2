// Every play is answered exactly once, also when nothing can be heard.
#include "sound/PulseSoundPlayer.h"
#include "engine/SoundRoutine.h"
#include "store/AppState.h"
#include "support/ScopedEnv.h"
#include "support/WavWriter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ormisk;
using namespace ormisk::test;

namespace {

class PlayerFailures : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // No server at this address: the player must give up, not wait. The cookie stays here too.
        env.set("PULSE_SERVER", "unix:" + dir.filePath(QStringLiteral("no-such-socket")).toLocal8Bit());
        env.set("PULSE_COOKIE", dir.filePath(QStringLiteral("cookie")).toLocal8Bit());
        tone = dir.filePath(QStringLiteral("tone.wav"));
        ASSERT_TRUE(writeToneWav(tone, 200));
    }

    // Plays and waits for the one answer; the result is how long it took.
    qint64 playAndWait(PulseSoundPlayer& player, const QString& file)
    {
        QSignalSpy finished(&player, &SoundPlayer::finished);
        QElapsedTimer clock;
        clock.start();
        player.play(file);
        EXPECT_EQ(finished.count(), 0) << "finished must not come from inside play()";
        EXPECT_TRUE(finished.wait(10000));
        const qint64 took = clock.elapsed();
        // A second report would show up here.
        QSignalSpy extra(&player, &SoundPlayer::finished);
        EXPECT_FALSE(extra.wait(300));
        EXPECT_EQ(finished.count(), 1);
        return took;
    }

    QTemporaryDir dir;
    ScopedEnv env;
    QString tone;
};

} // namespace

TEST_F(PlayerFailures, MissingNonAudioAndEmptyNamesFinishAtOnce)
{
    PulseSoundPlayer player;
    QFile text(dir.filePath(QStringLiteral("notes.wav")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("this is not a sound at all\n");
    text.close();

    for (const QString& file :
        { dir.filePath(QStringLiteral("missing.wav")), text.fileName(), dir.path() + QLatin1Char('/'), QString() }) {
        // Well before the watchdog: the worker itself reports the failure.
        EXPECT_LT(playAndWait(player, file), 2000) << file.toStdString();
        EXPECT_TRUE(player.lastError().startsWith(QStringLiteral("cannot open"))) << player.lastError().toStdString();
    }
}

TEST_F(PlayerFailures, NoSoundServerFinishesAtOnce)
{
    PulseSoundPlayer player;
    QSignalSpy failed(&player, &PulseSoundPlayer::failed);
    EXPECT_LT(playAndWait(player, tone), 2000);
    EXPECT_EQ(failed.count(), 1);
    EXPECT_TRUE(player.lastError().startsWith(QStringLiteral("no sound server"))) << player.lastError().toStdString();
    EXPECT_FALSE(player.isPlaying());
}

TEST_F(PlayerFailures, PlaysAskedForTogetherAreAnsweredOneEach)
{
    PulseSoundPlayer player;
    QSignalSpy finished(&player, &SoundPlayer::finished);
    player.play(tone);
    player.play(dir.filePath(QStringLiteral("missing.wav")));
    player.play(tone);
    QElapsedTimer clock;
    clock.start();
    while (finished.count() < 3 && clock.elapsed() < 10000)
        finished.wait(10000 - static_cast<int>(clock.elapsed()));
    EXPECT_EQ(finished.count(), 3);
    EXPECT_FALSE(finished.wait(300));
}

TEST_F(PlayerFailures, WatchdogEndsASoundTheServerNeverAnswers)
{
    // A socket that accepts connections but never speaks: the stream can never open.
    QLocalServer silent;
    const QString socket = dir.filePath(QStringLiteral("silent.sock"));
    ASSERT_TRUE(silent.listen(socket));
    env.set("PULSE_SERVER", "unix:" + socket.toLocal8Bit());

    auto player = std::make_unique<PulseSoundPlayer>();
    player->setWatchdogMargin(300);
    QSignalSpy finished(player.get(), &SoundPlayer::finished);
    player->play(tone);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(player->lastError(), QStringLiteral("no end reported in time"));

    // The next sound waits behind the stuck one; the stuck one's late report must not count for it.
    player->play(dir.filePath(QStringLiteral("missing.wav")));
    silent.close(); // the stuck connection now fails, the worker moves on
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(finished.count(), 2);
    EXPECT_FALSE(finished.wait(300));
    EXPECT_EQ(finished.count(), 2);
}

TEST_F(PlayerFailures, SoundRoutineOverTheRealPlayerNeverHangs)
{
    // Missing file, text file and no server: each call still waits for the one before and the
    // device always comes free again.
    QFile text(dir.filePath(QStringLiteral("readme.wav")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("plain text");
    text.close();

    AppState state;
    PulseSoundPlayer player;
    SoundRoutine routine(state, player, {});
    QSignalSpy idle(&routine, &SoundRoutine::soundIdle);
    state.options.PlayWav = true;
    for (const QString& file : { dir.filePath(QStringLiteral("missing.wav")), text.fileName(), tone }) {
        state.options.WavFile = file;
        QCoro::waitFor(routine.PlayMessage(SoundRequest::fromOptions(state.options)));
    }
    EXPECT_EQ(idle.count(), 2) << "each later call waited for one end";
    ASSERT_TRUE(idle.wait(5000));
    EXPECT_TRUE(routine.idle());
    EXPECT_EQ(idle.count(), 3);
}
