// `cmake --install` into a temporary prefix: the program, its desktop entry, its icon and its
// guide land where a desktop looks for them, and the installed program finds its guide.
#include "app/MainWindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ormisk;

namespace {

QString run(const QString& program, const QStringList& arguments, int* exitCode)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("ORMISK_PROFILE"));
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForStarted(20000) || !process.waitForFinished(120000)) {
        *exitCode = -1;
        return process.errorString();
    }
    *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromLocal8Bit(process.readAll());
}

} // namespace

TEST(Installation, PutsProgramDesktopEntryIconAndGuideInPlace)
{
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    int status = 0;
    const QString out = run(QStringLiteral(ORMISK_CMAKE),
        { QStringLiteral("--install"), QStringLiteral(ORMISK_BUILD_DIR), QStringLiteral("--prefix"), prefix.path() },
        &status);
    ASSERT_EQ(status, 0) << out.toStdString();

    const QFileInfo binary(prefix.filePath(QStringLiteral("bin/ormisk")));
    EXPECT_TRUE(binary.isFile() && binary.isExecutable());
    const QString desktop = prefix.filePath(QStringLiteral("share/applications/ormisk.desktop"));
    ASSERT_TRUE(QFileInfo::exists(desktop));
    EXPECT_TRUE(QFileInfo::exists(prefix.filePath(QStringLiteral("share/icons/hicolor/scalable/apps/ormisk.svg"))));
    const QString guide = prefix.filePath(QStringLiteral("share/ormisk/help/index.html"));
    EXPECT_TRUE(QFileInfo::exists(guide));

    // The entry starts the program by name and shows the installed icon.
    QFile entry(desktop);
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = entry.readAll().split('\n');
    EXPECT_TRUE(lines.contains("Exec=ormisk"));
    EXPECT_TRUE(lines.contains("Icon=ormisk"));
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty()) {
        ADD_FAILURE() << "desktop-file-validate is missing (package desktop-file-utils)";
    } else {
        const QString report = run(validator, { desktop }, &status);
        EXPECT_EQ(status, 0) << report.toStdString();
        EXPECT_TRUE(report.trimmed().isEmpty()) << report.toStdString();
    }

    // The installed program finds the installed guide, and runs from where it was put.
    EXPECT_EQ(MainWindow::helpFile(binary.absolutePath()), QFileInfo(guide).canonicalFilePath());
    const QString version = run(binary.filePath(), { QStringLiteral("--version") }, &status);
    EXPECT_EQ(status, 0) << version.toStdString();
    EXPECT_TRUE(version.contains(QStringLiteral("Ormisk"))) << version.toStdString();
    QTemporaryDir profile;
    const QString once
        = run(binary.filePath(), { QStringLiteral("--once"), QStringLiteral("--profile"), profile.path() }, &status);
    EXPECT_EQ(status, 0) << once.toStdString();
}
