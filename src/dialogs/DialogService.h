#pragma once
// Message boxes and file or folder pickers go through this seam, so a dialog test answers them
// instead of blocking on a real modal box. The program uses QtDialogService; tests use
// ScriptedDialogService (tests/support) or any implementation of their own.
#include <QMessageBox>
#include <QString>

class QWidget;

namespace ormisk {

class DialogService {
public:
    virtual ~DialogService() = default;
    // Shows a message box and returns the button pressed.
    virtual QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon, const QString& title,
        const QString& text, QMessageBox::StandardButtons buttons = QMessageBox::Ok)
        = 0;
    // Empty when the user cancels.
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
        = 0;
    virtual QString existingDirectory(QWidget* parent, const QString& caption, const QString& dir) = 0;
    virtual void beep() = 0;
};

class QtDialogService : public DialogService {
public:
    QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon, const QString& title,
        const QString& text, QMessageBox::StandardButtons buttons = QMessageBox::Ok) override;
    QString openFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter) override;
    QString existingDirectory(QWidget* parent, const QString& caption, const QString& dir) override;
    void beep() override;
};

} // namespace ormisk
