// POP3 replies, single and multi-line, fed whole and in random splits: the replies that come out
// must not depend on where the bytes were split (nor must a reply cut or given up on), and must
// respect the parser's caps.
#include "FuzzInput.h"
#include "pop/PopReplyParser.h"

#include <cstdlib>
#include <vector>

using ormisk::PopReply;
using ormisk::PopReplyParser;

namespace {

struct Outcome {
    std::vector<PopReply> replies;
    PopReplyParser::Status last = PopReplyParser::Status::NeedMore;
};

bool sameReply(const PopReply& a, const PopReply& b)
{
    return a.ok == b.ok && a.text == b.text && a.lines == b.lines && a.truncated == b.truncated;
}

class Feeder {
public:
    Feeder(PopReplyParser::Limits limits, uint32_t kinds)
        : m_parser(limits)
        , m_kinds(kinds)
    {
        expectNext();
    }
    void feed(const char* data, size_t size)
    {
        m_parser.append(QByteArrayView(data, qsizetype(size)));
        for (;;) {
            PopReply reply;
            const auto status = m_parser.next(&reply);
            m_outcome.last = status;
            if (status != PopReplyParser::Status::Complete)
                return;
            check(reply);
            m_outcome.replies.push_back(reply);
            expectNext();
        }
    }
    const Outcome& outcome() const { return m_outcome; }

private:
    void expectNext()
    {
        const bool multi = (m_kinds >> (m_outcome.replies.size() % 32)) & 1u;
        m_parser.expect(multi ? PopReplyParser::Kind::MultiLine : PopReplyParser::Kind::SingleLine);
    }
    void check(const PopReply& reply) const
    {
        const auto limits = m_parser.limits();
        if (reply.text.contains('\n') || reply.text.size() > limits.maxLineLength)
            abort();
        qsizetype body = 0;
        for (const QByteArray& line : reply.lines) {
            if (line.contains('\n') || line.size() > limits.maxLineLength)
                abort();
            body += line.size() + 2;
        }
        if (body > limits.maxBodySize + 2)
            abort();
    }
    PopReplyParser m_parser;
    uint32_t m_kinds;
    Outcome m_outcome;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ormisk::fuzz::FuzzInput in(data, size);
    const uint8_t mode = in.byte();
    uint32_t kinds = 0;
    for (int i = 0; i < 4; ++i)
        kinds = (kinds << 8) | in.byte();
    uint32_t rng = in.byte() * 2654435761u + 1u;
    PopReplyParser::Limits limits;
    if (mode & 1) { // small caps reach the line and body limits with small inputs
        limits.maxLineLength = 16 + (mode >> 1) % 64;
        limits.maxBodySize = 32 + (mode >> 3) * 8;
        limits.maxSkippedBytes = 64 + (mode >> 2) * 4;
    }
    const char* stream = in.rest();
    const size_t length = in.restSize();

    Feeder whole(limits, kinds);
    whole.feed(stream, length);

    Feeder split(limits, kinds);
    for (size_t pos = 0; pos < length;) {
        rng = rng * 1103515245u + 12345u;
        size_t chunk = 1 + (rng >> 16) % ((rng & 0x100) ? 3 : 40);
        if (chunk > length - pos)
            chunk = length - pos;
        split.feed(stream + pos, chunk);
        pos += chunk;
    }

    const Outcome& a = whole.outcome();
    const Outcome& b = split.outcome();
    if (a.replies.size() != b.replies.size() || a.last != b.last)
        abort();
    for (size_t i = 0; i < a.replies.size(); ++i) {
        if (!sameReply(a.replies[i], b.replies[i]))
            abort();
    }
    return 0;
}
