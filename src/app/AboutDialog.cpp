#include "app/AboutDialog.h"

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

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::About>())
{
    m_ui->setupUi(this);
    LoadIconResources();
    m_ui->picIcon->setPixmap(QIcon(QStringLiteral(":/icons/ormisk.svg")).pixmap(64, 64));
    m_ui->lblVersion->setText(VersionLine());
    m_ui->lblPlatform->setText(PlatformLine());
    connect(m_ui->Command1, &QPushButton::clicked, this, &QDialog::accept);
}

AboutDialog::~AboutDialog() = default;

} // namespace ormisk
