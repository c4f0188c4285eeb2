#pragma once
// Socket-free, incremental reader of POP3 replies. Bytes go in as they arrive, split anywhere;
// complete replies come out. Lines may end in CR LF or a bare LF. A multi-line reply ends only at
// its terminating line, whatever its lines look like. What is too large is cut, never fatal while
// the reply still ends: a body line over the line cap keeps its start, a body over its size cap
// keeps its first lines, the rest is read and dropped to the terminator, and the reply comes out
// marked as truncated, so the conversation stays in step and memory stays bounded. Fatal are only
// a status line that is not one (or never ends), and a body that goes on far past its cap.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace ormisk {

struct PopReply {
    bool ok = false; // "+OK" (true) or "-ERR" (false)
    QByteArray text; // the rest of the status line, without the leading blank
    QList<QByteArray> lines; // multi-line body, dot-unstuffed, without line ends
    bool truncated = false; // something was cut: lines holds only what fitted
};

class PopReplyParser {
public:
    enum class Kind { SingleLine, MultiLine };
    enum class Status { NeedMore, Complete, Failed };

    struct Limits {
        // Longest line, line end excluded. Status lines are short; header lines of real mail can
        // reach some KB unfolded, and mass mailings carry single lines of hundreds of KB: those
        // keep this much of their start.
        qsizetype maxLineLength = 64 * 1024;
        // Largest multi-line body kept (line ends counted): a message header beyond 1 MiB is not
        // mail any more. expect() may give a reply a cap of its own (a listing of every message).
        qsizetype maxBodySize = 1024 * 1024;
        // Bytes a body may run past its cap before it counts as a reply that never ends.
        qsizetype maxSkippedBytes = 64 * 1024 * 1024;
    };

    PopReplyParser() = default;
    explicit PopReplyParser(Limits limits)
        : m_limits(limits)
    {
    }

    void setLimits(Limits limits) { m_limits = limits; }
    [[nodiscard]] Limits limits() const { return m_limits; }

    // Announces the shape of the next reply and, for a multi-line one, the body cap (0: the
    // limits' own). A "-ERR" status always ends a reply, whatever kind.
    void expect(Kind kind, qsizetype maxBodySize = 0);
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
    // Takes one complete status line (line end removed) from the buffer, or returns false.
    bool takeStatusLine(QByteArray* line, Status* status);
    // Takes one body line, cutting an overlong one (*cut set); false when more bytes are needed.
    bool takeBodyLine(QByteArray* line, bool* cut);
    // Drops the rest of a cut line; false while its end has not arrived.
    bool skipRestOfLine();
    void compact();

    Limits m_limits;
    QByteArray m_buffer;
    qsizetype m_pos = 0; // start of unread bytes in m_buffer
    qsizetype m_scanFrom = 0; // where the search for the next LF resumes (no rescans of a long line)
    bool m_expecting = false;
    Kind m_kind = Kind::SingleLine;
    qsizetype m_bodyCap = 0;
    bool m_inBody = false;
    bool m_skippingLine = false; // inside the dropped rest of a cut line
    qsizetype m_bodySize = 0; // body bytes read so far, kept or not
    qsizetype m_keptSize = 0; // body bytes kept (or that would have been, once over the cap)
    PopReply m_reply;
    QString m_error;
    bool m_failed = false;
};

} // namespace ormisk
