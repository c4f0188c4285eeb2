#include "engine/PopClient.h"

#include "engine/HeaderDecoding.h"

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
    connect(&m_replyTimer, &QTimer::timeout, this, [this] { dropLink(QStringLiteral("no reply from the server")); });
}

PopClient::~PopClient()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
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
    m_handler = {};
    m_replyTimer.stop();
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
    m_handler = {};
}

void PopClient::dropLink(const QString& why)
{
    if (!why.isEmpty())
        m_lastError = why;
    m_connectTimer.stop();
    m_tlsTimer.stop();
    m_replyTimer.stop();
    teardownSocket();
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
    if (!m_socket)
        return;
    m_socket->write(command + "\r\n");
    awaitReply(kind, std::move(handler));
}

void PopClient::awaitReply(PopReplyParser::Kind kind, ReplyHandler handler)
{
    m_parser.expect(kind);
    m_handler = std::move(handler);
    m_replyTimer.start();
}

void PopClient::onReadyRead()
{
    if (!m_socket)
        return;
    m_parser.append(m_socket->readAll());
    // Replies are read one at a time: a handler usually sends the next command, which makes the
    // parser expect again, and anything already buffered is read on the next pass.
    while (m_socket) {
        PopReply reply;
        const auto status = m_parser.next(&reply);
        if (status == PopReplyParser::Status::Failed) {
            dropLink(QStringLiteral("protocol error: ") + m_parser.errorText());
            return;
        }
        if (status == PopReplyParser::Status::NeedMore)
            return;
        m_replyTimer.stop();
        ReplyHandler handler = std::move(m_handler);
        m_handler = {};
        if (handler)
            handler(reply);
    }
}

void PopClient::onSocketConnected()
{
    m_connectTimer.stop();
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
        dropLink(why);
}

void PopClient::onDisconnected()
{
    if (!m_socket)
        return;
    if (m_socket->bytesAvailable() > 0)
        onReadyRead();
    if (m_socket)
        dropLink(QStringLiteral("connection closed by the server"));
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
        setStates(NotConnected, Closed);
        m_messageCount = 0;
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
    send("USER " + m_user.toUtf8(), PopReplyParser::Kind::SingleLine, [this](const PopReply& user) {
        if (!user.ok) {
            dropLink(QStringLiteral("user id refused"));
            return;
        }
        send("PASS " + m_password.toUtf8(), PopReplyParser::Kind::SingleLine, [this](const PopReply& pass) {
            if (!pass.ok) {
                dropLink(QStringLiteral("login refused"));
                return;
            }
            send("STAT", PopReplyParser::Kind::SingleLine, [this](const PopReply& stat) {
                bool numeric = false;
                const qint64 count = stat.text.split(' ').value(0).toLongLong(&numeric);
                if (!stat.ok || !numeric || count < 0) {
                    dropLink(QStringLiteral("no message count"));
                    return;
                }
                // Message numbers are 16-bit: a larger mailbox shows its first 32767 messages.
                m_messageCount = static_cast<qint16>(std::min<qint64>(count, 32767));
                setStates(Transaction, Connected);
                finishRequest();
            });
        });
    });
}

// --- transaction requests ------------------------------------------------------------------

void PopClient::requestMessageSize(qint16 number)
{
    if (!beginRequest(Op::Size))
        return;
    if (!m_socket || m_protocolState != Transaction || number < 1) {
        failLater(QStringLiteral("no such message or not logged in"));
        return;
    }
    send("LIST " + QByteArray::number(number), PopReplyParser::Kind::SingleLine, [this](const PopReply& reply) {
        const QList<QByteArray> words = reply.text.split(' ');
        bool numeric = false;
        const qint64 size = words.value(1).toLongLong(&numeric);
        if (!reply.ok || !numeric || size < 0) {
            failRequest(QStringLiteral("no size"));
            return;
        }
        const quint64 generation = m_generation;
        emit messageSize(static_cast<qint32>(std::min<qint64>(size, std::numeric_limits<qint32>::max())));
        emit changed();
        if (generation == m_generation)
            finishRequest();
    });
}

void PopClient::retrieveHeader(qint16 number)
{
    if (!beginRequest(Op::Header))
        return;
    if (!m_socket || m_protocolState != Transaction || number < 1) {
        failLater(QStringLiteral("no such message or not logged in"));
        return;
    }
    // Without TOP the header cannot be had without the whole message, which is never fetched.
    if (m_capaAnswered && !m_capabilities.contains("TOP")) {
        failLater(QStringLiteral("the server offers no TOP"));
        return;
    }
    send("TOP " + QByteArray::number(number) + " 0", PopReplyParser::Kind::MultiLine, [this](const PopReply& reply) {
        if (!reply.ok || reply.truncated) {
            failRequest(reply.truncated ? QStringLiteral("header too large") : QStringLiteral("no header"));
            return;
        }
        DocOutput doc;
        doc.state = DocOutput::HeadersAvailable;
        doc.headers = parseHeaderLines(reply.lines);
        const quint64 generation = m_generation;
        emit docOutput(doc);
        emit changed();
        if (generation == m_generation)
            finishRequest();
    });
}

void PopClient::deleteMessage(qint16 number)
{
    if (!beginRequest(Op::Delete))
        return;
    if (!m_socket || m_protocolState != Transaction || number < 1) {
        failLater(QStringLiteral("no such message or not logged in"));
        return;
    }
    send("DELE " + QByteArray::number(number), PopReplyParser::Kind::SingleLine, [this](const PopReply& reply) {
        if (!reply.ok) {
            failRequest(QStringLiteral("deletion refused"));
            return;
        }
        const quint64 generation = m_generation;
        emit deleteConfirmed();
        emit changed();
        if (generation == m_generation)
            finishRequest();
    });
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
    if (!m_socket) {
        const quint64 generation = m_generation;
        QTimer::singleShot(0, this, [this, generation] {
            if (generation == m_generation && m_busy)
                dropLink({});
        });
        return;
    }
    // QUIT is what commits deletions; the link closes whatever the answer.
    send("QUIT", PopReplyParser::Kind::SingleLine, [this](const PopReply&) { dropLink({}); });
}

} // namespace ormisk
