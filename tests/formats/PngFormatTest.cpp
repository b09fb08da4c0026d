#include "formats/png/PngFormat.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/PngWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// One row of the reader's output table.
struct PngTableRow {
    uint8_t colorType;
    uint8_t bitDepth;
    bool transparency;
    uint32_t pixelType;
};

constexpr PngTableRow kPngTable[] = {
    {0, 1, false, 17}, {0, 2, false, 18}, {0, 4, false, 19}, {0, 8, false, 20}, {0, 16, false, 21},
    {0, 1, true, 29},  {0, 2, true, 29},  {0, 4, true, 29},  {0, 8, true, 29},  {0, 16, true, 31},
    {2, 8, false, 27}, {2, 8, true, 29},  {2, 16, false, 31}, {2, 16, true, 31},
    {3, 1, false, 24}, {3, 2, false, 23}, {3, 4, false, 23}, {3, 8, false, 24},
    {3, 1, true, 29},  {3, 2, true, 29},  {3, 4, true, 29},  {3, 8, true, 29},
    {4, 8, false, 29}, {4, 16, false, 31}, {6, 8, false, 29}, {6, 16, false, 31},
};

// Options for a table row: the colour key is the pixel at (1, 1), so both alpha values occur;
// palette alphas cover the first two entries only.
VxTestPngOptions OptionsFor(const PngTableRow& row, uint32_t width = 5, uint32_t height = 3)
{
    VxTestPngOptions o;
    o.width = width;
    o.height = height;
    o.colorType = row.colorType;
    o.bitDepth = row.bitDepth;
    if (row.transparency) {
        if (row.colorType == 3) {
            o.transparency = std::vector<uint16_t>{0, 77};
        } else {
            const std::vector<uint16_t> samples = VxTest_PngSamples(o);
            const uint32_t channels = VxTest_PngChannels(o.colorType);
            const size_t at = (size_t(std::min(height - 1, 1u)) * width + std::min(width - 1, 1u)) * channels;
            o.transparency = std::vector<uint16_t>(samples.begin() + long(at),
                                                   samples.begin() + long(at + channels));
        }
    }
    return o;
}

struct PngDecoded {
    HRESULT hr = E_FAIL;
    VxPngImage image;
    std::vector<uint8_t> frame;
};

PngDecoded Decode(const std::vector<uint8_t>& png)
{
    PngDecoded result;
    CVxGlobalBlock frame;
    result.hr = VxPng_DecodeBytes(png.data(), png.size(), &result.image, &frame);
    if (SUCCEEDED(result.hr))
        result.frame.assign(frame.Bytes(), frame.Bytes() + frame.Size());
    return result;
}

HRESULT ReadHeader(const std::vector<uint8_t>& png, VxPngImage* image)
{
    CVxPngDecoder decoder;
    VxPngMemory memory{png.data(), png.size(), 0};
    return decoder.ReadInfo(VxPng_MemorySource(&memory), image);
}

// A small RGB image that the corruption tests edit in one place.
std::vector<uint8_t> SmallRgb()
{
    return VxTest_WritePng({.width = 7, .height = 4, .colorType = 2, .bitDepth = 8});
}

// The IHDR of a small image edited to other dimensions, with a valid CRC.
std::vector<uint8_t> WithDimensions(std::vector<uint8_t> png, uint32_t width, uint32_t height)
{
    const size_t ihdr = VxTest_PngFindChunk(png, "IHDR");
    VxTest_PutU32BE(png, ihdr + 8, width);
    VxTest_PutU32BE(png, ihdr + 12, height);
    VxTest_PngFixCrc(png, ihdr);
    return png;
}

TEST(PngFormat, SignatureCheckTellsShortFromForeignHeads)
{
    const uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const uint8_t jpeg[8] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F'};
    EXPECT_EQ(VxPng_CheckSignature(png, 8), S_OK);
    EXPECT_EQ(VxPng_CheckSignature(png, 7), VXE_FILE_READ);
    EXPECT_EQ(VxPng_CheckSignature(nullptr, 8), VXE_FILE_READ);
    EXPECT_EQ(VxPng_CheckSignature(jpeg, 8), VXE_FILE_OPEN);
}

TEST(PngFormat, RefusesCombinationsPngDoesNotAllow)
{
    uint32_t type = 99;
    const uint8_t bad[][2] = {{0, 3}, {0, 32}, {2, 4}, {2, 1}, {3, 16}, {4, 4}, {6, 2}, {1, 8}, {5, 8}, {7, 8}};
    for (const auto& combination : bad) {
        EXPECT_EQ(VxPng_ChoosePixelType(combination[0], combination[1], false, &type), E_FAIL);
        EXPECT_EQ(type, 0u);
    }
    // libpng refuses such a header before the reader sees it.
    VxPngImage image;
    std::vector<uint8_t> png = SmallRgb();
    const size_t ihdr = VxTest_PngFindChunk(png, "IHDR");
    png[ihdr + 16] = 4;  // RGB with 4-bit samples
    VxTest_PngFixCrc(png, ihdr);
    EXPECT_EQ(ReadHeader(png, &image), E_FAIL);
}

// Every row of the output table, plain and interlaced. 13 x 11 gives every Adam7 pass partial
// blocks; 3 x 2 and 1 x 1 leave some passes empty. The row passes work on blocks of 4 to 16
// pixels with a pixel-by-pixel tail, so the widths cross every block boundary; interlaced
// images take libpng's own transformations instead, so each twin checks the other.
TEST(PngFormat, DecodesEveryRowOfTheOutputTablePlainAndInterlaced)
{
    std::vector<std::pair<uint32_t, uint32_t>> sizes = {{5, 3}, {13, 11}, {3, 2}, {1, 1}};
    for (uint32_t width : {16u, 17u, 31u, 32u, 33u, 47u, 48u, 49u, 100u})
        sizes.emplace_back(width, 3);
    for (const auto& [width, height] : sizes) {
        for (const PngTableRow& row : kPngTable) {
            SCOPED_TRACE("colour type " + std::to_string(row.colorType) + ", depth " + std::to_string(row.bitDepth) +
                         (row.transparency ? ", tRNS, " : ", ") + std::to_string(width) + " x " + std::to_string(height));
            VxTestPngOptions o = OptionsFor(row, width, height);
            const uint32_t bits = VxPng_BitsPerPixel(row.pixelType);
            const std::vector<uint8_t> expected = VxTest_PngExpectedFrame(o, bits);
            const PngDecoded plain = Decode(VxTest_WritePng(o));
            o.interlace = true;
            const PngDecoded interlaced = Decode(VxTest_WritePng(o));
            ASSERT_EQ(plain.hr, S_OK) << VxTest_Describe(plain.hr);
            ASSERT_EQ(interlaced.hr, S_OK) << VxTest_Describe(interlaced.hr);
            EXPECT_EQ(plain.image.pixelType, row.pixelType);
            EXPECT_EQ(plain.image.stride, (bits * o.width + 31) / 32 * 4);
            EXPECT_EQ(plain.image.imageBytes, plain.image.stride * o.height);
            EXPECT_EQ(interlaced.image.interlace, 1);
            EXPECT_EQ(plain.frame, expected);
            EXPECT_EQ(interlaced.frame, expected);
            if (row.transparency && row.colorType != 3 && width == 5) {
                // The key pixel (1, 1) is transparent: the comparison did run.
                EXPECT_EQ(plain.frame.at((o.height - 2) * size_t(plain.image.stride) + bits / 8 * 7 / 4), 0);
            }
        }
    }
}

TEST(PngFormat, ColourTableCoversTheBitDepthWithAlphaFromTransparency)
{
    // A 2-bit image with a 3-entry palette and one tRNS entry.
    VxTestPngOptions o{.width = 4, .height = 2, .colorType = 3, .bitDepth = 2,
                       .palette = {10, 20, 30, 40, 50, 60, 70, 80, 90}};
    o.transparency = std::vector<uint16_t>{128};
    VxPngImage image;
    ASSERT_EQ(ReadHeader(VxTest_WritePng(o), &image), S_OK);
    ASSERT_EQ(image.paletteCount, 3u);
    const RGBQUAD expected[3] = {{30, 20, 10, 128}, {60, 50, 40, 255}, {90, 80, 70, 255}};
    EXPECT_EQ(std::memcmp(image.palette, expected, sizeof expected), 0);

    // A 1-bit image gets two entries and one index byte per pixel.
    ASSERT_EQ(ReadHeader(VxTest_WritePng({.width = 9, .colorType = 3, .bitDepth = 1}), &image), S_OK);
    EXPECT_EQ(image.paletteCount, 2u);
    EXPECT_EQ(image.pixelType, kVxPixelPalette8);
    EXPECT_EQ(image.stride, 12u);
}

TEST(PngFormat, ColourKeyMatchesAllThreeChannelsExactly)
{
    VxTestPngOptions o{.width = 4, .height = 1, .colorType = 2, .bitDepth = 8,
                       .samples = {10, 20, 30, 10, 20, 31, 10, 21, 30, 11, 20, 30}};
    o.transparency = std::vector<uint16_t>{10, 20, 30};
    const PngDecoded decoded = Decode(VxTest_WritePng(o));
    ASSERT_EQ(decoded.hr, S_OK) << VxTest_Describe(decoded.hr);
    EXPECT_EQ(decoded.frame, (std::vector<uint8_t>{30, 20, 10, 0, 31, 20, 10, 255, 30, 21, 10, 255,
                                                   30, 20, 11, 255}));
    // The same key in 16 bits compares whole samples.
    o.bitDepth = 16;
    o.samples = {10, 20, 30, 10, 20, 30 + 256};
    o.width = 2;
    const PngDecoded deep = Decode(VxTest_WritePng(o));
    ASSERT_EQ(deep.hr, S_OK) << VxTest_Describe(deep.hr);
    EXPECT_EQ(deep.frame, (std::vector<uint8_t>{30, 0, 20, 0, 10, 0, 0, 0, 30, 1, 20, 0, 10, 0, 255, 255}));
}

TEST(PngFormat, GammaIsRecordedButNeverApplied)
{
    VxTestPngOptions o{.colorType = 3, .bitDepth = 8};
    o.gamma = 0.45455;
    const PngDecoded decoded = Decode(VxTest_WritePng(o));
    ASSERT_EQ(decoded.hr, S_OK) << VxTest_Describe(decoded.hr);
    EXPECT_TRUE(decoded.image.gammaKnown);
    EXPECT_NEAR(decoded.image.gamma, 0.45455, 1e-5);
    EXPECT_EQ(decoded.image.palette[1].rgbRed, VxTest_PngPalette(o)[3]);  // as stored
    EXPECT_EQ(decoded.frame, VxTest_PngExpectedFrame(o, 8));
}

TEST(PngFormat, ReadsManySmallChunksAndLargeOnes)
{
    VxTestPngOptions o{.width = 300, .height = 200, .colorType = 6, .bitDepth = 16, .zlibLevel = 0};
    // A 100 kB text chunk is read in one piece, past the input buffer.
    std::vector<uint8_t> text = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0};
    text.resize(100000, 'x');
    o.chunksBeforeData.push_back({"tEXt", text});
    const PngDecoded large = Decode(VxTest_WritePng(o));
    ASSERT_EQ(large.hr, S_OK) << VxTest_Describe(large.hr);
    EXPECT_EQ(large.frame, VxTest_PngExpectedFrame(o, 64));

    o.chunksBeforeData.clear();
    o.zlibLevel = 9;
    o.dataChunkBytes = 7;
    const PngDecoded split = Decode(VxTest_WritePng(o));
    ASSERT_EQ(split.hr, S_OK) << VxTest_Describe(split.hr);
    EXPECT_EQ(split.frame, large.frame);
}

TEST(PngFormat, RefusesAFileCutAnywhere)
{
    VxTestPngOptions o{.width = 6, .height = 5, .colorType = 3, .bitDepth = 4, .dataChunkBytes = 16};
    o.transparency = std::vector<uint16_t>{0};
    o.gamma = 1.0;
    const std::vector<uint8_t> png = VxTest_WritePng(o);
    const size_t second = VxTest_PngFindChunk(png, "IDAT") + 12 + o.dataChunkBytes;  // two IDAT chunks at least
    ASSERT_EQ(std::string(png.begin() + long(second) + 4, png.begin() + long(second) + 8), "IDAT");
    // Every length, so every chunk boundary and every place inside a chunk, up to the last
    // byte of IEND's CRC.
    for (size_t length = 0; length < png.size(); ++length) {
        const std::vector<uint8_t> cut(png.begin(), png.begin() + long(length));
        EXPECT_EQ(Decode(cut).hr, E_FAIL) << "cut at " << length;
    }
    EXPECT_EQ(Decode(png).hr, S_OK);
}

// CRC errors in critical chunks, bad compressed data, too little image data, bad filter bytes,
// unknown critical chunks: each refused.
TEST(PngFormat, RefusesCorruptFiles)
{
    std::vector<std::pair<std::string, std::vector<uint8_t>>> bad;
    for (const char* type : {"IHDR", "PLTE", "IDAT", "IEND"}) {
        std::vector<uint8_t> png = VxTest_WritePng({.colorType = 3, .bitDepth = 8});
        png[VxTest_PngFindChunk(png, type) + 8] ^= 0x01;  // one data bit (or IEND's CRC) flipped
        bad.emplace_back(std::string("CRC of ") + type, png);
    }
    std::vector<uint8_t> png = SmallRgb();
    const size_t idat = VxTest_PngFindChunk(png, "IDAT");
    png[idat + 8] = 0x79;  // a zlib header with another window size and a bad check value
    VxTest_PngFixCrc(png, idat);
    bad.emplace_back("zlib header", png);
    VxTestPngOptions o{.width = 3, .height = 2, .colorType = 0, .bitDepth = 8};
    o.scanlines = std::vector<uint8_t>{0, 1, 2, 3, 0, 4, 5};
    bad.emplace_back("scanlines one byte short", VxTest_WritePng(o));
    o.scanlines = std::vector<uint8_t>{0, 1, 2, 3, 9, 4, 5, 6};
    bad.emplace_back("filter byte 9", VxTest_WritePng(o));
    // Random bytes where Adam7 passes are expected: filter bytes out of range.
    o = {.width = 9, .height = 9, .colorType = 6, .bitDepth = 16, .interlace = true};
    std::vector<uint8_t> garbage(1000);
    uint32_t state = 12345;
    for (uint8_t& b : garbage)
        b = uint8_t((state = state * 1103515245u + 12345u) >> 16) | 0x80;
    o.scanlines = garbage;
    bad.emplace_back("interlaced garbage", VxTest_WritePng(o));
    bad.emplace_back("unknown critical chunk", VxTest_WritePng({.chunksBeforeData = {{"VXZZ", {1, 2, 3}}}}));
    for (const auto& [what, bytes] : bad)
        EXPECT_EQ(Decode(bytes).hr, E_FAIL) << what;

    // An unknown ancillary chunk is skipped; one with a bad CRC is dropped, as libpng does.
    EXPECT_EQ(Decode(VxTest_WritePng({.chunksBeforeData = {{"vxZz", {1, 2, 3}}}})).hr, S_OK);
    o = {};
    o.gamma = 0.5;
    png = VxTest_WritePng(o);
    png[VxTest_PngFindChunk(png, "gAMA") + 8] ^= 0x01;
    const PngDecoded decoded = Decode(png);
    EXPECT_EQ(decoded.hr, S_OK) << VxTest_Describe(decoded.hr);
    EXPECT_FALSE(decoded.image.gammaKnown);
}

TEST(PngFormat, PaletteIndicesBeyondThePaletteAreRefusedOrExpandedToBlack)
{
    // A one-entry palette: index 1 has no colour, at every depth, with and without tRNS and
    // interlacing. Without tRNS the host widens the indices and the frame is refused; with
    // tRNS the expansion makes it black and opaque.
    for (uint8_t depth : {1, 2, 4, 8}) {
        for (bool transparency : {false, true}) {
            for (bool interlace : {false, true}) {
                SCOPED_TRACE("depth " + std::to_string(depth) + (transparency ? ", tRNS" : "") +
                             (interlace ? ", interlaced" : ""));
                VxTestPngOptions o{.width = 3, .height = 2, .colorType = 3, .bitDepth = depth,
                                   .interlace = interlace, .samples = {0, 0, 0, 0, 1, 0},
                                   .palette = {1, 2, 3}};
                if (transparency)
                    o.transparency = std::vector<uint16_t>{9};
                const PngDecoded past = Decode(VxTest_WritePng(o));
                if (transparency) {
                    ASSERT_EQ(past.hr, S_OK) << VxTest_Describe(past.hr);
                    EXPECT_EQ(past.frame, VxTest_PngExpectedFrame(o, 32));
                } else {
                    EXPECT_EQ(past.hr, E_FAIL);
                }
                o.samples = {0, 0, 0, 0, 0, 0};
                const PngDecoded decoded = Decode(VxTest_WritePng(o));
                ASSERT_EQ(decoded.hr, S_OK) << VxTest_Describe(decoded.hr);
                EXPECT_EQ(decoded.frame, VxTest_PngExpectedFrame(o, VxPng_BitsPerPixel(decoded.image.pixelType)));
            }
        }
    }
}

TEST(PngFormat, RefusesFramesTooLargeBeforeAllocating)
{
    VxPngImage image;
    // Each IHDR below is valid for libpng; only the frame size rules it out. The header step
    // allocates nothing for the image, so a refusal here comes before any frame exists.
    // 12 GB at 65536 x 65536; a zero dimension is refused by libpng.
    for (const auto& [width, height] : {std::pair<uint32_t, uint32_t>{0x7FFFFFFF, 0x7FFFFFFF}, {65536, 65536},
                                        {0x7FFFFFFF, 1}, {0, 4}})
        EXPECT_EQ(ReadHeader(WithDimensions(SmallRgb(), width, height), &image), E_FAIL) << width << " x " << height;
    // 512 MB stored, but 2 GB once widened to 32 bits for the host.
    const std::vector<uint8_t> grey = VxTest_WritePng({.colorType = 0, .bitDepth = 8});
    EXPECT_EQ(ReadHeader(WithDimensions(grey, 32768, 16384), &image), E_FAIL);
    // Just inside: 1 GB delivered.
    ASSERT_EQ(ReadHeader(WithDimensions(grey, 16384, 16384), &image), S_OK);
    EXPECT_EQ(image.imageBytes, 16384u * 16384u);
}

TEST(PngFormat, DecodeRefusesAFileThatChangedOrEndsEarly)
{
    const std::vector<uint8_t> first = SmallRgb();
    CVxPngDecoder decoder;
    VxPngImage image;
    VxPngMemory memory{first.data(), first.size(), 0};
    ASSERT_EQ(decoder.ReadInfo(VxPng_MemorySource(&memory), &image), S_OK);
    const auto decode = [&](const std::vector<uint8_t>& bytes, std::vector<uint8_t>& frame, size_t size) {
        memory = {bytes.data(), bytes.size(), 0};
        return decoder.Decode(VxPng_MemorySource(&memory), image, frame.data(), size);
    };
    std::vector<uint8_t> frame(image.imageBytes);
    EXPECT_EQ(decode(first, frame, image.imageBytes - 1), E_INVALIDARG);
    EXPECT_EQ(decode(VxTest_WritePng({.width = 8, .height = 4}), frame, image.imageBytes), E_FAIL);
    EXPECT_EQ(decode(first, frame, image.imageBytes), S_OK);
    // Decoding twice with one decoder gives the same frame.
    std::vector<uint8_t> again(image.imageBytes);
    EXPECT_EQ(decode(first, again, image.imageBytes), S_OK);
    EXPECT_EQ(again, frame);

    // A source that ends inside the image data fails quietly, with libpng's message kept; one
    // that is no PNG at all fails at the header.
    EXPECT_EQ(decode(std::vector<uint8_t>(first.begin(), first.end() - 20), frame, image.imageBytes), E_FAIL);
    EXPECT_STREQ(decoder.LastMessage(), "Read Error");
    EXPECT_EQ(ReadHeader({'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g', '!'}, &image), E_FAIL);
}

}  // namespace
