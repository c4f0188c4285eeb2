// The filter and sound-rule editors: one pair of dialogs, each kind with its own texts.
#include "rules/RuleKind.h"
#include "rules/RuleListDialog.h"
#include "store/RuleTables.h"

#include "RuleFixture.h"
#include "support/NextDialog.h"

#include <QLabel>

using namespace ormisk;
using namespace ormisk::testing;

namespace {

FilterRule makeRule(const char* sender, const char* subject)
{
    FilterRule r;
    r.SenderText = QString::fromUtf8(sender);
    r.SubjectText = QString::fromUtf8(subject);
    return r;
}

WavAction asAction(const FilterRule& rule)
{
    WavAction a;
    static_cast<FilterRule&>(a) = rule;
    return a;
}

class RuleDialogs : public RuleFixture {
protected:
    // Three stored filters, loaded the way start-up loads them.
    void seedThree()
    {
        state.filters = { makeRule("ann", ""), makeRule("", "bob"), makeRule("cy", "sale") };
        state.filters[2].SenderMatch = false;
        state.filters[2].AndMode = false;
        state.filters.save(*store);
        state = AppState {};
        state.filters.load(*reopen());
        ASSERT_EQ(state.FilterCount(), 3);
    }
    // The filter list as its menu entry opens it; `act` works it like a user.
    void inFilterList(const std::function<void(RuleListDialog&)>& act)
    {
        NextDialog<RuleListDialog> list(act);
        EditFilters(state.filters, *store, dialogs, nullptr);
        ASSERT_EQ(list.shown(), 1);
    }
    void inSoundRuleList(const std::function<void(RuleListDialog&)>& act)
    {
        NextDialog<RuleListDialog> list(act);
        EditWavActions(
            state.wavActions, *store, dialogs, [this](const QString& file) { played << file; }, nullptr);
        ASSERT_EQ(list.shown(), 1);
    }
    RuleEditServices services()
    {
        return { dialogs, [this](const QString& file) { played << file; } };
    }

    QStringList played;
};

} // namespace

TEST_F(RuleDialogs, EachKindShowsItsOwnTexts)
{
    struct Expected {
        const RuleKind& kind;
        const char* form;
        const char* caption;
        const char* label;
        const char* add;
        const char* exitTip;
    };
    for (const Expected& e : { Expected { kFilterRules, "Filter", "Ormisk --- Message Filtering",
                                   "Message &Filters:", "&Add Filter...", "Exit Message Filtering" },
             Expected { kSoundRules, "AdvWAV", "Ormisk --- Advance WAV Settings", "WAV &Actions:", "&Add Action...",
                 "Exit Advance WAV Settings" } }) {
        RuleListDialog list(e.kind, {}, {}, services());
        EXPECT_EQ(list.objectName(), QLatin1String(e.form));
        EXPECT_EQ(list.windowTitle(), QLatin1String(e.caption));
        EXPECT_EQ(child<QLabel>(list, "lblRules")->text(), QLatin1String(e.label));
        EXPECT_EQ(child<QPushButton>(list, "butAdd")->text(), QLatin1String(e.add));
        EXPECT_EQ(child<QPushButton>(list, "butAdd")->toolTip(), QStringLiteral("Add a filter to the list"));
        EXPECT_EQ(child<QPushButton>(list, "butModify")->toolTip(), QStringLiteral("Modify the selected filter"));
        EXPECT_EQ(child<QPushButton>(list, "butDelete")->toolTip(), QStringLiteral("Delete the selected filter"));
        EXPECT_EQ(child<QPushButton>(list, "butExit")->toolTip(), QLatin1String(e.exitTip));
        EXPECT_TRUE(child<QPushButton>(list, "butExit")->isDefault());
    }
}

TEST_F(RuleDialogs, ListShowsEachRuleAndNeedsAPickForModifyAndDelete)
{
    seedThree();
    QList<WavAction> rules;
    for (const FilterRule& f : state.filters)
        rules << asAction(f);
    RuleListDialog list(kFilterRules, rules, {}, services());
    list.show();
    EXPECT_EQ(listTexts(list, "lstRules"),
        (QStringList { QStringLiteral("Sender equal \"ann\""), QStringLiteral("Subject equal \"bob\""),
            QStringLiteral("Sender include \"cy\" OR Subject equal \"sale\"") }));
    // Focusing the list picks nothing.
    child<QListWidget>(list, "lstRules")->setFocus(Qt::TabFocusReason);
    EXPECT_FALSE(child<QPushButton>(list, "butModify")->isEnabled());
    EXPECT_FALSE(child<QPushButton>(list, "butDelete")->isEnabled());
    pick(list, "lstRules", 1);
    EXPECT_TRUE(child<QPushButton>(list, "butModify")->isEnabled());
    EXPECT_TRUE(child<QPushButton>(list, "butDelete")->isEnabled());
}

TEST_F(RuleDialogs, AddedFilterIsSavedEnabledAndThePromptFlagStays)
{
    seedThree();
    state.filters.setAutoPrompt(false); // not the default, so a rewrite with "True" would show
    state.filters[2].Disabled = true; // the last rule read: a new one must not inherit it
    NextDialog<RuleEditDialog> editor([](RuleEditDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Ormisk --- Add Filter"));
        EXPECT_TRUE(child<QLineEdit>(d, "txtSender")->text().isEmpty());
        EXPECT_TRUE(child<QRadioButton>(d, "optAnd")->isChecked());
        QTest::keyClicks(child<QLineEdit>(d, "txtSender"), QStringLiteral("dee"));
        QTest::keyClicks(child<QLineEdit>(d, "txtSubject"), QStringLiteral("offer"));
        child<QRadioButton>(d, "optSubjectExact")->click();
        child<QRadioButton>(d, "optOr")->click();
        click(d, "butOK");
    });
    inFilterList([](RuleListDialog& list) {
        click(list, "butAdd");
        EXPECT_EQ(
            listTexts(list, "lstRules").value(3), QStringLiteral("Sender include \"dee\" OR Subject equal \"offer\""));
    });
    ASSERT_EQ(editor.shown(), 1);

    ASSERT_EQ(state.FilterCount(), 4);
    EXPECT_FALSE(state.filters[3].Disabled);
    EXPECT_FALSE(state.filters.autoPrompt());
    auto again = reopen();
    const QString& s = Section::Filters;
    EXPECT_EQ(again->read(s, QStringLiteral("TotalFilters")), QStringLiteral("4"));
    EXPECT_EQ(again->read(s, QStringLiteral("AutoPrompt")), QStringLiteral("False"));
    EXPECT_EQ(again->read(s, QStringLiteral("SenderText4")), QStringLiteral("dee"));
    EXPECT_EQ(again->read(s, QStringLiteral("SubjectText4")), QStringLiteral("offer"));
    EXPECT_EQ(again->read(s, QStringLiteral("SenderMatch4")), QStringLiteral("False"));
    EXPECT_EQ(again->read(s, QStringLiteral("SubjectMatch4")), QStringLiteral("True"));
    EXPECT_EQ(again->read(s, QStringLiteral("AND4")), QStringLiteral("False"));
    EXPECT_EQ(again->read(s, QStringLiteral("Disabled4")), QStringLiteral("False"));
    EXPECT_EQ(again->read(s, QStringLiteral("Disabled3")), QStringLiteral("True"));
}

TEST_F(RuleDialogs, ModifyReplacesTheEntryAndKeepsItsDisabledFlag)
{
    seedThree();
    state.filters[1].Disabled = true;
    state.filters.save(*store);
    NextDialog<RuleEditDialog> editor([](RuleEditDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Ormisk --- Modify Filter"));
        EXPECT_EQ(child<QLineEdit>(d, "txtSubject")->text(), QStringLiteral("bob"));
        EXPECT_TRUE(child<QRadioButton>(d, "optSubjectExact")->isChecked());
        child<QLineEdit>(d, "txtSubject")->setText(QStringLiteral("bobby"));
        click(d, "butOK");
    });
    inFilterList([](RuleListDialog& list) {
        pick(list, "lstRules", 1);
        click(list, "butModify");
        EXPECT_EQ(listTexts(list, "lstRules").value(1), QStringLiteral("Subject equal \"bobby\""));
    });
    ASSERT_EQ(editor.shown(), 1);

    EXPECT_EQ(state.filters[1].SubjectText, QStringLiteral("bobby"));
    EXPECT_TRUE(state.filters[1].Disabled);
    EXPECT_EQ(stored(Section::Filters, "SubjectText2"), QStringLiteral("bobby"));
    EXPECT_EQ(stored(Section::Filters, "Disabled2"), QStringLiteral("True"));
    EXPECT_EQ(stored(Section::Filters, "TotalFilters"), QStringLiteral("3"));
}

TEST_F(RuleDialogs, CancelledModifyChangesNothing)
{
    seedThree();
    QFile file(storeFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    NextDialog<RuleEditDialog> editor([](RuleEditDialog& d) {
        child<QLineEdit>(d, "txtSender")->setText(QStringLiteral("changed"));
        child<QRadioButton>(d, "optAnd")->click();
        click(d, "butCancel");
    });
    QStringList textsBefore;
    QStringList textsAfter;
    inFilterList([&](RuleListDialog& list) {
        textsBefore = listTexts(list, "lstRules");
        pick(list, "lstRules", 2);
        click(list, "butModify");
        textsAfter = listTexts(list, "lstRules");
    });
    ASSERT_EQ(editor.shown(), 1);
    EXPECT_EQ(textsAfter, textsBefore);
    EXPECT_EQ(state.filters[2].SenderText, QStringLiteral("cy"));
    EXPECT_FALSE(state.filters[2].AndMode);
    store->sync();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
}

TEST_F(RuleDialogs, DeletingTheMiddleFilterShiftsTheLastAndLeavesItsOldKeys)
{
    seedThree();
    inFilterList([](RuleListDialog& list) {
        pick(list, "lstRules", 1);
        click(list, "butDelete");
        EXPECT_EQ(
            listTexts(list, "lstRules").value(1), QStringLiteral("Sender include \"cy\" OR Subject equal \"sale\""));
        // Nothing is current after a delete, so a second press cannot delete a neighbour by surprise.
        EXPECT_FALSE(child<QPushButton>(list, "butDelete")->isEnabled());
    });

    ASSERT_EQ(state.FilterCount(), 2);
    EXPECT_EQ(state.filters[1].SenderText, QStringLiteral("cy"));
    auto again = reopen();
    const QString& s = Section::Filters;
    EXPECT_EQ(again->read(s, QStringLiteral("TotalFilters")), QStringLiteral("2"));
    EXPECT_EQ(again->read(s, QStringLiteral("SenderText1")), QStringLiteral("ann"));
    EXPECT_EQ(again->read(s, QStringLiteral("SenderText2")), QStringLiteral("cy"));
    EXPECT_EQ(again->read(s, QStringLiteral("SubjectText2")), QStringLiteral("sale"));
    EXPECT_EQ(again->read(s, QStringLiteral("AND2")), QStringLiteral("False"));
    EXPECT_EQ(again->read(s, QStringLiteral("SenderText3")), QStringLiteral("cy")); // stale, beyond the count
}

TEST_F(RuleDialogs, FilterEditorEnablesOkAndChoicesFromTheTexts)
{
    RuleEditDialog d(kFilterRules, WavAction {}, services());
    d.show();
    auto* ok = child<QPushButton>(d, "butOK");
    auto* sender = child<QLineEdit>(d, "txtSender");
    auto* subject = child<QLineEdit>(d, "txtSubject");
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_FALSE(child<QRadioButton>(d, "optSenderExact")->isEnabled());
    EXPECT_FALSE(child<QRadioButton>(d, "optAnd")->isEnabled());
    EXPECT_EQ(d.findChild<QLineEdit*>(QStringLiteral("txtWavFile")), nullptr);

    // A typed leading space is swallowed, so OK stays off until a real character arrives.
    QTest::keyClick(sender, Qt::Key_Space);
    EXPECT_TRUE(sender->text().isEmpty());
    EXPECT_FALSE(ok->isEnabled());

    QTest::keyClicks(subject, QStringLiteral("x"));
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_TRUE(child<QRadioButton>(d, "optSubjectAnywhere")->isEnabled());
    EXPECT_FALSE(child<QRadioButton>(d, "optSenderAnywhere")->isEnabled());
    EXPECT_FALSE(child<QRadioButton>(d, "optOr")->isEnabled());

    QTest::keyClicks(sender, QStringLiteral("y"));
    EXPECT_TRUE(child<QRadioButton>(d, "optOr")->isEnabled());
    subject->clear();
    EXPECT_FALSE(child<QRadioButton>(d, "optOr")->isEnabled());
    EXPECT_TRUE(ok->isEnabled());
}

TEST_F(RuleDialogs, DisabledChoicesAreStillStoredAndEscapeCancels)
{
    WavAction rule = asAction(makeRule("joe", ""));
    rule.AndMode = false;
    RuleEditDialog d(kFilterRules, rule, services());
    d.show();
    EXPECT_TRUE(child<QRadioButton>(d, "optOr")->isChecked());
    EXPECT_FALSE(child<QRadioButton>(d, "optOr")->isEnabled());
    click(d, "butOK");
    ASSERT_TRUE(d.confirmed().has_value());
    EXPECT_FALSE(d.confirmed()->AndMode);
    EXPECT_TRUE(d.confirmed()->SenderMatch);
    EXPECT_TRUE(d.confirmed()->SubjectMatch); // "anywhere" is not what the hidden subject choice showed

    RuleEditDialog other(kFilterRules, rule, services());
    other.show();
    child<QLineEdit>(other, "txtSender")->setText(QStringLiteral("other"));
    QTest::keyClick(&other, Qt::Key_Escape);
    EXPECT_FALSE(other.isVisible());
    EXPECT_FALSE(other.confirmed().has_value());
}

TEST_F(RuleDialogs, SoundRuleOkNeedsATextAndAFileTestNeedsAFile)
{
    RuleEditDialog d(kSoundRules, WavAction {}, services());
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
    click(d, "butTestWav");
    EXPECT_EQ(played, QStringList { QStringLiteral("/s/a.wav") });
    QTest::keyClicks(child<QLineEdit>(d, "txtSubject"), QStringLiteral("hi"));
    EXPECT_TRUE(ok->isEnabled());
    file->clear();
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_FALSE(test->isEnabled());
    // The file box, too, refuses a typed leading space.
    QTest::keyClick(file, Qt::Key_Space);
    EXPECT_TRUE(file->text().isEmpty());
}

TEST_F(RuleDialogs, SelectFileTakesThePickAndKeepsTheTextOnCancel)
{
    WavAction rule;
    rule.SenderText = QStringLiteral("joe");
    rule.WavFile = QStringLiteral("/s/old.wav");
    RuleEditDialog d(kSoundRules, rule, services());
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
    ASSERT_TRUE(d.confirmed().has_value());
    EXPECT_EQ(d.confirmed()->WavFile, QStringLiteral("/s/new.wav"));
}

TEST_F(RuleDialogs, AddedSoundRuleStartsWithAnEmptyFileBoxAndSavesEveryKey)
{
    NextDialog<RuleEditDialog> editor([](RuleEditDialog& d) {
        EXPECT_TRUE(child<QLineEdit>(d, "txtWavFile")->text().isEmpty());
        QTest::keyClicks(child<QLineEdit>(d, "txtSender"), QStringLiteral("joe"));
        child<QRadioButton>(d, "optSenderExact")->click();
        QTest::keyClicks(child<QLineEdit>(d, "txtWavFile"), QStringLiteral("/s/joe.wav"));
        click(d, "butOK");
    });
    inSoundRuleList([](RuleListDialog& list) {
        click(list, "butAdd");
        EXPECT_EQ(
            listTexts(list, "lstRules"), QStringList { QStringLiteral("Sender equal \"joe\" Play \"/s/joe.wav\"") });
    });
    ASSERT_EQ(editor.shown(), 1);
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

TEST_F(RuleDialogs, SoundRuleModifyCancelThenDeleteTheOnlyOne)
{
    WavAction a;
    a.SubjectText = QStringLiteral("news");
    a.WavFile = QStringLiteral("/s/news.wav");
    state.wavActions = { a };
    state.wavActions.save(*store);
    NextDialog<RuleEditDialog> editor([](RuleEditDialog& d) {
        child<QLineEdit>(d, "txtWavFile")->setText(QStringLiteral("/s/other.wav"));
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    inSoundRuleList([&](RuleListDialog& list) {
        pick(list, "lstRules", 0);
        click(list, "butModify");
        EXPECT_EQ(state.wavActions[0].WavFile, QStringLiteral("/s/news.wav"));
        EXPECT_EQ(stored(Section::Actions, "WavFile1"), QStringLiteral("/s/news.wav"));
        pick(list, "lstRules", 0);
        click(list, "butDelete");
    });
    ASSERT_EQ(editor.shown(), 1);
    EXPECT_TRUE(state.wavActions.isEmpty());
    EXPECT_EQ(stored(Section::Actions, "TotalActions"), QStringLiteral("0"));
    EXPECT_EQ(stored(Section::Actions, "WavFile1"), QStringLiteral("/s/news.wav"));
}

TEST_F(RuleDialogs, EachEditorKeepsItsTabOrderAndTips)
{
    const auto tabOrder = [](QDialog& d) {
        QStringList order;
        QWidget* ok = child<QWidget>(d, "butOK");
        QWidget* w = ok;
        do {
            if (w->focusPolicy() & Qt::TabFocus)
                order << w->objectName();
            w = w->nextInFocusChain();
        } while (w && w != ok);
        return order;
    };
    const QStringList rule = { QStringLiteral("txtSender"), QStringLiteral("optSenderAnywhere"),
        QStringLiteral("optSenderExact"), QStringLiteral("optAnd"), QStringLiteral("optOr"),
        QStringLiteral("txtSubject"), QStringLiteral("optSubjectAnywhere"), QStringLiteral("optSubjectExact") };
    const QStringList buttons = { QStringLiteral("butOK"), QStringLiteral("butCancel") };

    RuleEditDialog filter(kFilterRules, WavAction {}, services());
    EXPECT_EQ(tabOrder(filter), buttons + rule);
    RuleEditDialog sound(kSoundRules, WavAction {}, services());
    const QStringList file
        = { QStringLiteral("txtWavFile"), QStringLiteral("butSelectWav"), QStringLiteral("butTestWav") };
    EXPECT_EQ(tabOrder(sound), buttons + rule + file);

    for (QDialog* d : { static_cast<QDialog*>(&filter), static_cast<QDialog*>(&sound) }) {
        EXPECT_EQ(child<QWidget>(*d, "optOr")->toolTip(), QStringLiteral("Sender OR Subject must exist"));
        EXPECT_EQ(child<QWidget>(*d, "butOK")->toolTip(), QStringLiteral("Click here to accept and return"));
        EXPECT_TRUE(child<QPushButton>(*d, "butOK")->isDefault());
    }
    EXPECT_EQ(child<QWidget>(sound, "butTestWav")->toolTip(), QStringLiteral("Play the WAV file now"));
    EXPECT_EQ(child<QWidget>(sound, "butSelectWav")->toolTip(), QStringLiteral("Select the sound to be played"));
}
