#include "support/Dovecot.h"

#include "support/ServerProcess.h"
#include "support/Wait.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>

namespace ormisk::testing {

namespace {

struct Identity {
    uid_t uid;
    gid_t gid;
    QByteArray user; // for default_internal_user
    QByteArray group; // for default_internal_group
    QByteArray login; // for default_login_user
};

Identity identity()
{
    if (geteuid() == 0) {
        const passwd* nobody = getpwnam("nobody");
        const group* nogroup = getgrnam("nogroup");
        return { nobody ? nobody->pw_uid : 65534, nogroup ? nogroup->gr_gid : 65534, "dovecot", "dovecot", "dovenull" };
    }
    const passwd* me = getpwuid(geteuid());
    const group* mine = getgrgid(getegid());
    const QByteArray name = me ? QByteArray(me->pw_name) : QByteArray();
    return { geteuid(), getegid(), name, mine ? QByteArray(mine->gr_name) : name, name };
}

// Gives a path to the mailbox owner (only root can and needs to).
void own(const QString& path)
{
    if (geteuid() != 0)
        return;
    const Identity id = identity();
    if (::chown(QFile::encodeName(path).constData(), id.uid, id.gid) != 0)
        qWarning("cannot chown %s", qPrintable(path));
}

} // namespace

Dovecot::Dovecot() = default;

Dovecot::~Dovecot() { stop(); }

QString Dovecot::binary() { return findServerBinary(QStringLiteral("dovecot")); }

bool Dovecot::required() { return environmentDemands("ORMISK_REQUIRE_DOVECOT"); }

QString Dovecot::missingMessage()
{
    return QStringLiteral("dovecot is not installed (apt-get install dovecot-pop3d openssl); this test needs a real "
                          "POP3 server. Set ORMISK_REQUIRE_DOVECOT=1 to make its absence a failure.");
}

void Dovecot::addUser(const QString& user, const QString& password)
{
    m_users.insert(user, password);
    const QString home = m_dir.filePath(QStringLiteral("home/") + user);
    for (const char* sub : { "", "/Maildir", "/Maildir/cur", "/Maildir/new", "/Maildir/tmp" }) {
        QDir().mkpath(home + QString::fromLatin1(sub));
        own(home + QString::fromLatin1(sub));
    }
}

QString Dovecot::maildir(const QString& user) const
{
    return m_dir.filePath(QStringLiteral("home/") + user + QStringLiteral("/Maildir"));
}

bool Dovecot::writeConfig(QString* error)
{
    const QString d = m_dir.path();
    const Identity id = identity();
    QByteArray users;
    for (auto it = m_users.cbegin(); it != m_users.cend(); ++it) {
        const QString home = m_dir.filePath(QStringLiteral("home/") + it.key());
        users += it.key().toUtf8() + ":{PLAIN}" + it.value().toUtf8() + ':' + QByteArray::number(id.uid) + ':'
            + QByteArray::number(id.gid) + "::" + QFile::encodeName(home) + "::\n";
    }
    if (!writeFile(d + QStringLiteral("/users"), users)) {
        *error = QStringLiteral("cannot write the users file");
        return false;
    }
    const QByteArray D = QFile::encodeName(d);
    const QByteArray config = "protocols = pop3\n"
                              "listen = 127.0.0.1\n"
                              "base_dir = "
        + D + "/run\nstate_dir = " + D + "/state\ninstance_name = ormisk-test-" + QByteArray::number(getpid()) + '-'
        + QByteArray::number(m_plainPort) + "\nlog_path = " + D + "/dovecot.log\ninfo_log_path = " + D
        + "/dovecot.log\n"
          "default_internal_user = "
        + id.user + "\ndefault_internal_group = " + id.group + "\ndefault_login_user = " + id.login
        + "\nfirst_valid_uid = 1\nfirst_valid_gid = 1\n"
          "mail_location = maildir:~/Maildir\n"
          "disable_plaintext_auth = no\n"
          "auth_mechanisms = plain login\n"
          "ssl = yes\n"
          "ssl_cert = <"
        + QFile::encodeName(m_certs.serverCertFile) + "\nssl_key = <" + QFile::encodeName(m_certs.serverKeyFile)
        + "\npop3_uidl_format = %08Xu%08Xv\n"
          "pop3_logout_format = in=%i out=%o top=%t/%p retr=%r/%b del=%d/%m size=%s\n"
          "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u "
        + D + "/users\n}\nuserdb {\n  driver = passwd-file\n  args = username_format=%u " + D
        + "/users\n}\n"
          "service pop3-login {\n  chroot =\n  inet_listener pop3 {\n    port = "
        + QByteArray::number(m_plainPort) + "\n  }\n  inet_listener pop3s {\n    port = "
        + QByteArray::number(m_tlsPort) + "\n    ssl = yes\n  }\n}\nservice anvil {\n  chroot =\n}\n";
    if (!writeFile(d + QStringLiteral("/dovecot.conf"), config)) {
        *error = QStringLiteral("cannot write dovecot.conf");
        return false;
    }
    return true;
}

bool Dovecot::start(QString* error)
{
    if (binary().isEmpty()) {
        *error = missingMessage();
        return false;
    }
    // The auth and mail processes run as other users and must reach the users file and homes.
    if (!prepareServerFolder(m_dir, m_certs, error))
        return false;
    for (int attempt = 0; attempt < 5; ++attempt) {
        pickTwoPorts(&m_plainPort, &m_tlsPort);
        if (!writeConfig(error))
            return false;
        QFile::remove(m_dir.filePath(QStringLiteral("dovecot.log")));
        QProcess launcher;
        // dovecot keeps the output it inherits open: never a pipe, or nobody sees EOF.
        launcher.setStandardInputFile(QProcess::nullDevice());
        launcher.setStandardOutputFile(m_dir.filePath(QStringLiteral("launch.out")));
        launcher.setStandardErrorFile(m_dir.filePath(QStringLiteral("launch.out")), QIODevice::Append);
        launcher.start(binary(), { QStringLiteral("-c"), m_dir.filePath(QStringLiteral("dovecot.conf")) });
        if (!launcher.waitForFinished(30'000) || launcher.exitCode() != 0) {
            QFile out(m_dir.filePath(QStringLiteral("launch.out")));
            out.open(QIODevice::ReadOnly);
            *error = QStringLiteral("dovecot did not start: ") + QString::fromLocal8Bit(out.readAll()) + log();
            if (log().contains(QStringLiteral("Address already in use")))
                continue; // another process took a port meanwhile
            return false;
        }
        const QString pidFile = m_dir.filePath(QStringLiteral("run/master.pid"));
        // The file may be seen before its number is written: wait for the number itself.
        waitUntil(
            [&] {
                QFile pid(pidFile);
                if (pid.open(QIODevice::ReadOnly))
                    m_pid = pid.readAll().trimmed().toLongLong();
                return m_pid > 0;
            },
            30'000);
        if (m_pid <= 0) {
            *error = QStringLiteral("dovecot wrote no PID: ") + log();
            return false;
        }
        // Ready when the plain port greets.
        const bool greeted = waitUntil([&] { return greets(m_plainPort); }, 15'000);
        if (!greeted) {
            *error = QStringLiteral("dovecot does not greet: ") + log();
            stop();
            return false;
        }
        return true;
    }
    return false;
}

void Dovecot::stop()
{
    if (m_pid <= 0)
        return;
    const auto pid = static_cast<pid_t>(m_pid);
    m_pid = 0;
    if (::kill(pid, SIGTERM) != 0)
        return;
    if (!waitUntil([&] { return ::kill(pid, 0) != 0; }, 10'000))
        ::kill(pid, SIGKILL);
}

bool Dovecot::deliver(const QString& user, const QByteArray& message)
{
    const QString dir = maildir(user);
    // LF line ends on disk; the size fields spare dovecot reading the file for LIST.
    QByteArray lf = message;
    lf.replace("\r\n", "\n");
    const qsizetype crlfSize = lf.size() + lf.count('\n');
    const QString name = QStringLiteral("%1.M%2P%3.ormisk,S=%4,W=%5")
                             .arg(QDateTime::currentSecsSinceEpoch())
                             .arg(++m_deliveries, 6, 10, QLatin1Char('0')) // dovecot numbers new mail by file name
                             .arg(getpid())
                             .arg(lf.size())
                             .arg(crlfSize);
    const QString tmp = dir + QStringLiteral("/tmp/") + name;
    if (!writeFile(tmp, lf))
        return false;
    own(tmp);
    return QFile::rename(tmp, dir + QStringLiteral("/new/") + name);
}

QString Dovecot::log() const
{
    QFile file(m_dir.filePath(QStringLiteral("dovecot.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QStringList Dovecot::logLines(const QString& needle) const
{
    QStringList lines;
    for (const QString& line : log().split(u'\n')) {
        if (line.contains(needle))
            lines << line;
    }
    return lines;
}

bool Dovecot::waitForLog(const QString& needle, int timeoutMs) const
{
    return waitUntil([&] { return log().contains(needle); }, timeoutMs);
}

} // namespace ormisk::testing
