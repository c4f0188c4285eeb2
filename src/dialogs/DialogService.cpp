#include "dialogs/DialogService.h"

#include <QApplication>
#include <QFileDialog>

namespace ormisk {

QMessageBox::StandardButton QtDialogService::message(QWidget* parent, QMessageBox::Icon icon, const QString& title,
    const QString& text, QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, title, text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString QtDialogService::openFileName(
    QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString QtDialogService::existingDirectory(QWidget* parent, const QString& caption, const QString& dir)
{
    return QFileDialog::getExistingDirectory(parent, caption, dir);
}

void QtDialogService::beep()
{
    QApplication::beep();
}

} // namespace ormisk
