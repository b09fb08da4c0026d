// Bitmap samples of every stored layout and every expanded one: the same picture each time
// (a hue sweep darkening downwards with a white ring), so previews are easy to compare by eye.
#include "Samples.h"

#include "tests/fixtures/DibWriter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int32_t kWidth = 320;
constexpr int32_t kHeight = 200;

// The picture's red, green and blue in [0, 1] at (x, y), y counted from the top.
void Scene(int32_t x, int32_t y, double rgb[3])
{
    const double hue = 6.0 * x / kWidth;
    const double value = 1.0 - 0.7 * y / kHeight;
    for (int i = 0; i < 3; ++i)
        rgb[i] = value * std::clamp(std::abs(std::fmod(hue + 4.0 * i, 6.0) - 3.0) - 1.0, 0.0, 1.0);
    const double ring = std::hypot(x - 100.0, y - 100.0);
    if (ring > 50.0 && ring < 60.0)
        rgb[0] = rgb[1] = rgb[2] = 1.0;
}

// Rows bottom-up (or top-down), padded to 4 bytes, each pixel written by put(row, x, rgb).
template <class Put>
std::vector<uint8_t> Rows(uint16_t bits, bool topDown, Put put)
{
    const size_t stride = (size_t(bits) * kWidth + 31) / 32 * 4;
    std::vector<uint8_t> out(stride * kHeight, 0);
    for (int32_t row = 0; row < kHeight; ++row)
        for (int32_t x = 0; x < kWidth; ++x) {
            double rgb[3];
            Scene(x, topDown ? row : kHeight - 1 - row, rgb);
            put(&out[row * stride], x, rgb);
        }
    return out;
}

// Palettes of 2, 16 and 256 opaque colours: black and white, the corners and edge midpoints
// of the colour cube, a 3-3-2 cube.
std::vector<uint32_t> Palette(uint16_t bits)
{
    std::vector<uint32_t> palette;
    for (uint32_t i = 0; i < (1u << bits); ++i) {
        if (bits == 1)
            palette.push_back(i ? 0xFFFFFF : 0);
        else if (bits == 4)
            palette.push_back((i & 1) * (i & 8 ? 255 : 128) | (i >> 1 & 1) * (i & 8 ? 255 : 128) << 8 |
                              (i >> 2 & 1) * (i & 8 ? 255 : 128) << 16);
        else
            palette.push_back((i & 3) * 85 | (i >> 2 & 7) * 36 << 8 | (i >> 5) * 36 << 16);
    }
    return palette;
}

uint8_t Nearest(const double rgb[3], const std::vector<uint32_t>& palette)
{
    uint32_t best = 0;
    double bestDistance = 1e9;
    for (uint32_t i = 0; i < palette.size(); ++i) {
        const double d = std::pow((palette[i] >> 16 & 255) / 255.0 - rgb[0], 2) +
                         std::pow((palette[i] >> 8 & 255) / 255.0 - rgb[1], 2) +
                         std::pow((palette[i] & 255) / 255.0 - rgb[2], 2);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return uint8_t(best);
}

std::vector<uint8_t> Indices(uint16_t bits)
{
    const std::vector<uint32_t> palette = Palette(bits);
    return Rows(bits, false, [bits, &palette](uint8_t* row, int32_t x, const double rgb[3]) {
        const uint8_t index = Nearest(rgb, palette);
        const uint32_t shift = 8 - bits * (x % (8 / bits) + 1);
        row[x * bits / 8] |= uint8_t(index << shift);
    });
}

// Run-length encoding of index rows: runs of equal indices, end of line, end of bitmap.
std::vector<uint8_t> EncodeRle(const std::vector<uint8_t>& rows, bool four)
{
    const size_t stride = (size_t(four ? 4 : 8) * kWidth + 31) / 32 * 4;
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < kHeight; ++y) {
        auto index = [&](int32_t x) {
            const uint8_t b = rows[y * stride + (four ? x / 2 : x)];
            return four ? uint8_t(x % 2 ? b & 15 : b >> 4) : b;
        };
        for (int32_t x = 0; x < kWidth;) {
            int32_t run = 1;
            while (x + run < kWidth && run < 255 && index(x + run) == index(x))
                ++run;
            out.push_back(uint8_t(run));
            out.push_back(four ? uint8_t(index(x) << 4 | index(x)) : index(x));
            x += run;
        }
        out.push_back(0);
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(1);
    return out;
}

uint8_t Byte(double v) { return uint8_t(std::lround(v * 255.0)); }

}  // namespace

VX_SAMPLES(Dib)
{
    auto bgr = [](uint16_t bits, bool topDown) {
        return Rows(bits, topDown, [bits](uint8_t* row, int32_t x, const double rgb[3]) {
            uint8_t* p = row + x * bits / 8;
            p[0] = Byte(rgb[2]);
            p[1] = Byte(rgb[1]);
            p[2] = Byte(rgb[0]);
        });
    };
    auto packed16 = [](bool six) {
        return Rows(16, false, [six](uint8_t* row, int32_t x, const double rgb[3]) {
            const uint32_t g = uint32_t(std::lround(rgb[1] * (six ? 63 : 31)));
            const uint32_t v = uint32_t(std::lround(rgb[0] * 31)) << (six ? 11 : 10) | g << 5 |
                               uint32_t(std::lround(rgb[2] * 31));
            row[2 * x] = uint8_t(v);
            row[2 * x + 1] = uint8_t(v >> 8);
        });
    };
    const auto deep = Rows(32, false, [](uint8_t* row, int32_t x, const double rgb[3]) {
        const uint32_t v = uint32_t(std::lround(rgb[0] * 1023)) << 20 | uint32_t(std::lround(rgb[1] * 1023)) << 10 |
                           uint32_t(std::lround(rgb[2] * 1023));
        for (int b = 0; b < 4; ++b)
            row[4 * x + b] = uint8_t(v >> (8 * b));
    });
    const VxTestDibOptions base{.width = kWidth, .height = kHeight};
    auto with = [&base](auto change) {
        VxTestDibOptions o = base;
        change(o);
        return VxTest_WriteDib(o);
    };
    return {
        {"dib-1bit.bmp", with([](auto& o) { o.bits = 1; o.palette = Palette(1); o.pixels = Indices(1); })},
        {"dib-4bit.bmp", with([](auto& o) { o.bits = 4; o.palette = Palette(4); o.pixels = Indices(4); })},
        {"dib-8bit.bmp", with([](auto& o) { o.bits = 8; o.palette = Palette(8); o.pixels = Indices(8); })},
        {"dib-8bit-core.bmp", with([](auto& o) { o.bits = 8; o.headerSize = 12; o.palette = Palette(8); o.pixels = Indices(8); })},
        {"dib-16bit-555.bmp", with([&](auto& o) { o.bits = 16; o.pixels = packed16(false); })},
        {"dib-16bit-565.bmp", with([&](auto& o) { o.bits = 16; o.compression = 3; o.masks = {0xF800, 0x7E0, 0x1F};
                                                  o.pixels = packed16(true); })},
        {"dib-24bit.bmp", with([&](auto& o) { o.pixels = bgr(24, false); })},
        {"dib-24bit-topdown.bmp", with([&](auto& o) { o.height = -kHeight; o.pixels = bgr(24, true); })},
        {"dib-32bit-v5.bmp", with([&](auto& o) { o.bits = 32; o.headerSize = 124; o.pixels = bgr(32, false); })},
        {"dib-32bit-101010.bmp", with([&](auto& o) { o.bits = 32; o.compression = 3; o.headerSize = 108;
                                                     o.masks = {0x3FF00000, 0xFFC00, 0x3FF}; o.pixels = deep; })},
        {"dib-rle8.bmp", with([](auto& o) { o.bits = 8; o.compression = 1; o.palette = Palette(8); o.pixels = EncodeRle(Indices(8), false); })},
        {"dib-rle4.bmp", with([](auto& o) { o.bits = 4; o.compression = 2; o.palette = Palette(4); o.pixels = EncodeRle(Indices(4), true); })},
    };
}
