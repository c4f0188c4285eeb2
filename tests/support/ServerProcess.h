#pragma once
// What the private real servers of the tests (dovecot, Mailutils' pop3d) share: a folder of their
// own with test certificates, free loopback ports, small file helpers and the probe that tells a
// server is up.
#include "support/TestCertificates.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace ormisk::testing {

// A port nobody listens on right now (another process may still take it before the server does).
[[nodiscard]] quint16 freePort();
// Two different free ports.
void pickTwoPorts(quint16* first, quint16* second);

bool writeFile(const QString& path, const QByteArray& bytes);
[[nodiscard]] QByteArray readFile(const QString& path);

// An executable from PATH or the system folders (/usr/sbin, /sbin), or empty.
[[nodiscard]] QString findServerBinary(const QString& name);
// True when the environment variable is "1" (as CI sets the ORMISK_REQUIRE_* ones).
[[nodiscard]] bool environmentDemands(const char* variable);

// Connects to the loopback port and reads the first line: true when it is a "+OK" greeting. A
// QUIT follows, so the server sees a proper session. Runs the event loop for up to timeoutMs.
[[nodiscard]] bool greets(quint16 port, int timeoutMs = 1000);

// The folder a server runs in: readable by the other users its sessions run as, with the test
// CA's certificates in tls/.
bool prepareServerFolder(const QTemporaryDir& dir, TestCertificates& certificates, QString* error);

} // namespace ormisk::testing

// In a test body: skips when the server's program is missing, or fails when the environment
// requires it. `Server` is a class with static binary(), required() and missingMessage().
#define ORMISK_REQUIRE_SERVER(Server)                                                                                  \
    do {                                                                                                               \
        if (Server::binary().isEmpty()) {                                                                              \
            if (Server::required())                                                                                    \
                FAIL() << qPrintable(Server::missingMessage());                                                        \
            else                                                                                                       \
                GTEST_SKIP() << qPrintable(Server::missingMessage());                                                  \
        }                                                                                                              \
    } while (false)
