// Seeds of CodePageFuzz: every byte value, well-formed UTF-8 of every length, a few bad
// sequences.
#include "FuzzSeeds.h"

VX_FUZZ_SEEDS(CodePageFuzz)
{
    std::vector<uint8_t> allBytes;
    for (int b = 0; b < 256; ++b)
        allBytes.push_back(uint8_t(b));
    const char utf8[] = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    const char bad[] = "\x80\xC0\xAF\xED\xA0\x80\xE2\x82" "d\xF0";
    return {allBytes, std::vector<uint8_t>(utf8, utf8 + sizeof utf8 - 1),
            std::vector<uint8_t>(bad, bad + sizeof bad - 1)};
}
