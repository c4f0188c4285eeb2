#include "demo/ScriptedPopServer.h"

#include "demo/ScriptedPopSession.h"
#include "pop/Clock.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QSet>
#include <QSslSocket>

namespace ormisk::testing {

ScriptedPopServer::ScriptedPopServer(QObject* parent)
    : QTcpServer(parent)
    , m_clock(&Clock::system())
{
}

ScriptedPopServer::~ScriptedPopServer() { close(); }

bool ScriptedPopServer::start(quint16 port) { return listen(QHostAddress::LocalHost, port); }

QList<QByteArray> ScriptedPopServer::uidsFor(const QList<QByteArray>& messages)
{
    QList<QByteArray> uids;
    QHash<QByteArray, int> seen;
    for (const QByteArray& message : messages) {
        QByteArray uid = QCryptographicHash::hash(message, QCryptographicHash::Sha1).toHex().left(16);
        // The same text twice still gets two ids.
        if (const int copies = seen[uid]++; copies > 0)
            uid += '-' + QByteArray::number(copies);
        uids << uid;
    }
    return uids;
}

void ScriptedPopServer::addUser(const QString& user, const QString& password, const QList<QByteArray>& messages)
{
    m_mailboxes.insert(user, Mailbox { password, messages, uidsFor(messages) });
}

void ScriptedPopServer::setMessages(const QString& user, const QList<QByteArray>& messages)
{
    setMessages(user, messages, uidsFor(messages));
}

void ScriptedPopServer::setMessages(
    const QString& user, const QList<QByteArray>& messages, const QList<QByteArray>& uids)
{
    Mailbox& box = m_mailboxes[user];
    box.messages = messages;
    box.uids = uids;
    while (box.uids.size() < box.messages.size())
        box.uids << "x" + QByteArray::number(box.uids.size() + 1);
}

void ScriptedPopServer::appendMessage(const QString& user, const QByteArray& message)
{
    Mailbox& box = m_mailboxes[user];
    QList<QByteArray> all = box.messages;
    all << message;
    box.uids << uidsFor(all).constLast();
    box.messages = all;
}

QList<QByteArray> ScriptedPopServer::uids(const QString& user) const { return m_mailboxes.value(user).uids; }

QList<QByteArray> ScriptedPopServer::messages(const QString& user) const { return m_mailboxes.value(user).messages; }

void ScriptedPopServer::setTlsIdentity(const QSslCertificate& certificate, const QSslKey& key)
{
    m_certificate = certificate;
    m_key = key;
}

bool ScriptedPopServer::sawCommand(const QByteArray& verb) const { return commandCount(verb) > 0; }

int ScriptedPopServer::commandCount(const QByteArray& verb) const
{
    int count = 0;
    for (const Received& r : m_received) {
        if (r.line.split(' ').value(0).toUpper() == verb)
            ++count;
    }
    return count;
}

int ScriptedPopServer::openSessions() const
{
    int open = 0;
    for (const auto& session : m_sessions)
        open += session ? 1 : 0;
    return open;
}

const PopFault* ScriptedPopServer::faultFor(const QByteArray& verb)
{
    const int arrival = ++m_arrivals[verb];
    for (const PopFault& fault : m_faults) {
        if (!fault.command.isEmpty() && fault.command == verb && (fault.occurrence == 0 || fault.occurrence == arrival))
            return &fault;
    }
    return nullptr;
}

const PopFault* ScriptedPopServer::greetingFault() const
{
    for (const PopFault& fault : m_faults) {
        if (fault.kind == PopFault::Kind::NoGreeting || fault.kind == PopFault::Kind::GarbageGreeting
            || (fault.kind == PopFault::Kind::EndlessLine && fault.command.isEmpty()))
            return &fault;
    }
    return nullptr;
}

void ScriptedPopServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QSslSocket;
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (!m_certificate.isNull()) {
        socket->setLocalCertificate(m_certificate);
        socket->setPrivateKey(m_key);
        socket->setPeerVerifyMode(QSslSocket::VerifyNone);
    }
    ++m_sessionsStarted;
    auto* session = new ScriptedPopSession(this, socket);
    m_sessions.append(session);
    if (m_implicitTls && !m_certificate.isNull())
        socket->startServerEncryption();
    session->greet();
}

} // namespace ormisk::testing
