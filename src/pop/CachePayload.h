#pragma once
// The header cache file's payload, written and read in the layout QDataStream (Qt 6.0 format)
// uses, without going through a stream value by value.
#include <QByteArray>
#include <QCryptographicHash>
#include <QIODevice>
#include <QString>

#include <algorithm>
#include <limits>

namespace ormisk::cache_payload {

// Written out a piece at a time.
constexpr qsizetype kChunkBytes = 1024 * 1024;

// Appends values in exactly the layout QDataStream (Qt 6.0 format) reads back: going through a
// stream value by value made writing a thousand headers take milliseconds after every check that
// brought new mail.
class PayloadWriter {
public:
    explicit PayloadWriter(QByteArray& out)
        : m_out(out)
    {
    }
    void u32(quint32 value) { put(value, 4); }
    void u64(quint64 value) { put(value, 8); }
    void bytes(const QByteArray& value)
    {
        if (value.isNull()) {
            u32(0xffffffffu);
            return;
        }
        u32(quint32(value.size()));
        m_out.append(value);
    }
    void text(const QString& value)
    {
        if (value.isNull()) {
            u32(0xffffffffu);
            return;
        }
        u32(quint32(value.size() * 2));
        for (const QChar c : value)
            put(c.unicode(), 2);
    }
    static qsizetype bytesSize(const QByteArray& value) { return 4 + (value.isNull() ? 0 : value.size()); }
    static qsizetype textSize(const QString& value) { return 4 + (value.isNull() ? 0 : value.size() * 2); }

private:
    void put(quint64 value, int width)
    {
        char bytes[8];
        for (int i = 0; i < width; ++i)
            bytes[i] = char(value >> (8 * (width - 1 - i)));
        m_out.append(bytes, width);
    }
    QByteArray& m_out;
};

// Reads the payload in large pieces, each added to the digest as it comes in: one pass over the
// file both checks it and builds the index, while the texts themselves can be passed over and
// left on disk. Every length is checked against what is left.
class PayloadReader {
public:
    PayloadReader(QIODevice& in, qint64 start, qint64 length, QCryptographicHash& digest)
        : m_in(in)
        , m_digest(digest)
        , m_bufferAt(start)
        , m_left(length)
    {
    }
    bool u32(quint32* value) { return get(value, 4); }
    bool u64(quint64* value) { return get(value, 8); }
    // A length and that many bytes (a null array for the null marker).
    bool bytes(QByteArray* value)
    {
        quint32 length = 0;
        if (!u32(&length))
            return false;
        if (length == kNull) {
            *value = QByteArray();
            return true;
        }
        if (length > quint64(left()) || !need(length))
            return false;
        *value = QByteArray(m_buffer.constData() + m_pos, qsizetype(length));
        m_pos += length;
        return true;
    }
    // Passes over a byte string, leaving where it lies in the file.
    bool skipBytes(qint64* at, qint32* size)
    {
        quint32 length = 0;
        if (!u32(&length))
            return false;
        if (length == kNull)
            length = 0;
        if (length > quint64(left()) || length > quint32(std::numeric_limits<qint32>::max()))
            return false;
        *at = m_bufferAt + m_pos;
        *size = qint32(length);
        const qsizetype buffered = std::min<qsizetype>(m_buffer.size() - m_pos, length);
        m_pos += buffered;
        for (qint64 rest = qint64(length) - buffered; rest > 0;) {
            // Beyond what is buffered: read through, for the digest only.
            m_buffer.clear();
            m_pos = 0;
            m_bufferAt = *at + length - rest;
            if (!fill(std::min<qint64>(rest, kChunkBytes)))
                return false;
            const qsizetype taken = std::min<qsizetype>(m_buffer.size(), rest);
            m_pos = taken;
            rest -= taken;
        }
        return true;
    }
    bool text(QString* value)
    {
        QByteArray bytes;
        if (!this->bytes(&bytes) || bytes.size() % 2 != 0)
            return false;
        if (bytes.isNull()) {
            *value = QString();
            return true;
        }
        QString out(bytes.size() / 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < out.size(); ++i)
            out[i] = QChar(char16_t((quint8(bytes.at(2 * i)) << 8) | quint8(bytes.at(2 * i + 1))));
        *value = out;
        return true;
    }
    [[nodiscard]] bool atEnd() const { return left() == 0; }

private:
    static constexpr quint32 kNull = 0xffffffffu;
    [[nodiscard]] qint64 left() const { return m_left + (m_buffer.size() - m_pos); }
    // At least n bytes buffered, or false.
    bool need(qint64 n)
    {
        while (m_buffer.size() - m_pos < n) {
            // What was read goes; what is left moves to the front.
            m_buffer.remove(0, m_pos);
            m_bufferAt += m_pos;
            m_pos = 0;
            if (m_left == 0 || !fill(std::max<qint64>(n - m_buffer.size(), kChunkBytes)))
                return false;
        }
        return true;
    }
    // Appends up to `want` more bytes of the payload to the buffer.
    bool fill(qint64 want)
    {
        want = std::min(want, m_left);
        const qsizetype old = m_buffer.size();
        m_buffer.resize(old + qsizetype(want));
        const qint64 got = m_in.read(m_buffer.data() + old, want);
        if (got <= 0) {
            m_buffer.resize(old);
            return false;
        }
        m_buffer.resize(old + qsizetype(got));
        m_digest.addData(QByteArrayView(m_buffer.constData() + old, qsizetype(got)));
        m_left -= got;
        return true;
    }
    template <typename T> bool get(T* value, int width)
    {
        if (!need(width))
            return false;
        quint64 v = 0;
        for (int i = 0; i < width; ++i)
            v = (v << 8) | quint8(m_buffer.constData()[m_pos + i]);
        m_pos += width;
        *value = T(v);
        return true;
    }
    QIODevice& m_in;
    QCryptographicHash& m_digest;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qint64 m_bufferAt; // where the buffer's first byte lies in the file
    qint64 m_left; // payload bytes not read from the file yet
};

} // namespace ormisk::cache_payload
