#include "engine/MemoryTree.h"
#include "engine/RuleMatching.h"
#include "store/AppState.h"
#include "support/QtPrinters.h"
#include "support/RecordingHost.h"

#include <gtest/gtest.h>

using namespace ormisk;
using namespace ormisk::test;

namespace {

QString hdr(const QString& from, const QString& id)
{
    return QStringLiteral("From : ") + from + QStringLiteral("\r\nMessage-Id : ") + id + QStringLiteral("\r\n");
}

WavAction action(const QString& sender, const QString& file)
{
    WavAction a;
    a.SenderText = sender;
    a.SenderMatch = false;
    a.WavFile = file;
    return a;
}

class SoundStep : public ::testing::Test {
protected:
    SoundStep()
    {
        state.options.PlayWav = true;
        state.options.WavFile = QStringLiteral("general.wav");
        state.wavActions = { action(QStringLiteral("zed"), QStringLiteral("z.wav")),
            action(QStringLiteral("amy"), QStringLiteral("a.wav")) };
        tree.add({}, QStringLiteral("P1"), QStringLiteral("Work"), Image::NoMail);
    }
    void message(const QString& key, const QString& header, const QString& image)
    {
        tree.add(QStringLiteral("P1"), key, key, image);
        tree.setTag(key, header);
    }
    AppState state;
    qint32 unseen = 1; // messages of the cycle never seen before
    MemoryTree tree;
    RecordingHost host;
};

} // namespace

TEST_F(SoundStep, EachDistinctFileOnceInOrderWavFileUntouched)
{
    message(QStringLiteral("C1"), hdr(QStringLiteral("Zed"), QStringLiteral("<1>")), Image::NewMail);
    message(QStringLiteral("C2"), hdr(QStringLiteral("Amy"), QStringLiteral("<2>")), Image::NewMail);
    message(QStringLiteral("C3"), hdr(QStringLiteral("Zed"), QStringLiteral("<3>")), Image::NewMail);
    QCoro::waitFor(RunSoundStep(state, tree, host, unseen));
    EXPECT_EQ(host.played, (QStringList { QStringLiteral("a.wav"), QStringLiteral("z.wav") }));
    EXPECT_EQ(state.options.WavFile, QStringLiteral("general.wav"));
}

// While a rule's sound waits for the device, the options dialog may save: it must find (and keep)
// the user's own sound, never a rule's file.
TEST_F(SoundStep, OptionsSavedDuringARulesSoundKeepTheUsersFile)
{
    message(QStringLiteral("C1"), hdr(QStringLiteral("Zed"), QStringLiteral("<1>")), Image::NewMail);
    message(QStringLiteral("C2"), hdr(QStringLiteral("Amy"), QStringLiteral("<2>")), Image::NewMail);
    QStringList optionsWhilePlaying;
    host.whilePlaying = [&] {
        optionsWhilePlaying << state.options.WavFile;
        state.options.WavFile = QStringLiteral("chosen.wav");
    };
    QCoro::waitFor(RunSoundStep(state, tree, host, unseen));
    EXPECT_EQ(host.played, (QStringList { QStringLiteral("a.wav"), QStringLiteral("z.wav") }));
    EXPECT_EQ(optionsWhilePlaying, (QStringList { QStringLiteral("general.wav"), QStringLiteral("chosen.wav") }));
    EXPECT_EQ(state.options.WavFile, QStringLiteral("chosen.wav"));
}

TEST_F(SoundStep, NoActionMatchedPlaysTheGeneralSoundOnce)
{
    message(QStringLiteral("C1"), hdr(QStringLiteral("Bob"), QStringLiteral("<1>")), Image::NewMail);
    message(QStringLiteral("C2"), hdr(QStringLiteral("Bob"), QStringLiteral("<2>")), Image::NewMail);
    QCoro::waitFor(RunSoundStep(state, tree, host, unseen));
    EXPECT_EQ(host.played, QStringList { QStringLiteral("general.wav") });
}

TEST_F(SoundStep, SilentWithoutUnseenMailOrWithoutASoundMode)
{
    message(QStringLiteral("C1"), hdr(QStringLiteral("Zed"), QStringLiteral("<1>")), Image::NewMail);
    unseen = 0;
    QCoro::waitFor(RunSoundStep(state, tree, host, unseen));
    unseen = 1;
    state.options.PlayWav = false;
    QCoro::waitFor(RunSoundStep(state, tree, host, unseen));
    EXPECT_TRUE(host.played.isEmpty());
    state.options.RandomPlayWAV = true; // random mode still plays once per distinct action file
    QCoro::waitFor(RunSoundStep(state, tree, host, unseen));
    EXPECT_EQ(host.played, QStringList { QStringLiteral("z.wav") });
}

TEST_F(SoundStep, AutoMarkReadLimitsToUnreadNewMail)
{
    const QString readZed = hdr(QStringLiteral("Zed"), QStringLiteral("<1>"));
    message(QStringLiteral("C1"), readZed, Image::NewMail);
    message(QStringLiteral("C2"), hdr(QStringLiteral("Amy"), QStringLiteral("<2>")), Image::Mail);
    message(QStringLiteral("C3"), hdr(QStringLiteral("Amy"), QStringLiteral("<3>")), Image::Deleted);
    state.ReadHeaders = { readZed };
    state.options.AutoMarkRead = true;
    QCoro::waitFor(RunSoundStep(state, tree, host, unseen));
    EXPECT_EQ(host.played, QStringList { QStringLiteral("general.wav") });
    host.played.clear();
    state.options.AutoMarkRead = false; // every node takes part, "Mail" and "Deleted" too
    QCoro::waitFor(RunSoundStep(state, tree, host, unseen));
    EXPECT_EQ(host.played, (QStringList { QStringLiteral("a.wav"), QStringLiteral("z.wav") }));
}
