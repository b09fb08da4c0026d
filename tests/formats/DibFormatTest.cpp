#include "formats/dib/DibFormat.h"
#include "platform/VxOwners.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/DibWriter.h"
#include "tests/fixtures/JpegWriter.h"
#include "tests/fixtures/PngWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

VxDibImage Decode(const std::vector<uint8_t>& file, CVxGlobalBlock* frame, HRESULT expected = S_OK)
{
    VxDibImage image;
    EXPECT_EQ(VxDib_DecodeBytes(file.data(), file.size(), &image, frame), expected);
    return image;
}

using Row = std::vector<std::vector<uint8_t>>;

// Row y (from the bottom) of an expanded bottom-up 24-bit frame, pixel by pixel.
Row Row24(const VxDibImage& image, const CVxGlobalBlock& frame, uint32_t y)
{
    const uint8_t* p = frame.Bytes() + y * ((24 * image.delivered.header.biWidth + 31) / 32 * 4);
    Row row;
    for (int32_t x = 0; x < image.delivered.header.biWidth; ++x, p += 3)
        row.push_back({p[0], p[1], p[2]});
    return row;
}

std::vector<uint8_t> Entry(uint32_t i)
{
    uint8_t e[4];
    VxTest_DibPaletteEntry(i, e);
    return {e[0], e[1], e[2]};
}

const std::vector<uint8_t> kBlack = {0, 0, 0};

}  // namespace

TEST(DibFormat, StoredLayoutsKeepTheirBytesHeadersAndTables)
{
    struct Case {
        uint16_t bits;
        uint32_t compression;
        uint32_t headerSize;
        std::vector<uint32_t> masks;
        uint32_t colors;  // expected colours used in memory
    } cases[] = {
        {1, BI_RGB, 40, {}, 2},     {4, BI_RGB, 40, {}, 16},    {8, BI_RGB, 12, {}, 256},
        {8, BI_RGB, 108, {}, 256},  {16, BI_RGB, 124, {}, 0},   {24, BI_RGB, 40, {}, 0},
        {32, BI_RGB, 40, {}, 0},    {16, BI_BITFIELDS, 40, {0xF800, 0x07E0, 0x1F}, 0},
        {32, BI_BITFIELDS, 124, {0xFF0000, 0xFF00, 0xFF}, 0}, {32, BI_BITFIELDS, 40, {0x3FF00000, 0xFFC00, 0x3FF}, 0},
        {16, BI_BITFIELDS, 40, {0x1F, 0x07E0, 0xF800}, 0},  // counted by bits, wherever they lie
    };
    for (const Case& c : cases) {
        const int32_t height = c.headerSize == 12 ? 3 : -3;  // a core header has no sign
        const VxTestDibOptions o{.width = 10, .height = height, .bits = c.bits, .compression = c.compression,
                                 .headerSize = c.headerSize, .masks = c.masks};
        CVxGlobalBlock frame;
        const VxDibImage image = Decode(VxTest_WriteDib(o), &frame);
        ASSERT_TRUE(image.asStored) << c.bits << " " << c.headerSize;
        EXPECT_EQ(image.stored.header.biSize, c.headerSize);
        EXPECT_EQ(image.stored.header.biClrUsed, c.colors);
        EXPECT_EQ(image.stored.header.biHeight, height);
        const std::vector<uint8_t> rows = VxTest_DibRows(10, 3, c.bits);
        ASSERT_EQ(image.deliveredBytes, rows.size());
        EXPECT_EQ(std::memcmp(frame.Get(), rows.data(), rows.size()), 0) << c.bits;
        // A core header's three-byte entries become four bytes with a zero fourth byte.
        const uint8_t reserved = c.colors ? image.stored.colors[c.colors - 1].rgbReserved : 0;
        EXPECT_EQ(reserved, c.headerSize == 12 || !c.colors ? 0 : uint8_t(c.colors - 1));
    }
}

TEST(DibFormat, RunLengthStreamsDrawEveryEscapeAndLeaveTheRestBlack)
{
    // 8 bits: a run of 3, an absolute run of 3 (padded), end of line, a delta of (2, 1) that
    // skips a row, a run cut at the right edge, end of bitmap.
    const std::vector<uint8_t> rle8 = {3, 1, 0, 3, 4, 5, 6, 0, 0, 0, 0, 2, 2, 1, 9, 7, 0, 1};
    CVxGlobalBlock frame;
    VxDibImage image = Decode(VxTest_WriteDib({.width = 6, .height = 3, .bits = 8, .compression = BI_RLE8,
                                               .pixels = rle8}), &frame);
    EXPECT_EQ(image.delivered.header.biBitCount, 24);
    EXPECT_EQ(Row24(image, frame, 0), (Row{Entry(1), Entry(1), Entry(1), Entry(4), Entry(5), Entry(6)}));
    EXPECT_EQ(Row24(image, frame, 1), Row(6, kBlack));
    EXPECT_EQ(Row24(image, frame, 2), (Row{kBlack, kBlack, Entry(7), Entry(7), Entry(7), Entry(7)}));

    // 4 bits: a run alternating two nibbles, an absolute run of 3 nibbles (2 bytes, no pad),
    // then the stream ends without an escape; an index past the table is black.
    const std::vector<uint8_t> rle4 = {3, 0x12, 0, 3, 0x34, 0xF0};
    image = Decode(VxTest_WriteDib({.width = 7, .height = 1, .bits = 4, .compression = BI_RLE4,
                                    .colorsUsed = 8, .pixels = rle4}), &frame);
    EXPECT_EQ(Row24(image, frame, 0), (Row{Entry(1), Entry(2), Entry(1), Entry(3), Entry(4), kBlack, kBlack}));
}

TEST(DibFormat, MasksAndTwoBitIndicesAreReadAndExpanded)
{
    // Bit fields with a colour count read only their masks: with no pixel offset, the pixels
    // follow the 12 mask bytes.
    std::vector<uint8_t> file = VxTest_WriteDib({.width = 2, .height = 1, .bits = 16, .compression = BI_BITFIELDS,
                                                 .colorsUsed = 5, .masks = {0xF800, 0x07E0, 0x1F}});
    std::fill_n(file.begin() + 10, 4, 0);
    CVxGlobalBlock frame;
    EXPECT_EQ(Decode(file, &frame).pixelOffset, 14u + 40 + 12);
    EXPECT_EQ(std::memcmp(frame.Get(), VxTest_DibRows(2, 1, 16).data(), 4), 0);
    // 11-11-10 in 32 bits, and a 16-bit layout with green in the high bits: each channel is
    // scaled from its own mask. The masks of a 124-byte header come from inside it.
    const std::vector<uint8_t> deep = {0xFF, 0x03, 0x00, 0x00, 0x00, 0x00, 0xE0, 0xFF};  // blue 1023, red 2047
    VxDibImage image = Decode(VxTest_WriteDib({.width = 2, .height = 1, .bits = 32, .compression = BI_BITFIELDS,
                                               .headerSize = 124, .masks = {0xFFE00000, 0x1FFC00, 0x3FF},
                                               .pixels = deep}), &frame);
    ASSERT_FALSE(image.asStored);
    EXPECT_EQ(Row24(image, frame, 0), (Row{{255, 0, 0}, {0, 0, 255}}));
    const std::vector<uint8_t> sixteen = {0x00, 0xF0, 0x0F, 0x00, 0, 0, 0, 0};  // green 15; red 3 blue 3
    image = Decode(VxTest_WriteDib({.width = 2, .height = 1, .bits = 16, .compression = BI_BITFIELDS,
                                    .masks = {0x0030, 0xF000, 0x0003}, .pixels = sixteen}), &frame);
    EXPECT_EQ(Row24(image, frame, 0), (Row{{0, 255, 0}, {255, 0, 0}}));

    image = Decode(VxTest_WriteDib({.width = 5, .height = -2, .bits = 2, .pixels = {0x1B, 0xC0, 0, 0, 0x40, 0, 0, 0}}),
                   &frame);
    EXPECT_EQ(Row24(image, frame, 1)[3], Entry(3));  // top row, read first
    EXPECT_EQ(Row24(image, frame, 1)[4], Entry(3));
    EXPECT_EQ(Row24(image, frame, 0)[0], Entry(1));
}

TEST(DibFormat, PngAndJpegPayloadsAreDecodedAndMustMatchTheHeader)
{
    const VxTestPngOptions png{.width = 3, .height = 2, .colorType = 2, .bitDepth = 8};
    const std::vector<uint16_t> samples = VxTest_PngSamples(png);  // R, G, B, top row first
    CVxGlobalBlock frame;
    const VxDibImage image = Decode(VxTest_WriteDib({.width = 3, .height = 2, .bits = 0, .compression = 5,
                                                     .pixels = VxTest_WritePng(png)}), &frame);
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 3; ++x) {
            const uint16_t* s = &samples[3 * (y * 3 + x)];
            EXPECT_EQ(Row24(image, frame, 1 - y)[x], (std::vector<uint8_t>{uint8_t(s[2]), uint8_t(s[1]), uint8_t(s[0])}));
        }

    // A JPEG payload gives what libjpeg's own decoder gives; one of another size is refused.
    const std::vector<uint8_t> jpeg = VxTest_WriteJpeg({.width = 16, .height = 8});
    std::vector<uint8_t> reference;
    uint32_t width = 0, height = 0, components = 0;
    ASSERT_TRUE(VxTest_DecodeJpegReference(jpeg, &reference, &width, &height, &components));
    Decode(VxTest_WriteDib({.width = 16, .height = 8, .bits = 0, .compression = 4, .pixels = jpeg}), &frame);
    const std::vector<uint8_t> expected = VxTest_JpegFrameFromReference(reference, width, height, components);
    EXPECT_EQ(std::vector<uint8_t>(frame.Bytes(), frame.Bytes() + expected.size()), expected);
    Decode(VxTest_WriteDib({.width = 16, .height = 9, .bits = 0, .compression = 4, .pixels = jpeg}), &frame, E_FAIL);
}

TEST(DibFormat, LyingHeadersAreRefusedAndCutFilesNeverOverrun)
{
    const std::vector<uint8_t> good = VxTest_WriteDib({.width = 7, .height = 5, .bits = 8});
    EXPECT_EQ(VxDib_CheckFileHeader(good.data(), good.size(), good.size()), S_OK);
    // One byte short of the image, a width that wraps 32 bits, not "BM".
    EXPECT_EQ(VxDib_CheckFileHeader(good.data(), good.size(), good.size() - 1), VXE_UNSUPPORTED_FORMAT);
    std::vector<uint8_t> wide = good;
    wide[18] = wide[19] = wide[20] = 0xFF;
    wide[21] = 0x3F;
    EXPECT_EQ(VxDib_CheckFileHeader(wide.data(), wide.size(), wide.size()), VXE_UNSUPPORTED_FORMAT);
    CVxGlobalBlock frame;
    Decode(wide, &frame, VXE_CORRUPT);
    const uint8_t foreign[2] = {'B', 'A'};
    EXPECT_EQ(VxDib_CheckFileHeader(foreign, 2, 100), VXE_UNSUPPORTED_FORMAT);
    for (size_t cut = 0; cut < good.size(); ++cut)
        Decode(std::vector<uint8_t>(good.begin(), good.begin() + cut), &frame, VXE_CORRUPT);
    // A run-length file cut anywhere still gives a frame.
    const std::vector<uint8_t> rle = VxTest_WriteDib({.width = 6, .height = 3, .bits = 8, .compression = BI_RLE8,
                                                      .pixels = {3, 1, 0, 3, 4, 5, 6, 0, 0, 0, 2, 9, 9, 200, 7}});
    for (size_t cut = 14 + 40 + 1024; cut < rle.size(); ++cut)
        Decode(std::vector<uint8_t>(rle.begin(), rle.begin() + cut), &frame);
}
