#include "app/NewMailWindow.h"

#include "ui_NewMailWindow.h"

#include "engine/FormatNotice.h"
#include "store/AppState.h"
#include "dialogs/DialogRoutines.h"

#include <QApplication>
#include <QCloseEvent>
#include <QStyle>

namespace ormisk {

NewMail::NewMail(AppState& state, QWidget* owner)
    : QWidget(owner, Qt::Dialog)
    , ui(std::make_unique<Ui::NewMail>())
    , state_(state)
{
    ui->setupUi(this);
    // Return and Enter press the focused button as in a dialog; outside a QDialog a button only
    // does so when told.
    ui->ButOK->setAutoDefault(true);
    ui->butView->setAutoDefault(true);
    setAttribute(Qt::WA_DeleteOnClose);
    const QIcon icon = QApplication::windowIcon().isNull() ? style()->standardIcon(QStyle::SP_MessageBoxInformation)
                                                           : QApplication::windowIcon();
    ui->Image1->setPixmap(icon.pixmap(ui->Image1->size()));

    state_.NewMailShown = true;
    if (!state_.options.DialogMessage.isEmpty())
        ui->lblMsg->setText(state_.options.DialogMessage);
    notice_ = ui->lblMsg->text();
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

    connect(ui->ButOK, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->butView, &QPushButton::clicked, this, [this] {
        emit viewMailRequested();
        close();
    });
}

NewMail::~NewMail() { unload(); }

int NewMail::twipsToPixels(int twips) const { return twips * logicalDpiX() / 1440; }

void NewMail::Update()
{
    if (state_.NewMailCount > 0)
        FormatNotice();
    else
        close();
}

void NewMail::FormatNotice()
{
    // Always from the template, so a refresh cannot eat a second bracket pair of a template
    // without "#".
    ui->lblMsg->setText(ormisk::FormatNotice(notice_, state_.NewMailCount));
    ui->lblMsg->adjustSize();
}

void NewMail::placeControls()
{
    const int width = qMax(ui->lblMsg->width() + twipsToPixels(kLabelMarginTwips), twipsToPixels(kMinimumWidthTwips));
    const int buttonWidth = twipsToPixels(kButtonWidthTwips);
    const int buttonHeight = qMax(ui->ButOK->sizeHint().height(), twipsToPixels(375));
    const int buttonTop = ui->lblMsg->geometry().bottom() + twipsToPixels(480);
    const int gap = (width - 2 * buttonWidth) / 3;
    ui->ButOK->setGeometry(gap, buttonTop, buttonWidth, buttonHeight);
    ui->butView->setGeometry(ui->ButOK->x() + buttonWidth + gap, buttonTop, buttonWidth, buttonHeight);
    setFixedSize(width, buttonTop + buttonHeight + twipsToPixels(240));
}

void NewMail::closeEvent(QCloseEvent* event)
{
    unload();
    QWidget::closeEvent(event);
}

void NewMail::unload()
{
    // Only the window that set the flag clears it: a newer window may be open by now.
    if (!loaded_)
        return;
    loaded_ = false;
    state_.NewMailShown = false;
}

} // namespace ormisk
