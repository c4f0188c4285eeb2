#include "pop/PopClient.h"

#include "pop/HeaderCache.h"
#include "pop/HeaderDecoding.h"

#include <QSslCertificate>
#include <QSslConfiguration>

#include <algorithm>
#include <limits>

namespace ormisk {

namespace {

// The byte form of a request argument; a CR, LF or NUL in it would smuggle a second command.
bool isSafeArgument(const QString& text)
{
    return !text.contains(u'\r') && !text.contains(u'\n') && !text.contains(QChar(0));
}

QList<QSslCertificate> loadCertificates(const QString& path)
{
    QList<QSslCertificate> certificates = QSslCertificate::fromPath(path, QSsl::Pem);
    if (certificates.isEmpty())
        certificates = QSslCertificate::fromPath(path, QSsl::Der);
    return certificates;
}

} // namespace

PopClient::PopClient(QObject* parent)
    : PopComponent(parent)
{
    // A TCP connect to a reachable server takes well under a second; 30 s still covers a slow
    // name lookup and SYN retries on a lossy link, where the kernel's own limit (about two
    // minutes) would hold the check far too long.
    m_connectTimer.setInterval(kDefaultConnectTimeout);
    // A handshake is a few round trips and some certificate work: 30 s is generous for a busy
    // server, and a stalled handshake must not hold the check.
    m_tlsTimer.setInterval(kDefaultTlsTimeout);
    // Each reply gets 60 s from the moment its command went out: servers may scan or index a
    // large mailbox before answering STAT or the first LIST, and a header of up to 1 MiB must
    // get through a slow link. A server silent for a minute is taken as gone.
    m_replyTimer.setInterval(kDefaultReplyTimeout);
    for (QTimer* timer : { &m_connectTimer, &m_tlsTimer, &m_replyTimer })
        timer->setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] { dropLink(QStringLiteral("connect timed out")); });
    connect(&m_tlsTimer, &QTimer::timeout, this, [this] { dropLink(QStringLiteral("TLS handshake timed out")); });
    // A reply missing while several commands are in flight is also a sign of a server that does
    // not really pipeline.
    connect(&m_replyTimer, &QTimer::timeout, this,
        [this] { linkFailure(QStringLiteral("no reply from the server"), m_inFlight.size() > 1); });
}

PopClient::~PopClient()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
    closeCache();
}

QString PopClient::serverKey() const
{
    return m_host.toLower() + u':' + QString::number(m_port);
}

QString PopClient::accountKey() const
{
    return HeaderCache::accountKey(m_host, m_port, m_user);
}

bool PopClient::pipeliningRefused(const QString& host, qint32 port) const
{
    return m_pipelineRefused.contains(host.toLower() + u':' + QString::number(port));
}

bool PopClient::isEncrypted() const
{
    return m_socket && m_socket->isEncrypted();
}

// --- request bookkeeping -------------------------------------------------------------------

bool PopClient::beginRequest(Op op)
{
    if (m_busy) {
        qWarning("PopClient: a request was made while another one is running; ignored");
        return false;
    }
    m_op = op;
    m_lastError.clear();
    setBusy(true);
    return true;
}

void PopClient::finishRequest()
{
    m_op = Op::None;
    m_waiting = 0;
    m_answerScheduled = false;
    ++m_generation;
    setBusy(false);
}

void PopClient::setBusy(bool busy)
{
    if (m_busy == busy)
        return;
    m_busy = busy;
    emit changed();
}

void PopClient::setStates(qint16 protocol, qint16 connection)
{
    if (m_protocolState == protocol && m_connectionState == connection)
        return;
    m_protocolState = protocol;
    m_connectionState = connection;
    emit changed();
}

void PopClient::failLater(const QString& why)
{
    const quint64 generation = m_generation;
    QTimer::singleShot(0, this, [this, generation, why] {
        if (generation == m_generation && m_busy)
            failRequest(why);
    });
}

void PopClient::failRequest(const QString& why)
{
    m_lastError = why;
    const quint64 generation = m_generation;
    if (m_op == Op::Header) {
        emit docOutput(DocOutput { DocOutput::TransferError, {} });
        emit changed();
        if (generation != m_generation)
            return; // a handler of the event ended the request already
    }
    finishRequest();
}

void PopClient::teardownSocket()
{
    if (m_socket) {
        QSslSocket* socket = m_socket;
        m_socket = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater(); // we may be inside one of its signals
    }
    m_parser.clear();
    m_unsent.clear();
    m_inFlight.clear();
    m_replyTimer.stop();
}

void PopClient::dropLink(const QString& why)
{
    if (!why.isEmpty())
        m_lastError = why;
    m_connectTimer.stop();
    m_tlsTimer.stop();
    m_replyTimer.stop();
    teardownSocket();
    resetFetch();
    setStates(NotConnected, Closed);
    if (m_busy) {
        if (m_op == Op::Quit || why.isEmpty())
            finishRequest();
        else
            failRequest(why);
    }
}

// --- wire ----------------------------------------------------------------------------------

void PopClient::send(const QByteArray& command, PopReplyParser::Kind kind, ReplyHandler handler)
{
    sendCommand(Command { command, kind, std::move(handler) });
}

void PopClient::sendCommand(Command command, bool first)
{
    if (!m_socket)
        return;
    if (first)
        m_unsent.push_front(std::move(command));
    else
        m_unsent.push_back(std::move(command));
    pump();
}

void PopClient::awaitReply(PopReplyParser::Kind kind, ReplyHandler handler)
{
    m_inFlight.push_back(Command { {}, kind, std::move(handler) });
    armParser();
    m_replyTimer.start();
}

void PopClient::pump()
{
    if (!m_socket)
        return;
    while (!m_unsent.empty()) {
        Command& next = m_unsent.front();
        if (!m_inFlight.empty() && (next.barrier || m_inFlight.back().barrier || int(m_inFlight.size()) >= m_window))
            break;
        if (next.ahead && m_aheadBytes >= m_aheadLimit)
            break;
        m_socket->write(next.line + "\r\n");
        if (m_inFlight.empty())
            m_replyTimer.start(); // each reply gets the full time from when it is owed
        m_inFlight.push_back(std::move(next));
        m_unsent.pop_front();
    }
    armParser();
}

void PopClient::armParser()
{
    if (!m_parser.expecting() && !m_inFlight.empty())
        m_parser.expect(m_inFlight.front().kind);
}

void PopClient::onReadyRead()
{
    if (!m_socket)
        return;
    m_parser.append(m_socket->readAll());
    // Replies are matched to commands in the order the commands went out.
    while (m_socket) {
        PopReply reply;
        const auto status = m_parser.next(&reply);
        if (status == PopReplyParser::Status::Failed) {
            linkFailure(QStringLiteral("protocol error: ") + m_parser.errorText(), m_window > 1);
            return;
        }
        if (status == PopReplyParser::Status::NeedMore) {
            // Bytes nobody asked for: with several commands in flight, replies and commands no
            // longer pair up.
            if (m_inFlight.empty() && m_parser.bufferedBytes() > 0 && m_window > 1)
                misbehaved(QStringLiteral("more replies than commands"));
            return;
        }
        Command done = std::move(m_inFlight.front());
        m_inFlight.pop_front();
        if (m_inFlight.empty())
            m_replyTimer.stop();
        else
            m_replyTimer.start();
        armParser();
        if (done.handler)
            done.handler(reply);
        pump();
    }
}

void PopClient::linkFailure(const QString& why, bool pipelineFault)
{
    if (pipelineFault && m_window > 1)
        m_pipelineRefused.insert(serverKey());
    // With replies buffered, the link going away is only noticed by the request that needed it,
    // as it would be one request at a time.
    if (m_fetch == Fetch::Ready && m_protocolState == Transaction && m_op != Op::Quit) {
        loseLinkQuietly(why);
        return;
    }
    dropLink(why);
}

void PopClient::loseLinkQuietly(const QString& why)
{
    m_linkLost = true;
    m_linkLostWhy = why;
    m_connectTimer.stop();
    m_tlsTimer.stop();
    teardownSocket();
    for (Slot& s : m_slots) {
        if (s.header == HeaderState::Queued)
            s.header = HeaderState::None;
    }
    if (m_busy && !m_answerScheduled) {
        if (m_op == Op::Header && m_waiting > 0 && answerable(Op::Header, m_waiting))
            deliverHeader(m_waiting); // it arrived; only its batch's closing answer is missing
        else
            dropLink(why);
    }
}

void PopClient::dropLater(const QString& why)
{
    const quint64 generation = m_generation;
    QTimer::singleShot(0, this, [this, generation, why] {
        if (generation == m_generation && m_busy)
            dropLink(why);
    });
}

void PopClient::onSocketConnected()
{
    m_connectTimer.stop();
    // Small commands go out at once: with several in flight, waiting to coalesce them would
    // only add a round trip.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    setStates(NotConnected, Connected);
    if (m_implicitTls)
        m_tlsTimer.start();
    else
        awaitReply(PopReplyParser::Kind::SingleLine, [this](const PopReply& reply) { afterGreeting(reply); });
}

void PopClient::onEncrypted()
{
    m_tlsTimer.stop();
    if (m_implicitTls) {
        awaitReply(PopReplyParser::Kind::SingleLine, [this](const PopReply& reply) { afterGreeting(reply); });
        return;
    }
    // What the server said before the handshake cannot be trusted: ask again.
    requestCapabilities([this] { connectDone(); });
}

void PopClient::onSocketError()
{
    if (!m_socket)
        return;
    // A server that answers and hangs up at once (a final -ERR, or the reply to QUIT) must have
    // that answer read before the link counts as lost.
    const QString why = m_socket->errorString();
    if (m_socket->bytesAvailable() > 0)
        onReadyRead();
    if (m_socket)
        linkFailure(why);
}

void PopClient::onDisconnected()
{
    if (!m_socket)
        return;
    if (m_socket->bytesAvailable() > 0)
        onReadyRead();
    if (m_socket)
        linkFailure(QStringLiteral("connection closed by the server"));
}

// --- connect -------------------------------------------------------------------------------

void PopClient::connectToServer()
{
    if (!beginRequest(Op::Connect))
        return;
    const quint64 generation = m_generation;
    // Started from the event loop, so that whatever the socket reports at once (a bad port, a
    // refused connection) arrives after this call has returned with busy() true.
    QTimer::singleShot(0, this, [this, generation] {
        if (generation != m_generation || !m_busy)
            return;
        teardownSocket(); // a previous link still open is replaced
        resetFetch();
        setStates(NotConnected, Closed);
        m_messageCount = 0;
        m_statCount = 0;
        m_window = 1;
        m_fetchPipelined = false;
        m_capabilities.clear();
        m_capaAnswered = false;
        m_parser.clear();
        if (m_host.isEmpty() || m_port < 1 || m_port > 65535) {
            dropLink(QStringLiteral("no valid host or port"));
            return;
        }
        m_implicitTls
            = m_tlsMode == TlsMode::ImplicitTls || (m_tlsMode == TlsMode::Automatic && m_port == kImplicitTlsPort);
        if (m_tlsMode != TlsMode::Plain && !QSslSocket::supportsSsl()) {
            dropLink(QStringLiteral("TLS is not available on this system"));
            return;
        }
        m_socket = new QSslSocket(this);
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
        if (!m_caFile.isEmpty())
            configuration.addCaCertificates(loadCertificates(m_caFile));
        m_socket->setSslConfiguration(configuration);
        connect(m_socket, &QSslSocket::connected, this, &PopClient::onSocketConnected);
        connect(m_socket, &QSslSocket::encrypted, this, &PopClient::onEncrypted);
        connect(m_socket, &QSslSocket::readyRead, this, &PopClient::onReadyRead);
        connect(m_socket, &QSslSocket::errorOccurred, this, &PopClient::onSocketError);
        connect(m_socket, &QSslSocket::disconnected, this, &PopClient::onDisconnected);
        connect(m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) {
            if (!errors.isEmpty())
                m_lastError = errors.first().errorString();
        });
        m_connectTimer.start();
        const auto port = static_cast<quint16>(m_port);
        if (m_implicitTls)
            m_socket->connectToHostEncrypted(m_host, port);
        else
            m_socket->connectToHost(m_host, port);
    });
}

void PopClient::afterGreeting(const PopReply& reply)
{
    if (!reply.ok) {
        dropLink(QStringLiteral("the server refused the connection"));
        return;
    }
    requestCapabilities([this] { decideTls(); });
}

void PopClient::requestCapabilities(std::function<void()> then)
{
    send("CAPA", PopReplyParser::Kind::MultiLine, [this, then = std::move(then)](const PopReply& reply) {
        m_capaAnswered = reply.ok;
        m_capabilities.clear();
        if (reply.ok) {
            for (const QByteArray& line : reply.lines) {
                const QByteArray word = line.trimmed().split(' ').value(0).toUpper();
                if (!word.isEmpty())
                    m_capabilities.insert(word);
            }
        }
        then();
    });
}

void PopClient::decideTls()
{
    if (isEncrypted() || m_tlsMode == TlsMode::Plain) {
        connectDone();
        return;
    }
    const bool offered = m_capabilities.contains("STLS");
    if (m_tlsMode == TlsMode::Automatic && !offered) {
        connectDone(); // the server offers no TLS on this port: plain, as configured
        return;
    }
    if (m_tlsMode == TlsMode::StartTlsRequired && m_capaAnswered && !offered) {
        dropLink(QStringLiteral("the server offers no STLS"));
        return;
    }
    send("STLS", PopReplyParser::Kind::SingleLine, [this](const PopReply& reply) {
        if (!reply.ok) {
            dropLink(QStringLiteral("the server refused STLS"));
            return;
        }
        startTls();
    });
}

void PopClient::startTls()
{
    m_parser.clear(); // nothing received in plain text may count after the handshake
    m_tlsTimer.start();
    m_socket->startClientEncryption();
}

void PopClient::connectDone()
{
    setStates(Authorization, Connected);
    finishRequest();
}

// --- authenticate --------------------------------------------------------------------------

void PopClient::authenticate()
{
    if (!beginRequest(Op::Authenticate))
        return;
    if (!m_socket || m_protocolState != Authorization) {
        const quint64 generation = m_generation;
        QTimer::singleShot(0, this, [this, generation] {
            if (generation != m_generation || !m_busy)
                return;
            if (m_socket && m_protocolState == Transaction)
                finishRequest(); // logged in already
            else
                dropLink(QStringLiteral("not connected"));
        });
        return;
    }
    if (!isSafeArgument(m_user) || !isSafeArgument(m_password) || m_user.isEmpty()) {
        const quint64 generation = m_generation;
        QTimer::singleShot(0, this, [this, generation] {
            if (generation == m_generation && m_busy)
                dropLink(QStringLiteral("user id or password holds a line break"));
        });
        return;
    }
    // Where the server pipelines, the three go out together: one round trip instead of three.
    const bool together = pipelineUsable();
    m_window = together ? m_pipelineWindow : 1;
    auto onStat = [this](const PopReply& stat) {
        bool numeric = false;
        const qint64 count = stat.text.split(' ').value(0).toLongLong(&numeric);
        if (!stat.ok || !numeric || count < 0) {
            dropLink(QStringLiteral("no message count"));
            return;
        }
        // Message numbers are 16-bit: a larger mailbox shows its first 32767 messages.
        m_statCount = count;
        m_messageCount = static_cast<qint16>(std::min<qint64>(count, 32767));
        setStates(Transaction, Connected);
        finishRequest();
    };
    auto onPass = [this, together, onStat](const PopReply& pass) {
        if (!pass.ok) {
            dropLink(QStringLiteral("login refused"));
            return;
        }
        if (!together)
            send("STAT", PopReplyParser::Kind::SingleLine, onStat);
    };
    auto onUser = [this, together, onPass](const PopReply& user) {
        if (!user.ok) {
            dropLink(QStringLiteral("user id refused"));
            return;
        }
        if (!together)
            send("PASS " + m_password.toUtf8(), PopReplyParser::Kind::SingleLine, onPass);
    };
    send("USER " + m_user.toUtf8(), PopReplyParser::Kind::SingleLine, onUser);
    if (together) {
        send("PASS " + m_password.toUtf8(), PopReplyParser::Kind::SingleLine, onPass);
        send("STAT", PopReplyParser::Kind::SingleLine, onStat);
    }
}

bool PopClient::pipelineUsable() const
{
    return m_pipelining && m_capabilities.contains("PIPELINING") && !m_pipelineRefused.contains(serverKey());
}

// --- ending --------------------------------------------------------------------------------

void PopClient::cancel()
{
    if (!m_busy)
        return;
    // The server may be in the middle of a reply; the only way back in step is a new link.
    m_op = Op::Quit; // ends quietly: an aborted request reports nothing
    dropLink({});
}

void PopClient::quit()
{
    if (m_busy) {
        cancel();
        return;
    }
    beginRequest(Op::Quit);
    m_unsent.clear(); // headers not yet asked for are not wanted any more
    if (!m_socket) {
        const quint64 generation = m_generation;
        QTimer::singleShot(0, this, [this, generation] {
            if (generation == m_generation && m_busy)
                dropLink({});
        });
        return;
    }
    if (m_deletedHere.isEmpty()) {
        // Nothing to commit: QUIT is only a courtesy, so it is not waited for. The socket closes
        // once QUIT is out, on its own; the conversation ends on the next turn.
        QSslSocket* socket = m_socket;
        m_socket = nullptr;
        socket->disconnect(this);
        socket->write("QUIT\r\n");
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QAbstractSocket::errorOccurred, socket, &QObject::deleteLater);
        // A peer that never takes the close lets go of it after a reply time-out at most.
        QTimer::singleShot(m_replyTimer.interval(), socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        socket->disconnectFromHost();
        dropLater({});
        return;
    }
    // QUIT is what commits deletions; the link closes whatever the answer.
    send("QUIT", PopReplyParser::Kind::SingleLine, [this](const PopReply&) { dropLink({}); });
}

} // namespace ormisk
