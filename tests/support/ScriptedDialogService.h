#pragma once
// Answers message boxes and pickers from a script and records what was asked.
#include "dialogs/DialogService.h"

#include <QList>
#include <QStringList>

namespace ormisk::testing {

class ScriptedDialogService : public DialogService {
public:
    struct Shown {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };

    QMessageBox::StandardButton message(QWidget*, QMessageBox::Icon icon, const QString& title, const QString& text,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok) override
    {
        shown.append({ icon, title, text });
        if (!answers.isEmpty())
            return answers.takeFirst();
        return buttons.testFlag(QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::NoButton;
    }
    QString openFileName(QWidget*, const QString& caption, const QString&, const QString& filter) override
    {
        askedCaptions.append(caption);
        askedFilters.append(filter);
        return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
    }
    QString existingDirectory(QWidget*, const QString& caption, const QString&) override
    {
        askedCaptions.append(caption);
        return folders.isEmpty() ? QString() : folders.takeFirst();
    }
    void beep() override { ++beeps; }

    QList<QMessageBox::StandardButton> answers;
    QStringList fileNames;
    QStringList folders;
    QList<Shown> shown;
    QStringList askedCaptions;
    QStringList askedFilters;
    int beeps = 0;
};

} // namespace ormisk::testing
