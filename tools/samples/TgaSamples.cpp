// TARGA samples of every image type and both row orders: the same picture each time (a hue
// sweep darkening downwards with a white ring; a fading alpha in the 32-bit ones).
#include "Samples.h"

#include "tests/fixtures/TgaWriter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint16_t kWidth = 320;
constexpr uint16_t kHeight = 200;

// Blue, green, red, alpha bytes at (x, y), y counted from the top.
uint32_t Scene(uint32_t x, uint32_t y)
{
    const double hue = 6.0 * x / kWidth;
    const double value = 1.0 - 0.7 * y / kHeight;
    double rgb[3];
    for (int i = 0; i < 3; ++i)
        rgb[i] = value * std::clamp(std::abs(std::fmod(hue + 4.0 * i, 6.0) - 3.0) - 1.0, 0.0, 1.0);
    const double ring = std::hypot(x - 100.0, y - 100.0);
    if (ring > 50.0 && ring < 60.0)
        rgb[0] = rgb[1] = rgb[2] = 1.0;
    const uint32_t alpha = uint32_t(255 - 191 * std::min(1.0, std::hypot(x - 160.0, y - 100.0) / 190.0));
    return uint32_t(std::lround(rgb[2] * 255)) | uint32_t(std::lround(rgb[1] * 255)) << 8 |
           uint32_t(std::lround(rgb[0] * 255)) << 16 | alpha << 24;
}

// The scene as stored values of a depth (grey for 8 bits), bottom row first unless topDown.
std::vector<uint32_t> Values(uint8_t depth, bool topDown, bool mapped = false)
{
    std::vector<uint32_t> values;
    for (uint32_t row = 0; row < kHeight; ++row)
        for (uint32_t x = 0; x < kWidth; ++x) {
            const uint32_t c = Scene(x, topDown ? row : kHeight - 1 - row);
            const uint32_t b = c & 255, g = c >> 8 & 255, r = c >> 16 & 255;
            if (mapped)  // a 3-3-2 colour cube
                values.push_back((r >> 5) << 5 | (g >> 5) << 2 | b >> 6);
            else if (depth == 8)
                values.push_back((r * 77 + g * 150 + b * 29) >> 8);
            else if (depth == 16)
                values.push_back((r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
            else
                values.push_back(depth == 24 ? c & 0xFFFFFF : c);
        }
    return values;
}

std::vector<uint32_t> Cube()
{
    std::vector<uint32_t> map;
    for (uint32_t i = 0; i < 256; ++i)
        map.push_back((i & 3) * 85 | ((i >> 2) & 7) * 36 << 8 | (i >> 5) * 36 << 16);
    return map;
}

}  // namespace

VX_SAMPLES(Tga)
{
    auto make = [](uint8_t type, uint8_t depth, uint8_t descriptor = 0) {
        const bool mapped = type == 1 || type == 9;
        VxTestTgaOptions o{.width = kWidth, .height = kHeight, .type = type, .depth = depth,
                           .descriptor = descriptor, .values = Values(depth, descriptor & 0x20, mapped)};
        if (mapped) {
            o.mapBits = 24;
            o.mapLength = 256;
            o.map = Cube();
        }
        return VxTest_WriteTga(o);
    };
    return {
        {"tga-mapped.tga", make(1, 8)},
        {"tga-rgb16.tga", make(2, 16)},
        {"tga-rgb24.tga", make(2, 24)},
        {"tga-rgb32-topdown.tga", make(2, 32, 0x28)},
        {"tga-grey.tga", make(3, 8)},
        {"tga-rle-mapped.tga", make(9, 8)},
        {"tga-rle24.tga", make(10, 24)},
        {"tga-rle32.tga", make(10, 32, 8)},
        {"tga-rle-grey-topdown.tga", make(11, 8, 0x20)},
    };
}
