#include "pop/HeaderCharsets.h"

#include <algorithm>
#include <array>

namespace ormisk {

namespace {

// 0x80-0x9F; every other byte is the code point of its own value.
constexpr std::array<char16_t, 32> kWindows1252High = { 0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178 };

// Every label the WHATWG Encoding Standard reads as UTF-8 or as Windows-1252.
constexpr std::array<const char*, 6> kUtf8Labels
    = { "utf-8", "utf8", "unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8", "x-unicode20utf8" };
constexpr std::array<const char*, 17> kWindows1252Labels
    = { "ansi_x3.4-1968", "ascii", "cp1252", "cp819", "csisolatin1", "ibm819", "iso-8859-1", "iso-ir-100", "iso8859-1",
          "iso88591", "iso_8859-1", "iso_8859-1:1987", "l1", "latin1", "us-ascii", "windows-1252", "x-cp1252" };

template <std::size_t N> bool isOneOf(const QByteArray& label, const std::array<const char*, N>& labels)
{
    return std::any_of(labels.cbegin(), labels.cend(), [&](const char* l) { return label == l; });
}

bool isAscii(QByteArrayView bytes)
{
    return std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace

QString decodeWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = QChar(b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : char16_t(b));
    }
    return text;
}

QString decodeUtf8OrWindows1252(QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return decodeWindows1252(bytes);
    return text;
}

QString CharsetDecoders::decode(const QByteArray& label, QByteArrayView bytes)
{
    auto entry = std::find_if(m_labels.begin(), m_labels.end(), [&](const Entry& e) { return e.label == label; });
    if (entry == m_labels.end()) {
        Entry added { label, Kind::Unknown, {} };
        if (isOneOf(label, kUtf8Labels)) {
            added.kind = Kind::Utf8;
        } else if (isOneOf(label, kWindows1252Labels)) {
            added.kind = Kind::Windows1252;
        } else if (m_labels.size() < kMaxLabels) {
            added.decoder = QStringDecoder(label.constData(), QStringConverter::Flag::Stateless);
            if (added.decoder.isValid())
                added.kind = Kind::System;
        }
        if (m_labels.size() >= kMaxLabels)
            return added.kind == Kind::Windows1252 ? decodeWindows1252(bytes) : decodeUtf8OrWindows1252(bytes);
        m_labels.push_back(std::move(added));
        entry = std::prev(m_labels.end());
    }
    switch (entry->kind) {
    case Kind::Windows1252:
        return decodeWindows1252(bytes);
    case Kind::System:
        entry->decoder.resetState();
        return entry->decoder.decode(bytes);
    case Kind::Utf8: // mislabelled Latin-1 is common enough
    case Kind::Unknown: // a label no decoder knows ("unknown-8bit", a typo) still says the bytes are text
        break;
    }
    return decodeUtf8OrWindows1252(bytes);
}

} // namespace ormisk
