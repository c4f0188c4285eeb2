#pragma once
// A private GNU Mailutils pop3d on free loopback ports, for tests: one listener offering STLS and
// one plain, certificates from a test CA, users in a virtual domain, mail in mbox files, and the
// whole conversation of every session in a transcript. Stopped when the object goes.
#include "support/ServerProcess.h"
#include "support/TestCertificates.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace ormisk::testing {

class Mailutils {
public:
    Mailutils();
    ~Mailutils();
    Mailutils(const Mailutils&) = delete;
    Mailutils& operator=(const Mailutils&) = delete;

    // The pop3d binary, or empty when it is not installed.
    [[nodiscard]] static QString binary();
    // True when the environment demands real servers (ORMISK_REQUIRE_MAILUTILS=1, or
    // ORMISK_REQUIRE_DOVECOT=1 as CI sets it).
    [[nodiscard]] static bool required();
    [[nodiscard]] static QString missingMessage();

    // Users and their mail (messages with LF or CR LF line ends) must be added before start().
    void addUser(const QString& user, const QString& password, const QList<QByteArray>& messages);
    bool start(QString* error);
    void stop();

    // The name to log in with: pop3d knows users only within their domain.
    [[nodiscard]] static QString login(const QString& user);
    [[nodiscard]] quint16 stlsPort() const { return m_stlsPort; }
    [[nodiscard]] quint16 plainPort() const { return m_plainPort; }
    [[nodiscard]] const TestCertificates& certificates() const { return m_certs; }

    // The sizes LIST gives for user's messages, asked in a session of its own on the plain port.
    // pop3d counts status headers of its own in them, so they differ from the mail added.
    [[nodiscard]] QList<qint64> listSizes(const QString& user, const QString& password) const;

    // Everything pop3d logged: "C: " lines the client sent, "S: " lines it answered.
    [[nodiscard]] QString transcript() const;
    // Waits (bounded) until every session so far has ended; then the transcript's length, where
    // the next session will begin.
    [[nodiscard]] qsizetype transcriptMark() const;
    // Waits (event loop, bounded) for the first session that begins after `from` characters of
    // the transcript to end; returns its part of the transcript (empty if it did not end).
    [[nodiscard]] QString waitForSessionEnd(qsizetype from, int timeoutMs = 10000) const;

private:
    QString mboxPath(const QString& user) const;
    bool writeConfig(QString* error);

    struct User {
        QString name;
        QString password;
        QList<QByteArray> messages;
    };
    QTemporaryDir m_dir;
    TestCertificates m_certs;
    QList<User> m_users;
    QProcess m_process;
    quint16 m_stlsPort = 0;
    quint16 m_plainPort = 0;
};

} // namespace ormisk::testing

// In a test body: skips when the server is missing, or fails when the environment requires it.
#define ORMISK_REQUIRE_MAILUTILS() ORMISK_REQUIRE_SERVER(::ormisk::testing::Mailutils)
