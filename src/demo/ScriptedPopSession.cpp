#include "demo/ScriptedPopSession.h"

#include "demo/ScriptedPopServer.h"
#include "pop/Clock.h"

#include <QSslSocket>

namespace ormisk::testing {

namespace {

// A message as the server keeps it: lines without their ends; sent with CR LF.
QList<QByteArray> splitLines(const QByteArray& raw)
{
    QList<QByteArray> lines = raw.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

// The size with CR LF line ends, counted in place: LIST of a hundred thousand messages asks for
// every one.
qint64 wireSize(const QByteArray& raw)
{
    qint64 size = 0;
    for (qsizetype start = 0; start < raw.size();) {
        const qsizetype lf = raw.indexOf('\n', start);
        const qsizetype end = lf < 0 ? raw.size() : lf;
        const qsizetype length = end - start - (end > start && raw.at(end - 1) == '\r' ? 1 : 0);
        size += length + 2;
        if (lf < 0)
            break;
        start = lf + 1;
    }
    return size;
}

// The message up to and with its first empty line: all TOP n 0 needs.
QByteArray headerPart(const QByteArray& raw)
{
    for (qsizetype start = 0; start < raw.size();) {
        const qsizetype lf = raw.indexOf('\n', start);
        if (lf < 0)
            break;
        if (lf == start || (lf == start + 1 && raw.at(start) == '\r'))
            return raw.left(lf + 1);
        start = lf + 1;
    }
    return raw;
}

QByteArray multiLine(const QByteArray& status, const QList<QByteArray>& lines)
{
    QByteArray out = status + "\r\n";
    for (const QByteArray& line : lines) {
        if (line.startsWith('.'))
            out += '.';
        out += line + "\r\n";
    }
    out += ".\r\n";
    return out;
}

} // namespace

ScriptedPopSession::ScriptedPopSession(ScriptedPopServer* server, QSslSocket* socket)
    : QObject(server)
    , m_server(server)
    , m_socket(socket)
{
    socket->setParent(this);
    connect(socket, &QSslSocket::readyRead, this, [this] { onReadyRead(); });
    // Like a real server, what arrived before the client went is still read and acted on,
    // even when a delayed answer holds it up.
    connect(socket, &QSslSocket::disconnected, this, [this] { peerGone(); });
    connect(socket, &QSslSocket::errorOccurred, this, [this] {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            peerGone();
    });
    connect(socket, &QSslSocket::bytesWritten, this, [this] { feedEndless(); });
    // Handshake problems are the client's to find; the server just lets the link fail.
    connect(socket, &QSslSocket::sslErrors, this, [](const QList<QSslError>&) {});
}

void ScriptedPopSession::greet()
{
    if (const PopFault* fault = m_server->greetingFault()) {
        switch (fault->kind) {
        case PopFault::Kind::NoGreeting:
            return;
        case PopFault::Kind::GarbageGreeting:
            write("* HELLO this is not POP3\r\n");
            return;
        case PopFault::Kind::EndlessLine:
            startEndless();
            return;
        default:
            break;
        }
    }
    write("+OK test POP3 server ready\r\n");
}

void ScriptedPopSession::write(const QByteArray& bytes)
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    m_server->m_bytesSent += bytes.size();
    m_socket->write(bytes);
}

void ScriptedPopSession::peerGone()
{
    m_peerGone = true;
    if (!m_delayPending)
        finish();
}

void ScriptedPopSession::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_endless = false;
    emit m_server->sessionClosed();
    deleteLater();
}

void ScriptedPopSession::hangUp()
{
    m_state = State::Closing;
    m_endless = false;
    if (m_socket)
        m_socket->disconnectFromHost();
}

void ScriptedPopSession::onReadyRead()
{
    m_input += m_socket->readAll();
    processInput();
}

void ScriptedPopSession::processInput()
{
    if (!m_paused)
        m_server->m_maxAhead = std::max(m_server->m_maxAhead, int(m_input.count('\n')));
    // Read by position and trimmed once: a client may have thousands of commands waiting.
    qsizetype pos = 0;
    while (!m_paused && m_state != State::Closing) {
        const qsizetype lf = m_input.indexOf('\n', pos);
        if (lf < 0) {
            if (m_input.size() - pos > 4096)
                hangUp(); // a client that never ends its line
            break;
        }
        QByteArray line = m_input.mid(pos, lf - pos);
        pos = lf + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        m_inputCleared = false;
        handle(line);
        if (m_inputCleared)
            pos = 0; // the input was dropped meanwhile
    }
    m_input.remove(0, std::min(pos, m_input.size()));
}

void ScriptedPopSession::handle(const QByteArray& line)
{
    m_server->m_received.append({ line, m_socket->isEncrypted() });
    emit m_server->commandReceived(line);
    const QList<QByteArray> words = line.split(' ');
    const QByteArray verb = words.value(0).toUpper();
    const PopFault* fault = m_server->faultFor(verb);
    if (fault) {
        switch (fault->kind) {
        case PopFault::Kind::DropBeforeReply:
            hangUp();
            return;
        case PopFault::Kind::Withhold:
            m_paused = true; // and nothing more is ever answered
            return;
        case PopFault::Kind::ErrReply:
            write("-ERR refused by the test script\r\n");
            return;
        case PopFault::Kind::EndlessLine:
            startEndless();
            return;
        case PopFault::Kind::CustomReply:
            (void)answer(verb, words); // its state changes still happen
            write(fault->reply);
            return;
        default:
            break;
        }
    }
    const QByteArray reply = answer(verb, words);
    if (fault && fault->kind == PopFault::Kind::DuplicateReply) {
        sendReply(verb, reply + reply);
        return;
    }
    if (fault && fault->kind == PopFault::Kind::DiscardPipelined) {
        sendReply(verb, reply);
        clearInput();
        return;
    }
    if (fault && fault->kind == PopFault::Kind::DropMidReply) {
        // Up to the middle, but never a complete reply.
        const qsizetype cut = std::max<qsizetype>(1, std::min(reply.size() / 2, reply.size() - 3));
        write(reply.left(cut));
        hangUp();
        return;
    }
    if (fault && fault->kind == PopFault::Kind::Delay) {
        m_paused = true;
        m_delayPending = true;
        m_server->clock().singleShot(fault->delayMs, this, [this, verb, reply] {
            m_paused = false;
            m_delayPending = false;
            sendReply(verb, reply);
            processInput();
            if (m_peerGone)
                finish();
        });
        return;
    }
    sendReply(verb, reply);
}

void ScriptedPopSession::sendReply(const QByteArray& verb, const QByteArray& reply)
{
    write(reply);
    if (verb == "QUIT" && reply.startsWith("+OK")) {
        hangUp();
    } else if (verb == "STLS" && reply.startsWith("+OK")) {
        clearInput(); // anything sent before the handshake is discarded, as it must be
        m_socket->startServerEncryption();
    }
}

// The well-behaved answer; state changes happen here (a fault may undo them).
QByteArray ScriptedPopSession::answer(const QByteArray& verb, const QList<QByteArray>& words)
{
    const auto caps = m_server->capabilities();
    if (verb == "CAPA") {
        if (!m_server->m_capaSupported)
            return "-ERR unknown command\r\n";
        QList<QByteArray> lines;
        if (m_state == State::Authorization && m_server->m_distinctBeforeLogin) {
            const auto before = m_server->m_capabilitiesBeforeLogin;
            if (before & ScriptedPopServer::Top)
                lines << "TOP";
            if (before & ScriptedPopServer::Uidl)
                lines << "UIDL";
            if (before & ScriptedPopServer::Pipelining)
                lines << "PIPELINING";
            if (before & ScriptedPopServer::User)
                lines << "USER";
            if ((before & ScriptedPopServer::Stls) && !m_socket->isEncrypted())
                lines << "STLS";
            return multiLine("+OK capability list follows", lines);
        }
        if (caps & ScriptedPopServer::Top)
            lines << "TOP";
        if (caps & ScriptedPopServer::Uidl)
            lines << "UIDL";
        if (caps & ScriptedPopServer::Pipelining)
            lines << "PIPELINING";
        if (m_state == State::Authorization && (caps & ScriptedPopServer::User))
            lines << "USER";
        if ((caps & ScriptedPopServer::Stls) && m_state == State::Authorization && !m_socket->isEncrypted())
            lines << "STLS";
        lines << "IMPLEMENTATION ormisk-test";
        return multiLine("+OK capability list follows", lines);
    }
    if (verb == "QUIT") {
        if (m_state == State::Transaction)
            commitDeletions();
        return "+OK bye\r\n";
    }
    if (verb == "NOOP")
        return "+OK\r\n";
    if (m_state == State::Authorization)
        return answerAuthorization(verb, words);
    return answerTransaction(verb, words);
}

QByteArray ScriptedPopSession::answerAuthorization(const QByteArray& verb, const QList<QByteArray>& words)
{
    if (verb == "STLS") {
        if (!(m_server->capabilities() & ScriptedPopServer::Stls) || m_socket->isEncrypted()
            || m_server->m_certificate.isNull())
            return "-ERR STLS not available\r\n";
        return "+OK begin TLS\r\n";
    }
    if (verb == "USER") {
        m_user = QString::fromUtf8(words.mid(1).join(' '));
        return "+OK\r\n";
    }
    if (verb == "PASS") {
        const QString password = QString::fromUtf8(words.mid(1).join(' '));
        const auto it = m_server->m_mailboxes.constFind(m_user);
        if (m_user.isEmpty() || it == m_server->m_mailboxes.constEnd() || it->password != password)
            return "-ERR [AUTH] invalid user or password\r\n";
        m_state = State::Transaction;
        m_deleted.clear();
        return "+OK logged in\r\n";
    }
    return "-ERR not in this state\r\n";
}

QList<QByteArray>& ScriptedPopSession::mailbox() { return m_server->m_mailboxes[m_user].messages; }

// 1-based number of a message still there, or 0.
int ScriptedPopSession::messageNumber(const QByteArray& word)
{
    bool ok = false;
    const int n = word.toInt(&ok);
    if (!ok || n < 1 || n > mailbox().size() || m_deleted.contains(n))
        return 0;
    return n;
}

QByteArray ScriptedPopSession::answerTransaction(const QByteArray& verb, const QList<QByteArray>& words)
{
    const auto& messages = mailbox();
    if (verb == "STAT") {
        qint64 count = 0;
        qint64 total = 0;
        for (int i = 0; i < messages.size(); ++i) {
            if (!m_deleted.contains(i + 1)) {
                ++count;
                total += wireSize(messages[i]);
            }
        }
        return "+OK " + QByteArray::number(count) + ' ' + QByteArray::number(total) + "\r\n";
    }
    if (verb == "LIST" || verb == "UIDL") {
        if (verb == "UIDL" && !(m_server->capabilities() & ScriptedPopServer::Uidl))
            return "-ERR unknown command\r\n";
        const QList<QByteArray>& uids = m_server->m_mailboxes[m_user].uids;
        auto item = [&](int n) {
            return QByteArray::number(n) + ' '
                + (verb == "LIST" ? QByteArray::number(wireSize(messages[n - 1])) : uids.value(n - 1));
        };
        if (words.size() > 1) {
            const int n = messageNumber(words[1]);
            return n ? "+OK " + item(n) + "\r\n" : QByteArray("-ERR no such message\r\n");
        }
        QList<QByteArray> lines;
        for (int n = 1; n <= messages.size(); ++n) {
            if (!m_deleted.contains(n))
                lines << item(n);
        }
        return multiLine("+OK", lines);
    }
    if (verb == "TOP" || verb == "RETR") {
        if (verb == "TOP" && !(m_server->capabilities() & ScriptedPopServer::Top))
            return "-ERR unknown command\r\n";
        const int n = messageNumber(words.value(1));
        bool ok = verb == "RETR";
        const int bodyLines = verb == "TOP" ? words.value(2).toInt(&ok) : -1;
        if (!n || !ok || bodyLines < -1)
            return "-ERR no such message\r\n";
        const QList<QByteArray> lines = splitLines(bodyLines == 0 ? headerPart(messages[n - 1]) : messages[n - 1]);
        QList<QByteArray> out;
        int i = 0;
        for (; i < lines.size() && !lines[i].isEmpty(); ++i)
            out << lines[i];
        out << QByteArray();
        for (int body = 0; i + 1 < lines.size() && (bodyLines < 0 || body < bodyLines); ++body)
            out << lines[++i];
        return multiLine("+OK", out);
    }
    if (verb == "DELE") {
        const int n = messageNumber(words.value(1));
        if (!n)
            return "-ERR no such message\r\n";
        m_deleted.insert(n);
        return "+OK marked\r\n";
    }
    if (verb == "RSET") {
        m_deleted.clear();
        return "+OK\r\n";
    }
    return "-ERR unknown command\r\n";
}

void ScriptedPopSession::commitDeletions()
{
    auto& box = m_server->m_mailboxes[m_user];
    QList<QByteArray> kept;
    QList<QByteArray> keptUids;
    for (int i = 0; i < box.messages.size(); ++i) {
        if (!m_deleted.contains(i + 1)) {
            kept << box.messages[i];
            keptUids << box.uids.value(i);
        }
    }
    box.messages = kept;
    box.uids = keptUids;
    m_deleted.clear();
}

// An endless line is fed in pieces as the client reads, so the server holds no more than a
// chunk; it stops when the client goes away, or after a bound no sane client would reach.
void ScriptedPopSession::startEndless()
{
    m_endless = true;
    m_endlessSent = 0;
    write("+OK ");
    feedEndless();
}

void ScriptedPopSession::feedEndless()
{
    static constexpr qint64 kChunk = 64 * 1024;
    static constexpr qint64 kBound = qint64(512) * 1024 * 1024;
    if (!m_endless || !m_socket || m_socket->bytesToWrite() > kChunk)
        return;
    if (m_endlessSent > kBound) {
        hangUp();
        return;
    }
    write(QByteArray(kChunk, 'x'));
    m_endlessSent += kChunk;
}

void ScriptedPopSession::clearInput()
{
    m_input.clear();
    m_inputCleared = true;
}

} // namespace ormisk::testing
