// Layered PSD samples, 8 and 16 bits per channel, PackBits: a background sweep, a soft disc
// with a transparency channel, a band with a layer mask that fades it, and a hidden layer
// (striped, left out of the merged image). The merged image is the visible layers laid over
// each other, so the composite preview and the layer previews can be compared by eye. Plus a
// greyscale and a CMYK document without layers.
#include "Samples.h"

#include "tests/fixtures/PsdWriter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint32_t kWidth = 320;
constexpr uint32_t kHeight = 200;

struct Pixel {
    double r, g, b, a;  // 0 to 1
};

struct SampleLayer {
    const char* name;
    int32_t top, left, bottom, right;
    bool hidden;
    bool masked;
    Pixel (*paint)(int32_t x, int32_t y);  // canvas coordinates
};

Pixel Background(int32_t x, int32_t y)
{
    return {double(x) / kWidth, 0.3 + 0.5 * y / kHeight, 1.0 - double(x) / kWidth, 1.0};
}

Pixel Disc(int32_t x, int32_t y)
{
    const double d = std::hypot(x - 110.0, y - 100.0);
    return {1.0, 0.85, 0.1, std::clamp((70.0 - d) / 10.0, 0.0, 1.0)};
}

Pixel Band(int32_t x, int32_t)
{
    return {0.1, 0.8, 0.3, 1.0 - 0.2 * ((x / 20) % 2)};
}

Pixel Stripes(int32_t x, int32_t y)
{
    return {0.9, 0.1, 0.6, ((x + y) / 8) % 2 ? 1.0 : 0.0};
}

// The band's mask: full on the left, fading out to the right.
double BandMask(int32_t x)
{
    return std::clamp(1.0 - (x - 150.0) / 150.0, 0.0, 1.0);
}

const SampleLayer kLayers[] = {
    {"Background", 0, 0, kHeight, kWidth, false, false, Background},
    {"Sun", 20, 30, 180, 190, false, false, Disc},
    {"Band (masked)", 130, -20, 170, 340, false, true, Band},
    {"Hidden stripes", 40, 200, 160, 300, true, false, Stripes},
};

VxTestPsdOptions Document(uint16_t depth)
{
    const uint32_t top = depth == 8 ? 255 : 65535;
    auto quantise = [&](double v) { return uint32_t(std::lround(std::clamp(v, 0.0, 1.0) * top)); };
    VxTestPsdOptions o{.depth = depth, .width = kWidth, .height = kHeight, .compression = 1};
    std::vector<Pixel> merged(size_t(kWidth) * kHeight, Pixel{0, 0, 0, 0});
    for (const SampleLayer& s : kLayers) {
        VxTestPsdLayer layer{.top = s.top, .left = s.left, .bottom = s.bottom, .right = s.right, .name = s.name,
                             .flags = uint8_t(s.hidden ? 2 : 0), .packBits = true};
        std::vector<uint32_t> planes[4];
        for (int32_t y = s.top; y < s.bottom; ++y)
            for (int32_t x = s.left; x < s.right; ++x) {
                const Pixel p = s.paint(x, y);
                planes[0].push_back(quantise(p.a));
                planes[1].push_back(quantise(p.r));
                planes[2].push_back(quantise(p.g));
                planes[3].push_back(quantise(p.b));
                if (s.hidden || x < 0 || y < 0 || x >= int32_t(kWidth) || y >= int32_t(kHeight))
                    continue;
                const double a = p.a * (s.masked ? BandMask(x) : 1.0);
                Pixel& m = merged[size_t(y) * kWidth + x];
                m = {p.r * a + m.r * (1 - a), p.g * a + m.g * (1 - a), p.b * a + m.b * (1 - a), 1.0};
            }
        const uint16_t ids[4] = {0xFFFF, 0, 1, 2};
        for (int c = 0; c < 4; ++c)
            layer.channels.push_back({ids[c], planes[c]});
        if (s.masked) {
            layer.mask = std::vector<int32_t>{s.top, 0, s.bottom, int32_t(kWidth)};
            std::vector<uint32_t> mask;
            for (int32_t y = s.top; y < s.bottom; ++y)
                for (int32_t x = 0; x < int32_t(kWidth); ++x)
                    mask.push_back(quantise(BandMask(x)));
            layer.channels.push_back({0xFFFE, mask});
        }
        o.layers.push_back(layer);
    }
    for (int c = 0; c < 3; ++c)
        for (const Pixel& p : merged)
            o.merged.push_back(quantise(c == 0 ? p.r : c == 1 ? p.g : p.b));
    return o;
}

}  // namespace

VX_SAMPLES(Psd)
{
    VxTestPsdOptions grey{.mode = 1, .depth = 16, .channels = 1, .width = kWidth, .height = kHeight};
    VxTestPsdOptions cmyk{.mode = 4, .channels = 4, .width = kWidth, .height = kHeight, .compression = 1};
    for (uint32_t c = 0; c < 4; ++c)
        for (uint32_t y = 0; y < kHeight; ++y)
            for (uint32_t x = 0; x < kWidth; ++x) {
                // Stored inverted: 255 is no ink. Cyan grows to the right, black downwards.
                const uint32_t ink = c == 0 ? x * 255 / kWidth : c == 3 ? y * 255 / kHeight : c == 1 ? 40 : 0;
                cmyk.merged.push_back(255 - ink);
                if (c == 0)
                    grey.merged.push_back((x + y) * 65535 / (kWidth + kHeight));
            }
    return {
        {"psd-layered8.psd", VxTest_WritePsd(Document(8))},
        {"psd-layered16.psd", VxTest_WritePsd(Document(16))},
        {"psd-grey16.psd", VxTest_WritePsd(grey)},
        {"psd-cmyk8.psd", VxTest_WritePsd(cmyk)},
    };
}
