#include "pop/PopReplyParser.h"

namespace ormisk {

void PopReplyParser::expect(Kind kind, qsizetype maxBodySize)
{
    m_expecting = true;
    m_kind = kind;
    m_bodyCap = maxBodySize > 0 ? maxBodySize : m_limits.maxBodySize;
    m_inBody = false;
    m_skippingLine = false;
    m_bodySize = 0;
    m_keptSize = 0;
    m_reply = PopReply {};
}

void PopReplyParser::append(QByteArrayView bytes)
{
    if (m_failed)
        return;
    compact();
    m_buffer.append(bytes.data(), bytes.size());
}

// Consumed replies must not pile up in front of the buffer.
void PopReplyParser::compact()
{
    if (m_pos > 0 && m_pos >= m_buffer.size() / 2) {
        m_buffer.remove(0, m_pos);
        m_scanFrom = std::max<qsizetype>(0, m_scanFrom - m_pos);
        m_pos = 0;
    }
}

void PopReplyParser::clear()
{
    m_buffer.clear();
    m_pos = 0;
    m_scanFrom = 0;
    m_expecting = false;
    m_inBody = false;
    m_skippingLine = false;
    m_bodySize = 0;
    m_keptSize = 0;
    m_reply = PopReply {};
    m_error.clear();
    m_failed = false;
}

PopReplyParser::Status PopReplyParser::fail(const QString& why)
{
    m_failed = true;
    m_error = why;
    m_buffer.clear();
    m_pos = 0;
    m_scanFrom = 0;
    return Status::Failed;
}

bool PopReplyParser::takeStatusLine(QByteArray* line, Status* status)
{
    const qsizetype lf = m_buffer.indexOf('\n', std::max(m_scanFrom, m_pos));
    if (lf < 0) {
        m_scanFrom = m_buffer.size();
        // +1: a CR may still be waiting for its LF.
        if (m_buffer.size() - m_pos > m_limits.maxLineLength + 1)
            *status = fail(QStringLiteral("status line longer than %1 bytes").arg(m_limits.maxLineLength));
        else
            *status = Status::NeedMore;
        return false;
    }
    qsizetype end = lf;
    if (end > m_pos && m_buffer.at(end - 1) == '\r')
        --end;
    if (end - m_pos > m_limits.maxLineLength) {
        *status = fail(QStringLiteral("status line longer than %1 bytes").arg(m_limits.maxLineLength));
        return false;
    }
    *line = m_buffer.mid(m_pos, end - m_pos);
    m_pos = lf + 1;
    m_scanFrom = m_pos;
    return true;
}

bool PopReplyParser::skipRestOfLine()
{
    const qsizetype lf = m_buffer.indexOf('\n', m_pos);
    const qsizetype upTo = lf < 0 ? m_buffer.size() : lf + 1;
    m_bodySize += upTo - m_pos;
    m_pos = upTo;
    m_scanFrom = m_pos;
    if (lf < 0) {
        compact();
        return false;
    }
    m_skippingLine = false;
    return true;
}

bool PopReplyParser::takeBodyLine(QByteArray* line, bool* cut)
{
    *cut = false;
    const qsizetype max = m_limits.maxLineLength;
    const qsizetype lf = m_buffer.indexOf('\n', std::max(m_scanFrom, m_pos));
    qsizetype end = lf;
    if (lf < 0) {
        m_scanFrom = m_buffer.size();
        // +1: a CR may still be waiting for its LF.
        if (m_buffer.size() - m_pos <= max + 1)
            return false;
    } else if (end > m_pos && m_buffer.at(end - 1) == '\r') {
        --end;
    }
    if (lf < 0 || end - m_pos > max) {
        // Its start is kept; the rest is dropped as it comes, never held.
        *line = m_buffer.mid(m_pos, max);
        m_bodySize += max;
        m_pos += max;
        m_scanFrom = m_pos;
        m_skippingLine = true;
        *cut = true;
        return true;
    }
    *line = m_buffer.mid(m_pos, end - m_pos);
    m_bodySize += lf + 1 - m_pos;
    m_pos = lf + 1;
    m_scanFrom = m_pos;
    return true;
}

PopReplyParser::Status PopReplyParser::next(PopReply* reply)
{
    if (m_failed)
        return Status::Failed;
    if (!m_expecting) {
        // Nothing is owed to us; unrequested bytes wait for the next reply, but not without end.
        if (bufferedBytes() > m_limits.maxLineLength + 1 && m_buffer.indexOf('\n', m_pos) < 0)
            return fail(QStringLiteral("status line longer than %1 bytes").arg(m_limits.maxLineLength));
        return Status::NeedMore;
    }
    if (!m_inBody) {
        Status status = Status::NeedMore;
        QByteArray line;
        if (!takeStatusLine(&line, &status))
            return status;
        const QByteArray upper = line.left(4).toUpper();
        qsizetype rest = 0;
        if (upper.startsWith("+OK")) {
            m_reply.ok = true;
            rest = 3;
        } else if (upper.startsWith("-ERR")) {
            m_reply.ok = false;
            rest = 4;
        } else {
            return fail(QStringLiteral("malformed status line"));
        }
        m_reply.text = line.mid(rest);
        if (m_reply.text.startsWith(' '))
            m_reply.text.remove(0, 1);
        if (m_kind == Kind::SingleLine || !m_reply.ok) {
            m_expecting = false;
            *reply = std::move(m_reply);
            m_reply = PopReply {};
            return Status::Complete;
        }
        m_inBody = true;
        m_bodySize = 0;
        m_keptSize = 0;
    }
    // Checked after every step, so that where the bytes were split never changes the outcome.
    const qsizetype endless = m_bodyCap + m_limits.maxSkippedBytes;
    auto neverEnds = [&] { return fail(QStringLiteral("a reply that does not end within %1 bytes").arg(endless)); };
    while (true) {
        if (m_skippingLine) {
            const bool done = skipRestOfLine();
            if (m_bodySize > endless)
                return neverEnds();
            if (!done)
                break;
        }
        QByteArray line;
        bool cut = false;
        if (!takeBodyLine(&line, &cut))
            break;
        if (m_bodySize > endless)
            return neverEnds();
        if (!cut && line == ".") {
            m_expecting = false;
            m_inBody = false;
            *reply = std::move(m_reply);
            m_reply = PopReply {};
            return Status::Complete;
        }
        if (line.startsWith('.'))
            line.remove(0, 1);
        m_keptSize += line.size() + 2;
        if (m_keptSize > m_bodyCap) {
            // Read on to the terminator so the next reply is found, but keep nothing more.
            if (!m_reply.truncated)
                m_reply.lines.squeeze();
            m_reply.truncated = true;
            continue;
        }
        m_reply.truncated = m_reply.truncated || cut;
        m_reply.lines.append(line);
    }
    return Status::NeedMore;
}

} // namespace ormisk
