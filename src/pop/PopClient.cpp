#include "pop/PopClient.h"

#include "pop/Clock.h"
#include "pop/HeaderCache.h"
#include "pop/HeaderDecoding.h"

#include <QTimer>

#include <algorithm>
#include <limits>

namespace ormisk {

namespace {

// The byte form of a request argument; a CR, LF or NUL in it would smuggle a second command.
bool isSafeArgument(const QString& text)
{
    return !text.contains(u'\r') && !text.contains(u'\n') && !text.contains(QChar(0));
}

// What a server may say about itself in an -ERR line, kept for the user.
constexpr qsizetype kMaxServerText = 512;

} // namespace

PopClient::PopClient(QObject* parent)
    : PopClient(Clock::system(), parent)
{
}

PopClient::PopClient(Clock& clock, QObject* parent)
    : PopComponent(parent)
    , m_connection(clock)
    , m_fetcher(m_connection, *this)
    , m_timeLimitTimer(clock.createTimer(this))
{
    m_timeLimitTimer->setSingleShot(true);
    // A server may answer each reply just before its time-out and so hold a check for days; the
    // requests after the limit find the link closed.
    connect(m_timeLimitTimer, &Timer::timeout, this, [this] {
        dropLink(m_busy ? Reason::TimeLimit : Reason::None, QStringLiteral("the conversation took too long"));
    });
    connect(
        &m_connection, &PopConnection::connected, this, [this] { setStates(Stage::NotConnected, Link::Connected); });
    connect(&m_connection, &PopConnection::ready, this, [this] {
        setStates(Stage::Authorization, Link::Connected);
        finishRequest();
    });
    connect(&m_connection, &PopConnection::failed, this, &PopClient::onLinkFailed);
}

PopClient::~PopClient() = default;

qint16 PopClient::connectionState() const { return m_link == Link::Connected ? Connected : Closed; }

qint16 PopClient::protocolState() const
{
    static constexpr qint16 kStates[] = { NotConnected, Authorization, Transaction };
    return kStates[int(m_stage)];
}

QString PopClient::serverKey() const { return m_host.toLower() + u':' + QString::number(m_port); }

bool PopClient::pipeliningRefused(const QString& host, qint32 port) const
{
    return m_pipelineRefused.contains(host.toLower() + u':' + QString::number(port));
}

bool PopClient::pipeliningUsable() const
{
    return m_pipelining && m_connection.capabilities().contains("PIPELINING")
        && !m_pipelineRefused.contains(serverKey());
}

void PopClient::refusePipelining() { m_pipelineRefused.insert(serverKey()); }

// --- request bookkeeping -------------------------------------------------------------------

bool PopClient::beginRequest(Request request)
{
    if (m_busy) {
        qWarning("PopClient: a request was made while another one is running; ignored");
        return false;
    }
    m_request = request;
    m_failure = {};
    setBusy(true);
    return true;
}

void PopClient::finishRequest()
{
    m_request = Request::None;
    m_fetcher.requestEnded();
    m_answerScheduled = false;
    ++m_generation;
    setBusy(false);
}

void PopClient::finishAfterEvent(quint64 generation)
{
    emit changed();
    if (generation == m_generation)
        finishRequest();
}

void PopClient::setBusy(bool busy)
{
    if (m_busy == busy)
        return;
    m_busy = busy;
    emit changed();
}

void PopClient::setStates(Stage stage, Link link)
{
    if (m_stage == stage && m_link == link)
        return;
    m_stage = stage;
    m_link = link;
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
            requestFailed(reason, why);
    });
}

void PopClient::requestFailed(
    Reason reason, const QString& why, const QByteArray& command, const QByteArray& serverText)
{
    setFailure(reason, why, command, serverText);
    const quint64 generation = m_generation;
    if (m_request == Request::Header) {
        emit docOutput(DocOutput { DocOutput::TransferError, {}, {} });
        emit changed();
        if (generation != m_generation)
            return; // a handler of the event ended the request already
    }
    finishRequest();
}

void PopClient::dropLink(Reason reason, const QString& why, const QByteArray& command, const QByteArray& serverText)
{
    if (reason != Reason::None)
        setFailure(reason, why, command, serverText);
    m_connection.close();
    m_timeLimitTimer->stop();
    resetFetch();
    setStates(Stage::NotConnected, Link::Closed);
    if (m_busy) {
        if (m_request == Request::Header && reason != Reason::None) {
            const quint64 generation = m_generation;
            emit docOutput(DocOutput { DocOutput::TransferError, {}, {} });
            emit changed();
            if (generation != m_generation)
                return;
        }
        finishRequest();
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

void PopClient::resetFetch()
{
    m_fetcher.reset();
    m_linkLost = false;
    m_linkLostWhy = {};
}

// --- a link that fails ---------------------------------------------------------------------

void PopClient::onLinkFailed(const LinkFailure& failure)
{
    if (failure.outOfStep)
        misbehaved(failure.reason, failure.why);
    else
        linkFailure(failure.reason, failure.why, failure.command, failure.serverText);
}

void PopClient::linkFailure(Reason reason, const QString& why, const QByteArray& command, const QByteArray& serverText)
{
    // With replies buffered, the link going away is only noticed by the request that needed it,
    // as it would be one request at a time.
    if (m_fetcher.listed() && m_stage == Stage::Transaction && m_request != Request::Quit)
        loseLinkQuietly(reason, why, command);
    else
        dropLink(reason, why, command, serverText);
}

void PopClient::loseLinkQuietly(Reason reason, const QString& why, const QByteArray& command)
{
    m_linkLost = true;
    m_linkLostWhy = PopFailure { reason, command, {}, why };
    m_connection.close();
    m_fetcher.linkLost();
    if (m_busy && !m_answerScheduled) {
        // The header waited for arrived; only its batch's closing answer is missing.
        if (m_request != Request::Header || !m_fetcher.deliverWaitingHeader())
            dropLink(reason, why, command);
    }
}

// Replies and commands no longer pair up: the server is spoken to one command at a time from
// its next conversation on, and headers not yet vouched for by a batch's closing answer may
// belong to other messages.
void PopClient::misbehaved(Reason reason, const QString& why)
{
    refusePipelining();
    m_fetcher.forgetUnconfirmed();
    linkFailure(reason, why, m_connection.pendingVerb());
}

void PopClient::outOfStep(const QString& why) { misbehaved(Reason::Protocol, why); }

// --- connect and login ---------------------------------------------------------------------

void PopClient::connectToServer()
{
    if (!beginRequest(Request::Connect))
        return;
    const quint64 generation = m_generation;
    // Started from the event loop, so that whatever the socket reports at once (a bad port, a
    // refused connection) arrives after this call has returned with busy() true.
    QTimer::singleShot(0, this, [this, generation] {
        if (generation != m_generation || !m_busy)
            return;
        m_connection.close(); // a previous link still open is replaced
        resetFetch();
        m_fetcher.beginConversation();
        setStates(Stage::NotConnected, Link::Closed);
        m_messageCount = 0;
        if (m_timeLimit > 0)
            m_timeLimitTimer->start(m_timeLimit);
        m_connection.open(m_host, m_port);
    });
}

void PopClient::authenticate()
{
    if (!beginRequest(Request::Authenticate))
        return;
    if (!m_connection.isOpen() || m_stage != Stage::Authorization) {
        const quint64 generation = m_generation;
        QTimer::singleShot(0, this, [this, generation] {
            if (generation != m_generation || !m_busy)
                return;
            if (m_connection.isOpen() && m_stage == Stage::Transaction)
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
    const bool together = pipeliningUsable();
    m_connection.setPipelined(together);
    auto onPass = [this, together](const PopReply& pass) {
        if (!pass.ok) {
            dropLink(Reason::LoginRefused, QStringLiteral("login refused"), "PASS", pass.text);
            return;
        }
        if (!together)
            m_connection.send(
                { "STAT", PopReplyParser::Kind::SingleLine, [this](const PopReply& stat) { onStat(stat); } });
    };
    auto onUser = [this, together, onPass](const PopReply& user) {
        if (!user.ok) {
            dropLink(Reason::LoginRefused, QStringLiteral("user id refused"), "USER", user.text);
            return;
        }
        if (!together)
            m_connection.send({ "PASS " + m_password.toUtf8(), PopReplyParser::Kind::SingleLine, onPass });
    };
    m_connection.send({ "USER " + m_user.toUtf8(), PopReplyParser::Kind::SingleLine, onUser });
    if (together) {
        m_connection.send({ "PASS " + m_password.toUtf8(), PopReplyParser::Kind::SingleLine, onPass });
        m_connection.send({ "STAT", PopReplyParser::Kind::SingleLine, [this](const PopReply& stat) { onStat(stat); } });
        m_connection.send(
            { "CAPA", PopReplyParser::Kind::MultiLine, [this](const PopReply& capa) { onLoginCapabilities(capa); } });
        m_fetcher.sendListing(true, !m_fetcher.cacheFile().isEmpty() && m_connection.capabilities().contains("UIDL"));
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
    m_messageCount = static_cast<qint32>(std::min<qint64>(count, kMaxMessages));
    m_fetcher.setMailbox(HeaderCache::accountKey(m_host, m_port, m_user), count, m_messageCount);
    if (!m_connection.pipelined())
        m_connection.send(
            { "CAPA", PopReplyParser::Kind::MultiLine, [this](const PopReply& capa) { onLoginCapabilities(capa); } });
}

// Capabilities may change at login (RFC 2449): what the server says now is what counts; if it
// says nothing useful, what it said before still stands.
void PopClient::onLoginCapabilities(const PopReply& reply)
{
    m_connection.updateCapabilities(reply);
    setStates(Stage::Transaction, Link::Connected);
    finishRequest();
}

// --- sizes, headers, deletions -------------------------------------------------------------

bool PopClient::beginMessageRequest(Request request, qint32 number)
{
    if (!beginRequest(request))
        return false;
    if (m_linkLost) {
        // What arrived before the link went is still answered; a deletion never is.
        const auto want = request == Request::Size ? PopFetcher::Want::Size : PopFetcher::Want::Header;
        if (request != Request::Delete && m_fetcher.answerable(want, number))
            answerLater(number);
        else
            dropLater(m_linkLostWhy.reason, m_linkLostWhy.detail);
        return false;
    }
    if (!m_connection.isOpen() || m_stage != Stage::Transaction || number < 1) {
        failLater(Reason::Unavailable, QStringLiteral("no such message or not logged in"));
        return false;
    }
    return true;
}

void PopClient::requestMessageSize(qint32 number)
{
    if (beginMessageRequest(Request::Size, number))
        m_fetcher.requestSize(number);
}

void PopClient::retrieveHeader(qint32 number)
{
    if (!beginMessageRequest(Request::Header, number))
        return;
    // Without TOP the header cannot be had without the whole message, which is never fetched.
    if (m_fetcher.topRefused()) {
        failLater(Reason::Refused, QStringLiteral("the server refused TOP"));
        return;
    }
    m_fetcher.requestHeader(number);
}

void PopClient::deleteMessage(qint32 number)
{
    if (beginMessageRequest(Request::Delete, number))
        m_fetcher.deleteMessage(number);
}

// A request answered from what is here still ends on a later turn of the event loop, like one
// that went to the server.
void PopClient::answerLater(qint32 number)
{
    m_answerScheduled = true;
    const quint64 generation = m_generation;
    // A posted call, never a timer: a waiting caller may take it straight from the queue.
    QMetaObject::invokeMethod(
        this,
        [this, generation, number] {
            if (generation != m_generation || !m_busy)
                return;
            if (m_request == Request::Size)
                m_fetcher.deliverSize(number);
            else if (m_request == Request::Header)
                deliverHeader(number);
        },
        Qt::QueuedConnection);
}

void PopClient::deliverHeader(qint32 number)
{
    if (m_fetcher.deliverHeader(number))
        return;
    if (m_linkLost)
        dropLink(m_linkLostWhy.reason, m_linkLostWhy.detail, m_linkLostWhy.command);
    else
        requestFailed(Reason::Unavailable, QStringLiteral("no header"), "TOP");
}

void PopClient::sizeFetched(qint64 size)
{
    const quint64 generation = m_generation;
    emit messageSize(qint32(std::min<qint64>(size, std::numeric_limits<qint32>::max())));
    finishAfterEvent(generation);
}

void PopClient::headerFetched(const QByteArray& text)
{
    DocOutput doc;
    doc.state = DocOutput::HeadersAvailable;
    doc.text = QString::fromUtf8(text);
    doc.text.squeeze(); // made for a character per byte: text beyond ASCII leaves room over
    doc.headers = headerItems(doc.text);
    const quint64 generation = m_generation;
    emit docOutput(doc);
    finishAfterEvent(generation);
}

void PopClient::deletionConfirmed()
{
    const quint64 generation = m_generation;
    emit deleteConfirmed();
    finishAfterEvent(generation);
}

// --- ending --------------------------------------------------------------------------------

void PopClient::cancel()
{
    if (!m_busy)
        return;
    // The server may be in the middle of a reply; the only way back in step is a new link.
    m_request = Request::Quit; // ends quietly: an aborted request reports nothing
    dropLink(Reason::None, {});
}

void PopClient::quit()
{
    if (m_busy) {
        cancel();
        return;
    }
    beginRequest(Request::Quit);
    m_connection.dropUnsent(); // headers not yet asked for are not wanted any more
    const bool commits = m_fetcher.hasDeletions();
    if (!m_connection.isOpen()) {
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
        m_connection.close();
        dropLater(Reason::None, {});
        return;
    }
    // QUIT is what commits deletions: only its +OK says they happened.
    PopCommand command { "QUIT", PopReplyParser::Kind::SingleLine, [this](const PopReply& reply) {
                            if (reply.ok)
                                dropLink(Reason::None, {});
                            else
                                dropLink(Reason::Refused, QStringLiteral("QUIT refused"), "QUIT", reply.text);
                        } };
    command.barrier = true;
    m_connection.send(std::move(command));
}

} // namespace ormisk
