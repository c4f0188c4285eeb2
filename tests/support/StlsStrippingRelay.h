#pragma once
// A man in the middle for POP3 on loopback: it forwards each connection to a real server, takes
// "STLS" out of the capability lists coming back, answers STLS itself with -ERR, and keeps every
// byte the client sent. A connection whose client speaks TLS from its first byte is only passed
// through (and its bytes kept).
#include <QByteArray>
#include <QObject>
#include <QTcpServer>

namespace ormisk::testing {

// Not a Q_OBJECT: it only connects lambdas.
class StlsStrippingRelay : public QObject {
public:
    explicit StlsStrippingRelay(quint16 serverPort, QObject* parent = nullptr);

    bool start(); // listens on 127.0.0.1 at a free port
    [[nodiscard]] quint16 port() const { return m_listener.serverPort(); }
    // Everything every client sent through the relay so far.
    [[nodiscard]] const QByteArray& clientBytes() const { return m_clientBytes; }

private:
    void onConnection();

    quint16 m_serverPort;
    QTcpServer m_listener;
    QByteArray m_clientBytes;
};

} // namespace ormisk::testing
