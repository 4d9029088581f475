#include "Windows1252.h"

#include "Utf8.h"

#include <QtAlgorithms>

#include <array>
#include <cstdint>
#include <cstring>

namespace {

// 0x80 to 0x9F; the rest of the code page is Latin-1. Unassigned bytes map
// to themselves, as the system's own conversion does.
constexpr std::array<char16_t, 32> HighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The code page's byte for a character above the ASCII range.
char byteFor(char32_t c)
{
    if (c >= 0xA0 && c <= 0xFF)
        return char(c);
    for (std::size_t k = 0; k < HighControls.size(); ++k) {
        if (HighControls[k] == c)
            return char(0x80 + k);
    }
    return '?';
}

} // namespace

namespace Windows1252 {

QString decode(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = (byte >= 0x80 && byte < 0xA0) ? QChar(HighControls[byte - 0x80]) : QChar(byte);
    }
    return text;
}

QByteArray encode(const QString &text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char *out = bytes.data();
    const QChar *in = text.constData();
    const QChar *const end = in + text.size();
    for (; in < end; ++in) {
        const char16_t unit = in->unicode();
        if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
            *out++ = char(unit);
            continue;
        }
        // A character outside the basic plane is one '?', not two.
        if (in->isHighSurrogate() && in + 1 < end && in[1].isLowSurrogate()) {
            ++in;
            *out++ = '?';
            continue;
        }
        *out++ = byteFor(unit);
    }
    bytes.truncate(out - bytes.constData());
    return bytes;
}

char *fromUtf8(char *out, QByteArrayView utf8, char from, char to)
{
    const auto *p = reinterpret_cast<const unsigned char *>(utf8.data());
    const auto *const end = p + utf8.size();
    constexpr std::uint64_t Ones = 0x0101010101010101ull;
    constexpr std::uint64_t Highs = 0x8080808080808080ull;
    const std::uint64_t fromBytes = Ones * static_cast<unsigned char>(from);
    while (p < end) {
        // Plain ASCII bytes other than the one replaced go across eight at a
        // time: all the word up to the first other byte, which the lowest
        // bit of the mask marks (the ones above it may be false).
        if (end - p >= 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, p, sizeof word);
            const std::uint64_t other = word ^ fromBytes; // a zero byte where `from` is
            const std::uint64_t stops = (word & Highs) | ((other - Ones) & ~other & Highs);
            // Never more than the input's size is written: out has the room.
            std::memcpy(out, p, sizeof word);
            const std::size_t plain = stops == 0 ? sizeof word : std::size_t(qCountTrailingZeroBits(stops) / 8);
            out += plain;
            p += plain;
            if (plain == sizeof word)
                continue;
        }
        if (*p < 0x80) {
            *out++ = *p == static_cast<unsigned char>(from) ? to : char(*p);
            ++p;
            continue;
        }
        // The code page has no room for what is not valid UTF-8 either.
        const char32_t c = Utf8::next(p, end);
        *out++ = c == Utf8::Invalid ? '?' : byteFor(c);
    }
    return out;
}

void appendFromUtf8(std::string &out, QByteArrayView utf8)
{
    const std::size_t start = out.size();
    out.resize(start + std::size_t(utf8.size()));
    out.resize(std::size_t(fromUtf8(out.data() + start, utf8, '\0', '\0') - out.data()));
}

} // namespace Windows1252
