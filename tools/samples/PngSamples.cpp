// PNG samples of every colour type and bit depth, with and without tRNS, one interlaced: the
// same picture each time (a hue sweep darkening downwards, a ring, a disc that transparent
// kinds cut out, alpha fading towards the corners), so previews are easy to compare by eye.
#include "Samples.h"

#include "tests/fixtures/PngWriter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint32_t kWidth = 320;
constexpr uint32_t kHeight = 200;

struct Rgba {
    double r, g, b, a;
};

// The disc that the colour-key samples paint in their key colour.
bool InDisc(uint32_t x, uint32_t y)
{
    const double dx = x - 240.0, dy = y - 100.0;
    return dx * dx + dy * dy < 40.0 * 40.0;
}

Rgba Scene(uint32_t x, uint32_t y)
{
    const double hue = 6.0 * x / kWidth;
    const double value = 1.0 - 0.7 * y / kHeight;
    auto channel = [&](double offset) {
        const double h = std::fmod(hue + offset, 6.0);
        return value * std::clamp(std::abs(h - 3.0) - 1.0, 0.0, 1.0);
    };
    Rgba c{channel(0.0), channel(4.0), channel(2.0), 1.0};
    const double dx = x - 100.0, dy = y - 100.0;
    const double ring = std::sqrt(dx * dx + dy * dy);
    if (ring > 50.0 && ring < 60.0)
        c = {1.0, 1.0, 1.0, 1.0};
    if (InDisc(x, y))
        c = {0.15, 0.15, 0.2, 1.0};
    // Alpha: opaque in the middle, fading to a quarter in the corners.
    const double cx = (x - kWidth / 2.0) / (kWidth / 2.0), cy = (y - kHeight / 2.0) / (kHeight / 2.0);
    c.a = std::clamp(1.0 - 0.75 * std::sqrt((cx * cx + cy * cy) / 2.0), 0.0, 1.0);
    return c;
}

double Luma(const Rgba& c) { return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b; }

// An ordered-dither threshold in [0, 1) for the low bit depths.
double Bayer(uint32_t x, uint32_t y)
{
    static const int kMatrix[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    return (kMatrix[y % 4][x % 4] + 0.5) / 16.0;
}

uint16_t Quantize(double v, uint8_t depth, double threshold = 0.5)
{
    const double levels = double((1u << depth) - 1);
    return uint16_t(std::clamp(std::floor(v * levels + threshold), 0.0, levels));
}

VxTestPngOptions Options(uint8_t colorType, uint8_t depth)
{
    VxTestPngOptions o;
    o.width = kWidth;
    o.height = kHeight;
    o.colorType = colorType;
    o.bitDepth = depth;
    return o;
}

// Grey (with alpha when asked), the disc in the key value when keyed.
VxTestPngOptions Grey(uint8_t depth, bool alpha, bool keyed)
{
    VxTestPngOptions o = Options(alpha ? 4 : 0, depth);
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x) {
            const Rgba c = Scene(x, y);
            const double threshold = depth < 8 ? Bayer(x, y) : 0.5;
            o.samples.push_back(keyed && InDisc(x, y) ? 0 : Quantize(Luma(c), depth, threshold));
            if (alpha)
                o.samples.push_back(Quantize(c.a, depth));
        }
    if (keyed)
        o.transparency = std::vector<uint16_t>{0};
    return o;
}

// RGB (with alpha when asked), the disc in magenta as the key when keyed.
VxTestPngOptions Colour(uint8_t depth, bool alpha, bool keyed)
{
    VxTestPngOptions o = Options(alpha ? 6 : 2, depth);
    const uint16_t full = uint16_t((1u << depth) - 1);
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x) {
            const Rgba c = Scene(x, y);
            if (keyed && InDisc(x, y)) {
                o.samples.insert(o.samples.end(), {full, 0, full});
                continue;
            }
            o.samples.insert(o.samples.end(), {Quantize(c.r, depth), Quantize(c.g, depth), Quantize(c.b, depth)});
            if (alpha)
                o.samples.push_back(Quantize(c.a, depth));
        }
    if (keyed)
        o.transparency = std::vector<uint16_t>{full, 0, full};
    return o;
}

// A palette image: the colours of a 6 × 6 × 6 cube for 8 bits, bright and dark hues with
// black and white for fewer; each pixel takes the nearest entry (1 bit: black and white, dithered). With transparency the entries fade out
// along the palette, so the picture fades from left to right.
VxTestPngOptions Palette(uint8_t depth, bool transparent)
{
    VxTestPngOptions o = Options(3, depth);
    std::vector<Rgba> colours;
    if (depth == 8) {
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    colours.push_back({r / 5.0, g / 5.0, b / 5.0, 1.0});
    } else {
        colours.push_back({0, 0, 0, 1});
        colours.push_back({1, 1, 1, 1});
        const uint32_t hues = (1u << depth) - 2;
        for (uint32_t i = 0; i < hues; ++i) {
            // Bright and dark hues in turn, so the darker rows keep some colour.
            colours.push_back(Scene(i * kWidth / std::max(hues, 1u), i % 2 ? 0 : 130));
        }
    }
    for (const Rgba& c : colours)
        o.palette.insert(o.palette.end(), {uint8_t(c.r * 255 + 0.5), uint8_t(c.g * 255 + 0.5), uint8_t(c.b * 255 + 0.5)});
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x) {
            const Rgba c = Scene(x, y);
            if (depth == 1) {  // black and white: dithered
                o.samples.push_back(Quantize(Luma(c), 1, Bayer(x, y)));
                continue;
            }
            uint16_t best = 0;
            double bestDistance = 1e9;
            for (size_t i = 0; i < colours.size(); ++i) {
                const double d = std::pow(c.r - colours[i].r, 2) + std::pow(c.g - colours[i].g, 2) +
                                 std::pow(c.b - colours[i].b, 2);
                if (d < bestDistance)
                    bestDistance = d, best = uint16_t(i);
            }
            o.samples.push_back(best);
        }
    if (transparent) {
        std::vector<uint16_t> alphas;
        for (size_t i = 0; i < colours.size(); ++i)
            alphas.push_back(uint16_t(255 - 191 * i / std::max<size_t>(colours.size() - 1, 1)));
        o.transparency = alphas;
    }
    return o;
}

}  // namespace

VX_SAMPLES(Png)
{
    VxTestPngOptions interlaced = Colour(8, true, false);
    interlaced.interlace = true;
    const std::pair<const char*, VxTestPngOptions> kinds[] = {
        {"png-grey1.png", Grey(1, false, false)},
        {"png-grey2.png", Grey(2, false, false)},
        {"png-grey4.png", Grey(4, false, false)},
        {"png-grey8.png", Grey(8, false, false)},
        {"png-grey16.png", Grey(16, false, false)},
        {"png-grey8-trns.png", Grey(8, false, true)},
        {"png-grey16-trns.png", Grey(16, false, true)},
        {"png-rgb8.png", Colour(8, false, false)},
        {"png-rgb8-trns.png", Colour(8, false, true)},
        {"png-rgb16.png", Colour(16, false, false)},
        {"png-rgb16-trns.png", Colour(16, false, true)},
        {"png-palette1.png", Palette(1, false)},
        {"png-palette2.png", Palette(2, false)},
        {"png-palette4.png", Palette(4, false)},
        {"png-palette8.png", Palette(8, false)},
        {"png-palette2-trns.png", Palette(2, true)},
        {"png-palette8-trns.png", Palette(8, true)},
        {"png-greyalpha8.png", Grey(8, true, false)},
        {"png-greyalpha16.png", Grey(16, true, false)},
        {"png-rgba8.png", Colour(8, true, false)},
        {"png-rgba16.png", Colour(16, true, false)},
        {"png-rgba8-interlaced.png", interlaced},
    };
    VxSamples samples;
    for (const auto& [name, options] : kinds)
        samples.push_back({name, VxTest_WritePng(options)});
    return samples;
}
