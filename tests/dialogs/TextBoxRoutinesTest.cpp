#include "dialogs/TextBoxRoutines.h"
#include "dialogs/FolderBrowser.h"
#include "support/ScriptedDialogService.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

using namespace ormisk;

namespace {

// What SuppressLeadingSpace makes of a space typed with the caret at `caret`.
int spaceAt(const QString& text, int caret)
{
    QLineEdit box(text);
    box.setCursorPosition(caret);
    int key = ' ';
    SuppressLeadingSpace(&box, key);
    return key;
}

} // namespace

TEST(SuppressLeadingSpace, DiscardsASpaceOnlyWhereBlanksAloneComeBefore)
{
    EXPECT_EQ(spaceAt(QString(), 0), 0);
    EXPECT_EQ(spaceAt(QStringLiteral("abc"), 0), 0); // at the start of a text
    EXPECT_EQ(spaceAt(QStringLiteral("  "), 2), 0); // after two blanks and nothing else
    EXPECT_EQ(spaceAt(QStringLiteral("  x"), 1), 0); // between blanks, before the text
    EXPECT_EQ(spaceAt(QStringLiteral("a"), 1), ' '); // after a character
    EXPECT_EQ(spaceAt(QStringLiteral("a  "), 3), ' '); // after a character followed by blanks
    EXPECT_EQ(spaceAt(QStringLiteral("\tb"), 1), ' '); // a tab is text, not a blank

    QLineEdit box(QStringLiteral("x"));
    int key = 'y';
    SuppressLeadingSpace(&box, key);
    EXPECT_EQ(key, 'y'); // other characters pass
}

TEST(SuppressLeadingSpace, ASelectionCountsFromItsStart)
{
    QLineEdit box(QStringLiteral("ab cd"));
    box.setSelection(5, -5); // all of it, caret at the start
    int key = ' ';
    SuppressLeadingSpace(&box, key);
    EXPECT_EQ(key, 0);
    box.setSelection(0, 5); // all of it, caret at the end: the space would still replace everything
    key = ' ';
    SuppressLeadingSpace(&box, key);
    EXPECT_EQ(key, 0);
    box.setSelection(3, 2);
    key = ' ';
    SuppressLeadingSpace(&box, key);
    EXPECT_EQ(key, ' ');
}

TEST(TextBoxFilter, SwallowsTypedLeadingSpacesButNotPastedText)
{
    QLineEdit box;
    TextBoxFilter::install(&box);
    box.show();
    QTest::keyClicks(&box, QStringLiteral("  a  b"));
    EXPECT_EQ(box.text(), QStringLiteral("a  b"));
    box.setCursorPosition(0);
    QTest::keyClick(&box, Qt::Key_Space);
    EXPECT_EQ(box.text(), QStringLiteral("a  b"));

    box.clear();
    QApplication::clipboard()->setText(QStringLiteral("  pasted"));
    if (QApplication::clipboard()->text() != QStringLiteral("  pasted"))
        GTEST_SKIP() << "no clipboard on this platform";
    QTest::keyClick(&box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(box.text(), QStringLiteral("  pasted"));
}

TEST(TextBoxFilter, SelectsAllOnFocusWhenAsked)
{
    QWidget window;
    auto* other = new QLineEdit(&window);
    auto* box = new QLineEdit(QStringLiteral("hello"), &window);
    TextBoxFilter::install(box, true);
    window.show();
    QApplication::setActiveWindow(&window);
    other->setFocus(Qt::OtherFocusReason);
    box->setCursorPosition(2);
    box->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(box->selectedText(), QStringLiteral("hello"));
    SelectAllText(other);
    EXPECT_EQ(other->selectedText(), QString());
}

TEST(BrowseForFolder, ReturnsThePickOrEmptyOnCancel)
{
    ormisk::testing::ScriptedDialogService dialogs;
    EXPECT_EQ(BrowseForFolder(dialogs, nullptr, QStringLiteral("Select a WAV Folder")), QString());
    dialogs.folders << QStringLiteral("/home/u/My Sounds")
                    << (QStringLiteral("/tmp/x") + QChar(u'\0') + QStringLiteral("junk"));
    EXPECT_EQ(BrowseForFolder(dialogs, nullptr, QStringLiteral("Select Log Files Location")),
        QStringLiteral("/home/u/My Sounds"));
    EXPECT_EQ(BrowseForFolder(dialogs, nullptr, QStringLiteral("t")), QStringLiteral("/tmp/x"));
    EXPECT_EQ(dialogs.askedCaptions.value(1), QStringLiteral("Select Log Files Location"));
}
