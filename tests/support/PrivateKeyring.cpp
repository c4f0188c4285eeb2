#include "support/PrivateKeyring.h"

#include "support/ServerProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace ormisk::testing {

namespace {

QString tool(const char* name) { return QStandardPaths::findExecutable(QLatin1String(name)); }

// The daemons never outlive the test process, whatever way it ends.
void dieWithParent(QProcess& p)
{
    p.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

void stop(QProcess& p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished(5000);
    }
}

} // namespace

PrivateKeyring::PrivateKeyring() = default;

PrivateKeyring::~PrivateKeyring()
{
    stopKeyring();
    stop(m_bus);
}

QString PrivateKeyring::binary()
{
    if (tool("dbus-daemon").isEmpty() || tool("secret-tool").isEmpty())
        return {};
    return tool("gnome-keyring-daemon");
}

bool PrivateKeyring::required() { return environmentDemands("ORMISK_REQUIRE_KEYRING"); }

QString PrivateKeyring::missingMessage()
{
    return QStringLiteral("a private keyring needs dbus-daemon, gnome-keyring-daemon and secret-tool "
                          "(apt-get install dbus gnome-keyring libsecret-tools)");
}

bool PrivateKeyring::startBus(QString* error)
{
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    const QByteArray text
        = "<busconfig><type>session</type><listen>unix:path=" + QFile::encodeName(m_dir.filePath(QStringLiteral("bus")))
        + "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
          "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n";
    if (!writeFile(config, text)) {
        *error = QStringLiteral("cannot write the bus configuration");
        return false;
    }
    dieWithParent(m_bus);
    m_bus.start(tool("dbus-daemon"),
        { QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"), QStringLiteral("--print-address=1") });
    if (!m_bus.waitForStarted(5000) || !m_bus.waitForReadyRead(10000)) {
        *error = QStringLiteral("dbus-daemon did not start: ") + QString::fromLocal8Bit(m_bus.readAllStandardError());
        return false;
    }
    m_address = QString::fromUtf8(m_bus.readLine().trimmed());
    return !m_address.isEmpty();
}

bool PrivateKeyring::startKeyring(QString* error)
{
    const QString home = m_dir.filePath(QStringLiteral("kh"));
    const QString run = m_dir.filePath(QStringLiteral("run"));
    QDir().mkpath(home);
    QDir().mkpath(run);
    QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), run);
    m_keyring.setProcessEnvironment(env);
    dieWithParent(m_keyring);
    m_keyring.start(binary(),
        { QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets") });
    if (!m_keyring.waitForStarted(5000)) {
        *error = QStringLiteral("gnome-keyring-daemon did not start");
        return false;
    }
    m_keyring.write("private-keyring-password");
    m_keyring.waitForBytesWritten(5000); // nothing runs the event loop that would send it
    m_keyring.closeWriteChannel();
    // Ready once a secret can be stored and found again.
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        (void)secretTool({ QStringLiteral("store"), QStringLiteral("--label=probe"), QStringLiteral("probe"),
                             QStringLiteral("yes") },
            "probe-secret");
        if (secretTool({ QStringLiteral("lookup"), QStringLiteral("probe"), QStringLiteral("yes") }) == "probe-secret")
            return true;
        QThread::msleep(100);
    }
    *error = QStringLiteral("the keyring never answered: ") + QString::fromLocal8Bit(m_keyring.readAllStandardError());
    return false;
}

PrivateKeyring* PrivateKeyring::forThisProcess(QString* error)
{
    static PrivateKeyring* shared = [error]() -> PrivateKeyring* {
        auto* keyring = new PrivateKeyring; // never deleted: see the header
        if (!keyring->startBus(error) || !keyring->startKeyring(error))
            return nullptr;
        qputenv("DBUS_SESSION_BUS_ADDRESS", keyring->m_address.toUtf8());
        return keyring;
    }();
    if (!shared && error->isEmpty())
        *error = QStringLiteral("the private keyring failed to start earlier in this process");
    return shared;
}

void PrivateKeyring::stopKeyring() { stop(m_keyring); }

QProcessEnvironment PrivateKeyring::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("ORMISK_PROFILE"));
    env.remove(QStringLiteral("DISPLAY"));
    return env;
}

QByteArray PrivateKeyring::secretTool(const QStringList& args, const QByteArray& input) const
{
    QProcess p;
    p.setProcessEnvironment(environment());
    p.start(tool("secret-tool"), args);
    if (!p.waitForStarted(5000))
        return {};
    p.write(input);
    p.waitForBytesWritten(5000);
    p.closeWriteChannel();
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

} // namespace ormisk::testing
