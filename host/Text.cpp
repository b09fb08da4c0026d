// UTF conversions and printed forms of identifiers.
#include "Text.h"

#include <cstdio>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void VxHost_AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

void VxHost_AppendUtf16(std::u16string& out, char32_t c)
{
    if (c < 0x10000) {
        out += char16_t(c);
    } else {
        c -= 0x10000;
        out += char16_t(0xD800 + (c >> 10));
        out += char16_t(0xDC00 + (c & 0x3FF));
    }
}

// Decodes one code point at text[i], advancing i past it; a malformed, overlong or surrogate
// sequence gives U+FFFD and consumes one byte.
char32_t VxHost_DecodeUtf8(std::string_view text, size_t& i)
{
    const uint8_t lead = uint8_t(text[i++]);
    if (lead < 0x80)
        return lead;
    int extra = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, c = lead & 0x07, minimum = 0x10000;
    } else {
        return kReplacement;
    }
    if (text.size() - i < size_t(extra))
        return kReplacement;
    for (int k = 0; k < extra; ++k) {
        const uint8_t next = uint8_t(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return kReplacement;
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return kReplacement;
    i += extra;
    return c;
}

}  // namespace

std::u16string VxHost_ToUtf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();)
        VxHost_AppendUtf16(out, VxHost_DecodeUtf8(utf8, i));
    return out;
}

std::string VxHost_ToUtf8(std::u16string_view utf16)
{
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        const char16_t unit = utf16[i];
        char32_t c = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(utf16[i + 1]) - 0xDC00);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            c = kReplacement;
        }
        VxHost_AppendUtf8(out, c);
    }
    return out;
}

std::string VxHost_BufferToUtf8(const char16_t* buffer, size_t capacity)
{
    size_t length = 0;
    while (length < capacity && buffer[length] != 0)
        ++length;
    return VxHost_ToUtf8(std::u16string_view(buffer, length));
}

std::string VxHost_GuidText(const GUID& g)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  unsigned(g.Data1), unsigned(g.Data2), unsigned(g.Data3), g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::string VxHost_HexText(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", unsigned(value));
    return text;
}

std::string VxHost_FourCCText(uint32_t code)
{
    std::string text;
    for (int shift = 0; shift < 32; shift += 8) {
        const char c = char((code >> shift) & 0xFF);
        if (c < 0x20 || c > 0x7E)
            return VxHost_HexText(code);
        text += c;
    }
    return text;
}

std::string VxHost_CompressionText(uint32_t compression)
{
    static const char* const kNames[] = {"BI_RGB", "BI_RLE8", "BI_RLE4", "BI_BITFIELDS"};
    if (compression < 4)
        return kNames[compression];
    return VxHost_FourCCText(compression);
}
