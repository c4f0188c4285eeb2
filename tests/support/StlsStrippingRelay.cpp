#include "support/StlsStrippingRelay.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <memory>

namespace ormisk::testing {

namespace {

// Cuts complete lines (with their CR LF) off the front of buffer.
QList<QByteArray> takeLines(QByteArray& buffer)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype lf = buffer.indexOf('\n'); lf >= 0; lf = buffer.indexOf('\n', start)) {
        lines << buffer.mid(start, lf + 1 - start);
        start = lf + 1;
    }
    buffer.remove(0, start);
    return lines;
}

bool isStls(const QByteArray& line) { return line.trimmed().toUpper() == "STLS"; }

struct Link {
    QTcpSocket* client = nullptr;
    QTcpSocket* server = nullptr;
    QByteArray fromClient; // a line not yet whole
    QByteArray fromServer;
    bool passThrough = false; // TLS from the first byte
    bool decided = false;
};

} // namespace

StlsStrippingRelay::StlsStrippingRelay(quint16 serverPort, QObject* parent)
    : QObject(parent)
    , m_serverPort(serverPort)
{
    connect(&m_listener, &QTcpServer::newConnection, this, &StlsStrippingRelay::onConnection);
}

bool StlsStrippingRelay::start() { return m_listener.listen(QHostAddress::LocalHost, 0); }

void StlsStrippingRelay::onConnection()
{
    while (QTcpSocket* client = m_listener.nextPendingConnection()) {
        auto link = std::make_shared<Link>();
        link->client = client;
        link->server = new QTcpSocket(client);
        // Writes made while it connects go out once it is connected.
        link->server->connectToHost(QHostAddress::LocalHost, m_serverPort);
        connect(client, &QTcpSocket::readyRead, this, [this, link] {
            const QByteArray bytes = link->client->readAll();
            m_clientBytes += bytes;
            if (!link->decided && !bytes.isEmpty()) {
                link->decided = true;
                link->passThrough = bytes.at(0) == 0x16; // a TLS handshake record
            }
            if (link->passThrough) {
                link->server->write(bytes);
                return;
            }
            link->fromClient += bytes;
            for (const QByteArray& line : takeLines(link->fromClient)) {
                if (isStls(line))
                    link->client->write("-ERR not today\r\n");
                else
                    link->server->write(line);
            }
        });
        connect(link->server, &QTcpSocket::readyRead, this, [link] {
            const QByteArray bytes = link->server->readAll();
            if (link->passThrough) {
                link->client->write(bytes);
                return;
            }
            link->fromServer += bytes;
            for (const QByteArray& line : takeLines(link->fromServer)) {
                if (!isStls(line))
                    link->client->write(line);
            }
        });
        connect(client, &QTcpSocket::disconnected, client, [link] { link->server->disconnectFromHost(); });
        connect(link->server, &QTcpSocket::disconnected, client, [link] { link->client->disconnectFromHost(); });
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    }
}

} // namespace ormisk::testing
