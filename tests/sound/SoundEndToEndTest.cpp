// Plays real WAV files through a private PulseAudio server and listens to what comes out.
#include "sound/PulseSoundPlayer.h"
#include "support/PulseSink.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace ormisk;
using namespace ormisk::test;

namespace {

// CI sets ORMISK_REQUIRE_AUDIO=1 so that a missing sound stack fails instead of passing quietly.
#define SKIP_OR_FAIL(why)                                                                                              \
    do {                                                                                                               \
        if (qEnvironmentVariableIntValue("ORMISK_REQUIRE_AUDIO") == 1)                                                 \
            FAIL() << (why).toStdString();                                                                             \
        GTEST_SKIP() << (why).toStdString();                                                                           \
    } while (false)

bool makeTone(const PulseSink& sink, const QString& file, const QStringList& format, const QString& seconds)
{
    QProcess sox;
    sox.setProcessEnvironment(sink.environment());
    sox.start(QStringLiteral("sox"),
        QStringList { QStringLiteral("-n") } + format
            + QStringList { file, QStringLiteral("synth"), seconds, QStringLiteral("sine"), QStringLiteral("660"),
                QStringLiteral("vol"), QStringLiteral("0.5") });
    return sox.waitForFinished(30000) && sox.exitStatus() == QProcess::NormalExit && sox.exitCode() == 0;
}

struct Heard {
    int loudBlocks = 0;
    int firstLoud = -1;
    int lastLoud = -1;
};

Heard listen(const MonitorRecorder& recorder)
{
    Heard heard;
    const QList<double> rms = recorder.blockRms();
    for (int i = 0; i < rms.size(); ++i) {
        if (rms[i] > 0.001) {
            ++heard.loudBlocks;
            if (heard.firstLoud < 0)
                heard.firstLoud = i;
            heard.lastLoud = i;
        }
    }
    return heard;
}

} // namespace

struct ToneFormat {
    const char* name;
    QStringList soxOptions;
    friend void PrintTo(const ToneFormat& format, std::ostream* out) { *out << format.name; }
};

class SoundEndToEnd : public ::testing::TestWithParam<ToneFormat> { };

TEST_P(SoundEndToEnd, WholeFileIsHeardAndTheEndIsReportedOnTime)
{
    const QString missing = PulseSink::missingTools();
    if (!missing.isEmpty())
        SKIP_OR_FAIL(
            QStringLiteral("sound test needs these programs (packages pulseaudio pulseaudio-utils sox): ") + missing);
    PulseSink sink;
    QString error;
    if (!sink.start(&error))
        SKIP_OR_FAIL(QStringLiteral("private PulseAudio server could not start: ") + error);

    const QString file = QDir(sink.folder()).filePath(QStringLiteral("tone.wav"));
    constexpr int kToneMs = 600;
    ASSERT_TRUE(makeTone(sink, file, GetParam().soxOptions, QStringLiteral("0.6")));

    MonitorRecorder recorder(sink);
    ASSERT_TRUE(recorder.start(&error)) << error.toStdString();

    PulseSoundPlayer player;
    qint64 finishedAt = -1;
    QObject::connect(&player, &SoundPlayer::finished, &player, [&] { finishedAt = recorder.clock().elapsed(); });
    QSignalSpy finished(&player, &SoundPlayer::finished);
    const qint64 playAt = recorder.clock().elapsed();
    player.play(file);
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(player.lastError(), QString());
    // Keep listening a little past the reported end, so sound that is still to come would show.
    ASSERT_TRUE(recorder.recordUntil(finishedAt + 400));
    EXPECT_EQ(finished.count(), 1);

    const Heard heard = listen(recorder);
    ASSERT_GT(heard.loudBlocks, 0) << "nothing was heard";
    // All of the tone, give or take a block at each edge where the sine starts or stops mid-block.
    const int heardMs = (heard.lastLoud - heard.firstLoud + 1) * MonitorRecorder::kBlockMs;
    EXPECT_GE(heardMs, kToneMs - 20);
    EXPECT_LE(heardMs, kToneMs + 30);
    EXPECT_GE(heard.loudBlocks * MonitorRecorder::kBlockMs, kToneMs - 20) << "gaps in the sound";

    const qint64 realStart = recorder.blockArrival(heard.firstLoud);
    EXPECT_LT(realStart - playAt, 500) << "the sound started late";
    const qint64 realEnd = recorder.blockArrival(heard.lastLoud);
    EXPECT_LT(std::abs(finishedAt - realEnd), 200)
        << "finished at " << finishedAt << " ms, sound ended at " << realEnd << " ms";
}

INSTANTIATE_TEST_SUITE_P(Formats, SoundEndToEnd,
    ::testing::Values(ToneFormat { "Pcm16Stereo44k",
                          { QStringLiteral("-r"), QStringLiteral("44100"), QStringLiteral("-c"), QStringLiteral("2"),
                              QStringLiteral("-b"), QStringLiteral("16") } },
        ToneFormat { "Pcm8Mono11k",
            { QStringLiteral("-r"), QStringLiteral("11025"), QStringLiteral("-c"), QStringLiteral("1"),
                QStringLiteral("-b"), QStringLiteral("8") } },
        ToneFormat { "Float32Stereo48k",
            { QStringLiteral("-r"), QStringLiteral("48000"), QStringLiteral("-c"), QStringLiteral("2"),
                QStringLiteral("-e"), QStringLiteral("floating-point"), QStringLiteral("-b"), QStringLiteral("32") } }),
    [](const ::testing::TestParamInfo<ToneFormat>& info) { return std::string(info.param.name); });
