#include "formats/psd/PsdFormat.h"
#include "framework/VideoFormat.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/PsdWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A document parsed from bytes held by the test.
struct Parsed {
    explicit Parsed(std::vector<uint8_t> file) : bytes(std::move(file)), memory{bytes.data(), bytes.size()}
    {
        result = VxPsd_Parse(Source(), &document);
    }
    VxPsdSource Source() { return VxPsd_MemorySource(&memory); }
    std::vector<uint8_t> bytes;
    VxPsdMemory memory;
    CVxPsdDocument document;
    HRESULT result;
};

std::vector<uint8_t> DecodeMerged(Parsed& p, HRESULT* hr)
{
    VxPsdFrameFormat format = {};
    *hr = VxPsd_ChooseFormat(p.document, &format);
    VXBITMAPINFO info = {};
    uint32_t bytes = 0;
    if (SUCCEEDED(*hr))
        *hr = VxVideo_InitBitmapInfo(&info, format.pixelType, int32_t(p.document.header.width),
                                     int32_t(p.document.header.height), info.colors, 256, &bytes);
    std::vector<uint8_t> frame(bytes, 0xCD);
    if (SUCCEEDED(*hr))
        *hr = VxPsd_DecodeImage(p.Source(), p.document, format, frame.data(), bytes);
    return frame;
}

std::vector<uint8_t> DecodeLayer(Parsed& p, uint32_t index, HRESULT* hr)
{
    const uint32_t sample = p.document.header.depth / 8;
    std::vector<uint8_t> frame(size_t(p.document.header.width) * p.document.header.height * 4 * sample, 0xCD);
    *hr = VxPsd_DecodeLayer(p.Source(), p.document, index, frame.data(), uint32_t(frame.size()));
    return frame;
}

// Sample i (0 B, 1 G, 2 R, 3 A) of canvas pixel (x, y) of a bottom-up frame of 4 samples.
uint32_t At(const std::vector<uint8_t>& frame, uint32_t width, uint32_t height, uint32_t sampleBytes,
            uint32_t x, uint32_t y, uint32_t i)
{
    const size_t offset = ((size_t(height - 1 - y) * width + x) * 4 + i) * sampleBytes;
    uint32_t v = 0;
    std::memcpy(&v, frame.data() + offset, sampleBytes);
    return v;
}

struct MergedCase {
    uint16_t mode, depth, channels, compression;
    bool negativeCount;
    uint32_t decodedChannels;  // colour channels taken from the file, the rest opaque
};

// Every colour frame holds B, G, R, A; the stored channels are R, G, B(, A) (CMYK: see below).
TEST(PsdFormat, MergedColourImagesAtEveryDepthAndCompression)
{
    const MergedCase cases[] = {
        {3, 8, 3, 0, false, 3},  {3, 8, 3, 1, false, 3},  {3, 8, 3, 2, false, 3},
        {3, 8, 4, 1, false, 3},  {3, 8, 4, 1, true, 4},   {3, 16, 3, 0, false, 3},
        {3, 16, 5, 1, false, 4}, {3, 32, 4, 0, false, 4}, {3, 32, 3, 1, false, 3},
    };
    for (const MergedCase& c : cases) {
        VxTestPsdOptions o{.mode = c.mode, .depth = c.depth, .channels = c.channels, .width = 7, .height = 4,
                           .compression = c.compression, .negativeLayerCount = c.negativeCount};
        if (c.negativeCount)
            o.layers = {VxTest_PsdLayer(0, 0, 1, 1, {{0, 1}})};
        Parsed p(VxTest_WritePsd(o));
        ASSERT_EQ(p.result, S_OK);
        HRESULT hr;
        const std::vector<uint8_t> frame = DecodeMerged(p, &hr);
        ASSERT_EQ(hr, S_OK) << VxTest_Describe(hr) << " depth " << c.depth << " compression " << c.compression;
        const std::vector<uint32_t> samples = VxTest_PsdSamples(o);
        const uint32_t sb = c.depth / 8;
        const uint32_t opaque = c.depth == 8 ? 0xFF : c.depth == 16 ? 0xFFFF : 0x3F800000;
        for (uint32_t y = 0; y < o.height; ++y)
            for (uint32_t x = 0; x < o.width; ++x)
                for (uint32_t ch = 0; ch < 4; ++ch) {
                    const uint32_t expected =
                        ch < c.decodedChannels ? samples[(ch * o.height + y) * o.width + x] : opaque;
                    EXPECT_EQ(At(frame, o.width, o.height, sb, x, y, ch < 3 ? 2 - ch : 3), expected)
                        << "depth " << c.depth << " channels " << c.channels << " at " << x << "," << y;
                }
    }
}

TEST(PsdFormat, GreyAndIndexedImagesKeepOneSamplePerPixel)
{
    for (uint16_t depth : {8, 16, 32}) {
        VxTestPsdOptions o{.mode = 1, .depth = depth, .channels = 2, .width = 5, .height = 3, .compression = 1};
        Parsed p(VxTest_WritePsd(o));
        HRESULT hr;
        const std::vector<uint8_t> frame = DecodeMerged(p, &hr);
        ASSERT_EQ(hr, S_OK) << VxTest_Describe(hr);
        uint32_t v = 0;  // frame row 2 is file row 0; rows are padded to 4 bytes
        std::memcpy(&v, frame.data() + (o.width * depth / 8 + 3) / 4 * 4 * 2 + depth / 8, depth / 8);
        EXPECT_EQ(v, VxTest_PsdSamples(o)[1]) << depth;
    }
    // Entry i is R = byte i, G = byte 256 + i, B = byte 512 + i; an empty or short colour mode
    // section leaves the entries it does not hold zero.
    for (size_t length : {size_t(768), size_t(600), size_t(0)}) {
        VxTestPsdOptions o{.mode = 2, .channels = 1, .width = 4, .height = 2};
        for (size_t i = 0; i < length; ++i)
            o.colorModeData.push_back(uint8_t(i * 7));
        Parsed p(VxTest_WritePsd(o));
        RGBQUAD palette[256];
        ASSERT_EQ(VxPsd_ReadPalette(p.Source(), p.document, palette), S_OK);
        const RGBQUAD expected = length != 0 ? RGBQUAD{uint8_t(515 * 7), uint8_t(259 * 7), 21, 255} : RGBQUAD{};
        EXPECT_EQ(std::memcmp(&palette[3], &expected, 4), 0) << length;
        EXPECT_EQ(palette[255].rgbReserved, length == 768 ? 255 : 0);
    }
}

TEST(PsdFormat, CmykBlackScalesTheInvertedColours)
{
    // C 255, M 128, Y 0, K 128: red 128, green 64 (64.25 truncated), blue 0, alpha 255.
    VxTestPsdOptions o{.mode = 4, .channels = 4, .width = 1, .height = 1, .merged = {255, 128, 0, 128}};
    Parsed p(VxTest_WritePsd(o));
    HRESULT hr;
    const std::vector<uint8_t> frame = DecodeMerged(p, &hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ((std::vector<uint8_t>(frame.begin(), frame.begin() + 4)), (std::vector<uint8_t>{0, 64, 128, 255}));
}

TEST(PsdFormat, UnpackBitsNeverWritesOutsideItsWindow)
{
    struct Case {
        std::vector<uint8_t> packed;
        size_t first, count;
        std::vector<uint8_t> expected;  // the window, then one guard byte
    };
    const Case cases[] = {
        {{0xFE, 0x41}, 0, 3, {0x41, 0x41, 0x41, 0xCD}},
        {{0x02, 1, 2, 3}, 0, 3, {1, 2, 3, 0xCD}},
        {{0x80, 0x00, 9}, 0, 2, {9, 0xCD, 0xCD}},                 // 80 produces nothing
        {{0x81, 7}, 0, 4, {7, 7, 7, 7, 0xCD}},                    // a run longer than the row
        {{0x05, 1, 2}, 0, 4, {1, 2, 0xCD, 0xCD, 0xCD}},           // a literal cut by the source
        {{0x03, 1, 2, 3, 4, 0xFD, 9}, 2, 4, {3, 4, 9, 9, 0xCD}},  // a window across both kinds
        {{0xFF}, 0, 2, {0xCD, 0xCD, 0xCD}},                       // a run without its byte
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out(c.expected.size(), 0xCD);
        VxPsd_UnpackBitsWindow(c.packed.data(), c.packed.size(), out.data(), c.first, c.count);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(PsdFormat, StructureVariantsParse)
{
    VxTestPsdOptions o{.version = 2, .layerSection = false};
    Parsed v2(VxTest_WritePsd(o));
    ASSERT_EQ(v2.result, S_OK);
    EXPECT_EQ(v2.document.layerCount, 0u);
    EXPECT_EQ(VxPsd_VisibleLayerCount(v2.document), 0u);
    o.mode = 1;
    o.channels = 1;
    Parsed grey(VxTest_WritePsd(o));
    EXPECT_EQ(VxPsd_VisibleLayerCount(grey.document), 1u);

    // Names of 0, 3 and 5 bytes (3, 0 and 2 padding bytes), a 36-byte mask block, a "luni"
    // block after another one, an empty "luni" name, and one longer than the record holds.
    VxTestPsdOptions layered{.layers = {
        {.bottom = 1, .right = 1, .name = ""},
        {.bottom = 1, .right = 1, .name = "abc", .mask = std::vector<int32_t>{1, 2, 3, 4}, .maskDataBytes = 36},
        {.bottom = 1, .right = 1, .name = "abcde", .unicodeName = u"\u00e9t\u00e9", .otherBlockFirst = true},
        {.bottom = 1, .right = 1, .name = "kept", .unicodeName = u""},
        {.top = 10, .left = 20, .bottom = 110, .right = 220, .name = "x", .unicodeName = std::u16string(300, u'w')},
    }, .negativeLayerCount = true};
    Parsed p(VxTest_WritePsd(layered));
    ASSERT_EQ(p.result, S_OK);
    ASSERT_EQ(p.document.layerCount, 5u);
    EXPECT_TRUE(p.document.mergedAlpha);
    const VxPsdLayerRecord* l = p.document.layers;
    EXPECT_EQ(std::u16string(l[0].name), u"");
    EXPECT_EQ(std::u16string(l[1].name), u"abc");
    EXPECT_EQ(l[1].maskLeft, 2);
    EXPECT_EQ(l[1].maskBottom, 3);
    EXPECT_EQ(std::u16string(l[2].name), u"\u00e9t\u00e9");
    EXPECT_EQ(std::u16string(l[3].name), u"kept");
    EXPECT_EQ(std::u16string(l[4].name), std::u16string(258, u'w'));
    EXPECT_EQ(l[4].right, 220);
    EXPECT_EQ(p.document.mergedPosition, VxTest_PsdLayout(p.bytes).merged);
}

TEST(PsdFormat, LayersArePlacedClippedAndMasked)
{
    // Layer 1 (PackBits, skipped by its lengths): a full canvas; layer 2 hangs off the left
    // edge with a ramp of plane columns; layer 3 is transparent; layer 4 has a mask.
    VxTestPsdLayer ramp{.top = 2, .left = -10, .bottom = 4, .right = 20};
    for (uint16_t id : {0, 1, 2}) {
        std::vector<uint32_t> plane;
        for (uint32_t y = 0; y < 2; ++y)
            for (uint32_t x = 0; x < 30; ++x)
                plane.push_back(x + id);
        ramp.channels.push_back({id, plane});
    }
    VxTestPsdLayer masked = VxTest_PsdLayer(0, 0, 2, 2, {{0xFFFF, 200}, {0, 9}});
    masked.mask = std::vector<int32_t>{1, 1, 2, 2};
    masked.channels.push_back({0xFFFE, {128}});
    VxTestPsdOptions o{.width = 100, .height = 5, .layers = {
        VxTest_PsdLayer(0, 0, 5, 100, {{0, 1}, {1, 2}, {2, 3}}, true), ramp,
        VxTest_PsdLayer(1, 1, 3, 3, {{0xFFFF, 0}, {0, 50}}), masked}};
    Parsed p(VxTest_WritePsd(o));
    ASSERT_EQ(p.document.layerCount, 4u);
    HRESULT hr;

    std::vector<uint8_t> f = DecodeLayer(p, 2, &hr);
    ASSERT_EQ(hr, S_OK) << VxTest_Describe(hr);
    EXPECT_EQ(At(f, 100, 5, 1, 0, 2, 2), 10u);   // canvas column 0 is plane column 10
    EXPECT_EQ(At(f, 100, 5, 1, 19, 3, 2), 29u);
    EXPECT_EQ(At(f, 100, 5, 1, 19, 3, 0), 31u);  // blue is channel 2
    EXPECT_EQ(At(f, 100, 5, 1, 19, 3, 3), 255u);
    EXPECT_EQ(At(f, 100, 5, 1, 20, 3, 3), 0u);   // right of the layer: nothing
    EXPECT_EQ(At(f, 100, 5, 1, 0, 1, 3), 0u);    // above it

    f = DecodeLayer(p, 3, &hr);
    EXPECT_EQ(At(f, 100, 5, 1, 1, 1, 3), 0u);    // transparency 0
    EXPECT_EQ(At(f, 100, 5, 1, 1, 1, 2), 50u);
    EXPECT_EQ(At(f, 100, 5, 1, 0, 0, 2) | At(f, 100, 5, 1, 0, 0, 3), 0u);

    f = DecodeLayer(p, 4, &hr);
    EXPECT_EQ(At(f, 100, 5, 1, 0, 0, 3), 200u);
    EXPECT_EQ(At(f, 100, 5, 1, 1, 1, 3), 200u * 128 / 255);

    f = DecodeLayer(p, 1, &hr);
    EXPECT_EQ(At(f, 100, 5, 1, 99, 4, 0), 3u);

    EXPECT_EQ(VxPsd_DecodeLayer(p.Source(), p.document, 5, f.data(), uint32_t(f.size())), E_INVALIDARG);
    EXPECT_EQ(VxPsd_DecodeLayer(p.Source(), p.document, 0, f.data(), uint32_t(f.size())), E_INVALIDARG);
    EXPECT_EQ(VxPsd_DecodeLayer(p.Source(), p.document, 1, f.data(), 100 * 5 * 4 - 1), VXE_BUFFER_TOO_SMALL);
}

TEST(PsdFormat, GreyCmykAndDeepLayers)
{
    struct Case {
        uint16_t mode, depth, channels;
        std::vector<std::pair<uint16_t, uint32_t>> planes;
        std::vector<uint32_t> expected;  // B, G, R, A of the layer's pixel
    };
    const Case cases[] = {
        {1, 8, 1, {{0, 77}}, {77, 77, 77, 255}},
        {4, 8, 4, {{0, 10}, {1, 20}, {2, 30}, {3, 255}}, {30, 20, 10, 255}},
        {4, 8, 4, {{0, 10}, {1, 20}, {2, 30}, {3, 0}}, {0, 0, 0, 255}},
        {3, 16, 3, {{0xFFFF, 0x8000}, {0, 0x1234}, {1, 2}, {2, 0xFFFE}, {0xFFFD, 5}}, {0xFFFE, 2, 0x1234, 0x8000}},
    };
    for (const Case& c : cases) {
        VxTestPsdOptions o{.mode = c.mode, .depth = c.depth, .channels = c.channels, .width = 3, .height = 2,
                           .layers = {VxTest_PsdLayer(0, 1, 1, 2, c.planes, c.depth == 16)}};
        Parsed p(VxTest_WritePsd(o));
        HRESULT hr;
        const std::vector<uint8_t> f = DecodeLayer(p, 1, &hr);
        ASSERT_EQ(hr, S_OK) << VxTest_Describe(hr);
        for (uint32_t i = 0; i < 4; ++i)
            EXPECT_EQ(At(f, 3, 2, c.depth / 8, 1, 0, i), c.expected[i]) << "mode " << c.mode << " sample " << i;
        EXPECT_EQ(At(f, 3, 2, c.depth / 8, 0, 0, 3), 0u);
    }
}

TEST(PsdFormat, DamagedDocumentsFailCleanly)
{
    VxTestPsdOptions o{.width = 6, .height = 4, .compression = 1,
                       .layers = {VxTest_PsdLayer(0, 0, 4, 6, {{0, 1}, {1, 2}}, true), VxTest_PsdLayer(1, 1, 3, 3, {{0, 5}})}};
    const std::vector<uint8_t> good = VxTest_WritePsd(o);
    const VxTestPsdLayout layout = VxTest_PsdLayout(good);

    // Every cut: the header needs all 26 bytes; later cuts end records or rows, never reads.
    for (size_t cut = 0; cut < good.size(); ++cut) {
        Parsed p(std::vector<uint8_t>(good.begin(), good.begin() + long(cut)));
        if (cut < kPsdHeaderBytes) {
            EXPECT_EQ(p.result, E_FAIL) << cut;
            continue;
        }
        ASSERT_EQ(p.result, S_OK) << cut;
        HRESULT hr;
        DecodeMerged(p, &hr);
        EXPECT_TRUE(hr == S_OK || hr == E_FAIL) << cut << " " << VxTest_Describe(hr);
        for (uint32_t i = 1; i <= p.document.layerCount; ++i)
            DecodeLayer(p, i, &hr);
    }

    struct Edit {
        size_t offset;
        std::vector<uint8_t> bytes;
        uint32_t layers;
    };
    const size_t rect = layout.firstRecord;
    const Edit edits[] = {
        {layout.layerCount, {0x7F, 0xFF}, 2},                    // 32767 layers, 2 in the file
        {layout.layerCount, {0x80, 0x00}, 2},                    // -32768
        {rect, {0x7F, 0xFF, 0xFF, 0xF0}, 2},                     // top near 2^31, bottom < top
        {rect + 4, {0x80, 0, 0, 0}, 2},                          // left -2^31
        {rect, {0x80, 0, 0, 0}, 2},  // top -2^31: rows above the canvas end with the count table
        {rect + 16, {0xFF, 0xFF}, 0},                            // 65535 channels run past the file
        {rect + 20, {0xFF, 0xFF, 0xFF, 0xFF}, 2},                // channel length past the file
        {layout.merged + 2, {0xFF, 0xFF}, 2},                    // a row count that lies
    };
    for (const Edit& e : edits) {
        std::vector<uint8_t> bad = good;
        std::copy(e.bytes.begin(), e.bytes.end(), bad.begin() + long(e.offset));
        Parsed p(bad);
        ASSERT_EQ(p.result, S_OK);
        EXPECT_EQ(p.document.layerCount, e.layers) << e.offset;
        HRESULT hr;
        DecodeMerged(p, &hr);
        for (uint32_t i = 1; i <= p.document.layerCount; ++i)
            DecodeLayer(p, i, &hr);
    }
}

}  // namespace
