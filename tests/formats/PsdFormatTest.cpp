#include "formats/psd/PsdFormat.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/PsdWriter.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A document parsed from bytes held by the test. Decode(0) decodes the merged image into the
// frame its format asks, Decode(i) layer i into a canvas frame of 4 samples a pixel: bottom-up,
// rows padded to 4 bytes. Pixel gives a pixel's samples (colour: B, G, R, A).
struct Parsed {
    explicit Parsed(std::vector<uint8_t> file) : bytes(std::move(file)), memory{bytes.data(), bytes.size()}
    {
        result = VxPsd_Parse(Source(), &document);
    }
    VxPsdSource Source() { return VxPsd_MemorySource(&memory); }
    HRESULT Decode(uint32_t index)
    {
        const VxPsdHeader& h = document.header;
        perPixel = index || h.mode > 2 ? 4 : 1;
        stride = (h.width * perPixel * h.depth / 8 + 3) / 4 * 4;
        frame.assign(size_t(stride) * h.height, 0xCD);
        VxPsdFrameFormat format = {};
        if (index)
            return VxPsd_DecodeLayer(Source(), document, index, frame.data(), uint32_t(frame.size()));
        const HRESULT hr = VxPsd_ChooseFormat(document, &format);
        return FAILED(hr) ? hr : VxPsd_DecodeImage(Source(), document, format, frame.data(), uint32_t(frame.size()));
    }
    std::vector<uint32_t> Pixel(uint32_t x, uint32_t y) const
    {
        const uint32_t sampleBytes = document.header.depth / 8;
        const uint8_t* pixel = &frame[(document.header.height - 1 - y) * size_t(stride) + x * perPixel * sampleBytes];
        std::vector<uint32_t> samples(perPixel, 0);
        for (uint32_t i = 0; i < perPixel; ++i)
            std::memcpy(&samples[i], pixel + i * sampleBytes, sampleBytes);
        return samples;
    }

    std::vector<uint8_t> bytes, frame;
    VxPsdMemory memory;
    CVxPsdDocument document;
    HRESULT result;
    uint32_t perPixel = 4, stride = 0;
};

// Every pixel of merged images: colour frames hold B, G, R, A from the stored R, G, B(, A),
// and channels not decoded leave alpha opaque; greyscale frames hold one sample a pixel.
TEST(PsdFormat, MergedImagesAtEveryDepthAndCompression)
{
    struct Case { uint16_t mode, depth, channels, compression; bool negativeCount; uint32_t decoded; };
    const Case cases[] = {
        {3, 8, 3, 0, false, 3},  {3, 8, 3, 2, false, 3},  {3, 8, 4, 1, false, 3}, {3, 8, 4, 1, true, 4},
        {3, 16, 3, 0, false, 3}, {3, 16, 5, 1, false, 4}, {3, 32, 4, 0, false, 4}, {3, 32, 3, 1, false, 3},
        {1, 8, 2, 1, false, 1},  {1, 16, 2, 0, false, 1}, {1, 32, 2, 1, false, 1},
    };
    for (const Case& c : cases) {
        const VxTestPsdOptions o{.mode = c.mode, .depth = c.depth, .channels = c.channels, .width = 7, .height = 4,
                                 .compression = c.compression, .layers = {VxTest_PsdLayer(0, 0, 1, 1, {{0, 1}})},
                                 .negativeLayerCount = c.negativeCount};
        Parsed p(VxTest_WritePsd(o));
        ASSERT_EQ(p.Decode(0), S_OK) << "mode " << c.mode << " depth " << c.depth;
        const std::vector<uint32_t> samples = VxTest_PsdSamples(o);
        for (uint32_t i = 0; i < o.width * o.height; ++i) {
            std::vector<uint32_t> expected(p.perPixel, c.depth == 8 ? 0xFF : c.depth == 16 ? 0xFFFF : 0x3F800000);
            for (uint32_t ch = 0; ch < c.decoded; ++ch)
                expected[p.perPixel == 1 ? 0 : ch < 3 ? 2 - ch : 3] = samples[ch * o.width * o.height + i];
            EXPECT_EQ(p.Pixel(i % o.width, i / o.width), expected) << "depth " << c.depth << " pixel " << i;
        }
    }
}

// Single pixels of merged images and layers: CMYK stored inverted, K scaling the other three
// (truncated at 8 and 16 bits, floats at 32); layers placed, clipped, transparent and masked;
// greyscale, CMYK and 16-bit layers (unknown channel ids ignored).
TEST(PsdFormat, PixelsOfMergedImagesAndLayers)
{
    VxTestPsdLayer ramp = VxTest_PsdLayer(2, -10, 4, 20, {{0, 0}, {1, 1}, {2, 2}});  // + plane column, 0 to 29
    for (auto& [id, plane] : ramp.channels)
        for (uint32_t i = 0; i < 60; ++i)
            plane[i] += i % 30;
    VxTestPsdLayer masked = VxTest_PsdLayer(0, 0, 2, 2, {{0xFFFF, 200}, {0, 9}});
    masked.mask = std::vector<int32_t>{1, 1, 2, 2};
    masked.channels.push_back({0xFFFE, {128}});
    const auto layer = [](uint16_t mode, uint16_t depth, std::vector<std::pair<uint16_t, uint32_t>> planes) {
        return VxTestPsdOptions{.mode = mode, .depth = depth, .channels = uint16_t(mode == 1 ? 1 : 3 + (mode == 4)),
                                .width = 3, .height = 2, .layers = {VxTest_PsdLayer(0, 1, 1, 2, planes, depth == 16)}};
    };
    const auto cmyk = [](uint16_t depth, std::vector<uint32_t> merged) {
        return VxTestPsdOptions{.mode = 4, .depth = depth, .channels = 4, .width = 1, .height = 1, .merged = merged};
    };
    struct Probe { uint32_t frame, x, y; std::vector<uint32_t> samples; };
    const uint32_t half = 0x3F000000, one = 0x3F800000;
    const std::pair<VxTestPsdOptions, std::vector<Probe>> cases[] = {
        {cmyk(8, {255, 128, 0, 128}), {{0, 0, 0, {0, 64, 128, 255}}}},  // 128 × 128 / 255 = 64.25
        {cmyk(16, {40000, 32768, 0, 32768}), {{0, 0, 0, {0, 16384, 20000, 65535}}}},
        {cmyk(32, {one, half, 0, half}), {{0, 0, 0, {0, 0x3E800000, half, one}}}},  // 0.25
        // Layer 1 (PackBits, skipped by its lengths) covers the canvas; layer 2 hangs off its
        // left edge (canvas column 0 is plane column 10); layer 3 is transparent; 4 is masked.
        {{.width = 100, .height = 5, .layers = {VxTest_PsdLayer(0, 0, 5, 100, {{0, 1}, {1, 2}, {2, 3}}, true), ramp,
                                                VxTest_PsdLayer(1, 1, 3, 3, {{0xFFFF, 0}, {0, 50}}), masked}},
         {{1, 99, 4, {3, 2, 1, 255}}, {2, 0, 2, {12, 11, 10, 255}}, {2, 19, 3, {31, 30, 29, 255}},
          {2, 20, 3, {0, 0, 0, 0}}, {2, 0, 1, {0, 0, 0, 0}}, {3, 1, 1, {0, 0, 50, 0}}, {3, 0, 0, {0, 0, 0, 0}},
          {4, 0, 0, {0, 0, 9, 200}}, {4, 1, 1, {0, 0, 9, 100}}}},
        {layer(1, 8, {{0, 77}}), {{1, 1, 0, {77, 77, 77, 255}}, {1, 0, 0, {0, 0, 0, 0}}}},
        {layer(4, 8, {{0, 10}, {1, 20}, {2, 30}, {3, 255}}), {{1, 1, 0, {30, 20, 10, 255}}}},
        {layer(4, 8, {{0, 10}, {1, 20}, {2, 30}, {3, 0}}), {{1, 1, 0, {0, 0, 0, 255}}}},
        {layer(3, 16, {{0xFFFF, 0x8000}, {0, 0x1234}, {1, 2}, {2, 0xFFFE}, {0xFFFD, 5}}),
         {{1, 1, 0, {0xFFFE, 2, 0x1234, 0x8000}}, {1, 0, 0, {0, 0, 0, 0}}}},
    };
    for (const auto& [options, probes] : cases) {
        Parsed p(VxTest_WritePsd(options));
        for (const Probe& probe : probes) {
            ASSERT_EQ(p.Decode(probe.frame), S_OK) << "mode " << options.mode << " depth " << options.depth;
            EXPECT_EQ(p.Pixel(probe.x, probe.y), probe.samples)
                << "mode " << options.mode << " frame " << probe.frame << " at " << probe.x << "," << probe.y;
        }
    }
}

// Entry i is R = byte i, G = byte 256 + i, B = byte 512 + i; an empty or short colour mode
// section leaves the entries it does not hold zero.
TEST(PsdFormat, PaletteFromTheColourModeSection)
{
    for (size_t length : {768, 600, 0}) {
        VxTestPsdOptions o{.mode = 2, .channels = 1};
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

// Each case: packed bytes, the window, and what it holds after, then one guard byte.
TEST(PsdFormat, UnpackBitsNeverWritesOutsideItsWindow)
{
    struct Case { std::vector<uint8_t> packed; size_t first, count; std::vector<uint8_t> expected; };
    const Case cases[] = {
        {{0x03, 1, 2, 3, 4, 0xFD, 9}, 2, 4, {3, 4, 9, 9, 0xCD}},  // a literal, a repeat cut by the window
        {{0x80, 0x05, 1, 2}, 0, 4, {1, 2, 0xCD, 0xCD, 0xCD}},     // 80 produces nothing; a cut literal
        {{0xFF}, 0, 2, {0xCD, 0xCD, 0xCD}},                       // a repeat without its byte
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out(c.expected.size(), 0xCD);
        VxPsd_UnpackBitsWindow(c.packed.data(), c.packed.size(), out.data(), c.first, c.count);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(PsdFormat, StructureVariantsParse)
{
    // Version 2 with a layer section of length 0: no layers, but greyscale shows one.
    for (uint16_t mode : {3, 1}) {
        const Parsed v2(VxTest_WritePsd({.version = 2, .mode = mode, .channels = mode, .layerSection = false}));
        EXPECT_EQ(v2.result, S_OK);
        EXPECT_EQ(VxPsd_VisibleLayerCount(v2.document), mode == 1 ? 1u : 0u);
    }

    // Names of 0, 3 and 5 bytes (3, 0 and 2 padding bytes), a 36-byte mask block, a "luni"
    // block after another one, an empty "luni" name, one longer than the record holds, and more
    // records than the first allocation holds.
    VxTestPsdOptions layered{.layers = {
        {.name = ""},
        {.name = "abc", .mask = std::vector<int32_t>{1, 2, 3, 4}},
        {.name = "abcde", .unicodeName = u"\u00e9t\u00e9"},
        {.name = "kept", .unicodeName = u""},
        {.top = 10, .left = 20, .bottom = 110, .right = 220, .name = "x", .unicodeName = std::u16string(300, u'w')},
    }, .negativeLayerCount = true};
    layered.layers.resize(20);
    Parsed p(VxTest_WritePsd(layered));
    ASSERT_EQ(p.result, S_OK);
    ASSERT_EQ(p.document.layerCount, 20u);
    EXPECT_TRUE(p.document.mergedAlpha);
    const VxPsdLayerRecord* l = p.document.layers;
    const std::u16string names[] = {u"", u"abc", u"\u00e9t\u00e9", u"kept", std::u16string(258, u'w')};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(std::u16string(l[i].name), names[i]);
    EXPECT_EQ((std::vector<int32_t>{l[1].maskLeft, l[1].maskBottom, l[4].right}), (std::vector<int32_t>{2, 3, 220}));
    // Layer indexes run from 1 to the count; the frame holds the canvas at 4 samples a pixel.
    uint8_t frame[60];
    for (uint32_t index : {0u, 21u})
        EXPECT_EQ(VxPsd_DecodeLayer(p.Source(), p.document, index, frame, 60), E_INVALIDARG);
    EXPECT_EQ(VxPsd_DecodeLayer(p.Source(), p.document, 1, frame, 59), VXE_BUFFER_TOO_SMALL);
}

TEST(PsdFormat, DamagedDocumentsFailCleanly)
{
    const std::vector<uint8_t> good = VxTest_WritePsd({.width = 6, .height = 4, .compression = 1, .layers = {
        VxTest_PsdLayer(0, 0, 4, 6, {{0, 1}, {1, 2}}, true), VxTest_PsdLayer(1, 1, 3, 3, {{0, 5}})}});
    // Without colour mode data and image resources the layer count is at 42, the first record at 44.
    const size_t count = 42, rect = 44, merged = Parsed(good).document.mergedPosition;
    // Every cut: the header needs all 26 bytes; later cuts end records or rows, never reads.
    for (size_t cut = 0; cut < good.size(); ++cut) {
        Parsed p(std::vector<uint8_t>(good.begin(), good.begin() + long(cut)));
        ASSERT_EQ(p.result, cut < kPsdHeaderBytes ? E_FAIL : S_OK) << cut;
        for (uint32_t i = 0; i <= p.document.layerCount; ++i) {
            const HRESULT hr = p.Decode(i);
            EXPECT_TRUE(cut < kPsdHeaderBytes || hr == S_OK || hr == E_FAIL) << cut << " " << VxTest_Describe(hr);
        }
    }
    const std::pair<size_t, std::vector<uint8_t>> edits[] = {
        {count, {0x7F, 0xFF}},                  // 32767 layers, 2 in the file
        {count, {0x80, 0x00}},                  // -32768
        {rect, {0x7F, 0xFF, 0xFF, 0xF0}},       // top near 2^31, bottom < top
        {rect + 4, {0x80, 0, 0, 0}},            // left -2^31
        {rect, {0x80, 0, 0, 0}},                // top -2^31: rows above the canvas end with the count table
        {rect + 16, {0xFF, 0xFF}},              // 65535 channels run past the file: no layer
        {rect + 20, {0xFF, 0xFF, 0xFF, 0xFF}},  // channel length past the file
        {merged + 2, {0xFF, 0xFF}},             // a row count that lies
    };
    for (const auto& [offset, bytes] : edits) {
        std::vector<uint8_t> bad = good;
        std::copy(bytes.begin(), bytes.end(), bad.begin() + long(offset));
        Parsed p(bad);
        ASSERT_EQ(p.result, S_OK);
        EXPECT_EQ(p.document.layerCount, offset == rect + 16 ? 0u : 2u) << offset;
        for (uint32_t i = 0; i <= p.document.layerCount; ++i)
            p.Decode(i);
    }
}

}  // namespace
