#pragma once
// Socket-free, incremental reader of POP3 replies. Bytes go in as they arrive, split anywhere;
// complete replies come out. Lines may end in CR LF or a bare LF. A line longer than the line
// cap is a fatal error (a hostile server could otherwise grow one line forever); a multi-line
// reply beyond its size cap is read to its end but comes out marked as truncated, so the
// conversation stays in step and memory stays bounded.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace ormisk {

struct PopReply {
    bool ok = false; // "+OK" (true) or "-ERR" (false)
    QByteArray text; // the rest of the status line, without the leading blank
    QList<QByteArray> lines; // multi-line body, dot-unstuffed, without line ends
    bool truncated = false; // the body went over the size cap; lines holds only what fitted
};

class PopReplyParser {
public:
    enum class Kind { SingleLine, MultiLine };
    enum class Status { NeedMore, Complete, Failed };

    struct Limits {
        // Longest line, line end excluded. Status lines are short; header lines of real mail can
        // reach some KB unfolded, so this leaves room while stopping an endless line early.
        qsizetype maxLineLength = 64 * 1024;
        // Largest multi-line body kept (line ends counted): a message header beyond 1 MiB is
        // not mail any more.
        qsizetype maxBodySize = 1024 * 1024;
    };

    PopReplyParser() = default;
    explicit PopReplyParser(Limits limits)
        : m_limits(limits)
    {
    }

    void setLimits(Limits limits) { m_limits = limits; }
    [[nodiscard]] Limits limits() const { return m_limits; }

    // Announces the shape of the next reply. A "-ERR" status always ends a reply, whatever kind.
    void expect(Kind kind);
    // Buffers received bytes; call next() to read replies out of them.
    void append(QByteArrayView bytes);
    // Reads the expected reply from the buffered bytes. Complete fills *reply and consumes it;
    // Failed is final until clear() (errorText() says why).
    [[nodiscard]] Status next(PopReply* reply);
    // Drops buffered bytes, the partial reply and any error (a new connection, or after STLS:
    // nothing sent in plain text before the handshake may be read as part of the encrypted talk).
    void clear();

    [[nodiscard]] bool expecting() const { return m_expecting; }
    [[nodiscard]] qsizetype bufferedBytes() const { return m_buffer.size() - m_pos; }
    [[nodiscard]] QString errorText() const { return m_error; }

private:
    Status fail(const QString& why);
    // Takes one complete line (line end removed) from the buffer, or returns false.
    bool takeLine(QByteArray* line, Status* status);

    Limits m_limits;
    QByteArray m_buffer;
    qsizetype m_pos = 0; // start of unread bytes in m_buffer
    qsizetype m_scanFrom = 0; // where the search for the next LF resumes (no rescans of a long line)
    bool m_expecting = false;
    Kind m_kind = Kind::SingleLine;
    bool m_inBody = false;
    qsizetype m_bodySize = 0;
    PopReply m_reply;
    QString m_error;
    bool m_failed = false;
};

} // namespace ormisk
