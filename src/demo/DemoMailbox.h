#pragma once
// `ormisk --demo`: a POP3 server of our own on a free loopback port with a realistic mailbox, and a
// throw-away profile with three accounts (one that works, one with a wrong password, one disabled),
// so a newcomer sees every part of the program without a mail account.
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

namespace ormisk {

namespace testing {
class ScriptedPopServer;
}

class DemoMailbox {
public:
    DemoMailbox();
    ~DemoMailbox();
    // Starts the server and writes the profile; false (with a reason) when it cannot.
    bool start(QString* error);
    [[nodiscard]] QString profileDir() const { return m_profile.path(); }
    [[nodiscard]] quint16 port() const;

private:
    void deliverOne();

    QTemporaryDir m_profile;
    std::unique_ptr<testing::ScriptedPopServer> m_server;
    QTimer m_arrivals;
    int m_delivered = 0;
};

} // namespace ormisk
