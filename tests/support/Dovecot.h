#pragma once
// A private dovecot POP3 server on free loopback ports, for tests and benchmarks: one plain
// listener offering STLS and one with TLS from the first byte, certificates from a test CA,
// users from a file, mail in Maildirs. Stopped by PID when the object goes.
#include "support/ServerProcess.h"
#include "support/TestCertificates.h"

#include <QHash>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace ormisk::testing {

class Dovecot {
public:
    Dovecot();
    ~Dovecot();
    Dovecot(const Dovecot&) = delete;
    Dovecot& operator=(const Dovecot&) = delete;

    // The dovecot binary, or empty when it is not installed.
    [[nodiscard]] static QString binary();
    // True when the environment demands dovecot (ORMISK_REQUIRE_DOVECOT=1, as CI sets it).
    [[nodiscard]] static bool required();
    [[nodiscard]] static QString missingMessage();

    // Users must be added before start(); mail may be delivered before or after.
    void addUser(const QString& user, const QString& password);
    bool start(QString* error);
    void stop();
    [[nodiscard]] bool running() const { return m_pid > 0; }

    // Writes one message into the user's Maildir the way mail arrives: tmp/ then renamed into new/.
    bool deliver(const QString& user, const QByteArray& message);

    [[nodiscard]] quint16 plainPort() const { return m_plainPort; } // offers STLS
    [[nodiscard]] quint16 tlsPort() const { return m_tlsPort; } // TLS from the first byte
    [[nodiscard]] const TestCertificates& certificates() const { return m_certs; }
    [[nodiscard]] QString log() const;
    [[nodiscard]] QString directory() const { return m_dir.path(); }
    // Lines of the log holding needle (e.g. "Login: user=<alice>").
    [[nodiscard]] QStringList logLines(const QString& needle) const;
    // Waits (event loop, bounded) until the log holds needle; dovecot writes some lines late.
    bool waitForLog(const QString& needle, int timeoutMs = 5000) const;

private:
    bool writeConfig(QString* error);
    QString maildir(const QString& user) const;

    QTemporaryDir m_dir;
    TestCertificates m_certs;
    QHash<QString, QString> m_users;
    quint16 m_plainPort = 0;
    quint16 m_tlsPort = 0;
    qint64 m_pid = 0;
    int m_deliveries = 0;
};

} // namespace ormisk::testing

// In a test body: skips when the server is missing, or fails when the environment requires it.
#define ORMISK_REQUIRE_DOVECOT() ORMISK_REQUIRE_SERVER(::ormisk::testing::Dovecot)
