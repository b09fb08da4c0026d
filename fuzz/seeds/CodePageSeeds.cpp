// Seeds of CodePageFuzz: Windows-1252 text with the characters that differ from Latin-1, every
// byte value once, and UTF-16 with a surrogate pair, a lone surrogate and unmapped characters.
#include "FuzzSeeds.h"

#include <string>

namespace {

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> Utf16(const std::u16string& text)
{
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(uint8_t(c));
        bytes.push_back(uint8_t(c >> 8));
    }
    return bytes;
}

}  // namespace

VX_FUZZ_SEEDS(CodePageFuzz)
{
    std::vector<uint8_t> everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte.push_back(uint8_t(b));
    return {
        Bytes("Caf\xe9 \x80 5 \x93quoted\x94 \x85 \x9f"),
        everyByte,
        Utf16(u"Gr\u00fc\u00dfe \u20ac \U0001F600 \u4e2d"),
        Utf16(std::u16string(u"lone ") + char16_t(0xD800) + u" high, " + char16_t(0xDC00) + u" low"),
        Utf16(u"\u0100\u2603\uFFFF"),
        {},
    };
}
