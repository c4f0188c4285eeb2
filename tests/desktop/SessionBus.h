#pragma once
// A private session bus for the whole test program, so no test reaches the user's own desktop,
// and the fake notification service that records what it is told on it.
#include "support/Wait.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace ormisk::test {

// Started before the first test and set as DBUS_SESSION_BUS_ADDRESS, before anything in the
// process connects to a session bus; without dbus-daemon the address stays empty.
class SessionBusEnvironment : public ::testing::Environment {
public:
    static inline QString address;

    void SetUp() override
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty() || !m_dir.isValid())
            return;
        QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
        if (!config.open(QIODevice::WriteOnly))
            return;
        config.write(
            "<busconfig><type>session</type><listen>unix:path=" + m_dir.filePath(QStringLiteral("bus")).toUtf8()
            + "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
              "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        config.close();
        m_daemon.start(daemon,
            { QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                QStringLiteral("--print-address=1") });
        if (!m_daemon.waitForStarted() || !::ormisk::testing::waitUntil([&] { return m_daemon.canReadLine(); }))
            return;
        address = QString::fromUtf8(m_daemon.readLine().trimmed());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    }
    void TearDown() override
    {
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
};

inline ::testing::Environment* const kSessionBus = ::testing::AddGlobalTestEnvironment(new SessionBusEnvironment);

// The fake service on the private bus, for as long as the object lives.
class FakeNotificationService {
public:
    FakeNotificationService()
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Debian's own interpreter: python3-dbus and python3-gi belong to it.
        m_process.start(QStringLiteral("/usr/bin/python3"),
            { QStringLiteral(ORMISK_SOURCE_DIR "/tests/desktop/fake_notifications.py"), log() });
    }
    ~FakeNotificationService() { stop(); }
    void stop()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    [[nodiscard]] bool ready()
    {
        return m_process.waitForStarted()
            && ::ormisk::testing::waitUntil([&] { return m_process.readAll().contains("ready"); }, 10000);
    }
    // Every call so far, oldest first.
    [[nodiscard]] QList<QJsonObject> calls() const
    {
        QFile file(log());
        QList<QJsonObject> out;
        if (file.open(QIODevice::ReadOnly)) {
            while (!file.atEnd())
                out << QJsonDocument::fromJson(file.readLine()).object();
        }
        return out;
    }
    [[nodiscard]] QList<QJsonObject> notifies() const
    {
        QList<QJsonObject> out;
        for (const QJsonObject& c : calls()) {
            if (c.value(QStringLiteral("call")) == QStringLiteral("Notify"))
                out << c;
        }
        return out;
    }

private:
    [[nodiscard]] QString log() const { return m_dir.filePath(QStringLiteral("calls.jsonl")); }
    QTemporaryDir m_dir;
    QProcess m_process;
};

} // namespace ormisk::test
