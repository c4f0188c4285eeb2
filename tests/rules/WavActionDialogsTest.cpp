#include "rules/WavActionEditDialog.h"
#include "rules/WavActionListDialog.h"
#include "store/RuleTables.h"

#include "RuleFixture.h"
#include "support/NextDialog.h"

using namespace ormisk;
using namespace ormisk::testing;

namespace {

struct PlayCall {
    QString file;
    QString folder;
    bool playWav;
};

class WavActionDialogs : public RuleFixture {
protected:
    // Records the sound settings in force at each call, as the real player would read them.
    std::function<void()> recorder()
    {
        return [this] { plays.append({ state.options.WavFile, state.options.WavFolder, state.options.PlayWav }); };
    }
    QList<PlayCall> plays;
};

} // namespace

TEST_F(WavActionDialogs, OkNeedsATextAndAFileTestNeedsAFile)
{
    WavActionEditDialog d(state, *store, dialogs, recorder());
    d.show();
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Ormisk --- Add WAV Action"));
    auto* ok = child<QPushButton>(d, "butOK");
    auto* test = child<QPushButton>(d, "butTestWav");
    auto* file = child<QLineEdit>(d, "txtWavFile");
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_FALSE(test->isEnabled());

    file->setText(QStringLiteral("/s/a.wav"));
    EXPECT_TRUE(test->isEnabled());
    EXPECT_FALSE(ok->isEnabled()); // a file alone is no rule
    QTest::keyClicks(child<QLineEdit>(d, "txtSubject"), QStringLiteral("hi"));
    EXPECT_TRUE(ok->isEnabled());
    file->clear();
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_FALSE(test->isEnabled());
    // The file box, too, refuses a typed leading space.
    QTest::keyClick(file, Qt::Key_Space);
    EXPECT_TRUE(file->text().isEmpty());
}

TEST_F(WavActionDialogs, TestPlaysTheNamedFileEvenInRandomModeAndRestoresTheSettings)
{
    state.options.PlayWav = false;
    state.options.RandomPlayWAV = true;
    state.options.WavFile = QStringLiteral("/s/general.wav");
    state.options.WavFolder = QStringLiteral("/s/folder");
    WavActionEditDialog d(state, *store, dialogs, recorder());
    d.show();
    child<QLineEdit>(d, "txtWavFile")->setText(QStringLiteral("/s/joe.wav"));
    click(d, "butTestWav");

    ASSERT_EQ(plays.size(), 1);
    EXPECT_EQ(plays[0].file, QStringLiteral("/s/joe.wav"));
    EXPECT_EQ(plays[0].folder, QString());
    EXPECT_TRUE(plays[0].playWav);
    EXPECT_FALSE(state.options.PlayWav);
    EXPECT_TRUE(state.options.RandomPlayWAV);
    EXPECT_EQ(state.options.WavFile, QStringLiteral("/s/general.wav"));
    EXPECT_EQ(state.options.WavFolder, QStringLiteral("/s/folder"));
}

TEST_F(WavActionDialogs, SelectFileTakesThePickAndKeepsTheTextOnCancel)
{
    state.CurrentWavAction.SenderText = QStringLiteral("joe");
    state.CurrentWavAction.WavFile = QStringLiteral("/s/old.wav");
    WavActionEditDialog d(state, *store, dialogs, recorder());
    d.show();
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Ormisk --- Modify WAV Action"));
    auto* file = child<QLineEdit>(d, "txtWavFile");
    EXPECT_EQ(file->text(), QStringLiteral("/s/old.wav"));

    click(d, "butSelectWav"); // nothing scripted: the user cancels
    EXPECT_EQ(file->text(), QStringLiteral("/s/old.wav"));
    dialogs.fileNames << QStringLiteral("/s/new.wav");
    click(d, "butSelectWav");
    EXPECT_EQ(file->text(), QStringLiteral("/s/new.wav"));
    ASSERT_EQ(dialogs.askedFilters.size(), 2);
    EXPECT_EQ(dialogs.askedFilters[0], QStringLiteral("WAV Files (*.wav);;All Files (*)"));

    click(d, "butOK");
    EXPECT_TRUE(state.DialogAccepted);
    EXPECT_EQ(state.CurrentWavAction.WavFile, QStringLiteral("/s/new.wav"));
}

TEST_F(WavActionDialogs, AddStartsWithAnEmptyFileBoxAndSavesEveryKey)
{
    state.CurrentWavAction.WavFile = QStringLiteral("/s/left-over.wav");
    WavActionListDialog list(state, *store, dialogs, recorder());
    list.show();
    EXPECT_EQ(list.windowTitle(), QStringLiteral("Ormisk --- Advance WAV Settings"));

    NextDialog<WavActionEditDialog> editor([](WavActionEditDialog& d) {
        EXPECT_TRUE(child<QLineEdit>(d, "txtWavFile")->text().isEmpty());
        QTest::keyClicks(child<QLineEdit>(d, "txtSender"), QStringLiteral("joe"));
        child<QRadioButton>(d, "optSenderExact")->click();
        QTest::keyClicks(child<QLineEdit>(d, "txtWavFile"), QStringLiteral("/s/joe.wav"));
        click(d, "butOK");
    });
    click(list, "butAdd");
    ASSERT_EQ(editor.shown(), 1);

    EXPECT_EQ(
        listTexts(list, "lstActions"), QStringList { QStringLiteral("Sender equal \"joe\" Play \"/s/joe.wav\"") });
    auto again = reopen();
    const QString& s = Section::Actions;
    EXPECT_EQ(again->read(s, QStringLiteral("TotalActions")), QStringLiteral("1"));
    EXPECT_EQ(again->read(s, QStringLiteral("SenderText1")), QStringLiteral("joe"));
    EXPECT_EQ(again->read(s, QStringLiteral("SubjectText1")), QString());
    EXPECT_EQ(again->read(s, QStringLiteral("SenderMatch1")), QStringLiteral("True"));
    EXPECT_EQ(again->read(s, QStringLiteral("AND1")), QStringLiteral("True"));
    EXPECT_EQ(again->read(s, QStringLiteral("Disabled1")), QStringLiteral("False"));
    EXPECT_EQ(again->read(s, QStringLiteral("WavFile1")), QStringLiteral("/s/joe.wav"));
    EXPECT_FALSE(again->contains(s, QStringLiteral("AutoPrompt")));
}

TEST_F(WavActionDialogs, ModifyCancelAndDeleteTheOnlyAction)
{
    WavAction a;
    a.SubjectText = QStringLiteral("news");
    a.WavFile = QStringLiteral("/s/news.wav");
    state.wavActions = { a };
    state.wavActions.save(*store);
    WavActionListDialog list(state, *store, dialogs, recorder());
    list.show();
    pick(list, "lstActions", 0);

    NextDialog<WavActionEditDialog> editor([](WavActionEditDialog& d) {
        child<QLineEdit>(d, "txtWavFile")->setText(QStringLiteral("/s/other.wav"));
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    click(list, "butModify");
    ASSERT_EQ(editor.shown(), 1);
    EXPECT_EQ(state.wavActions[0].WavFile, QStringLiteral("/s/news.wav"));
    EXPECT_EQ(stored(Section::Actions, "WavFile1"), QStringLiteral("/s/news.wav"));

    pick(list, "lstActions", 0);
    click(list, "butDelete");
    EXPECT_TRUE(state.wavActions.isEmpty());
    EXPECT_EQ(stored(Section::Actions, "TotalActions"), QStringLiteral("0"));
    EXPECT_EQ(stored(Section::Actions, "WavFile1"), QStringLiteral("/s/news.wav"));
}

TEST_F(WavActionDialogs, TabOrderAndTips)
{
    WavActionEditDialog d(state, *store, dialogs, recorder());
    const QStringList expected = { QStringLiteral("butOK"), QStringLiteral("butCancel"), QStringLiteral("txtSender"),
        QStringLiteral("optSenderAnywhere"), QStringLiteral("optSenderExact"), QStringLiteral("optAnd"),
        QStringLiteral("optOr"), QStringLiteral("txtSubject"), QStringLiteral("optSubjectAnywhere"),
        QStringLiteral("optSubjectExact"), QStringLiteral("txtWavFile"), QStringLiteral("butSelectWav"),
        QStringLiteral("butTestWav") };
    QStringList order;
    QWidget* w = child<QWidget>(d, "butOK");
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w && w != child<QWidget>(d, "butOK"));
    EXPECT_EQ(order, expected);

    EXPECT_EQ(child<QWidget>(d, "butTestWav")->toolTip(), QStringLiteral("Play the WAV file now"));
    EXPECT_EQ(child<QWidget>(d, "butSelectWav")->toolTip(), QStringLiteral("Select the sound to be played"));
    EXPECT_EQ(child<QWidget>(d, "optOr")->toolTip(), QStringLiteral("Sender OR Subject must exist"));
    EXPECT_TRUE(child<QPushButton>(d, "butOK")->isDefault());
}
