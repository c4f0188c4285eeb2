#pragma once
// A private D-Bus session bus, and on it an unlocked gnome-keyring-daemon with folders of its own:
// the program under test reaches them through environment() only, never the user's own desktop.
// Both daemons are stopped by PID when the object goes.
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

namespace ormisk::testing {

class PrivateKeyring {
public:
    PrivateKeyring();
    ~PrivateKeyring();
    PrivateKeyring(const PrivateKeyring&) = delete;
    PrivateKeyring& operator=(const PrivateKeyring&) = delete;

    // gnome-keyring-daemon, or empty when it, dbus-daemon or secret-tool is missing.
    [[nodiscard]] static QString binary();
    [[nodiscard]] static bool required(); // ORMISK_REQUIRE_KEYRING=1
    [[nodiscard]] static QString missingMessage();

    // The bus alone: a session without any keyring service.
    bool startBus(QString* error);
    // The keyring on the bus, unlocked, proven by storing and finding a probe secret. Starting it
    // again after stopKeyring() opens the same keyring, as a new login would.
    bool startKeyring(QString* error);
    void stopKeyring();

    // One bus and keyring for the rest of this process, which then uses them itself (the session
    // bus connection of a process lives as long as the process, and ends it when the bus goes).
    // Null, with `error` set, when they cannot be started.
    [[nodiscard]] static PrivateKeyring* forThisProcess(QString* error);

    // The system environment with the private bus (and an offscreen display) for the program.
    [[nodiscard]] QProcessEnvironment environment() const;
    // secret-tool with `args` on the private bus; its standard output, or empty on failure.
    [[nodiscard]] QByteArray secretTool(const QStringList& args, const QByteArray& input = {}) const;

private:
    QTemporaryDir m_dir;
    QProcess m_bus;
    QProcess m_keyring;
    QString m_address;
};

} // namespace ormisk::testing

#define ORMISK_REQUIRE_KEYRING() ORMISK_REQUIRE_SERVER(::ormisk::testing::PrivateKeyring)
