#include "desktop/Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace ormisk {

namespace {

QString quotedExec(const QString& program)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    // A percent sign would start a field code.
    QString quoted = QString(program).replace(QLatin1Char('%'), QLatin1String("%%"));
    bool plain = true;
    for (const QChar c : quoted)
        plain = plain && !reserved.contains(c);
    if (plain)
        return quoted;
    // Inside double quotes the entry format escapes these four with a backslash; the file format
    // then doubles every backslash once more.
    for (const char* c : { "\\", "\"", "`", "$" })
        quoted.replace(QLatin1String(c), QLatin1String("\\") + QLatin1String(c));
    quoted.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QString AutostartEntryPath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/ormisk.desktop");
}

bool StartsAtLogin() { return QFileInfo::exists(AutostartEntryPath()); }

QString AutostartEntryText(const QString& program)
{
    QFile entry(QStringLiteral(":/ormisk.desktop"));
    (void)entry.open(QIODevice::ReadOnly);
    QStringList lines = QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.startsWith(QLatin1String("Exec=")))
            line = QStringLiteral("Exec=") + quotedExec(program);
    }
    return lines.join(QLatin1Char('\n'));
}

QString SetStartAtLogin(bool on, const QString& program)
{
    const QString path = AutostartEntryPath();
    if (!on) {
        QFile file(path);
        if (file.exists() && !file.remove())
            return path + QStringLiteral(": ") + file.errorString();
        return {};
    }
    if (!QDir().mkpath(QFileInfo(path).path()))
        return QFileInfo(path).path() + QStringLiteral(": the folder could not be made");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(AutostartEntryText(program).toUtf8()) < 0 || !file.commit())
        return path + QStringLiteral(": ") + file.errorString();
    return {};
}

} // namespace ormisk
