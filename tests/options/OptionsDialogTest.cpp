#include "options/OptionsDialog.h"

#include "store/AppState.h"
#include "store/SettingsStore.h"
#include "support/ScriptedDialogService.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace ormisk;
using ormisk::testing::ScriptedDialogService;

namespace {

class OptionsDialogTest : public ::testing::Test {
protected:
    void SetUp() override { store = std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("Ormisk.conf"))); }

    std::unique_ptr<OptionsDialog> open()
    {
        auto dialog = std::make_unique<OptionsDialog>(
            state, *store, dialogs,
            [this] {
                played.append({ state.options.WavFile, state.options.WavFolder, state.options.PlayWav });
                // Once only: a nested press must not recurse for ever.
                if (auto once = std::exchange(duringPlay, nullptr))
                    once();
            },
            [this] { ++advancedOpened; });
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
    [[nodiscard]] QStringList writtenKeys() const
    {
        QSettings file(store->fileName(), QSettings::IniFormat);
        file.beginGroup(Section::Config);
        return file.childKeys();
    }

    struct Played {
        QString file, folder;
        bool single;
    };
    QTemporaryDir dir;
    std::unique_ptr<SettingsStore> store;
    AppState state;
    ScriptedDialogService dialogs;
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
    state.options.PlayWav = false;
    state.options.RandomPlayWAV = true;
    state.options.WavFolder.clear();
    auto d = open();

    const auto expectRefused = [&](const QString& text, const char* focus) {
        click(*d, "butOK");
        ASSERT_FALSE(dialogs.shown.isEmpty());
        EXPECT_EQ(dialogs.shown.last().title, QStringLiteral("Option Error"));
        EXPECT_EQ(dialogs.shown.last().text, text);
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(QApplication::focusWidget(), child<QWidget>(*d, focus));
        EXPECT_FALSE(state.DialogAccepted);
        EXPECT_FALSE(d->wasAccepted());
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
    EXPECT_TRUE(writtenKeys().isEmpty());
}

TEST_F(OptionsDialogTest, OkCommitsEveryOptionAndWritesExactlyTheOptionKeys)
{
    state.options.WavFile = QStringLiteral("/snd/one.wav");
    auto d = open();
    EXPECT_FALSE(state.SelectionResetAllowed);
    retype(*d, "txtPoolingTime", QStringLiteral("1.5"));
    child<QCheckBox>(*d, "chkAutoExpand")->setChecked(false);
    retype(*d, "txtDialogMessage", QStringLiteral(" # waiting "));
    click(*d, "chkPlayWav");
    click(*d, "chkAutoMarkRead");
    click(*d, "chkRunInTray");
    click(*d, "butOK");

    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_FALSE(d->isVisible());
    EXPECT_TRUE(d->wasAccepted());
    EXPECT_TRUE(state.DialogAccepted);
    EXPECT_TRUE(state.SelectionResetAllowed);
    EXPECT_EQ(state.options.PoolingTime, 2);
    EXPECT_FALSE(state.options.AutoExpand);
    EXPECT_EQ(state.options.DialogMessage, QStringLiteral(" # waiting "));
    EXPECT_TRUE(state.options.PlayWav);
    EXPECT_FALSE(state.options.RandomPlayWAV);
    EXPECT_FALSE(state.options.RunInTray);
    EXPECT_TRUE(state.options.AutoMarkRead);

    QStringList keys = writtenKeys();
    keys.sort();
    QStringList expected = { QStringLiteral("PoolingTime"), QStringLiteral("AutoExpand"), QStringLiteral("AutoDialog"),
        QStringLiteral("DialogMessage"), QStringLiteral("PlayWav"), QStringLiteral("RandomPlayWAV"),
        QStringLiteral("WavFile"), QStringLiteral("WavFolder"), QStringLiteral("RunInTray"),
        QStringLiteral("AutoMarkRead") };
    expected.sort();
    EXPECT_EQ(keys, expected);
    SettingsStore again(store->fileName());
    EXPECT_EQ(again.read(Section::Config, QStringLiteral("PoolingTime")), QStringLiteral("2"));
    EXPECT_EQ(again.read(Section::Config, QStringLiteral("AutoExpand")), QStringLiteral("False"));
    EXPECT_EQ(again.read(Section::Config, QStringLiteral("PlayWav")), QStringLiteral("True"));
    EXPECT_EQ(again.read(Section::Config, QStringLiteral("WavFile")), QStringLiteral("/snd/one.wav"));
    EXPECT_EQ(again.read(Section::Config, QStringLiteral("DialogMessage")), QStringLiteral(" # waiting "));
}

TEST_F(OptionsDialogTest, SwitchingModesKeepsBothTheFileAndTheFolder)
{
    state.options.PlayWav = true;
    state.options.WavFile = QStringLiteral("/snd/one.wav");
    state.options.WavFolder = QStringLiteral("/snd/many");
    auto d = open();
    auto* box = child<QLineEdit>(*d, "txtWavFile");
    auto* select = child<QPushButton>(*d, "butSelectWav");
    EXPECT_EQ(box->text(), QStringLiteral("/snd/one.wav"));
    EXPECT_EQ(select->text(), QStringLiteral("Select &WAV File..."));

    click(*d, "chkRandomPlayWAV");
    EXPECT_FALSE(child<QCheckBox>(*d, "chkPlayWav")->isChecked());
    EXPECT_EQ(select->text(), QStringLiteral("Select &WAV Folder..."));
    EXPECT_EQ(box->text(), QStringLiteral("/snd/many"));
    EXPECT_FALSE(state.options.PlayWav);
    EXPECT_TRUE(state.options.RandomPlayWAV);
    retype(*d, "txtWavFile", QStringLiteral("/snd/more"));

    click(*d, "chkPlayWav");
    EXPECT_EQ(box->text(), QStringLiteral("/snd/one.wav"));
    click(*d, "chkRandomPlayWAV");
    EXPECT_EQ(box->text(), QStringLiteral("/snd/more"));
    click(*d, "chkPlayWav");
    click(*d, "butOK");
    EXPECT_EQ(state.options.WavFile, QStringLiteral("/snd/one.wav"));
    EXPECT_EQ(state.options.WavFolder, QStringLiteral("/snd/more"));
    EXPECT_TRUE(state.options.PlayWav);
    EXPECT_FALSE(state.options.RandomPlayWAV);
}

TEST_F(OptionsDialogTest, CancelKeepsOnlyTheModeSetByATick)
{
    state.options.WavFolder = QStringLiteral("/snd/many");
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
    EXPECT_FALSE(d->wasAccepted());
    EXPECT_FALSE(state.DialogAccepted);
    EXPECT_TRUE(state.SelectionResetAllowed);
    EXPECT_TRUE(state.options.RandomPlayWAV);
    EXPECT_FALSE(state.options.PlayWav);
    EXPECT_EQ(state.options.PoolingTime, 5);
    EXPECT_EQ(state.options.WavFolder, QStringLiteral("/snd/many"));
    EXPECT_TRUE(writtenKeys().isEmpty());
}

TEST_F(OptionsDialogTest, BothModesStoredOpensInSingleMode)
{
    state.options.PlayWav = true;
    state.options.RandomPlayWAV = true;
    auto d = open();
    EXPECT_TRUE(child<QCheckBox>(*d, "chkPlayWav")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(*d, "chkRandomPlayWAV")->isChecked());
    EXPECT_FALSE(state.options.RandomPlayWAV);
}

TEST_F(OptionsDialogTest, TestPlaysTheShownFileAndFolderThenRestoresThem)
{
    state.options.RandomPlayWAV = true;
    state.options.WavFile = QStringLiteral("/old.wav");
    state.options.WavFolder = QStringLiteral("/old");
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
    EXPECT_TRUE(played[0].single);
    EXPECT_EQ(state.options.WavFile, QStringLiteral("/old.wav"));
    EXPECT_EQ(state.options.WavFolder, QStringLiteral("/old"));

    click(*d, "butAdvancedWav");
    EXPECT_EQ(advancedOpened, 1);
}

TEST_F(OptionsDialogTest, SelectButtonAsksForAFileOrAFolderAndIgnoresCancel)
{
    state.options.PlayWav = true;
    state.options.WavFile = QStringLiteral("/a.wav");
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

TEST_F(OptionsDialogTest, OkPressedWhileATestWaitsIsNotUndoneByTheTest)
{
    state.options.PlayWav = true;
    state.options.WavFile = QStringLiteral("/old.wav");
    auto d = open();
    retype(*d, "txtWavFile", QStringLiteral("/new.wav"));
    duringPlay = [&] { child<QPushButton>(*d, "butTest")->click(); };
    click(*d, "butTest");
    EXPECT_EQ(played.size(), 2);
    EXPECT_EQ(state.options.WavFile, QStringLiteral("/old.wav"));

    duringPlay = [&] { child<QPushButton>(*d, "butOK")->click(); };
    click(*d, "butTest");
    EXPECT_TRUE(d->wasAccepted());
    EXPECT_EQ(state.options.WavFile, QStringLiteral("/new.wav"));
}
