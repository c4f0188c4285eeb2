#include "sound/SoundTrial.h"
#include "store/Options.h"

#include <gtest/gtest.h>

using namespace ormisk;

// "Test" in random mode plays the named file, and the program stays in random mode with its own
// file and folder.
TEST(SoundTrial, PlaysTheDialogsChoiceAndPutsTheRunningSettingsBack)
{
    Options running;
    running.PlayWav = false;
    running.RandomPlayWAV = true;
    running.WavFile = QStringLiteral("/s/general.wav");
    running.WavFolder = QStringLiteral("/s/folder");
    Options heard;
    PlayTrial(running, SoundTrial { QStringLiteral("/s/joe.wav"), QString(), true }, [&] { heard = running; });
    EXPECT_EQ(heard.WavFile, QStringLiteral("/s/joe.wav"));
    EXPECT_EQ(heard.WavFolder, QString());
    EXPECT_TRUE(heard.PlayWav);
    EXPECT_FALSE(running.PlayWav);
    EXPECT_TRUE(running.RandomPlayWAV);
    EXPECT_EQ(running.WavFile, QStringLiteral("/s/general.wav"));
    EXPECT_EQ(running.WavFolder, QStringLiteral("/s/folder"));
}
