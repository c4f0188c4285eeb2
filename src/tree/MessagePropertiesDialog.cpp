#include "tree/MessagePropertiesDialog.h"

#include "ui_MessagePropertiesDialog.h"

#include <QFontDatabase>

namespace ormisk {

MessagePropertiesDialog::MessagePropertiesDialog(const QString& tag, QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::MsgInfo>())
{
    ui->setupUi(this);
    // Header lines line up better in a fixed-pitch font; the window background marks the text as
    // something to read rather than a form to fill in.
    ui->MsgProp->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QPalette palette = ui->MsgProp->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    ui->MsgProp->setPalette(palette);
    // Header lines end in CR LF; the editor wants bare line feeds.
    QString text = tag;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    ui->MsgProp->setPlainText(text);
}

MessagePropertiesDialog::~MessagePropertiesDialog() = default;

QString MessagePropertiesDialog::shownText() const
{
    return ui->MsgProp->toPlainText();
}

} // namespace ormisk
