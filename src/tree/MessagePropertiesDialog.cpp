#include "tree/MessagePropertiesDialog.h"

#include "ui_MessagePropertiesDialog.h"

#include <QFontDatabase>

namespace ormisk {

MessagePropertiesDialog::MessagePropertiesDialog(const QString& tag, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::MsgInfo>())
{
    m_ui->setupUi(this);
    // Header lines line up better in a fixed-pitch font; the window background marks the text as
    // something to read rather than a form to fill in.
    m_ui->MsgProp->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QPalette palette = m_ui->MsgProp->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    m_ui->MsgProp->setPalette(palette);
    // Header lines end in CR LF; the editor wants bare line feeds.
    QString text = tag;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_ui->MsgProp->setPlainText(text);
}

MessagePropertiesDialog::~MessagePropertiesDialog() = default;

QString MessagePropertiesDialog::shownText() const { return m_ui->MsgProp->toPlainText(); }

} // namespace ormisk
