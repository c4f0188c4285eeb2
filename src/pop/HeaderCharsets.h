#pragma once
// Header bytes read as text: in the charset an encoded word names, or, for bytes that name none,
// as UTF-8 when they are valid UTF-8 and as Windows-1252 otherwise.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <vector>

namespace ormisk {

// Windows-1252 the way browsers and mail readers read it, and the way they read bytes labelled
// ISO-8859-1 or US-ASCII too: Windows mailers send its quotes, dashes and € under those labels.
// The five bytes that have no character there (0x81 0x8D 0x8F 0x90 0x9D) stay the C1 code points
// of the same value.
[[nodiscard]] QString decodeWindows1252(QByteArrayView bytes);

// Unlabelled bytes (raw 8-bit header text, or words in a charset nobody knows).
[[nodiscard]] QString decodeUtf8OrWindows1252(QByteArrayView bytes);

// Decodes the bytes of encoded words by their charset label. Opening a system decoder costs
// microseconds, so the decoders of one header are kept for all of its fields; a header naming
// more charsets than any real one does gets its further labels read as unlabelled bytes, so that
// a hostile header cannot make every word open a decoder.
class CharsetDecoders {
public:
    static constexpr int kMaxLabels = 16;

    // `label` as an encoded word gives it, lower-cased and without a language suffix.
    [[nodiscard]] QString decode(const QByteArray& label, QByteArrayView bytes);

private:
    enum class Kind { Utf8, Windows1252, System, Unknown };
    struct Entry {
        QByteArray label;
        Kind kind;
        QStringDecoder decoder; // for System
    };
    std::vector<Entry> m_labels;
};

} // namespace ormisk
