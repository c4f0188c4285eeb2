#include "pop/PopClient.h"

#include "pop/HeaderCache.h"

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

QByteArray verbOf(const QByteArray& line) { return line.left(line.indexOf(' ')).toUpper(); }

// A listing line is "n" and a size or an id: far below this even for 70-character ids.
constexpr qsizetype kListingBytesPerMessage = 128;
constexpr qsizetype kListingBaseBytes = 64 * 1024;
// What a server may say about itself in an -ERR line, kept for the user.
constexpr qsizetype kMaxServerText = 512;

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
    connect(&m_connectTimer, &QTimer::timeout, this,
        [this] { dropLink(Reason::TimedOut, QStringLiteral("connect timed out")); });
    connect(&m_tlsTimer, &QTimer::timeout, this,
        [this] { dropLink(Reason::TimedOut, QStringLiteral("TLS handshake timed out")); });
    // A reply missing while several commands are in flight is the sign of a server that does not
    // really pipeline: it may have dropped commands and answered later ones in their place.
    connect(&m_replyTimer, &QTimer::timeout, this, [this] {
        const QString why = QStringLiteral("no reply from the server");
        if (m_pipelinedNow && m_inFlight.size() > 1)
            misbehaved(why, Reason::TimedOut);
        else
            linkFailure(Reason::TimedOut, why);
    });
}

PopClient::~PopClient()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
    closeCache();
}

QString PopClient::serverKey() const { return m_host.toLower() + u':' + QString::number(m_port); }

QString PopClient::accountKey() const { return HeaderCache::accountKey(m_host, m_port, m_user); }

bool PopClient::pipeliningRefused(const QString& host, qint32 port) const
{
    return m_pipelineRefused.contains(host.toLower() + u':' + QString::number(port));
}

bool PopClient::isEncrypted() const { return m_socket && m_socket->isEncrypted(); }

// --- request bookkeeping -------------------------------------------------------------------

bool PopClient::beginRequest(Op op)
{
    if (m_busy) {
        qWarning("PopClient: a request was made while another one is running; ignored");
        return false;
    }
    m_op = op;
    m_failure = {};
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

void PopClient::setFailure(
    Reason reason, const QString& detail, const QByteArray& command, const QByteArray& serverText)
{
    m_failure.reason = reason;
    m_failure.detail = detail;
    m_failure.command = command;
    m_failure.serverText = QString::fromUtf8(serverText.left(kMaxServerText)).trimmed();
}

void PopClient::failLater(Reason reason, const QString& why)
{
    const quint64 generation = m_generation;
    QTimer::singleShot(0, this, [this, generation, reason, why] {
        if (generation == m_generation && m_busy)
            failRequest(reason, why);
    });
}

void PopClient::failRequest(Reason reason, const QString& why, const QByteArray& command, const QByteArray& serverText)
{
    setFailure(reason, why, command, serverText);
    const quint64 generation = m_generation;
    if (m_op == Op::Header) {
        emit docOutput(DocOutput { DocOutput::TransferError, {} });
        emit changed();
        if (generation != m_generation)
            return; // a handler of the event ended the request already
    }
    finishRequest();
}

QByteArray PopClient::pendingVerb() const
{
    return m_inFlight.empty() ? QByteArray() : verbOf(m_inFlight.front().line);
}

// Whether a QUIT may still go out: the greeting came, no TLS handshake is under way, and no
// deletion is unanswered (QUIT would commit one the user was told did not happen).
bool PopClient::quitIsSafe() const
{
    if (!m_socket || !m_greeted || m_quitSent || m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    if (m_socket->mode() != QSslSocket::UnencryptedMode && !m_socket->isEncrypted())
        return false; // mid-handshake
    return std::none_of(
        m_inFlight.cbegin(), m_inFlight.cend(), [](const Command& c) { return c.line.startsWith("DELE "); });
}

// The link is let go of cleanly: QUIT where it is safe, then our half closed once what is written
// has gone out. A peer that never takes the close is cut off after a reply time-out at most.
void PopClient::closeSocket(bool politely)
{
    if (m_socket) {
        QSslSocket* socket = m_socket;
        const bool quit = politely && quitIsSafe();
        m_socket = nullptr;
        socket->disconnect(this);
        if (socket->state() == QAbstractSocket::ConnectedState) {
            if (quit) {
                socket->write("QUIT\r\n");
                m_quitSent = true;
            }
            socket->flush();
            connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QAbstractSocket::errorOccurred, socket, &QObject::deleteLater);
            QTimer::singleShot(m_replyTimer.interval(), socket, [socket] {
                socket->abort();
                socket->deleteLater();
            });
            socket->disconnectFromHost();
        } else {
            socket->abort();
            socket->deleteLater(); // we may be inside one of its signals
        }
    }
    m_parser.clear();
    m_unsent.clear();
    m_inFlight.clear();
    m_inFlightBytes = 0;
    m_replyTimer.stop();
}

void PopClient::dropLink(Reason reason, const QString& why, const QByteArray& command, const QByteArray& serverText)
{
    if (reason != Reason::None)
        setFailure(reason, why, command, serverText);
    m_connectTimer.stop();
    m_tlsTimer.stop();
    closeSocket(true);
    resetFetch();
    setStates(NotConnected, Closed);
    if (m_busy) {
        if (m_op == Op::Header && reason != Reason::None) {
            const quint64 generation = m_generation;
            emit docOutput(DocOutput { DocOutput::TransferError, {} });
            emit changed();
            if (generation != m_generation)
                return;
        }
        finishRequest();
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
        const qsizetype bytes = next.line.size() + 2;
        if (!m_inFlight.empty()
            && (!m_pipelinedNow || next.barrier || m_inFlight.back().barrier
                || m_inFlightBytes + bytes > m_pipelineBytes))
            break;
        if (next.ahead && m_aheadBytes >= m_aheadLimit)
            break;
        m_socket->write(next.line + "\r\n");
        m_quitSent = m_quitSent || next.line == "QUIT";
        if (m_inFlight.empty())
            m_replyTimer.start(); // each reply gets the full time from when it is owed
        m_inFlightBytes += bytes;
        m_inFlight.push_back(std::move(next));
        m_unsent.pop_front();
    }
    armParser();
}

qsizetype PopClient::listingCap() const
{
    const qint64 count = std::min<qint64>(m_statCount, kMaxMessages);
    return std::max(m_parser.limits().maxBodySize, kListingBaseBytes + kListingBytesPerMessage * count);
}

void PopClient::armParser()
{
    if (!m_parser.expecting() && !m_inFlight.empty()) {
        const Command& next = m_inFlight.front();
        m_parser.expect(next.kind, next.listing ? listingCap() : 0);
    }
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
            // With several commands out, a reply that makes no sense means replies and commands no
            // longer pair up: nothing not yet vouched for may be handed out.
            const QString why = QStringLiteral("protocol error: ") + m_parser.errorText();
            if (m_pipelinedNow)
                misbehaved(why);
            else
                linkFailure(Reason::Protocol, why);
            return;
        }
        if (status == PopReplyParser::Status::NeedMore) {
            // Bytes nobody asked for: with several commands in flight, replies and commands no
            // longer pair up.
            if (m_inFlight.empty() && m_parser.bufferedBytes() > 0 && m_pipelinedNow)
                misbehaved(QStringLiteral("more replies than commands"));
            return;
        }
        Command done = std::move(m_inFlight.front());
        m_inFlight.pop_front();
        m_inFlightBytes -= done.line.isEmpty() ? 0 : done.line.size() + 2;
        if (m_inFlight.empty())
            m_replyTimer.stop();
        else
            m_replyTimer.start();
        if (done.handler)
            done.handler(reply);
        armParser();
        pump();
    }
}

void PopClient::linkFailure(Reason reason, const QString& why, bool pipelineFault)
{
    if (pipelineFault && m_pipelinedNow)
        m_pipelineRefused.insert(serverKey());
    // With replies buffered, the link going away is only noticed by the request that needed it,
    // as it would be one request at a time.
    if (m_fetch == Fetch::Ready && m_protocolState == Transaction && m_op != Op::Quit) {
        loseLinkQuietly(reason, why);
        return;
    }
    dropLink(reason, why, pendingVerb());
}

void PopClient::loseLinkQuietly(Reason reason, const QString& why)
{
    m_linkLost = true;
    m_linkLostWhy = PopFailure { reason, pendingVerb(), {}, why };
    m_connectTimer.stop();
    m_tlsTimer.stop();
    closeSocket(true);
    for (Slot& s : m_slots) {
        if (s.header == HeaderState::Queued)
            s.header = HeaderState::None;
    }
    if (m_busy && !m_answerScheduled) {
        if (m_op == Op::Header && m_waiting > 0 && answerable(Op::Header, m_waiting))
            deliverHeader(m_waiting); // it arrived; only its batch's closing answer is missing
        else
            dropLink(reason, why, m_linkLostWhy.command);
    }
}

void PopClient::dropLater(Reason reason, const QString& why)
{
    const quint64 generation = m_generation;
    QTimer::singleShot(0, this, [this, generation, reason, why] {
        if (generation == m_generation && m_busy)
            dropLink(reason, why);
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
    // Capabilities are learnt only now, under TLS: nothing said before the handshake counts.
    requestCapabilities([this] { connectDone(); });
}

void PopClient::onSocketError()
{
    if (!m_socket)
        return;
    // A server that answers and hangs up at once (a final -ERR, or the reply to QUIT) must have
    // that answer read before the link counts as lost.
    const QString why = m_tlsError.isEmpty() ? m_socket->errorString() : m_tlsError;
    const auto error = m_socket->error();
    if (m_socket->bytesAvailable() > 0)
        onReadyRead();
    if (!m_socket)
        return;
    Reason reason = Reason::Link;
    if (!m_tlsError.isEmpty() || error == QAbstractSocket::SslHandshakeFailedError
        || error == QAbstractSocket::SslInternalError || error == QAbstractSocket::SslInvalidUserDataError)
        reason = Reason::Tls;
    else if (error == QAbstractSocket::SocketTimeoutError)
        reason = Reason::TimedOut;
    linkFailure(reason, why);
}

void PopClient::onDisconnected()
{
    if (!m_socket)
        return;
    if (m_socket->bytesAvailable() > 0)
        onReadyRead();
    if (m_socket)
        linkFailure(Reason::Link, QStringLiteral("connection closed by the server"));
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
        closeSocket(true); // a previous link still open is replaced
        resetFetch();
        setStates(NotConnected, Closed);
        m_messageCount = 0;
        m_statCount = 0;
        m_pipelinedNow = false;
        m_fetchPipelined = false;
        m_greeted = false;
        m_quitSent = false;
        m_capabilities.clear();
        m_capaAnswered = false;
        m_tlsError.clear();
        m_parser.clear();
        if (m_host.isEmpty() || m_port < 1 || m_port > 65535) {
            dropLink(Reason::Unavailable, QStringLiteral("no valid host or port"));
            return;
        }
        m_implicitTls
            = m_tlsMode == TlsMode::ImplicitTls || (m_tlsMode == TlsMode::Automatic && m_port == kImplicitTlsPort);
        m_socket = new QSslSocket(this);
        connect(m_socket, &QSslSocket::connected, this, &PopClient::onSocketConnected);
        connect(m_socket, &QSslSocket::encrypted, this, &PopClient::onEncrypted);
        connect(m_socket, &QSslSocket::readyRead, this, &PopClient::onReadyRead);
        connect(m_socket, &QSslSocket::errorOccurred, this, &PopClient::onSocketError);
        connect(m_socket, &QSslSocket::disconnected, this, &PopClient::onDisconnected);
        connect(m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) {
            if (!errors.isEmpty())
                m_tlsError = errors.first().errorString();
        });
        m_connectTimer.start();
        const auto port = static_cast<quint16>(m_port);
        // Setting TLS up (loading the library and the certificates) takes a while: for STLS it
        // is done while the connection and the greeting are on their way.
        if (!m_implicitTls) {
            m_socket->connectToHost(m_host, port);
            if (!m_socket)
                return; // failed on the spot
        }
        if (m_tlsMode != TlsMode::Plain) {
            if (!QSslSocket::supportsSsl()) {
                dropLink(Reason::Tls, QStringLiteral("TLS is not available on this system"));
                return;
            }
            QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
            configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
            if (!m_caFile.isEmpty())
                configuration.addCaCertificates(loadCertificates(m_caFile));
            m_socket->setSslConfiguration(configuration);
        }
        if (m_implicitTls)
            m_socket->connectToHostEncrypted(m_host, port);
    });
}

void PopClient::afterGreeting(const PopReply& reply)
{
    if (!reply.ok) {
        dropLink(Reason::Refused, QStringLiteral("the server refused the connection"), {}, reply.text);
        return;
    }
    m_greeted = true;
    if (isEncrypted() || m_tlsMode == TlsMode::Plain) {
        requestCapabilities([this] { connectDone(); });
        return;
    }
    // STLS is asked for at once rather than after a capability list: a server that has it saves a
    // round trip, one that has not says -ERR and the list follows. Nothing said before the
    // handshake would count after it anyway.
    send("STLS", PopReplyParser::Kind::SingleLine, [this](const PopReply& stls) {
        if (stls.ok) {
            startTls();
            return;
        }
        if (m_tlsMode == TlsMode::StartTlsRequired) {
            dropLink(Reason::Tls, QStringLiteral("the server refused STLS"), "STLS", stls.text);
            return;
        }
        requestCapabilities([this, stls] {
            // Offered yet refused is not a server without TLS: no plain text then.
            if (m_capabilities.contains("STLS")) {
                dropLink(Reason::Tls, QStringLiteral("the server refused STLS"), "STLS", stls.text);
                return;
            }
            connectDone(); // the server offers no TLS on this port: plain, as configured
        });
    });
}

QSet<QByteArray> PopClient::readCapabilities(const PopReply& reply)
{
    // Only the first word of a line names a capability; lines that name none are skipped.
    QSet<QByteArray> capabilities;
    for (const QByteArray& line : reply.lines) {
        const QByteArray word = line.trimmed().split(' ').value(0).toUpper();
        if (!word.isEmpty() && word.size() <= 64)
            capabilities.insert(word);
    }
    return capabilities;
}

// A refused or garbled capability list is no reason to give up: the conversation goes on with
// what the protocol guarantees.
void PopClient::requestCapabilities(std::function<void()> then)
{
    send("CAPA", PopReplyParser::Kind::MultiLine, [this, then = std::move(then)](const PopReply& reply) {
        m_capaAnswered = reply.ok;
        m_capabilities = reply.ok ? readCapabilities(reply) : QSet<QByteArray>();
        then();
    });
}

void PopClient::startTls()
{
    m_parser.clear(); // nothing received in plain text may count after the handshake
    m_capabilities.clear();
    m_capaAnswered = false;
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
                dropLink(Reason::Unavailable, QStringLiteral("not connected"));
        });
        return;
    }
    if (!isSafeArgument(m_user) || !isSafeArgument(m_password) || m_user.isEmpty()) {
        const quint64 generation = m_generation;
        QTimer::singleShot(0, this, [this, generation] {
            if (generation == m_generation && m_busy)
                dropLink(Reason::Unavailable, QStringLiteral("user id or password holds a line break"), "USER");
        });
        return;
    }
    // Where the server pipelines, the login, the second capability list and the listings go out
    // together: one round trip instead of six. Until the login is answered the server takes the
    // later commands as errors and the conversation ends anyway, so nothing is risked.
    const bool together = pipelineUsable();
    m_pipelinedNow = together;
    auto onPass = [this, together](const PopReply& pass) {
        if (!pass.ok) {
            dropLink(Reason::LoginRefused, QStringLiteral("login refused"), "PASS", pass.text);
            return;
        }
        if (!together)
            send("STAT", PopReplyParser::Kind::SingleLine, [this](const PopReply& stat) { onStat(stat); });
    };
    auto onUser = [this, together, onPass](const PopReply& user) {
        if (!user.ok) {
            dropLink(Reason::LoginRefused, QStringLiteral("user id refused"), "USER", user.text);
            return;
        }
        if (!together)
            send("PASS " + m_password.toUtf8(), PopReplyParser::Kind::SingleLine, onPass);
    };
    send("USER " + m_user.toUtf8(), PopReplyParser::Kind::SingleLine, onUser);
    if (together) {
        send("PASS " + m_password.toUtf8(), PopReplyParser::Kind::SingleLine, onPass);
        send("STAT", PopReplyParser::Kind::SingleLine, [this](const PopReply& stat) { onStat(stat); });
        send("CAPA", PopReplyParser::Kind::MultiLine, [this](const PopReply& capa) { onLoginCapabilities(capa); });
        sendListing(true, !m_cacheFile.isEmpty() && m_capabilities.contains("UIDL"));
    }
}

void PopClient::onStat(const PopReply& stat)
{
    bool numeric = false;
    const qint64 count = stat.text.split(' ').value(0).toLongLong(&numeric);
    if (!stat.ok) {
        dropLink(Reason::Refused, QStringLiteral("no message count"), "STAT", stat.text);
        return;
    }
    if (!numeric || count < 0) {
        dropLink(Reason::Protocol, QStringLiteral("no message count"), "STAT");
        return;
    }
    m_statCount = count;
    m_messageCount = static_cast<qint32>(std::min<qint64>(count, kMaxMessages));
    if (!m_pipelinedNow)
        send("CAPA", PopReplyParser::Kind::MultiLine, [this](const PopReply& capa) { onLoginCapabilities(capa); });
}

// Capabilities may change at login (RFC 2449): what the server says now is what counts; if it
// says nothing useful, what it said before still stands.
void PopClient::onLoginCapabilities(const PopReply& reply)
{
    if (reply.ok) {
        m_capaAnswered = true;
        m_capabilities = readCapabilities(reply);
    }
    setStates(Transaction, Connected);
    finishRequest();
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
    dropLink(Reason::None, {});
}

void PopClient::quit()
{
    if (m_busy) {
        cancel();
        return;
    }
    beginRequest(Op::Quit);
    m_unsent.clear(); // headers not yet asked for are not wanted any more
    const bool commits = !m_deletedHere.isEmpty();
    if (!m_socket) {
        // Gone already: deletions confirmed in this conversation were never committed.
        if (commits)
            dropLater(Reason::Link, QStringLiteral("the connection was lost before QUIT"));
        else
            dropLater(Reason::None, {});
        return;
    }
    if (!commits) {
        // Nothing to commit: QUIT is only a courtesy, so its answer is not waited for. It goes out
        // now, and our side of the link closes behind it.
        m_connectTimer.stop();
        m_tlsTimer.stop();
        closeSocket(true);
        dropLater(Reason::None, {});
        return;
    }
    // QUIT is what commits deletions: only its +OK says they happened.
    Command command { "QUIT", PopReplyParser::Kind::SingleLine, [this](const PopReply& reply) {
                         if (reply.ok)
                             dropLink(Reason::None, {});
                         else
                             dropLink(Reason::Refused, QStringLiteral("QUIT refused"), "QUIT", reply.text);
                     } };
    command.barrier = true;
    sendCommand(std::move(command));
}

} // namespace ormisk
