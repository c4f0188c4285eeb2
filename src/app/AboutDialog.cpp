#include "app/AboutDialog.h"

#include "store/AppState.h"
#include "ui_AboutDialog.h"

#include <QIcon>
#include <QSysInfo>

// The resources live in a static library; nothing else may have pulled them in yet.
static void LoadIconResources()
{
    static const bool loaded = [] {
        Q_INIT_RESOURCE(ormisk);
        return true;
    }();
    Q_UNUSED(loaded);
}

namespace ormisk {

namespace {

QString SystemName()
{
    const QString kernel = QSysInfo::kernelType();
    if (kernel == QLatin1String("linux"))
        return QStringLiteral("Linux");
    if (kernel == QLatin1String("freebsd"))
        return QStringLiteral("FreeBSD");
    if (kernel == QLatin1String("darwin"))
        return QStringLiteral("macOS");
    if (kernel == QLatin1String("winnt"))
        return QStringLiteral("Windows");
    return QSysInfo::prettyProductName();
}

} // namespace

QString VersionLine()
{
    const QStringList parts = QStringLiteral(ORMISK_VERSION).split(QLatin1Char('.'));
    return QStringLiteral("Version ") + parts.mid(0, 2).join(QLatin1Char('.'));
}

QString PlatformLine() { return QStringLiteral("%1 bit for %2").arg(QSysInfo::WordSize).arg(SystemName()); }

AboutDialog::AboutDialog(AppState& state, QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::About>())
    , m_state(state)
{
    ui->setupUi(this);
    m_state.SelectionResetAllowed = false;
    LoadIconResources();
    ui->picIcon->setPixmap(QIcon(QStringLiteral(":/icons/ormisk.svg")).pixmap(64, 64));
    ui->lblVersion->setText(VersionLine());
    ui->lblPlatform->setText(PlatformLine());
    connect(ui->Command1, &QPushButton::clicked, this, &QDialog::accept);
}

AboutDialog::~AboutDialog()
{
    if (!m_closed)
        m_state.SelectionResetAllowed = true;
}

void AboutDialog::done(int result)
{
    m_closed = true;
    m_state.SelectionResetAllowed = true;
    QDialog::done(result);
}

} // namespace ormisk
