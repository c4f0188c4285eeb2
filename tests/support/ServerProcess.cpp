#include "support/ServerProcess.h"

#include <QEventLoop>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace ormisk::testing {

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

void pickTwoPorts(quint16* first, quint16* second)
{
    *first = freePort();
    *second = freePort();
    while (*second == *first)
        *second = freePort();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString findServerBinary(const QString& name)
{
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name, { QStringLiteral("/usr/sbin"), QStringLiteral("/sbin") });
    return path;
}

bool environmentDemands(const char* variable) { return qEnvironmentVariable(variable) == QStringLiteral("1"); }

bool greets(quint16 port, int timeoutMs)
{
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    QByteArray got;
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    QObject::connect(&probe, &QTcpSocket::readyRead, &loop, [&] {
        got += probe.readAll();
        if (got.contains('\n'))
            loop.quit();
    });
    QObject::connect(&probe, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
    loop.exec();
    if (probe.state() == QAbstractSocket::ConnectedState) {
        probe.write("QUIT\r\n");
        probe.waitForBytesWritten(1000);
    }
    return got.startsWith("+OK");
}

bool prepareServerFolder(const QTemporaryDir& dir, TestCertificates& certificates, QString* error)
{
    if (!dir.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    QFile::setPermissions(dir.path(),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
            | QFile::ExeOther);
    return certificates.create(dir.filePath(QStringLiteral("tls")), error);
}

} // namespace ormisk::testing
