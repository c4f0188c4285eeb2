#include "options/OptionsDialog.h"

#include "support/ScriptedDialogService.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace ormisk;
using ormisk::testing::ScriptedDialogService;

namespace {

// The dialog over `options`, with hooks that stand for the running program.
class OptionsDialogTest : public ::testing::Test {
protected:
    std::unique_ptr<OptionsDialog> open()
    {
        OptionsDialog::Hooks hooks;
        hooks.soundModeChosen = [this](bool single) { modes.append(single); };
        hooks.testSound = [this](const QString& file, const QString& folder) {
            played.append({ file, folder });
            // Once only: a nested press must not recurse for ever.
            if (auto once = std::exchange(duringPlay, nullptr))
                once();
        };
        hooks.openAdvancedWav = [this] { ++advancedOpened; };
        auto dialog = std::make_unique<OptionsDialog>(options, dialogs, hooks);
        dialog->show();
        dialog->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        return dialog;
    }
    template <typename T> static T* child(QDialog& d, const char* name)
    {
        auto* w = d.findChild<T*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static void retype(QDialog& d, const char* box, const QString& text)
    {
        auto* edit = child<QLineEdit>(d, box);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    // A check box only takes clicks on its indicator and text, not on the rest of its width.
    static void click(QDialog& d, const char* name)
    {
        auto* button = child<QAbstractButton>(d, name);
        const QPoint at = qobject_cast<QCheckBox*>(button) ? QPoint(6, button->height() / 2) : button->rect().center();
        QTest::mouseClick(button, Qt::LeftButton, {}, at);
    }

    struct Played {
        QString file, folder;
    };
    Options options;
    ScriptedDialogService dialogs;
    QList<bool> modes; // each tick of a sound mode, true for single play
    QList<Played> played;
    int advancedOpened = 0;
    // Runs inside the sound call, as events do while it waits for the previous sound.
    std::function<void()> duringPlay;
};

} // namespace

TEST(PollingPeriod, ReadsWholeAndFractionalMinutesRoundingHalfToEven)
{
    EXPECT_EQ(ParsePollingPeriod(QStringLiteral("5")), 5);
    EXPECT_EQ(ParsePollingPeriod(QStringLiteral(" 7 ")), 7);
    EXPECT_EQ(ParsePollingPeriod(QStringLiteral("1.4")), 1);
    EXPECT_EQ(ParsePollingPeriod(QStringLiteral("1.5")), 2);
    EXPECT_EQ(ParsePollingPeriod(QStringLiteral("2.5")), 2);
    EXPECT_EQ(ParsePollingPeriod(QStringLiteral("3.5")), 4);
    EXPECT_EQ(ParsePollingPeriod(QStringLiteral("2.51")), 3);
    // The largest period whose seconds still fit a signed 32-bit count.
    EXPECT_EQ(ParsePollingPeriod(QStringLiteral("35791394")), 35791394);
}

TEST(PollingPeriod, RefusesShortMalformedAndOverlongPeriods)
{
    for (const char* text : { "", "0", "0.9", "-3", "abc", "5x", "1,5", "inf", "nan", "1e3", "35791395",
             "99999999999999999999", "4294967296" })
        EXPECT_FALSE(ParsePollingPeriod(QLatin1String(text)).has_value()) << text;
}

TEST_F(OptionsDialogTest, EachValidationMessageKeepsTheDialogOpenWithFocusOnItsBox)
{
    options.PlayWav = false;
    options.RandomPlayWAV = true;
    options.WavFolder.clear();
    auto d = open();

    const auto expectRefused = [&](const QString& text, const char* focus) {
        click(*d, "butOK");
        ASSERT_FALSE(dialogs.shown.isEmpty());
        EXPECT_EQ(dialogs.shown.last().title, QStringLiteral("Option Error"));
        EXPECT_EQ(dialogs.shown.last().text, text);
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(QApplication::focusWidget(), child<QWidget>(*d, focus));
        EXPECT_FALSE(d->confirmed().has_value());
    };
    for (const char* bad : { "0", "", "abc", "0.9", "5x", "99999999" }) {
        retype(*d, "txtPoolingTime", QLatin1String(bad));
        expectRefused(QStringLiteral("Pooling must not be less then 1 minute"), "txtPoolingTime");
    }
    retype(*d, "txtPoolingTime", QStringLiteral("3"));
    child<QCheckBox>(*d, "chkAutoDialog")->setChecked(true);
    retype(*d, "txtDialogMessage", QString());
    expectRefused(QStringLiteral("You must enter a dialog message or disable it"), "txtDialogMessage");

    // An empty message is fine once the notification window is off.
    child<QCheckBox>(*d, "chkAutoDialog")->setChecked(false);
    EXPECT_FALSE(child<QLineEdit>(*d, "txtDialogMessage")->isEnabled());
    expectRefused(QStringLiteral("You must enter a WAV file name or disable it"), "txtWavFile");

    EXPECT_EQ(dialogs.shown.size(), 8);
}

TEST_F(OptionsDialogTest, OkCommitsEveryOptionAndKeepsTheOthers)
{
    options.WavFile = QStringLiteral("/snd/one.wav");
    options.LogFilesPath = QStringLiteral("/logs/");
    auto d = open();
    retype(*d, "txtPoolingTime", QStringLiteral("1.5"));
    child<QCheckBox>(*d, "chkAutoExpand")->setChecked(false);
    retype(*d, "txtDialogMessage", QStringLiteral(" # waiting "));
    click(*d, "chkPlayWav");
    click(*d, "chkAutoMarkRead");
    click(*d, "chkRunInTray");
    click(*d, "butOK");

    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_FALSE(d->isVisible());
    ASSERT_TRUE(d->confirmed().has_value());
    const Options& chosen = *d->confirmed();
    EXPECT_EQ(chosen.PoolingTime, 2);
    EXPECT_FALSE(chosen.AutoExpand);
    EXPECT_EQ(chosen.DialogMessage, QStringLiteral(" # waiting "));
    EXPECT_TRUE(chosen.PlayWav);
    EXPECT_FALSE(chosen.RandomPlayWAV);
    EXPECT_EQ(chosen.WavFile, QStringLiteral("/snd/one.wav"));
    EXPECT_FALSE(chosen.RunInTray);
    EXPECT_TRUE(chosen.AutoMarkRead);
    EXPECT_EQ(chosen.LogFilesPath, QStringLiteral("/logs/"));
    EXPECT_EQ(modes, QList<bool> { true });
}

TEST_F(OptionsDialogTest, SwitchingModesKeepsBothTheFileAndTheFolder)
{
    options.PlayWav = true;
    options.WavFile = QStringLiteral("/snd/one.wav");
    options.WavFolder = QStringLiteral("/snd/many");
    auto d = open();
    auto* box = child<QLineEdit>(*d, "txtWavFile");
    auto* select = child<QPushButton>(*d, "butSelectWav");
    EXPECT_EQ(box->text(), QStringLiteral("/snd/one.wav"));
    EXPECT_EQ(select->text(), QStringLiteral("Select &WAV File..."));

    click(*d, "chkRandomPlayWAV");
    EXPECT_FALSE(child<QCheckBox>(*d, "chkPlayWav")->isChecked());
    EXPECT_EQ(select->text(), QStringLiteral("Select &WAV Folder..."));
    EXPECT_EQ(box->text(), QStringLiteral("/snd/many"));
    retype(*d, "txtWavFile", QStringLiteral("/snd/more"));

    click(*d, "chkPlayWav");
    EXPECT_EQ(box->text(), QStringLiteral("/snd/one.wav"));
    click(*d, "chkRandomPlayWAV");
    EXPECT_EQ(box->text(), QStringLiteral("/snd/more"));
    click(*d, "chkPlayWav");
    // The running program followed every tick: loading, then random, single, random, single.
    EXPECT_EQ(modes, (QList<bool> { true, false, true, false, true }));
    click(*d, "butOK");
    ASSERT_TRUE(d->confirmed().has_value());
    EXPECT_EQ(d->confirmed()->WavFile, QStringLiteral("/snd/one.wav"));
    EXPECT_EQ(d->confirmed()->WavFolder, QStringLiteral("/snd/more"));
    EXPECT_TRUE(d->confirmed()->PlayWav);
    EXPECT_FALSE(d->confirmed()->RandomPlayWAV);
}

TEST_F(OptionsDialogTest, CancelKeepsOnlyTheModeSetByATick)
{
    options.WavFolder = QStringLiteral("/snd/many");
    auto d = open();
    // No sound mode: the sound controls are off.
    for (const char* name : { "txtWavFile", "butSelectWav", "butTest", "chkAutoMarkRead" })
        EXPECT_FALSE(child<QWidget>(*d, name)->isEnabled()) << name;
    retype(*d, "txtPoolingTime", QStringLiteral("9"));
    click(*d, "chkRandomPlayWAV");
    for (const char* name : { "txtWavFile", "butSelectWav", "butTest", "chkAutoMarkRead" })
        EXPECT_TRUE(child<QWidget>(*d, name)->isEnabled()) << name;
    retype(*d, "txtWavFile", QStringLiteral("/elsewhere"));
    QTest::keyClick(d.get(), Qt::Key_Escape);

    EXPECT_FALSE(d->isVisible());
    EXPECT_FALSE(d->confirmed().has_value());
    EXPECT_EQ(modes, QList<bool> { false });
}

TEST_F(OptionsDialogTest, BothModesStoredOpensInSingleMode)
{
    options.PlayWav = true;
    options.RandomPlayWAV = true;
    auto d = open();
    EXPECT_TRUE(child<QCheckBox>(*d, "chkPlayWav")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(*d, "chkRandomPlayWAV")->isChecked());
    EXPECT_EQ(modes, QList<bool> { true });
}

TEST_F(OptionsDialogTest, TestPlaysTheShownFileAndFolder)
{
    options.RandomPlayWAV = true;
    options.WavFile = QStringLiteral("/old.wav");
    options.WavFolder = QStringLiteral("/old");
    auto d = open();
    retype(*d, "txtWavFile", QString());
    EXPECT_FALSE(child<QPushButton>(*d, "butTest")->isEnabled());
    retype(*d, "txtWavFile", QStringLiteral("/new"));
    click(*d, "chkPlayWav");
    retype(*d, "txtWavFile", QStringLiteral("/new.wav"));
    click(*d, "butTest");

    ASSERT_EQ(played.size(), 1);
    EXPECT_EQ(played[0].file, QStringLiteral("/new.wav"));
    EXPECT_EQ(played[0].folder, QStringLiteral("/new"));

    click(*d, "butAdvancedWav");
    EXPECT_EQ(advancedOpened, 1);
}

TEST_F(OptionsDialogTest, SelectButtonAsksForAFileOrAFolderAndIgnoresCancel)
{
    options.PlayWav = true;
    options.WavFile = QStringLiteral("/a.wav");
    auto d = open();
    auto* box = child<QLineEdit>(*d, "txtWavFile");
    dialogs.fileNames = { QStringLiteral("/picked.wav"), QString() };
    click(*d, "butSelectWav");
    EXPECT_EQ(box->text(), QStringLiteral("/picked.wav"));
    click(*d, "butSelectWav");
    EXPECT_EQ(box->text(), QStringLiteral("/picked.wav"));
    EXPECT_EQ(dialogs.askedFilters.value(0), QStringLiteral("WAV Files (*.wav);;All Files (*)"));

    click(*d, "chkRandomPlayWAV");
    dialogs.folders = { QStringLiteral("/picked"), QString() };
    click(*d, "butSelectWav");
    EXPECT_EQ(box->text(), QStringLiteral("/picked"));
    click(*d, "butSelectWav");
    EXPECT_EQ(box->text(), QStringLiteral("/picked"));
    EXPECT_EQ(dialogs.askedCaptions.last(), QStringLiteral("Select a WAV Folder"));
}

TEST_F(OptionsDialogTest, OkPressedWhileATestWaitsCommitsWhatItShows)
{
    options.PlayWav = true;
    options.WavFile = QStringLiteral("/old.wav");
    auto d = open();
    retype(*d, "txtWavFile", QStringLiteral("/new.wav"));
    duringPlay = [&] { child<QPushButton>(*d, "butTest")->click(); };
    click(*d, "butTest");
    EXPECT_EQ(played.size(), 2);

    duringPlay = [&] { child<QPushButton>(*d, "butOK")->click(); };
    click(*d, "butTest");
    ASSERT_TRUE(d->confirmed().has_value());
    EXPECT_EQ(d->confirmed()->WavFile, QStringLiteral("/new.wav"));
}
