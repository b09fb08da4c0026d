#include "framework/ConvertDib.h"
#include "tests/common/VxTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace {

struct Source {
    VXBITMAPINFO info = {};
    std::vector<uint8_t> pixels;
};

Source MakeSource(uint16_t bits, int32_t width, int32_t height, uint32_t compression, uint32_t colors)
{
    Source source;
    BITMAPINFOHEADER& h = source.info.header;
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = bits;
    h.biCompression = compression;
    h.biClrUsed = colors;
    for (uint32_t i = 0; i < 256; ++i)
        source.info.colors[i] = {uint8_t(i), uint8_t(i + 1), uint8_t(i + 2), uint8_t(0xF0 | (i & 15))};
    const size_t stride = (size_t(bits) * width + 31) / 32 * 4;
    source.pixels.assign(stride * size_t(height < 0 ? -height : height), 0);
    return source;
}

BITMAPINFOHEADER Target(const Source& source)
{
    BITMAPINFOHEADER h = source.info.header;
    h.biBitCount = 32;
    h.biCompression = BI_RGB;
    h.biClrUsed = 0;
    return h;
}

std::vector<uint8_t> Convert(const Source& source, HRESULT expected = S_OK)
{
    const BITMAPINFOHEADER target = Target(source);
    const int32_t rows = target.biHeight < 0 ? -target.biHeight : target.biHeight;
    std::vector<uint8_t> out(size_t(target.biWidth) * 4 * rows, 0xEE);
    const HRESULT hr = ConvertDibTo32(out.data(), &target, source.pixels.data(), &source.info);
    EXPECT_EQ(hr, expected) << VxTest_Describe(hr);
    return out;
}

std::vector<uint8_t> Pixel(const std::vector<uint8_t>& frame, size_t index)
{
    return {frame.begin() + index * 4, frame.begin() + index * 4 + 4};
}

}  // namespace

// Colour table entry i is B i, G i + 1, R i + 2, reserved 0xF0 | i (MakeSource), kept as it is.
TEST(ConvertDib, PixelsOfEveryLayoutAndWhereABadIndexStops)
{
    const std::vector<uint8_t> untouched = {0xEE, 0xEE, 0xEE, 0xEE};
    const struct {
        const char* name;
        uint16_t bits;
        int32_t width, height;
        uint32_t compression, colors;
        std::vector<uint8_t> pixels;  // the first bytes of the rows, in memory order
        std::vector<uint32_t> masks;  // bit fields, in place of the colour table
        HRESULT expected;
        std::vector<std::pair<size_t, std::vector<uint8_t>>> out;  // pixel index: B, G, R, fourth
    } cases[] = {
        {"1 bit, pixels 8 and 9 in the second byte", 1, 10, 1, BI_RGB, 2, {0x80, 0x40}, {}, S_OK,
         {{0, {1, 2, 3, 0xF1}}, {1, {0, 1, 2, 0xF0}}, {8, {0, 1, 2, 0xF0}}, {9, {1, 2, 3, 0xF1}}}},
        {"4 bits, high nibble first", 4, 2, 1, BI_RGB, 16, {0x12}, {}, S_OK,
         {{0, {1, 2, 3, 0xF1}}, {1, {2, 3, 4, 0xF2}}}},
        {"8-bit index past the table", 8, 3, 1, BI_RGB, 4, {2, 4, 1}, {}, E_FAIL,
         {{0, {2, 3, 4, 0xF2}}, {1, untouched}}},
        {"4-bit index past the table in row 1", 4, 3, 2, BI_RGB, 5, {0x12, 0x30, 0, 0, 0x41, 0x50}, {}, E_FAIL,
         {{2, {3, 4, 5, 0xF3}}, {4, {1, 2, 3, 0xF1}}, {5, untouched}}},
        {"16-bit RGB scales five-bit channels", 16, 2, 1, BI_RGB, 0, {0xFF, 0x7F, 0x21, 0x04}, {}, S_OK,
         {{0, {255, 255, 255, 255}}, {1, {8, 8, 8, 255}}}},
        {"bit fields 5-6-5", 16, 2, 1, BI_BITFIELDS, 0, {0xE0, 0x07, 0x00, 0xF8}, {0xF800, 0x07E0, 0x001F}, S_OK,
         {{0, {0, 255, 0, 255}}, {1, {0, 0, 255, 255}}}},
        {"an empty mask", 16, 1, 1, BI_BITFIELDS, 0, {}, {0xF800, 0, 0x001F}, E_FAIL, {}},
        {"masks of all 32 bits", 16, 1, 1, BI_BITFIELDS, 0, {}, {~0u, ~0u, ~0u}, S_OK, {}},
        {"grey 1 bit", 1, 1, 1, kVxCompressionGrey, 2, {0x80}, {}, S_OK, {{0, {255, 255, 255, 0}}}},
        {"grey 2 bits", 2, 1, 1, kVxCompressionGrey, 4, {0x40}, {}, S_OK, {{0, {85, 85, 85, 0}}}},
        {"grey 4 bits", 4, 1, 1, kVxCompressionGrey, 16, {0x30}, {}, S_OK, {{0, {51, 51, 51, 0}}}},
        {"grey 8 bits", 8, 1, 1, kVxCompressionGrey, 256, {200}, {}, S_OK, {{0, {200, 200, 200, 0}}}},
        {"top-down rows in order", 8, 1, -3, BI_RGB, 256, {5, 0, 0, 0, 6, 0, 0, 0, 7}, {}, S_OK,
         {{0, {5, 6, 7, 0xF5}}, {1, {6, 7, 8, 0xF6}}, {2, {7, 8, 9, 0xF7}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Source source = MakeSource(c.bits, c.width, c.height, c.compression, c.colors);
        std::copy(c.pixels.begin(), c.pixels.end(), source.pixels.begin());
        if (!c.masks.empty())
            std::memcpy(source.info.colors, c.masks.data(), 12);  // red, green, blue
        const std::vector<uint8_t> out = Convert(source, c.expected);
        for (const auto& [index, pixel] : c.out)
            EXPECT_EQ(Pixel(out, index), pixel) << "pixel " << index;
    }
}

TEST(ConvertDib, PaletteIndexBeyondTheTableStopsThereInWideRows)
{
    // Rows wide enough for the sixteen-at-a-time scan, the bad index in its part or after.
    for (const auto& [width, bad] : {std::pair{37, 5}, std::pair{37, 33}}) {
        Source source = MakeSource(8, width, 1, BI_RGB, 4);
        source.pixels.assign(source.pixels.size(), 2);
        source.pixels[size_t(bad)] = 4;
        const std::vector<uint8_t> out = Convert(source, E_FAIL);
        EXPECT_EQ(Pixel(out, size_t(bad) - 1), (std::vector<uint8_t>{2, 3, 4, 0xF2})) << bad;
        EXPECT_EQ(Pixel(out, size_t(bad)), (std::vector<uint8_t>{0xEE, 0xEE, 0xEE, 0xEE})) << bad;  // not written
    }
}

TEST(ConvertDib, RowsOfEveryWidthMatchThePixelRule)
{
    // Odd widths leave half a byte (4 bits) or padding (8 bits) at the end of each row; wider
    // rows take the several-pixels-at-a-time paths (four palette entries, sixteen grey levels),
    // from wherever their alignment starts.
    const struct {
        uint16_t bits;
        uint32_t compression;
    } layouts[] = {{4, BI_RGB}, {8, BI_RGB}, {8, kVxCompressionGrey}};
    for (const auto& layout : layouts)
        for (int32_t width = 1; width <= 41; ++width) {
            const uint16_t bits = layout.bits;
            const bool grey = layout.compression == kVxCompressionGrey;
            Source source = MakeSource(bits, width, 3, layout.compression, 1u << bits);
            uint32_t seed = 7;
            for (uint8_t& byte : source.pixels)
                byte = uint8_t((seed = seed * 1103515245 + 12345) >> 16);
            const std::vector<uint8_t> out = Convert(source);
            const size_t stride = (size_t(bits) * width + 31) / 32 * 4;
            for (int32_t y = 0; y < 3; ++y)
                for (int32_t x = 0; x < width; ++x) {
                    const uint8_t byte = source.pixels[y * stride + size_t(x) * bits / 8];
                    const uint32_t index = bits == 8 ? byte : x % 2 ? byte & 15 : byte >> 4;
                    const RGBQUAD& c = source.info.colors[index];
                    const std::vector<uint8_t> expected =
                        grey ? std::vector<uint8_t>{byte, byte, byte, 0}
                             : std::vector<uint8_t>{c.rgbBlue, c.rgbGreen, c.rgbRed, c.rgbReserved};
                    ASSERT_EQ(Pixel(out, size_t(y) * width + x), expected)
                        << bits << " bits" << (grey ? " grey" : "") << ", width " << width << ", pixel " << x
                        << " of row " << y;
                }
        }
}

TEST(ConvertDib, RefusesWhatItCannotConvert)
{
    Source source = MakeSource(8, 2, 2, BI_RGB, 256);
    BITMAPINFOHEADER target = Target(source);
    std::vector<uint8_t> out(16);
    EXPECT_EQ(ConvertDibTo32(nullptr, &target, source.pixels.data(), &source.info), E_INVALIDARG);
    EXPECT_EQ(ConvertDibTo32(out.data(), nullptr, source.pixels.data(), &source.info), E_INVALIDARG);
    EXPECT_EQ(ConvertDibTo32(out.data(), &target, nullptr, &source.info), E_INVALIDARG);
    EXPECT_EQ(ConvertDibTo32(out.data(), &target, source.pixels.data(), nullptr), E_INVALIDARG);
    target.biHeight = 3;
    EXPECT_EQ(ConvertDibTo32(out.data(), &target, source.pixels.data(), &source.info), E_INVALIDARG);
    target = Target(source);
    target.biBitCount = 24;
    EXPECT_EQ(ConvertDibTo32(out.data(), &target, source.pixels.data(), &source.info), E_INVALIDARG);

    const struct {
        uint16_t bits;
        uint32_t compression;
        uint32_t colors;
        HRESULT expected;
    } cases[] = {
        {8, BI_RGB, 0, E_INVALIDARG},              // palette without colours
        {8, BI_RGB, 300, E_INVALIDARG},            // more colours than the table holds
        {24, BI_BITFIELDS, 0, E_INVALIDARG},       // bit fields of another width
        {8, kVxCompressionGrey, 0, E_INVALIDARG},  // grey without colours
        {16, kVxCompressionGrey, 1, E_INVALIDARG}, // grey above 8 bits
        {3, kVxCompressionGrey, 8, E_FAIL},        // grey of an odd depth
        {8, BI_RLE8, 256, E_FAIL},                 // compressed rows
    };
    for (const auto& c : cases) {
        Source odd = MakeSource(c.bits, 2, 2, c.compression, c.colors);
        const BITMAPINFOHEADER oddTarget = Target(odd);
        const HRESULT hr = ConvertDibTo32(out.data(), &oddTarget, odd.pixels.data(), &odd.info);
        EXPECT_EQ(hr, c.expected) << c.bits << " bits, compression " << c.compression << ": "
                                  << VxTest_Describe(hr);
    }
}
