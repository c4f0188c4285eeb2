#include "app/NewMailWindow.h"

#include "ui_NewMailWindow.h"

#include "desktop/NewMailNotice.h"
#include "dialogs/DialogRoutines.h"
#include "engine/FormatNotice.h"
#include "store/AppState.h"

#include <QApplication>
#include <QCloseEvent>
#include <QStyle>

namespace ormisk {

NewMailWindow::NewMailWindow(AppState& state, qint32 newMail, QWidget* owner)
    : QWidget(owner, Qt::Dialog)
    , m_ui(std::make_unique<Ui::NewMail>())
    , m_state(state)
    , m_newMail(newMail)
{
    m_ui->setupUi(this);
    // Return and Enter press the focused button as in a dialog; outside a QDialog a button only
    // does so when told.
    m_ui->ButOK->setAutoDefault(true);
    m_ui->butView->setAutoDefault(true);
    setAttribute(Qt::WA_DeleteOnClose);
    const QIcon icon = QApplication::windowIcon().isNull() ? style()->standardIcon(QStyle::SP_MessageBoxInformation)
                                                           : QApplication::windowIcon();
    m_ui->Image1->setPixmap(icon.pixmap(m_ui->Image1->size()));

    m_ui->lblMsg->setText(NoticeTemplate(m_state.options.DialogMessage));
    m_notice = m_ui->lblMsg->text();
    FormatNotice();
    placeControls();
    CenterForm(this);

    Timer1.setSingleShot(true);
    Timer1.setInterval(100);
    connect(&Timer1, &QTimer::timeout, this, [this] {
        activateWindow();
        raise();
    });
    Timer1.start();

    connect(m_ui->ButOK, &QPushButton::clicked, this, &QWidget::close);
    connect(m_ui->butView, &QPushButton::clicked, this, [this] {
        emit viewMailRequested();
        close();
    });
}

NewMailWindow::~NewMailWindow() = default;

int NewMailWindow::twipsToPixels(int twips) const { return twips * logicalDpiX() / 1440; }

void NewMailWindow::Update(qint32 newMail)
{
    m_newMail = newMail;
    if (m_newMail > 0)
        FormatNotice();
    else
        close();
}

void NewMailWindow::FormatNotice()
{
    // Always from the template, so a refresh cannot eat a second bracket pair of a template
    // without "#".
    m_ui->lblMsg->setText(ormisk::FormatNotice(m_notice, m_newMail));
    m_ui->lblMsg->adjustSize();
}

void NewMailWindow::placeControls()
{
    const int width = qMax(m_ui->lblMsg->width() + twipsToPixels(kLabelMarginTwips), twipsToPixels(kMinimumWidthTwips));
    const int buttonWidth = twipsToPixels(kButtonWidthTwips);
    const int buttonHeight = qMax(m_ui->ButOK->sizeHint().height(), twipsToPixels(375));
    const int buttonTop = m_ui->lblMsg->geometry().bottom() + twipsToPixels(480);
    const int gap = (width - 2 * buttonWidth) / 3;
    m_ui->ButOK->setGeometry(gap, buttonTop, buttonWidth, buttonHeight);
    m_ui->butView->setGeometry(m_ui->ButOK->x() + buttonWidth + gap, buttonTop, buttonWidth, buttonHeight);
    setFixedSize(width, buttonTop + buttonHeight + twipsToPixels(240));
}

void NewMailWindow::closeEvent(QCloseEvent* event)
{
    m_loaded = false;
    QWidget::closeEvent(event);
}

} // namespace ormisk
