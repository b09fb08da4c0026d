// OpenEXR samples written with the OpenEXR library: one high-range scene (a colour sweep under
// a sky that brightens upwards, and a sun far brighter than white) stored as half and float
// RGBA, as luminance, as luminance with chroma, tiled, and with its data window moved off the
// display window, so previews are easy to compare by eye.
#include "Samples.h"

#include "tests/fixtures/ExrWriter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 270;

float Scene(int x, int y, int channel)
{
    if (channel == 3)
        return 1.0f;
    const float hue = 6.0f * float(x) / kWidth;
    const float h = std::fmod(hue + (channel == 0 ? 0.0f : channel == 1 ? 4.0f : 2.0f), 6.0f);
    const float colour = std::clamp(std::abs(h - 3.0f) - 1.0f, 0.0f, 1.0f);
    // Linear light: the sweep fades into a sky that reaches 2.0 at the top.
    const float sky = 2.0f * (1.0f - float(y) / kHeight);
    float value = colour * (1.0f - float(y) / kHeight) * 0.8f + (y < kHeight / 2 ? sky * 0.5f : 0.0f);
    const float dx = float(x - 360), dy = float(y - 60);
    const float distance = std::sqrt(dx * dx + dy * dy);
    if (distance < 24.0f)
        value = 40.0f;  // the sun
    else if (distance < 60.0f)
        value += 4.0f * (60.0f - distance) / 36.0f;  // its glow
    return value;
}

// The scene moved so that it still shows at the display window's place from a shifted origin.
float Shifted(int x, int y, int channel)
{
    return Scene(x + 40, y + 30, channel);
}

}  // namespace

VX_SAMPLES(Exr)
{
    const VxTestExrOptions scene = {.width = kWidth, .height = kHeight, .picture = Scene};
    VxTestExrOptions floatPiz = scene;
    floatPiz.type = VxTestExrType::Float;
    floatPiz.compression = 4;
    VxTestExrOptions luminance = scene;
    luminance.channels = VxTestExrChannels::Luminance;
    VxTestExrOptions chroma = scene;
    chroma.channels = VxTestExrChannels::LuminanceChroma;
    VxTestExrOptions tiled = scene;
    tiled.tileSize = 64;
    VxTestExrOptions offset = scene;
    offset.originX = -40;
    offset.originY = 30;
    offset.picture = Shifted;
    return {
        {"exr-half-rgba-zip.exr", VxTest_WriteExr(scene)},
        {"exr-float-rgba-piz.exr", VxTest_WriteExr(floatPiz)},
        {"exr-luminance.exr", VxTest_WriteExr(luminance)},
        {"exr-luminance-chroma.exr", VxTest_WriteExr(chroma)},
        {"exr-tiled.exr", VxTest_WriteExr(tiled)},
        {"exr-offset-window.exr", VxTest_WriteExr(offset)},
    };
}
