#include "support/TestCertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace ormisk::testing {

namespace {

bool run(const QString& dir, const QStringList& arguments, QString* error)
{
    QProcess openssl;
    openssl.setWorkingDirectory(dir);
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"), arguments);
    if (!openssl.waitForFinished(60'000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        *error = QStringLiteral("openssl %1 failed: %2 %3")
                     .arg(arguments.join(u' '), openssl.errorString(), QString::fromLocal8Bit(openssl.readAll()));
        return false;
    }
    return true;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

bool TestCertificates::create(const QString& dir, QString* error)
{
    QDir().mkpath(dir);
    const QDir d(dir);
    caFile = d.filePath(QStringLiteral("ca.crt"));
    otherCaFile = d.filePath(QStringLiteral("other-ca.crt"));
    serverCertFile = d.filePath(QStringLiteral("server.crt"));
    serverKeyFile = d.filePath(QStringLiteral("server.key"));
    QFile ext(d.filePath(QStringLiteral("server.ext")));
    if (!ext.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write ") + ext.fileName();
        return false;
    }
    ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1\n"
              "extendedKeyUsage=serverAuth\n"
              "basicConstraints=CA:FALSE\n");
    ext.close();
    auto ca = [&](const QString& name, const QString& subject) {
        return run(dir,
            { QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                subject, QStringLiteral("-keyout"), name + QStringLiteral(".key"), QStringLiteral("-out"),
                name + QStringLiteral(".crt") },
            error);
    };
    return ca(QStringLiteral("ca"), QStringLiteral("/CN=Ormisk Test CA"))
        && ca(QStringLiteral("other-ca"), QStringLiteral("/CN=Unrelated Test CA"))
        && run(dir,
            { QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"), QStringLiteral("-nodes"),
                QStringLiteral("-subj"), QStringLiteral("/CN=localhost"), QStringLiteral("-keyout"),
                QStringLiteral("server.key"), QStringLiteral("-out"), QStringLiteral("server.csr") },
            error)
        && run(dir,
            { QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), QStringLiteral("server.csr"),
                QStringLiteral("-CA"), QStringLiteral("ca.crt"), QStringLiteral("-CAkey"), QStringLiteral("ca.key"),
                QStringLiteral("-CAcreateserial"), QStringLiteral("-days"), QStringLiteral("2"),
                QStringLiteral("-extfile"), QStringLiteral("server.ext"), QStringLiteral("-out"),
                QStringLiteral("server.crt") },
            error);
}

QSslCertificate TestCertificates::serverCertificate() const
{
    return QSslCertificate(readAll(serverCertFile), QSsl::Pem);
}

QSslKey TestCertificates::serverKey() const { return QSslKey(readAll(serverKeyFile), QSsl::Rsa, QSsl::Pem); }

} // namespace ormisk::testing
