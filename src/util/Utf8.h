#pragma once

// Decoding UTF-8 one character at a time, for the loops that read the
// engine's text without making strings of it.
namespace Utf8 {

inline constexpr char32_t Invalid = 0xFFFD;

// Decodes the character at p (not past end) and moves p past it. A byte
// that does not begin a valid sequence comes back alone as Invalid.
inline char32_t next(const unsigned char *&p, const unsigned char *end)
{
    const unsigned char b = *p++;
    if (b < 0x80)
        return b;
    int extra = 0;
    char32_t c = 0;
    if ((b & 0xE0) == 0xC0) {
        extra = 1;
        c = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        extra = 2;
        c = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        extra = 3;
        c = b & 0x07;
    } else {
        return Invalid;
    }
    if (end - p < extra)
        return Invalid;
    for (int i = 0; i < extra; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return Invalid;
        c = (c << 6) | (p[i] & 0x3F);
    }
    p += extra;
    return c;
}

} // namespace Utf8
