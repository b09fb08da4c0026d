#include "formats/tga/TgaFormat.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/TgaWriter.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// A stored value of a depth as B, G, R, A: grey to all three, 5-bit channels widened.
uint32_t AsPixel(uint32_t v, uint8_t bits)
{
    auto widen = [](uint32_t x) { return x * 8 + x / 4; };
    switch (bits) {
    case 8: return v | v << 8 | v << 16;
    case 15:
    case 16: return widen(v & 31) | widen(v >> 5 & 31) << 8 | widen(v >> 10 & 31) << 16;
    default: return v;
    }
}

// The frame a file should give: rows in file order, mirrored when stored right to left.
std::vector<uint8_t> Expected(const VxTestTgaOptions& o)
{
    const uint32_t bytes = o.depth == 32 ? 4 : 3;
    const uint32_t stride = (bytes * o.width + 3) / 4 * 4;
    std::vector<uint8_t> frame(size_t(stride) * o.height, 0);
    for (uint32_t i = 0; i < uint32_t(o.width) * o.height; ++i) {
        const uint32_t v = VxTest_TgaValue(o, i);
        const bool mapped = o.type == 1 || o.type == 9;
        const uint32_t pixel = mapped ? AsPixel(VxTest_TgaMapEntry(o, v), o.mapBits) : AsPixel(v, o.depth);
        uint32_t x = i % o.width;
        if (o.descriptor & 0x10)
            x = o.width - 1 - x;
        for (uint32_t b = 0; b < bytes; ++b)
            frame[size_t(i / o.width) * stride + x * bytes + b] = uint8_t(pixel >> (8 * b));
    }
    return frame;
}

std::vector<uint8_t> Decode(const std::vector<uint8_t>& file, int32_t* stride = nullptr, HRESULT expected = S_OK)
{
    VxTgaHeader h;
    VxTga_ParseHeader(file.data(), file.size(), &h);
    std::vector<uint8_t> frame(VxTga_FrameBytes(h), 0);
    EXPECT_EQ(VxTga_DecodeImage(file.data(), file.size(), frame.data(), frame.size(), stride), expected);
    return frame;
}

}  // namespace

TEST(TgaFormat, DecodesEveryTypeAndDepth)
{
    const VxTestTgaOptions cases[] = {
        {.type = 2, .depth = 24},  {.type = 2, .depth = 32},  {.type = 2, .depth = 16},
        {.type = 2, .depth = 15},  {.type = 3, .depth = 8},   {.type = 10, .depth = 24},
        {.type = 10, .depth = 32}, {.type = 10, .depth = 16}, {.type = 11, .depth = 8},
        {.type = 1, .depth = 8, .mapBits = 32, .mapFirst = 2, .mapLength = 5},
        {.type = 1, .depth = 8, .mapBits = 24, .mapLength = 7},
        {.type = 9, .depth = 16, .mapBits = 16, .mapFirst = 300, .mapLength = 6},
        {.type = 9, .depth = 8, .mapBits = 8, .mapLength = 4},
        {.width = 7, .type = 10, .depth = 24, .descriptor = 0x10, .idLength = 9},
        {.width = 4, .type = 2, .depth = 32, .descriptor = 0x38},
    };
    for (const VxTestTgaOptions& o : cases) {
        int32_t stride = 0;
        EXPECT_EQ(Decode(VxTest_WriteTga(o), &stride), Expected(o)) << int(o.type) << "/" << int(o.depth);
        const int32_t rowBytes = (o.depth == 32 ? 4 : 3) * o.width;
        EXPECT_EQ(stride, (o.descriptor & 0x20 ? -1 : 1) * (rowBytes + 3) / 4 * 4);
    }
}

TEST(TgaFormat, RefusesWhatItCannotPlace)
{
    struct Case {
        VxTestTgaOptions options;
        const char* why;
    } cases[] = {
        {{.type = 4}, "unknown type"},
        {{.width = 8193}, "too wide"},
        {{.height = 0}, "no rows"},
        {{.type = 2, .depth = 12}, "odd depth"},
        {{.type = 1, .depth = 8}, "colour-mapped without a map"},
        {{.type = 1, .depth = 8, .mapBits = 12, .mapLength = 2}, "odd map entries"},
        {{.type = 1, .depth = 8, .mapBits = 24, .mapFirst = 16000, .mapLength = 383}, "map past the table"},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> file = VxTest_WriteTga(c.options);
        VxTgaHeader h;
        ASSERT_EQ(VxTga_ParseHeader(file.data(), file.size(), &h), S_OK);
        EXPECT_EQ(VxTga_CheckHeader(h), VXE_CORRUPT) << c.why;
    }
}

TEST(TgaFormat, TruncatedFilesAndBadIndicesGiveBlack)
{
    // At the size limit with a body of a few bytes: accepted, a black frame, nothing read past
    // the file (the frame's height is kept small here only to keep the test fast).
    std::vector<uint8_t> huge = VxTest_WriteTga({.width = 4, .height = 4, .type = 10, .pad = false});
    huge[12] = huge[14] = 0;
    huge[13] = huge[15] = 0x20;  // 8192 × 8192 over the body of a 4 × 4 image
    VxTgaHeader h;
    ASSERT_EQ(VxTga_ParseHeader(huge.data(), huge.size(), &h), S_OK);
    EXPECT_EQ(VxTga_CheckHeader(h), S_OK);
    huge[15] = 2;  // 8192 × 512
    const std::vector<uint8_t> frame = Decode(huge);
    EXPECT_NE(frame[0], 0);
    EXPECT_TRUE(std::all_of(frame.begin() + 3 * 16, frame.end(), [](uint8_t b) { return b == 0; }));
    // Every cut of a run-length colour-mapped file decodes without reading past it.
    for (const VxTestTgaOptions& o : {VxTestTgaOptions{.type = 9, .depth = 16, .mapBits = 32, .mapLength = 6, .pad = false},
                                      VxTestTgaOptions{.type = 10, .depth = 24, .pad = false},
                                      VxTestTgaOptions{.type = 2, .depth = 24, .pad = false}}) {
        const std::vector<uint8_t> whole = VxTest_WriteTga(o);
        const std::vector<uint8_t> expected = Expected(o);
        for (size_t cut = kTgaHeaderBytes + 1; cut < whole.size(); ++cut) {
            const std::vector<uint8_t> frame = Decode(std::vector<uint8_t>(whole.begin(), whole.begin() + cut));
            if (o.type == 2) {
                // Raw rows (15 bytes, padded to 16): what the cut file holds, in place, then black.
                const size_t last = (cut - kTgaHeaderBytes - 1) / 15 * 16 + (cut - kTgaHeaderBytes - 1) % 15;
                EXPECT_EQ(frame[last], expected[last]) << cut;
                EXPECT_TRUE(std::all_of(frame.begin() + last + 1, frame.end(), [](uint8_t b) { return b == 0; }));
            }
        }
    }
    // An index beyond the map's table is black.
    std::vector<uint8_t> wild = VxTest_WriteTga({.width = 1, .height = 1, .type = 1, .depth = 16, .mapBits = 24,
                                                 .mapLength = 1, .pad = false});
    wild[wild.size() - 1] = 0xFF;
    EXPECT_EQ(Decode(wild), std::vector<uint8_t>(4, 0));
}
