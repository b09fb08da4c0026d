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

    // The merged image in a frame of the size its format asks.
    std::vector<uint8_t> Merged(HRESULT* hr)
    {
        VxPsdFrameFormat format = {};
        VXBITMAPINFO info = {};
        uint32_t size = 0;
        *hr = VxPsd_ChooseFormat(document, &format);
        if (SUCCEEDED(*hr))
            *hr = VxVideo_InitBitmapInfo(&info, format.pixelType, int32_t(document.header.width),
                                         int32_t(document.header.height), info.colors, 256, &size);
        std::vector<uint8_t> frame(size, 0xCD);
        if (SUCCEEDED(*hr))
            *hr = VxPsd_DecodeImage(Source(), document, format, frame.data(), size);
        return frame;
    }
    // Layer index in a canvas-size frame of 4 samples per pixel.
    std::vector<uint8_t> Layer(uint32_t index, HRESULT* hr)
    {
        std::vector<uint8_t> frame(size_t(document.header.width) * document.header.height * document.header.depth / 2);
        *hr = VxPsd_DecodeLayer(Source(), document, index, frame.data(), uint32_t(frame.size()));
        return frame;
    }
    // Sample i (0 B, 1 G, 2 R, 3 A) of canvas pixel (x, y) of a bottom-up frame of 4 samples.
    uint32_t At(const std::vector<uint8_t>& frame, uint32_t x, uint32_t y, uint32_t i) const
    {
        const uint32_t sampleBytes = document.header.depth / 8;
        const size_t offset = ((size_t(document.header.height - 1 - y) * document.header.width + x) * 4 + i) * sampleBytes;
        uint32_t v = 0;
        std::memcpy(&v, frame.data() + offset, sampleBytes);
        return v;
    }

    std::vector<uint8_t> bytes;
    VxPsdMemory memory;
    CVxPsdDocument document;
    HRESULT result;
};

// Every colour frame holds B, G, R, A; the stored channels are R, G, B(, A), and the channels
// not decoded leave alpha opaque.
TEST(PsdFormat, MergedColourImagesAtEveryDepthAndCompression)
{
    struct Case {
        uint16_t depth, channels, compression;
        bool negativeCount;
        uint32_t decodedChannels;
    };
    const Case cases[] = {
        {8, 3, 0, false, 3},  {8, 3, 2, false, 3},  {8, 4, 1, false, 3}, {8, 4, 1, true, 4},
        {16, 3, 0, false, 3}, {16, 5, 1, false, 4}, {32, 4, 0, false, 4}, {32, 3, 1, false, 3},
    };
    for (const Case& c : cases) {
        VxTestPsdOptions o{.depth = c.depth, .channels = c.channels, .width = 7, .height = 4,
                           .compression = c.compression, .negativeLayerCount = c.negativeCount};
        if (c.negativeCount)
            o.layers = {VxTest_PsdLayer(0, 0, 1, 1, {{0, 1}})};
        Parsed p(VxTest_WritePsd(o));
        HRESULT hr;
        const std::vector<uint8_t> frame = p.Merged(&hr);
        ASSERT_EQ(hr, S_OK) << VxTest_Describe(hr) << " depth " << c.depth << " compression " << c.compression;
        const std::vector<uint32_t> samples = VxTest_PsdSamples(o);
        const uint32_t opaque = c.depth == 8 ? 0xFF : c.depth == 16 ? 0xFFFF : 0x3F800000;
        for (uint32_t y = 0; y < o.height; ++y)
            for (uint32_t x = 0; x < o.width; ++x)
                for (uint32_t ch = 0; ch < 4; ++ch)
                    EXPECT_EQ(p.At(frame, x, y, ch < 3 ? 2 - ch : 3),
                              ch < c.decodedChannels ? samples[(ch * o.height + y) * o.width + x] : opaque)
                        << "depth " << c.depth << " channels " << c.channels << " at " << x << "," << y;
    }
}

// C, M, Y, K stored inverted: K scales the other three, truncated (8 and 16 bits) or as floats.
TEST(PsdFormat, CmykBlackScalesTheInvertedColours)
{
    const float half = 0.5f, one = 1.0f;
    uint32_t h, o;
    std::memcpy(&h, &half, 4);
    std::memcpy(&o, &one, 4);
    struct Case {
        uint16_t depth;
        std::vector<uint32_t> cmyk, bgra;
    };
    const Case cases[] = {
        {8, {255, 128, 0, 128}, {0, 64, 128, 255}},  // 128 × 128 / 255 = 64.25
        {16, {40000, 32768, 0, 32768}, {0, 16384, 20000, 65535}},
        {32, {o, h, 0, h}, {0, 0x3E800000, h, o}},  // 0.25, 0.5, 1.0
    };
    for (const Case& c : cases) {
        Parsed p(VxTest_WritePsd({.mode = 4, .depth = c.depth, .channels = 4, .width = 1, .height = 1, .merged = c.cmyk}));
        HRESULT hr;
        const std::vector<uint8_t> frame = p.Merged(&hr);
        ASSERT_EQ(hr, S_OK);
        for (uint32_t i = 0; i < 4; ++i)
            EXPECT_EQ(p.At(frame, 0, 0, i), c.bgra[i]) << c.depth << " sample " << i;
    }
}

TEST(PsdFormat, GreyAndIndexedImagesKeepOneSamplePerPixel)
{
    for (uint16_t depth : {8, 16, 32}) {
        VxTestPsdOptions o{.mode = 1, .depth = depth, .channels = 2, .width = 5, .height = 3, .compression = 1};
        Parsed p(VxTest_WritePsd(o));
        HRESULT hr;
        const std::vector<uint8_t> frame = p.Merged(&hr);
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
    EXPECT_EQ(VxPsd_VisibleLayerCount(v2.document), 0u);
    o.mode = 1;
    o.channels = 1;
    EXPECT_EQ(VxPsd_VisibleLayerCount(Parsed(VxTest_WritePsd(o)).document), 1u);

    // Names of 0, 3 and 5 bytes (3, 0 and 2 padding bytes), a 36-byte mask block, a "luni"
    // block after another one, an empty "luni" name, and one longer than the record holds.
    VxTestPsdOptions layered{.layers = {
        {.bottom = 1, .right = 1, .name = ""},
        {.bottom = 1, .right = 1, .name = "abc", .mask = std::vector<int32_t>{1, 2, 3, 4}, .maskDataBytes = 36},
        {.bottom = 1, .right = 1, .name = "abcde", .unicodeName = u"\u00e9t\u00e9", .otherBlockFirst = true},
        {.bottom = 1, .right = 1, .name = "kept", .unicodeName = u""},
        {.top = 10, .left = 20, .bottom = 110, .right = 220, .name = "x", .unicodeName = std::u16string(300, u'w')},
    }, .negativeLayerCount = true};
    const VxTestPsdLayer plain = layered.layers[0];
    layered.layers.resize(20, plain);  // more records than the first allocation holds
    Parsed p(VxTest_WritePsd(layered));
    ASSERT_EQ(p.result, S_OK);
    ASSERT_EQ(p.document.layerCount, 20u);
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
}

TEST(PsdFormat, LayersArePlacedClippedAndMasked)
{
    // Layer 1 (PackBits, skipped by its lengths): a full canvas; layer 2 hangs off the left
    // edge with a ramp of plane columns; layer 3 is transparent; layer 4 has a mask.
    VxTestPsdLayer ramp{.top = 2, .left = -10, .bottom = 4, .right = 20};
    for (uint16_t id : {0, 1, 2}) {
        ramp.channels.push_back({id, {}});
        for (uint32_t i = 0; i < 60; ++i)
            ramp.channels.back().samples.push_back(i % 30 + id);
    }
    VxTestPsdLayer masked = VxTest_PsdLayer(0, 0, 2, 2, {{0xFFFF, 200}, {0, 9}});
    masked.mask = std::vector<int32_t>{1, 1, 2, 2};
    masked.channels.push_back({0xFFFE, {128}});
    Parsed p(VxTest_WritePsd({.width = 100, .height = 5, .layers = {
        VxTest_PsdLayer(0, 0, 5, 100, {{0, 1}, {1, 2}, {2, 3}}, true), ramp,
        VxTest_PsdLayer(1, 1, 3, 3, {{0xFFFF, 0}, {0, 50}}), masked}}));
    ASSERT_EQ(p.document.layerCount, 4u);
    HRESULT hr;

    std::vector<uint8_t> f = p.Layer(2, &hr);
    ASSERT_EQ(hr, S_OK) << VxTest_Describe(hr);
    EXPECT_EQ(p.At(f, 0, 2, 2), 10u);   // canvas column 0 is plane column 10
    EXPECT_EQ(p.At(f, 19, 3, 2), 29u);
    EXPECT_EQ(p.At(f, 19, 3, 0), 31u);  // blue is channel 2
    EXPECT_EQ(p.At(f, 19, 3, 3), 255u);
    EXPECT_EQ(p.At(f, 20, 3, 3), 0u);   // right of the layer: nothing
    EXPECT_EQ(p.At(f, 0, 1, 3), 0u);    // above it

    f = p.Layer(3, &hr);
    EXPECT_EQ(p.At(f, 1, 1, 3), 0u);    // transparency 0
    EXPECT_EQ(p.At(f, 1, 1, 2), 50u);
    EXPECT_EQ(p.At(f, 0, 0, 2) | p.At(f, 0, 0, 3), 0u);

    f = p.Layer(4, &hr);
    EXPECT_EQ(p.At(f, 0, 0, 3), 200u);
    EXPECT_EQ(p.At(f, 1, 1, 3), 200u * 128 / 255);

    f = p.Layer(1, &hr);
    EXPECT_EQ(p.At(f, 99, 4, 0), 3u);

    for (uint32_t index : {0u, 5u})
        EXPECT_EQ(VxPsd_DecodeLayer(p.Source(), p.document, index, f.data(), uint32_t(f.size())), E_INVALIDARG);
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
        Parsed p(VxTest_WritePsd({.mode = c.mode, .depth = c.depth, .channels = c.channels, .width = 3, .height = 2,
                                  .layers = {VxTest_PsdLayer(0, 1, 1, 2, c.planes, c.depth == 16)}}));
        HRESULT hr;
        const std::vector<uint8_t> f = p.Layer(1, &hr);
        ASSERT_EQ(hr, S_OK) << VxTest_Describe(hr);
        for (uint32_t i = 0; i < 4; ++i)
            EXPECT_EQ(p.At(f, 1, 0, i), c.expected[i]) << "mode " << c.mode << " sample " << i;
        EXPECT_EQ(p.At(f, 0, 0, 3), 0u);
    }
}

TEST(PsdFormat, DamagedDocumentsFailCleanly)
{
    const std::vector<uint8_t> good = VxTest_WritePsd({.width = 6, .height = 4, .compression = 1, .layers = {
        VxTest_PsdLayer(0, 0, 4, 6, {{0, 1}, {1, 2}}, true), VxTest_PsdLayer(1, 1, 3, 3, {{0, 5}})}});
    // Without colour mode data and image resources the layer count is at 42, the first record
    // at 44.
    const size_t count = 42, rect = 44, merged = Parsed(good).document.mergedPosition;

    // Every cut: the header needs all 26 bytes; later cuts end records or rows, never reads.
    for (size_t cut = 0; cut < good.size(); ++cut) {
        Parsed p(std::vector<uint8_t>(good.begin(), good.begin() + long(cut)));
        ASSERT_EQ(p.result, cut < kPsdHeaderBytes ? E_FAIL : S_OK) << cut;
        HRESULT hr;
        p.Merged(&hr);
        EXPECT_TRUE(cut < kPsdHeaderBytes || hr == S_OK || hr == E_FAIL) << cut << " " << VxTest_Describe(hr);
        for (uint32_t i = 1; i <= p.document.layerCount; ++i)
            p.Layer(i, &hr);
    }

    struct Edit {
        size_t offset;
        std::vector<uint8_t> bytes;
        uint32_t layers;
    };
    const Edit edits[] = {
        {count, {0x7F, 0xFF}, 2},                               // 32767 layers, 2 in the file
        {count, {0x80, 0x00}, 2},                               // -32768
        {rect, {0x7F, 0xFF, 0xFF, 0xF0}, 2},                     // top near 2^31, bottom < top
        {rect + 4, {0x80, 0, 0, 0}, 2},                          // left -2^31
        {rect, {0x80, 0, 0, 0}, 2},  // top -2^31: rows above the canvas end with the count table
        {rect + 16, {0xFF, 0xFF}, 0},                            // 65535 channels run past the file
        {rect + 20, {0xFF, 0xFF, 0xFF, 0xFF}, 2},                // channel length past the file
        {merged + 2, {0xFF, 0xFF}, 2},                          // a row count that lies
    };
    for (const Edit& e : edits) {
        std::vector<uint8_t> bad = good;
        std::copy(e.bytes.begin(), e.bytes.end(), bad.begin() + long(e.offset));
        Parsed p(bad);
        ASSERT_EQ(p.result, S_OK);
        EXPECT_EQ(p.document.layerCount, e.layers) << e.offset;
        HRESULT hr;
        p.Merged(&hr);
        for (uint32_t i = 1; i <= p.document.layerCount; ++i)
            p.Layer(i, &hr);
    }
}

}  // namespace
