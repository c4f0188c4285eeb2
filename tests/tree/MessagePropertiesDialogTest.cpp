#include "tree/MessagePropertiesDialog.h"

#include <QPlainTextEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "support/Wait.h"

using namespace ormisk;

TEST(MessageProperties, ShowsTheHeaderTextInAnEditableUnwrappedBox)
{
    const QString tag = QStringLiteral("From : a@example.org\r\nSubject : a very long subject line that must not wrap "
                                       "around however narrow the window is\r\nMessage-Id : <1@x>\r\n");
    MessagePropertiesDialog dialog(tag);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Ormisk --- Message Properties"));
    auto* box = dialog.findChild<QPlainTextEdit*>(QStringLiteral("MsgProp"));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(dialog.shownText(), QString(tag).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    EXPECT_EQ(box->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_FALSE(box->isReadOnly());

    // The box fills the window as it is resized.
    dialog.resize(300, 200);
    ORMISK_WAIT_EQ(box->size(), dialog.size());
    dialog.resize(700, 500);
    ORMISK_WAIT_EQ(box->size(), dialog.size());
}

TEST(MessageProperties, EmptyTagShowsAnEmptyWindow)
{
    MessagePropertiesDialog dialog(QString {});
    EXPECT_TRUE(dialog.shownText().isEmpty());
}
