#include "host/FramePreview.h"
#include "tests/host/HostRun.h"

#include <gtest/gtest.h>

#include <png.h>

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

// A 3 x 2 BGR frame, bottom row first: top row red, green, blue; bottom row white, grey, black.
std::vector<uint8_t> VxTest_Bgr3x2()
{
    return {255, 255, 255, 128, 128, 128, 0, 0, 0, 0, 0, 0,   // bottom row + 3 padding bytes
            0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0};        // top row + padding
}

const std::vector<uint8_t> kTopFirstRgba = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255,
                                            255, 255, 255, 255, 128, 128, 128, 255, 0, 0, 0, 255};

VxHostRgbaImage VxTest_Convert(const VXFRAMEINFO& record, const std::vector<uint8_t>& bytes)
{
    VxHostRgbaImage image;
    std::string error;
    EXPECT_TRUE(VxHost_FrameToRgba(record, bytes.data(), bytes.size(), image, error)) << error;
    return image;
}

TEST(FramePreview, BottomUpRowsComeOutTopRowFirst)
{
    const VxHostRgbaImage image = VxTest_Convert(VxTest_Record(3, 2, 24, BI_RGB), VxTest_Bgr3x2());
    EXPECT_EQ(image.width, 3u);
    EXPECT_EQ(image.height, 2u);
    EXPECT_FALSE(image.deep);
    EXPECT_EQ(image.samples8, kTopFirstRgba);
}

TEST(FramePreview, NegativeStrideStartsAtTheBottomRowOffset)
{
    // Top row first in memory, as a top-origin TARGA frame is delivered.
    std::vector<uint8_t> bytes = VxTest_Bgr3x2();
    std::rotate(bytes.begin(), bytes.begin() + 12, bytes.end());
    VXFRAMEINFO record = VxTest_Record(3, 2, 24, BI_RGB);
    record.stride = -12;
    record.bottomRowOffset = 12;
    EXPECT_EQ(VxTest_Convert(record, bytes).samples8, kTopFirstRgba);
}

TEST(FramePreview, RefusesRowsOutsideTheDeliveredBytes)
{
    std::vector<uint8_t> bytes = VxTest_Bgr3x2();
    VxHostRgbaImage image;
    std::string error;
    VXFRAMEINFO record = VxTest_Record(3, 2, 24, BI_RGB);
    EXPECT_FALSE(VxHost_FrameToRgba(record, bytes.data(), 20, image, error));  // top row cut
    record.stride = -12;
    record.bottomRowOffset = 16;  // the bottom row would end past the buffer
    EXPECT_FALSE(VxHost_FrameToRgba(record, bytes.data(), bytes.size(), image, error));
    record.bottomRowOffset = 0;   // the top row would start before it
    EXPECT_FALSE(VxHost_FrameToRgba(record, bytes.data(), bytes.size(), image, error));
    record = VxTest_Record(3, 2, 24, BI_RGB);
    record.stride = 8;            // shorter than a row of 9 bytes
    EXPECT_FALSE(VxHost_FrameToRgba(record, bytes.data(), bytes.size(), image, error));
    EXPECT_FALSE(error.empty());
}

TEST(FramePreview, FourthByteIsAlphaOnlyWhenItCarriesSomething)
{
    std::vector<uint8_t> bytes = {10, 20, 30, 0, 40, 50, 60, 0};  // 2 x 1 BGRx, padding zero
    EXPECT_EQ(VxTest_Convert(VxTest_Record(2, 1, 32, BI_RGB), bytes).samples8,
              (std::vector<uint8_t>{30, 20, 10, 255, 60, 50, 40, 255}));
    bytes[7] = 9;  // one pixel with alpha: the fourth byte is alpha everywhere
    EXPECT_EQ(VxTest_Convert(VxTest_Record(2, 1, 32, BI_RGB), bytes).samples8,
              (std::vector<uint8_t>{30, 20, 10, 0, 60, 50, 40, 9}));
    bytes[7] = 0;  // the alpha format code: zero alpha is transparent
    EXPECT_EQ(VxTest_Convert(VxTest_Record(2, 1, 32, kDeep), bytes).samples8,
              (std::vector<uint8_t>{30, 20, 10, 0, 60, 50, 40, 0}));
}

TEST(FramePreview, DeepFramesKeepSixteenBitSamples)
{
    // One 64-bit pixel: B 0x0102, G 0x0304, R 0x0506, A 0xFFFF, little-endian.
    const std::vector<uint8_t> bytes = {0x02, 0x01, 0x04, 0x03, 0x06, 0x05, 0xFF, 0xFF};
    const VxHostRgbaImage image = VxTest_Convert(VxTest_Record(1, 1, 64, kDeep), bytes);
    ASSERT_TRUE(image.deep);
    EXPECT_EQ(image.samples16, (std::vector<uint16_t>{0x0506, 0x0304, 0x0102, 0xFFFF}));
}

TEST(FramePreview, FloatFramesAreClampedToTheUnitRange)
{
    const float pixel[4] = {-1.0f, 0.5f, 2.0f, 1.0f};  // B, G, R, A
    std::vector<uint8_t> bytes(16);
    std::memcpy(bytes.data(), pixel, 16);
    const VxHostRgbaImage image = VxTest_Convert(VxTest_Record(1, 1, 128, kDeep), bytes);
    ASSERT_TRUE(image.deep);
    EXPECT_EQ(image.samples16, (std::vector<uint16_t>{65535, 32768, 0, 65535}));
}

TEST(FramePreview, GreyFramesWidenLikeTheModule)
{
    // 4-bit grey, 3 pixels: values 1, 15, 8 (two pixels in the first byte, high nibble first).
    const std::vector<uint8_t> bytes = {0x1F, 0x80, 0, 0};
    const VxHostRgbaImage image =
        VxTest_Convert(VxTest_Record(3, 1, 4, VxFourCC('V', 'X', 'G', 'S')), bytes);
    EXPECT_EQ(image.samples8,
              (std::vector<uint8_t>{17, 17, 17, 255, 255, 255, 255, 255, 136, 136, 136, 255}));
}

TEST(FramePreview, RefusesPaletteFramesItCannotShow)
{
    const std::vector<uint8_t> bytes(4);
    VxHostRgbaImage image;
    std::string error;
    EXPECT_FALSE(VxHost_FrameToRgba(VxTest_Record(4, 1, 8, BI_RGB), bytes.data(), 4, image, error));
    EXPECT_NE(error.find("8 bits per pixel"), std::string::npos) << error;
}

TEST(FramePreview, WrittenPngReadsBackAsTheSamePixels)
{
    CVxTestDirectory directory;
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

        png_image read = {};
        read.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&read, path.c_str())) << read.message;
        EXPECT_EQ(read.width, 3u);
        EXPECT_EQ(read.height, 2u);
        if (deep) {
            // Without gamma chunks the simplified reader takes 16-bit samples as linear and
            // hands them back exactly as stored.
            read.format = PNG_FORMAT_LINEAR_RGB_ALPHA;
            std::vector<uint16_t> samples(24);
            ASSERT_TRUE(png_image_finish_read(&read, nullptr, samples.data(), 0, nullptr));
            EXPECT_EQ(samples, image.samples16);
        } else {
            read.format = PNG_FORMAT_RGBA;
            std::vector<uint8_t> samples(24);
            ASSERT_TRUE(png_image_finish_read(&read, nullptr, samples.data(), 0, nullptr));
            EXPECT_EQ(samples, image.samples8);
        }
    }
}

TEST(FramePreview, PfmHoldsRedGreenBlueBottomRowFirst)
{
    // 1 x 2 float frame, bottom-up: bottom pixel B 1, G 2, R 3; top pixel B 4, G 5, R 6.
    const float pixels[8] = {1, 2, 3, 1, 4, 5, 6, 1};
    std::vector<uint8_t> bytes(32);
    std::memcpy(bytes.data(), pixels, 32);
    CVxTestDirectory directory;
    const std::string path = directory.Path("frame.pfm");
    std::string error;
    ASSERT_TRUE(VxHost_WritePfm(path, VxTest_Record(1, 2, 128, kDeep), bytes.data(), 32, error))
        << error;
    const std::vector<uint8_t> file = VxTest_ReadFile(path);
    const std::string header = "PF\n1 2\n-1.0\n";
    ASSERT_EQ(file.size(), header.size() + 24);
    EXPECT_EQ(std::string(file.begin(), file.begin() + long(header.size())), header);
    float values[6];
    std::memcpy(values, file.data() + header.size(), 24);
    EXPECT_EQ(std::vector<float>(values, values + 6), (std::vector<float>{3, 2, 1, 6, 5, 4}));

    EXPECT_FALSE(VxHost_WritePfm(path, VxTest_Record(1, 2, 24, BI_RGB), bytes.data(), 32, error));
}

}  // namespace
