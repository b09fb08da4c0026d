#include "host/FramePreview.h"
#include "tests/host/HostRun.h"

#include <gtest/gtest.h>

#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kDeep = VxFourCC('V', 'X', 'D', 'B');

// A frame record as GetFrameFormat writes it: bottom-up rows, stride rounded up to 4 bytes.
VXFRAMEINFO VxTest_Record(int32_t width, int32_t height, uint16_t bits, uint32_t compression)
{
    VXFRAMEINFO record = {};
    record.header.biSize = 40;
    record.header.biWidth = width;
    record.header.biHeight = height;
    record.header.biPlanes = 1;
    record.header.biBitCount = bits;
    record.header.biCompression = compression;
    record.stride = ((bits * width + 31) / 32) * 4;
    record.header.biSizeImage = uint32_t(record.stride) * uint32_t(std::abs(height));
    record.imageBytes = record.header.biSizeImage;
    return record;
}

std::vector<uint8_t> VxTest_FloatBytes(std::initializer_list<float> values)
{
    std::vector<uint8_t> bytes(values.size() * 4);
    std::memcpy(bytes.data(), values.begin(), bytes.size());
    return bytes;
}

// A 3 x 2 BGR frame, bottom row first: top row red, green, blue; bottom row white, grey, black.
const std::vector<uint8_t> kBgr3x2 = {255, 255, 255, 128, 128, 128, 0, 0, 0, 0, 0, 0,  // bottom row + padding
                                      0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0};
const std::vector<uint8_t> kTopFirstRgba = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255,
                                            255, 255, 255, 255, 128, 128, 128, 255, 0, 0, 0, 255};

TEST(FramePreview, FramesBecomeRgbaTopRowFirst)
{
    VXFRAMEINFO topDown = VxTest_Record(3, 2, 24, BI_RGB);  // as a top-origin TARGA frame comes
    topDown.stride = -12;
    topDown.bottomRowOffset = 12;
    std::vector<uint8_t> topFirst = kBgr3x2;
    std::rotate(topFirst.begin(), topFirst.begin() + 12, topFirst.end());
    const struct {
        const char* what;
        VXFRAMEINFO record;
        std::vector<uint8_t> bytes;
        std::vector<uint8_t> samples8;    // empty: a deep image with these 16-bit samples
        std::vector<uint16_t> samples16;
    } cases[] = {
        {"bottom-up rows", VxTest_Record(3, 2, 24, BI_RGB), kBgr3x2, kTopFirstRgba, {}},
        {"negative stride", topDown, topFirst, kTopFirstRgba, {}},
        // The fourth byte is alpha only when some pixel has one, or with the alpha format code.
        {"BGRx", VxTest_Record(2, 1, 32, BI_RGB), {10, 20, 30, 0, 40, 50, 60, 0}, {30, 20, 10, 255, 60, 50, 40, 255}, {}},
        {"BGRA", VxTest_Record(2, 1, 32, BI_RGB), {10, 20, 30, 0, 40, 50, 60, 9}, {30, 20, 10, 0, 60, 50, 40, 9}, {}},
        {"alpha code", VxTest_Record(2, 1, 32, kDeep), {10, 20, 30, 0, 40, 50, 60, 0}, {30, 20, 10, 0, 60, 50, 40, 0}, {}},
        // 4-bit grey 1, 15, 8 (high nibble first) widened like the module.
        {"grey", VxTest_Record(3, 1, 4, VxFourCC('V', 'X', 'G', 'S')), {0x1F, 0x80, 0, 0},
         {17, 17, 17, 255, 255, 255, 255, 255, 136, 136, 136, 255}, {}},
        {"64-bit", VxTest_Record(1, 1, 64, kDeep), {0x02, 0x01, 0x04, 0x03, 0x06, 0x05, 0xFF, 0xFF}, {},
         {0x0506, 0x0304, 0x0102, 0xFFFF}},
        {"float, clamped", VxTest_Record(1, 1, 128, kDeep), VxTest_FloatBytes({-1.0f, 0.5f, 2.0f, 1.0f}), {},
         {65535, 32768, 0, 65535}},
    };
    for (const auto& c : cases) {
        VxHostRgbaImage image;
        std::string error;
        ASSERT_TRUE(VxHost_FrameToRgba(c.record, c.bytes.data(), c.bytes.size(), image, error)) << c.what << error;
        EXPECT_EQ(image.width, uint32_t(c.record.header.biWidth)) << c.what;
        EXPECT_EQ(image.height, uint32_t(c.record.header.biHeight)) << c.what;
        EXPECT_EQ(image.deep, c.samples8.empty()) << c.what;
        EXPECT_EQ(image.samples8, c.samples8) << c.what;
        EXPECT_EQ(image.samples16, c.samples16) << c.what;
    }
}

TEST(FramePreview, RefusesRowsOutsideTheBytesAndPaletteFrames)
{
    VxHostRgbaImage image;
    std::string error;
    VXFRAMEINFO record = VxTest_Record(3, 2, 24, BI_RGB);
    EXPECT_FALSE(VxHost_FrameToRgba(record, kBgr3x2.data(), 20, image, error));  // top row cut
    record.stride = -12;
    record.bottomRowOffset = 16;  // the bottom row would end past the buffer
    EXPECT_FALSE(VxHost_FrameToRgba(record, kBgr3x2.data(), kBgr3x2.size(), image, error));
    record.bottomRowOffset = 0;   // the top row would start before it
    EXPECT_FALSE(VxHost_FrameToRgba(record, kBgr3x2.data(), kBgr3x2.size(), image, error));
    record = VxTest_Record(3, 2, 24, BI_RGB);
    record.stride = 8;            // shorter than a row of 9 bytes
    EXPECT_FALSE(VxHost_FrameToRgba(record, kBgr3x2.data(), kBgr3x2.size(), image, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(VxHost_FrameToRgba(VxTest_Record(4, 1, 8, BI_RGB), kBgr3x2.data(), 4, image, error));
    EXPECT_NE(error.find("8 bits per pixel"), std::string::npos) << error;
}

TEST(FramePreview, WrittenPngReadsBackAsTheSamePixels)
{
    CVxTempDir directory;
    for (bool deep : {false, true}) {
        VxHostRgbaImage image;
        image.width = 3;
        image.height = 2;
        image.deep = deep;
        for (uint32_t i = 0; i < 24; ++i) {
            // Opaque deep pixels: the simplified reader premultiplies linear samples by alpha.
            if (deep)
                image.samples16.push_back(i % 4 == 3 ? 65535 : uint16_t(i * 2711));
            else
                image.samples8.push_back(uint8_t(i * 11));
        }
        const std::string path = directory.Path(deep ? "deep.png" : "plain.png");
        std::string error;
        ASSERT_TRUE(VxHost_WritePng(path, image, error)) << error;

        uint32_t width = 0, height = 0;
        if (!deep) {
            EXPECT_EQ(VxTest_ReadPngRgba(path, &width, &height), image.samples8);
            EXPECT_EQ(width * height, 6u);
            continue;
        }
        // Without gamma chunks the simplified reader takes 16-bit samples as linear and hands
        // them back exactly as stored.
        png_image read = {};
        read.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&read, path.c_str())) << read.message;
        EXPECT_EQ(read.width * read.height, 6u);
        read.format = PNG_FORMAT_LINEAR_RGB_ALPHA;
        std::vector<uint16_t> samples(24);
        ASSERT_TRUE(png_image_finish_read(&read, nullptr, samples.data(), 0, nullptr));
        EXPECT_EQ(samples, image.samples16);
    }
}

TEST(FramePreview, PfmHoldsRedGreenBlueBottomRowFirst)
{
    // 1 x 2 float frame, bottom-up: bottom pixel B 1, G 2, R 3; top pixel B 4, G 5, R 6.
    const std::vector<uint8_t> bytes = VxTest_FloatBytes({1, 2, 3, 1, 4, 5, 6, 1});
    CVxTempDir directory;
    const std::string path = directory.Path("frame.pfm");
    std::string error;
    ASSERT_TRUE(VxHost_WritePfm(path, VxTest_Record(1, 2, 128, kDeep), bytes.data(), 32, error)) << error;
    const std::vector<uint8_t> file = VxTest_ReadBytes(path);
    const std::string header = "PF\n1 2\n-1.0\n";
    ASSERT_EQ(file.size(), header.size() + 24);
    EXPECT_EQ(std::string(file.begin(), file.begin() + long(header.size())), header);
    float values[6];
    std::memcpy(values, file.data() + header.size(), 24);
    EXPECT_EQ(std::vector<float>(values, values + 6), (std::vector<float>{3, 2, 1, 6, 5, 4}));

    EXPECT_FALSE(VxHost_WritePfm(path, VxTest_Record(1, 2, 24, BI_RGB), bytes.data(), 32, error));
}

TEST(FramePreview, ToneMappingBringsTheBrightestPixelToWhite)
{
    const VXFRAMEINFO record = VxTest_Record(2, 1, 128, kDeep);
    std::string error;
    VxHostRgbaImage image;
    for (const bool bright : {false, true}) {
        // Two pixels, B, G, R, A: mid grey and a highlight (four times brighter than white).
        const float white = bright ? 4.0f : 1.0f;
        std::vector<uint8_t> bytes = VxTest_FloatBytes({0.5f, 0.5f, 0.5f, 1.0f, white, white, white, 0.25f});
        ASSERT_TRUE(VxHost_ToneMapFloatFrame(record, bytes.data(), bytes.size(), error)) << error;
        ASSERT_TRUE(VxHost_FrameToRgba(record, bytes.data(), bytes.size(), image, error)) << error;
        // 0.5 in sRGB is 0.7354; under a white of 4.0 it is first compressed to 0.3438.
        EXPECT_NEAR(image.samples16[0], bright ? 0.6211 * 65535 : 0.7354 * 65535, 40) << bright;
        EXPECT_EQ(image.samples16[4], 65535) << bright;
        EXPECT_EQ(image.samples16[7], 16384);  // alpha as it was
    }
}

}  // namespace
