#pragma once
// A fresh state, a store in a temporary folder and a scripted dialog service for each test, plus
// small helpers to find the dialogs' controls by name.
#include "store/AppState.h"
#include "store/SettingsStore.h"
#include "support/ScriptedDialogService.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>

// Readable failures for QString comparisons.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace ormisk::testing {

template <typename W> W* child(QWidget& dialog, const char* name)
{
    W* w = dialog.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

inline QStringList listTexts(QWidget& dialog, const char* listName)
{
    QStringList texts;
    auto* list = child<QListWidget>(dialog, listName);
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

// Picks list position p the way a click does.
inline void pick(QWidget& dialog, const char* listName, int p)
{
    auto* list = child<QListWidget>(dialog, listName);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(p)).center());
}

inline void click(QWidget& dialog, const char* name)
{
    child<QPushButton>(dialog, name)->click();
}

class RuleFixture : public ::testing::Test {
protected:
    QString storeFile() const { return dir.filePath(QStringLiteral("Ormisk.conf")); }
    // What a fresh start would read back.
    std::unique_ptr<SettingsStore> reopen()
    {
        store->sync();
        return std::make_unique<SettingsStore>(storeFile());
    }
    QString stored(const QString& section, const char* key)
    {
        return reopen()->read(section, QString::fromLatin1(key), QStringLiteral("<absent>"));
    }

    QTemporaryDir dir;
    std::unique_ptr<SettingsStore> store = std::make_unique<SettingsStore>(storeFile());
    AppState state;
    ScriptedDialogService dialogs;
};

} // namespace ormisk::testing
