// UTF-8 and UTF-16 code points, with the well-formedness rules of the Unicode standard.
#include "Unicode.h"

char32_t VxUtf8_Decode(const uint8_t* text, size_t size, size_t* pos, bool* valid)
{
    const uint8_t lead = text[*pos];
    *valid = true;
    if (lead < 0x80) {
        ++*pos;
        return lead;
    }
    // Length and the allowed range of the second byte by lead byte; the range excludes
    // overlong forms, surrogates and values above U+10FFFF.
    size_t length = 0;
    uint8_t low = 0x80, high = 0xBF;
    char32_t c = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0Fu;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07u;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    }
    size_t next = *pos + 1;
    for (size_t i = 1; i < length; ++i, ++next) {
        if (next >= size || text[next] < low || text[next] > high) {
            length = 0;
            break;
        }
        c = (c << 6) | (text[next] & 0x3Fu);
        low = 0x80;
        high = 0xBF;
    }
    *pos = next;
    if (length == 0) {
        *valid = false;
        return kVxReplacementChar;
    }
    return c;
}

char32_t VxUtf16_Decode(const char16_t* text, size_t size, size_t* pos, bool* valid)
{
    const char16_t unit = text[(*pos)++];
    *valid = true;
    if (unit < 0xD800 || unit > 0xDFFF)
        return unit;
    if (unit <= 0xDBFF && *pos < size && text[*pos] >= 0xDC00 && text[*pos] <= 0xDFFF) {
        const char16_t trail = text[(*pos)++];
        return 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(trail) - 0xDC00);
    }
    *valid = false;
    return kVxReplacementChar;
}

size_t VxUtf8_Units(char32_t c)
{
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

size_t VxUtf8_Encode(char32_t c, uint8_t* out)
{
    const size_t units = VxUtf8_Units(c);
    switch (units) {
    case 1:
        out[0] = uint8_t(c);
        break;
    case 2:
        out[0] = uint8_t(0xC0 | (c >> 6));
        out[1] = uint8_t(0x80 | (c & 0x3F));
        break;
    case 3:
        out[0] = uint8_t(0xE0 | (c >> 12));
        out[1] = uint8_t(0x80 | ((c >> 6) & 0x3F));
        out[2] = uint8_t(0x80 | (c & 0x3F));
        break;
    default:
        out[0] = uint8_t(0xF0 | (c >> 18));
        out[1] = uint8_t(0x80 | ((c >> 12) & 0x3F));
        out[2] = uint8_t(0x80 | ((c >> 6) & 0x3F));
        out[3] = uint8_t(0x80 | (c & 0x3F));
        break;
    }
    return units;
}

size_t VxUtf16_Units(char32_t c)
{
    return c < 0x10000 ? 1 : 2;
}

size_t VxUtf16_Encode(char32_t c, char16_t* out)
{
    if (c < 0x10000) {
        out[0] = char16_t(c);
        return 1;
    }
    c -= 0x10000;
    out[0] = char16_t(0xD800 + (c >> 10));
    out[1] = char16_t(0xDC00 + (c & 0x3FF));
    return 2;
}
