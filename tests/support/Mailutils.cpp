#include "support/Mailutils.h"

#include "support/ServerProcess.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QTcpSocket>

#include <sys/types.h>
#include <unistd.h>

namespace ormisk::testing {

namespace {

const QString kDomain = QStringLiteral("ormisk.test");

// Running as root, pop3d takes the uid of the account's passwd line for the session, so the mail
// must belong to it; otherwise everything runs as the current user.
uid_t mailUid() { return geteuid() == 0 ? 65534 : geteuid(); }
gid_t mailGid() { return geteuid() == 0 ? 65534 : getegid(); }

void own(const QString& path)
{
    if (geteuid() == 0 && ::chown(QFile::encodeName(path).constData(), mailUid(), mailGid()) != 0)
        qWarning("cannot chown %s", qPrintable(path));
}

// One mbox message: the "From " separator line, the message with LF line ends (a body line
// starting with "From " quoted as ">From "), and an empty line.
QByteArray mboxMessage(const QByteArray& message)
{
    QByteArray lf = message;
    lf.replace("\r\n", "\n");
    if (!lf.endsWith('\n'))
        lf += '\n';
    QByteArray out = "From sender@ormisk.test Mon Jan  1 00:00:00 2024\n";
    for (const QByteArray& line : lf.split('\n').mid(0, lf.count('\n')))
        out += (line.startsWith("From ") ? ">" + line : line) + '\n';
    return out + '\n';
}

// Asks openssl for a SHA-512 crypt hash, the form pop3d's virtual domains read.
QByteArray cryptHash(const QString& password, QString* error)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"), { QStringLiteral("passwd"), QStringLiteral("-6"), password });
    if (!openssl.waitForFinished(30'000) || openssl.exitCode() != 0) {
        *error = QStringLiteral("openssl passwd failed: ") + QString::fromLocal8Bit(openssl.readAllStandardError());
        return {};
    }
    return openssl.readAllStandardOutput().trimmed();
}

} // namespace

Mailutils::Mailutils() = default;

Mailutils::~Mailutils() { stop(); }

QString Mailutils::binary() { return findServerBinary(QStringLiteral("pop3d")); }

bool Mailutils::required()
{
    return environmentDemands("ORMISK_REQUIRE_MAILUTILS") || environmentDemands("ORMISK_REQUIRE_DOVECOT");
}

QString Mailutils::missingMessage()
{
    return QStringLiteral("GNU Mailutils pop3d is not installed (apt-get install mailutils-pop3d openssl); this test "
                          "needs a second real POP3 server. Set ORMISK_REQUIRE_MAILUTILS=1 (or "
                          "ORMISK_REQUIRE_DOVECOT=1) to make its absence a failure.");
}

QString Mailutils::login(const QString& user) { return user + QLatin1Char('@') + kDomain; }

void Mailutils::addUser(const QString& user, const QString& password, const QList<QByteArray>& messages)
{
    m_users.append({ user, password, messages });
}

QString Mailutils::mboxPath(const QString& user) const
{
    return m_dir.filePath(QStringLiteral("mail/") + user + QStringLiteral("/INBOX"));
}

bool Mailutils::writeConfig(QString* error)
{
    const QString d = m_dir.path();
    QByteArray passwd;
    for (const User& u : std::as_const(m_users)) {
        const QString home = m_dir.filePath(QStringLiteral("mail/") + u.name);
        QDir().mkpath(home);
        own(home);
        QByteArray mbox;
        for (const QByteArray& m : u.messages)
            mbox += mboxMessage(m);
        if (!writeFile(mboxPath(u.name), mbox)) {
            *error = QStringLiteral("cannot write the mbox of ") + u.name;
            return false;
        }
        own(mboxPath(u.name));
        const QByteArray hash = cryptHash(u.password, error);
        if (hash.isEmpty())
            return false;
        passwd += u.name.toUtf8() + ':' + hash + ':' + QByteArray::number(mailUid()) + ':'
            + QByteArray::number(mailGid()) + ':' + u.name.toUtf8() + ':' + QFile::encodeName(home) + ":/bin/false\n";
    }
    QDir().mkpath(d + QStringLiteral("/vdom"));
    QDir().mkpath(d + QStringLiteral("/lock"));
    own(d + QStringLiteral("/lock"));
    if (!writeFile(d + QStringLiteral("/vdom/") + kDomain, passwd)) {
        *error = QStringLiteral("cannot write the virtual domain");
        return false;
    }
    const QByteArray D = QFile::encodeName(d);
    const QByteArray config = "mode daemon;\nforeground yes;\npidfile " + D
        + "/pop3d.pid;\n"
          "logging { syslog no; };\n"
          "auth { authentication clear; authentication generic; authorization clear; authorization virtdomain; };\n"
          "virtdomain { passwd-dir "
        + D + "/vdom; };\nmailbox { mailbox-pattern \"mbox://" + D
        + "/mail/${user}/INBOX\"; };\n"
          "tcp-wrappers { enable no; };\n"
          "mandatory-locking { enable no; lock-directory "
        + D + "/lock; };\ntls { ssl-certificate-file " + QFile::encodeName(m_certs.serverCertFile) + "; ssl-key-file "
        + QFile::encodeName(m_certs.serverKeyFile) + "; };\nserver 127.0.0.1:" + QByteArray::number(m_stlsPort)
        + " { transcript yes; tls-mode stls; };\nserver 127.0.0.1:" + QByteArray::number(m_plainPort)
        + " { transcript yes; tls-mode no; };\n";
    if (!writeFile(d + QStringLiteral("/pop3d.conf"), config)) {
        *error = QStringLiteral("cannot write pop3d.conf");
        return false;
    }
    return true;
}

bool Mailutils::start(QString* error)
{
    if (binary().isEmpty()) {
        *error = missingMessage();
        return false;
    }
    // The sessions run as the mail owner and must reach the mail folders.
    if (!prepareServerFolder(m_dir, m_certs, error))
        return false;
    for (int attempt = 0; attempt < 5; ++attempt) {
        pickTwoPorts(&m_stlsPort, &m_plainPort);
        if (!writeConfig(error))
            return false;
        const QString transcriptFile = m_dir.filePath(QStringLiteral("transcript.log"));
        QFile::remove(transcriptFile);
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.setStandardOutputFile(transcriptFile, QIODevice::Append);
        m_process.setStandardErrorFile(transcriptFile, QIODevice::Append);
        m_process.start(binary(), { QStringLiteral("--config-file=") + m_dir.filePath(QStringLiteral("pop3d.conf")) });
        if (!m_process.waitForStarted(10'000)) {
            *error = QStringLiteral("pop3d did not start: ") + m_process.errorString();
            return false;
        }
        if (waitUntil(
                [&] { return m_process.state() != QProcess::Running || (greets(m_stlsPort) && greets(m_plainPort)); },
                15'000)
            && m_process.state() == QProcess::Running) {
            // The two probes are sessions too: tests mark the transcript once they are over.
            waitUntil([&] { return transcript().count(QStringLiteral(" finished with code ")) >= 2; }, 10'000);
            return true;
        }
        *error = QStringLiteral("pop3d does not greet: ") + transcript();
        stop();
        if (!transcript().contains(QStringLiteral("in use")))
            return false; // only a port taken meanwhile is worth another try
    }
    return false;
}

void Mailutils::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10'000)) {
        m_process.kill();
        m_process.waitForFinished(5'000);
    }
}

QList<qint64> Mailutils::listSizes(const QString& user, const QString& password) const
{
    const qsizetype from = transcriptMark();
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_plainPort);
    auto line = [&] {
        while (!socket.canReadLine() && socket.waitForReadyRead(5000)) { }
        return socket.readLine().trimmed();
    };
    auto command = [&](const QByteArray& text) {
        socket.write(text + "\r\n");
        return line().startsWith("+OK");
    };
    QList<qint64> sizes;
    if (!line().startsWith("+OK") || !command("USER " + login(user).toUtf8()) || !command("PASS " + password.toUtf8())
        || !command("LIST"))
        return sizes;
    for (QByteArray l = line(); !l.isEmpty() && l != "."; l = line())
        sizes << l.mid(l.indexOf(' ') + 1).toLongLong();
    command("QUIT");
    (void)waitForSessionEnd(from);
    return sizes;
}

QString Mailutils::transcript() const
{
    return QString::fromUtf8(readFile(m_dir.filePath(QStringLiteral("transcript.log"))));
}

qsizetype Mailutils::transcriptMark() const
{
    qsizetype size = 0;
    waitUntil([&] {
        const QString text = transcript();
        size = text.size();
        return text.count(QStringLiteral("S: +OK POP3 Ready")) == text.count(QStringLiteral(" finished with code "));
    });
    return size;
}

QString Mailutils::waitForSessionEnd(qsizetype from, int timeoutMs) const
{
    // A session runs from its greeting to the line its process ends with.
    QString session;
    waitUntil(
        [&] {
            const QString text = transcript().mid(from);
            const qsizetype start = text.indexOf(QStringLiteral("S: +OK POP3 Ready"));
            const qsizetype end = start < 0 ? -1 : text.indexOf(QStringLiteral(" finished with code "), start);
            if (end < 0)
                return false;
            session = text.mid(start, text.indexOf(u'\n', end) - start);
            return true;
        },
        timeoutMs);
    return session;
}

} // namespace ormisk::testing
