#include "pop/PopConnection.h"

#include "pop/Clock.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>

#include <algorithm>

namespace ormisk {

namespace {

using Reason = PopFailure::Reason;

QList<QSslCertificate> loadCertificates(const QString& path)
{
    QList<QSslCertificate> certificates = QSslCertificate::fromPath(path, QSsl::Pem);
    if (certificates.isEmpty())
        certificates = QSslCertificate::fromPath(path, QSsl::Der);
    return certificates;
}

QByteArray verbOf(const QByteArray& line) { return line.left(line.indexOf(' ')).toUpper(); }

// Only the first word of a line names a capability; lines that name none are skipped.
QSet<QByteArray> readCapabilities(const PopReply& reply)
{
    QSet<QByteArray> capabilities;
    for (const QByteArray& line : reply.lines) {
        const QByteArray word = line.trimmed().split(' ').value(0).toUpper();
        if (!word.isEmpty() && word.size() <= 64)
            capabilities.insert(word);
    }
    return capabilities;
}

// A listing line is "n" and a size or an id: far below this even for 70-character ids.
constexpr qsizetype kListingBytesPerMessage = 128;
constexpr qsizetype kListingBaseBytes = 64 * 1024;

} // namespace

PopConnection::PopConnection(Clock& clock, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_connectTimer(clock.createTimer(this))
    , m_tlsTimer(clock.createTimer(this))
    , m_replyTimer(clock.createTimer(this))
{
    // A TCP connect to a reachable server takes well under a second; 30 s still covers a slow
    // name lookup and SYN retries on a lossy link, where the kernel's own limit (about two
    // minutes) would hold the check far too long.
    m_connectTimer->setInterval(kDefaultConnectTimeout);
    // A handshake is a few round trips and some certificate work: 30 s is generous for a busy
    // server, and a stalled handshake must not hold the check.
    m_tlsTimer->setInterval(kDefaultTlsTimeout);
    // Each reply gets 60 s from the moment its command went out: servers may scan or index a
    // large mailbox before answering STAT or the first LIST, and a header of up to 1 MiB must
    // get through a slow link. A server silent for a minute is taken as gone.
    m_replyTimer->setInterval(kDefaultReplyTimeout);
    for (Timer* timer : { m_connectTimer, m_tlsTimer, m_replyTimer })
        timer->setSingleShot(true);
    connect(
        m_connectTimer, &Timer::timeout, this, [this] { fail(Reason::TimedOut, QStringLiteral("connect timed out")); });
    connect(m_tlsTimer, &Timer::timeout, this,
        [this] { fail(Reason::TimedOut, QStringLiteral("TLS handshake timed out")); });
    // A reply missing while several commands are in flight is the sign of a server that does not
    // really pipeline: it may have dropped commands and answered later ones in their place.
    connect(m_replyTimer, &Timer::timeout, this, [this] {
        fail(Reason::TimedOut, QStringLiteral("no reply from the server"), m_pipelined && m_inFlight.size() > 1);
    });
}

PopConnection::~PopConnection()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void PopConnection::setConnectTimeout(int ms) { m_connectTimer->setInterval(ms); }
void PopConnection::setTlsHandshakeTimeout(int ms) { m_tlsTimer->setInterval(ms); }
void PopConnection::setReplyTimeout(int ms) { m_replyTimer->setInterval(ms); }
int PopConnection::connectTimeout() const { return m_connectTimer->interval(); }
int PopConnection::tlsHandshakeTimeout() const { return m_tlsTimer->interval(); }
int PopConnection::replyTimeout() const { return m_replyTimer->interval(); }
void PopConnection::setWindowBytes(qsizetype bytes) { m_windowBytes = std::max<qsizetype>(1, bytes); }

bool PopConnection::isEncrypted() const { return m_socket && m_socket->isEncrypted(); }

QByteArray PopConnection::pendingVerb() const
{
    return m_inFlight.empty() ? QByteArray() : verbOf(m_inFlight.front().line);
}

void PopConnection::fail(Reason reason, const QString& why, bool outOfStep)
{
    emit failed(LinkFailure { reason, why, pendingVerb(), {}, outOfStep });
}

// --- opening -------------------------------------------------------------------------------

void PopConnection::open(const QString& host, qint32 port)
{
    close();
    m_pipelined = false;
    m_greeted = false;
    m_quitSent = false;
    m_capabilities.clear();
    m_capabilitiesListed = false;
    m_tlsError.clear();
    if (host.isEmpty() || port < 1 || port > 65535) {
        fail(Reason::Unavailable, QStringLiteral("no valid host or port"));
        return;
    }
    m_implicitTls = m_tlsMode == TlsMode::ImplicitTls || (m_tlsMode == TlsMode::Automatic && port == kImplicitTlsPort);
    m_socket = new QSslSocket(this);
    connect(m_socket, &QSslSocket::connected, this, &PopConnection::onSocketConnected);
    connect(m_socket, &QSslSocket::encrypted, this, &PopConnection::onEncrypted);
    connect(m_socket, &QSslSocket::readyRead, this, &PopConnection::onReadyRead);
    connect(m_socket, &QSslSocket::errorOccurred, this, &PopConnection::onSocketError);
    connect(m_socket, &QSslSocket::disconnected, this, &PopConnection::onDisconnected);
    connect(m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) {
        if (!errors.isEmpty())
            m_tlsError = errors.first().errorString();
    });
    m_connectTimer->start();
    // Setting TLS up (loading the library and the certificates) takes a while: for STLS it is
    // done while the connection and the greeting are on their way.
    if (!m_implicitTls) {
        m_socket->connectToHost(host, quint16(port));
        if (!m_socket)
            return; // failed on the spot
    }
    if (m_tlsMode != TlsMode::Plain) {
        if (!QSslSocket::supportsSsl()) {
            fail(Reason::Tls, QStringLiteral("TLS is not available on this system"));
            return;
        }
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
        if (!m_caFile.isEmpty())
            configuration.addCaCertificates(loadCertificates(m_caFile));
        m_socket->setSslConfiguration(configuration);
    }
    if (m_implicitTls)
        m_socket->connectToHostEncrypted(host, quint16(port));
}

void PopConnection::onSocketConnected()
{
    m_connectTimer->stop();
    // Small commands go out at once: with several in flight, waiting to coalesce them would
    // only add a round trip.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    emit connected();
    if (!m_socket)
        return; // let go by whoever heard of it
    if (m_implicitTls)
        m_tlsTimer->start();
    else
        awaitReply(PopReplyParser::Kind::SingleLine, [this](const PopReply& reply) { afterGreeting(reply); });
}

void PopConnection::onEncrypted()
{
    m_tlsTimer->stop();
    if (m_implicitTls) {
        awaitReply(PopReplyParser::Kind::SingleLine, [this](const PopReply& reply) { afterGreeting(reply); });
        return;
    }
    // Capabilities are learnt only now, under TLS: nothing said before the handshake counts.
    requestCapabilities([this] { emit ready(); });
}

void PopConnection::afterGreeting(const PopReply& reply)
{
    if (!reply.ok) {
        emit failed(
            LinkFailure { Reason::Refused, QStringLiteral("the server refused the connection"), {}, reply.text });
        return;
    }
    m_greeted = true;
    if (isEncrypted() || m_tlsMode == TlsMode::Plain) {
        requestCapabilities([this] { emit ready(); });
        return;
    }
    // STLS is asked for at once rather than after a capability list: a server that has it saves a
    // round trip, one that has not says -ERR and the list follows. Nothing said before the
    // handshake would count after it anyway.
    send({ "STLS", PopReplyParser::Kind::SingleLine, [this](const PopReply& stls) {
              const LinkFailure refused { Reason::StartTlsRefused, QStringLiteral("the server refused STLS"), "STLS",
                  stls.text };
              if (stls.ok) {
                  startTls();
                  return;
              }
              if (m_tlsMode == TlsMode::StartTlsRequired) {
                  emit failed(refused);
                  return;
              }
              requestCapabilities([this, refused] {
                  // Offered yet refused is not a server without TLS: no plain text then.
                  if (m_capabilities.contains("STLS"))
                      emit failed(refused);
                  else
                      emit ready(); // the server offers no TLS on this port: plain, as configured
              });
          } });
}

// A refused or garbled capability list is no reason to give up: the conversation goes on with
// what the protocol guarantees.
void PopConnection::requestCapabilities(std::function<void()> then)
{
    send({ "CAPA", PopReplyParser::Kind::MultiLine, [this, then = std::move(then)](const PopReply& reply) {
              m_capabilitiesListed = reply.ok;
              m_capabilities = reply.ok ? readCapabilities(reply) : QSet<QByteArray>();
              then();
          } });
}

void PopConnection::updateCapabilities(const PopReply& reply)
{
    if (reply.ok) {
        m_capabilitiesListed = true;
        m_capabilities = readCapabilities(reply);
    }
}

void PopConnection::startTls()
{
    m_parser.clear(); // nothing received in plain text may count after the handshake
    m_capabilities.clear();
    m_capabilitiesListed = false;
    m_tlsTimer->start();
    m_socket->startClientEncryption();
}

// --- closing -------------------------------------------------------------------------------

// Whether a QUIT may still go out: the greeting came, no TLS handshake is under way, and no
// deletion is unanswered (QUIT would commit one the user was told did not happen).
bool PopConnection::quitIsSafe() const
{
    if (!m_socket || !m_greeted || m_quitSent || m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    if (m_socket->mode() != QSslSocket::UnencryptedMode && !m_socket->isEncrypted())
        return false; // mid-handshake
    return std::none_of(
        m_inFlight.cbegin(), m_inFlight.cend(), [](const PopCommand& c) { return c.line.startsWith("DELE "); });
}

// A peer that never takes the close is cut off after a reply time-out at most.
void PopConnection::close()
{
    m_connectTimer->stop();
    m_tlsTimer->stop();
    if (m_socket) {
        QSslSocket* socket = m_socket;
        const bool quit = quitIsSafe();
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
            m_clock.singleShot(m_replyTimer->interval(), socket, [socket] {
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
    m_replyTimer->stop();
}

// --- commands and replies ------------------------------------------------------------------

void PopConnection::send(PopCommand command)
{
    if (!m_socket)
        return;
    m_unsent.push_back(std::move(command));
    sendWaiting();
}

void PopConnection::sendFirst(PopCommand command)
{
    if (!m_socket)
        return;
    m_unsent.push_front(std::move(command));
    sendWaiting();
}

void PopConnection::dropUnsent() { m_unsent.clear(); }

void PopConnection::flush()
{
    if (m_socket)
        m_socket->flush();
}

void PopConnection::awaitReply(PopReplyParser::Kind kind, std::function<void(const PopReply&)> handler)
{
    m_inFlight.push_back(PopCommand { {}, kind, std::move(handler) });
    armParser();
    m_replyTimer->start();
}

void PopConnection::sendWaiting()
{
    if (!m_socket)
        return;
    while (!m_unsent.empty()) {
        PopCommand& next = m_unsent.front();
        const qsizetype bytes = next.line.size() + 2;
        if (!m_inFlight.empty()
            && (!m_pipelined || next.barrier || m_inFlight.back().barrier || m_inFlightBytes + bytes > m_windowBytes))
            break;
        if (next.ahead && m_aheadGate && !m_aheadGate())
            break;
        m_socket->write(next.line + "\r\n");
        m_quitSent = m_quitSent || next.line == "QUIT";
        if (m_inFlight.empty())
            m_replyTimer->start(); // each reply gets the full time from when it is owed
        m_inFlightBytes += bytes;
        m_inFlight.push_back(std::move(next));
        m_unsent.pop_front();
    }
    armParser();
}

void PopConnection::armParser()
{
    if (!m_parser.expecting() && !m_inFlight.empty()) {
        const PopCommand& next = m_inFlight.front();
        const qsizetype listingCap
            = std::max(m_parser.limits().maxBodySize, kListingBaseBytes + kListingBytesPerMessage * m_listedMessages);
        m_parser.expect(next.kind, next.listing ? listingCap : 0);
    }
}

void PopConnection::onReadyRead()
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
            // longer pair up.
            fail(Reason::Protocol, QStringLiteral("protocol error: ") + m_parser.errorText(), m_pipelined);
            return;
        }
        if (status == PopReplyParser::Status::NeedMore) {
            // Bytes nobody asked for: with several commands in flight, replies and commands no
            // longer pair up.
            if (m_inFlight.empty() && m_parser.bufferedBytes() > 0 && m_pipelined)
                fail(Reason::Protocol, QStringLiteral("more replies than commands"), true);
            return;
        }
        PopCommand done = std::move(m_inFlight.front());
        m_inFlight.pop_front();
        m_inFlightBytes -= done.line.isEmpty() ? 0 : done.line.size() + 2;
        if (m_inFlight.empty())
            m_replyTimer->stop();
        else
            m_replyTimer->start();
        if (done.handler)
            done.handler(reply);
        armParser();
        sendWaiting();
    }
}

void PopConnection::onSocketError()
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
    fail(reason, why);
}

void PopConnection::onDisconnected()
{
    if (!m_socket)
        return;
    if (m_socket->bytesAvailable() > 0)
        onReadyRead();
    if (m_socket)
        fail(Reason::Link, QStringLiteral("connection closed by the server"));
}

} // namespace ormisk
