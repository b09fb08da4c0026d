// JPEG samples: colour (baseline 4:2:0), greyscale, progressive, and one carrying EXIF tags
// (Make, Model, DateTime, Artist, Flash), all of the same picture: a hue sweep darkening
// downwards with a white ring.
#include "Samples.h"

#include "tests/fixtures/JpegWriter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint32_t kWidth = 320;
constexpr uint32_t kHeight = 200;

std::vector<uint8_t> Picture(int components)
{
    std::vector<uint8_t> samples;
    samples.reserve(size_t(kWidth) * kHeight * components);
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; ++x) {
            const double hue = 6.0 * x / kWidth;
            const double value = 1.0 - 0.7 * y / kHeight;
            auto channel = [&](double offset) {
                const double h = std::fmod(hue + offset, 6.0);
                return value * std::clamp(std::abs(h - 3.0) - 1.0, 0.0, 1.0);
            };
            double rgb[3] = {channel(0.0), channel(4.0), channel(2.0)};
            const double ring = std::hypot(x - 160.0, y - 100.0);
            if (ring > 60.0 && ring < 72.0)
                rgb[0] = rgb[1] = rgb[2] = 1.0;
            if (components == 1) {
                samples.push_back(uint8_t(std::lround(255 * (0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2]))));
                continue;
            }
            for (double c : rgb)
                samples.push_back(uint8_t(std::lround(255 * c)));
        }
    }
    return samples;
}

std::vector<uint8_t> ExifTiff()
{
    return VxTest_WriteTiff(false,
                            {VxTest_TiffAscii(271, "Vx Camera Works"), VxTest_TiffAscii(272, "Vx One"),
                             VxTest_TiffAscii(306, "2026:12:06 03:00:00"), VxTest_TiffAscii(315, "The demo")},
                            {VxTest_TiffAscii(36867, "2026:12:06 02:59:58"), VxTest_TiffShort(false, 37385, 0x0001)});
}

}  // namespace

VX_SAMPLES(Jpeg)
{
    const std::vector<uint8_t> colour = Picture(3);
    return {
        {"jpeg-colour.jpg", VxTest_WriteJpeg({.width = kWidth, .height = kHeight, .samples = colour})},
        {"jpeg-grey.jpg", VxTest_WriteJpeg({.width = kWidth, .height = kHeight, .components = 1, .samples = Picture(1)})},
        {"jpeg-progressive.jpg",
         VxTest_WriteJpeg({.width = kWidth, .height = kHeight, .progressive = true, .samples = colour})},
        {"jpeg-exif.jpg", VxTest_WriteJpeg({.width = kWidth, .height = kHeight,
                                            .segments = {{0xE1, VxTest_ExifPayload(ExifTiff())}}, .samples = colour})},
    };
}
