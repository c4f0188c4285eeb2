// The fetcher's answers: a size or header request served from what the listing and the fetching
// ahead brought in, or from the cache.
#include "pop/PopConnection.h"
#include "pop/PopFetcher.h"

namespace ormisk {

using Reason = PopFailure::Reason;

void PopFetcher::serveSize(qint32 number)
{
    if (m_fetch == Fetch::Listing) {
        m_waiting = number;
        return;
    }
    m_requester.answerLater(number);
}

void PopFetcher::serveHeader(qint32 number)
{
    if (m_fetch == Fetch::Listing) {
        m_waiting = number;
        return;
    }
    Slot* s = slot(number);
    if (s && s->confirmed) {
        m_requester.answerLater(number);
    } else if (s && (s->header == Header::Queued || s->header == Header::Have || s->header == Header::Failed)) {
        m_waiting = number;
        releaseBefore(number);
    } else {
        // Not fetched ahead (one at a time, already handed out, or beyond the list): ask now,
        // ahead of any header still waiting to go out.
        if (s)
            s->header = Header::None;
        sendHeaderRequest(number, true);
    }
}

// The request waiting for the list (or for the list's refusal) goes on.
void PopFetcher::resumeWaiting()
{
    if (m_waiting == 0)
        return;
    const qint32 number = m_waiting;
    m_waiting = 0;
    if (m_fetch == Fetch::OneByOne) {
        if (m_want == Want::Size)
            sendSizeRequest(number);
        else if (m_want == Want::Header)
            sendHeaderRequest(number);
        return;
    }
    if (m_want == Want::Size)
        serveSize(number);
    else if (m_want == Want::Header)
        serveHeader(number);
}

bool PopFetcher::answerable(Want want, qint32 number)
{
    if (m_fetch != Fetch::Ready)
        return false;
    if (want == Want::Size)
        return true; // the whole list came in: a message missing from it has no size
    const Slot* s = slot(number);
    return s && (s->header == Header::Have || s->header == Header::Failed);
}

void PopFetcher::deliverSize(qint32 number)
{
    const Slot* s = slot(number);
    if (!s || s->size < 0) {
        m_requester.requestFailed(Reason::Unavailable, QStringLiteral("no size: the message is not listed"), "LIST");
        return;
    }
    m_requester.sizeFetched(s->size);
}

bool PopFetcher::deliverHeader(qint32 number)
{
    Slot* s = slot(number);
    if (!s || (s->header != Header::Have && s->header != Header::Failed))
        return false;
    // Handed out once: the memory goes back, and the window may move on.
    const bool have = s->header == Header::Have;
    QByteArray text;
    if (have && !m_slots.takeText(*s, &text)) {
        // The cache's file could not be read back: the server is asked after all.
        m_slots.forget(*s);
        s->fromCache = false;
        sendHeaderRequest(number, true);
        return true;
    }
    m_slots.forget(*s);
    releaseBefore(number);
    if (have)
        m_requester.headerFetched(text);
    else
        m_requester.requestFailed(Reason::Refused, QStringLiteral("no header"), "TOP");
    return true;
}

bool PopFetcher::deliverWaitingHeader()
{
    return m_want == Want::Header && m_waiting > 0 && answerable(Want::Header, m_waiting) && deliverHeader(m_waiting);
}

void PopFetcher::releaseBefore(qint32 number)
{
    m_slots.releaseBefore(number);
    m_connection.sendWaiting();
}

void PopFetcher::forgetUnconfirmed() { m_slots.forgetUnconfirmed(); }

PopFetcher::Slot* PopFetcher::slot(qint32 number) { return m_fetch == Fetch::Ready ? m_slots.find(number) : nullptr; }

} // namespace ormisk
