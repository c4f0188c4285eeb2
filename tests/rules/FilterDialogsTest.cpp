#include "rules/FilterEditDialog.h"
#include "rules/FilterListDialog.h"
#include "store/RuleTables.h"

#include "RuleFixture.h"
#include "support/NextDialog.h"

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

class FilterDialogs : public RuleFixture {
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
};

} // namespace

TEST_F(FilterDialogs, ListShowsEachRuleAndNeedsAPickForModifyAndDelete)
{
    seedThree();
    FilterListDialog list(state, *store, dialogs);
    list.show();
    EXPECT_EQ(list.windowTitle(), QStringLiteral("Ormisk --- Message Filtering"));
    EXPECT_EQ(listTexts(list, "lstFilters"),
        (QStringList { QStringLiteral("Sender equal \"ann\""), QStringLiteral("Subject equal \"bob\""),
            QStringLiteral("Sender include \"cy\" OR Subject equal \"sale\"") }));
    // Focusing the list picks nothing.
    child<QListWidget>(list, "lstFilters")->setFocus(Qt::TabFocusReason);
    EXPECT_FALSE(child<QPushButton>(list, "butModify")->isEnabled());
    EXPECT_FALSE(child<QPushButton>(list, "butDelete")->isEnabled());
    pick(list, "lstFilters", 1);
    EXPECT_TRUE(child<QPushButton>(list, "butModify")->isEnabled());
    EXPECT_TRUE(child<QPushButton>(list, "butDelete")->isEnabled());
}

TEST_F(FilterDialogs, AddAppendsSavesAndKeepsThePromptFlag)
{
    seedThree();
    state.filters.setAutoPrompt(false); // not the default, so a rewrite with "True" would show
    state.filters[2].Disabled = true;
    state.CurrentFilter = state.filters[2]; // as the last load or save leaves it
    FilterListDialog list(state, *store, dialogs);
    list.show();

    NextDialog<FilterEditDialog> editor([](FilterEditDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Ormisk --- Add Filter"));
        EXPECT_TRUE(child<QLineEdit>(d, "txtSender")->text().isEmpty());
        EXPECT_TRUE(child<QRadioButton>(d, "optAnd")->isChecked());
        QTest::keyClicks(child<QLineEdit>(d, "txtSender"), QStringLiteral("dee"));
        QTest::keyClicks(child<QLineEdit>(d, "txtSubject"), QStringLiteral("offer"));
        child<QRadioButton>(d, "optSubjectExact")->click();
        child<QRadioButton>(d, "optOr")->click();
        click(d, "butOK");
    });
    click(list, "butAdd");
    ASSERT_EQ(editor.shown(), 1);

    ASSERT_EQ(state.FilterCount(), 4);
    EXPECT_EQ(
        listTexts(list, "lstFilters").value(3), QStringLiteral("Sender include \"dee\" OR Subject equal \"offer\""));
    // A hidden switch-off of the previous rule does not carry into the new one.
    EXPECT_FALSE(state.filters[3].Disabled);

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

TEST_F(FilterDialogs, ModifyReplacesTheEntryAndKeepsItsDisabledFlag)
{
    seedThree();
    state.filters[1].Disabled = true;
    state.filters.save(*store);
    FilterListDialog list(state, *store, dialogs);
    list.show();
    pick(list, "lstFilters", 1);

    NextDialog<FilterEditDialog> editor([](FilterEditDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Ormisk --- Modify Filter"));
        EXPECT_EQ(child<QLineEdit>(d, "txtSubject")->text(), QStringLiteral("bob"));
        EXPECT_TRUE(child<QRadioButton>(d, "optSubjectExact")->isChecked());
        child<QLineEdit>(d, "txtSubject")->setText(QStringLiteral("bobby"));
        click(d, "butOK");
    });
    click(list, "butModify");
    ASSERT_EQ(editor.shown(), 1);

    EXPECT_EQ(listTexts(list, "lstFilters").value(1), QStringLiteral("Subject equal \"bobby\""));
    EXPECT_EQ(state.filters[1].SubjectText, QStringLiteral("bobby"));
    EXPECT_TRUE(state.filters[1].Disabled);
    EXPECT_EQ(stored(Section::Filters, "SubjectText2"), QStringLiteral("bobby"));
    EXPECT_EQ(stored(Section::Filters, "Disabled2"), QStringLiteral("True"));
    EXPECT_EQ(stored(Section::Filters, "TotalFilters"), QStringLiteral("3"));
}

TEST_F(FilterDialogs, CancelledModifyChangesNothing)
{
    seedThree();
    QFile file(storeFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    const QStringList textsBefore = [&] {
        FilterListDialog probe(state, *store, dialogs);
        return listTexts(probe, "lstFilters");
    }();

    FilterListDialog list(state, *store, dialogs);
    list.show();
    pick(list, "lstFilters", 2);
    state.CurrentFilter = state.filters[2];
    NextDialog<FilterEditDialog> editor([](FilterEditDialog& d) {
        child<QLineEdit>(d, "txtSender")->setText(QStringLiteral("changed"));
        child<QRadioButton>(d, "optAnd")->click();
        click(d, "butCancel");
    });
    click(list, "butModify");
    ASSERT_EQ(editor.shown(), 1);

    EXPECT_FALSE(state.DialogAccepted);
    EXPECT_EQ(state.CurrentFilter.SenderText, QStringLiteral("cy"));
    EXPECT_FALSE(state.CurrentFilter.AndMode);
    EXPECT_EQ(state.filters[2].SenderText, QStringLiteral("cy"));
    EXPECT_EQ(listTexts(list, "lstFilters"), textsBefore);
    store->sync();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
}

TEST_F(FilterDialogs, DeletingTheMiddleEntryShiftsTheLastAndLeavesItsOldKeys)
{
    seedThree();
    FilterListDialog list(state, *store, dialogs);
    list.show();
    pick(list, "lstFilters", 1);
    click(list, "butDelete");

    ASSERT_EQ(state.FilterCount(), 2);
    EXPECT_EQ(state.filters[1].SenderText, QStringLiteral("cy"));
    EXPECT_EQ(
        listTexts(list, "lstFilters").value(1), QStringLiteral("Sender include \"cy\" OR Subject equal \"sale\""));
    // Nothing is current after a delete, so a second press cannot delete a neighbour by surprise.
    EXPECT_FALSE(child<QPushButton>(list, "butDelete")->isEnabled());

    auto again = reopen();
    const QString& s = Section::Filters;
    EXPECT_EQ(again->read(s, QStringLiteral("TotalFilters")), QStringLiteral("2"));
    EXPECT_EQ(again->read(s, QStringLiteral("SenderText1")), QStringLiteral("ann"));
    EXPECT_EQ(again->read(s, QStringLiteral("SenderText2")), QStringLiteral("cy"));
    EXPECT_EQ(again->read(s, QStringLiteral("SubjectText2")), QStringLiteral("sale"));
    EXPECT_EQ(again->read(s, QStringLiteral("AND2")), QStringLiteral("False"));
    EXPECT_EQ(again->read(s, QStringLiteral("SenderText3")), QStringLiteral("cy")); // stale, beyond the count
    AppState loaded;
    loaded.filters.load(*again);
    EXPECT_EQ(loaded.FilterCount(), 2);
}

TEST_F(FilterDialogs, DeletingTheLastFilterWritesAZeroCount)
{
    state.filters = { makeRule("only", "") };
    state.filters.save(*store);
    FilterListDialog list(state, *store, dialogs);
    list.show();
    pick(list, "lstFilters", 0);
    click(list, "butDelete");
    EXPECT_TRUE(state.filters.isEmpty());
    EXPECT_EQ(list.findChild<QListWidget*>(QStringLiteral("lstFilters"))->count(), 0);
    EXPECT_EQ(stored(Section::Filters, "TotalFilters"), QStringLiteral("0"));
    EXPECT_EQ(stored(Section::Filters, "SenderText1"), QStringLiteral("only"));
}

TEST_F(FilterDialogs, EditorEnablesOkAndChoicesFromTheTexts)
{
    FilterEditDialog d(state, *store, dialogs);
    d.show();
    auto* ok = child<QPushButton>(d, "butOK");
    auto* sender = child<QLineEdit>(d, "txtSender");
    auto* subject = child<QLineEdit>(d, "txtSubject");
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_FALSE(child<QRadioButton>(d, "optSenderExact")->isEnabled());
    EXPECT_FALSE(child<QRadioButton>(d, "optAnd")->isEnabled());

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

TEST_F(FilterDialogs, DisabledChoicesAreStillStored)
{
    state.CurrentFilter = makeRule("joe", "");
    state.CurrentFilter.AndMode = false;
    FilterEditDialog d(state, *store, dialogs);
    d.show();
    EXPECT_TRUE(child<QRadioButton>(d, "optOr")->isChecked());
    EXPECT_FALSE(child<QRadioButton>(d, "optOr")->isEnabled());
    click(d, "butOK");
    EXPECT_TRUE(state.DialogAccepted);
    EXPECT_FALSE(state.CurrentFilter.AndMode);
    EXPECT_TRUE(state.CurrentFilter.SenderMatch);
    EXPECT_TRUE(state.CurrentFilter.SubjectMatch); // "anywhere" is not what the hidden subject choice showed
}

TEST_F(FilterDialogs, EscapeCancels)
{
    state.CurrentFilter = makeRule("joe", "hi");
    state.DialogAccepted = true; // left over from an earlier dialog
    FilterEditDialog d(state, *store, dialogs);
    d.show();
    EXPECT_FALSE(state.DialogAccepted);
    child<QLineEdit>(d, "txtSender")->setText(QStringLiteral("other"));
    QTest::keyClick(&d, Qt::Key_Escape);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_FALSE(state.DialogAccepted);
    EXPECT_EQ(state.CurrentFilter.SenderText, QStringLiteral("joe"));
}
