#include "host/FramePreview.h"
#include "tests/fixtures/ExrWriter.h"
#include "tests/host/HostRun.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// The whole road through vxhost: the EXR plug-in reads the file, and the host writes it out
// again as OpenEXR (the same pixels as the library reads from the original), as PFM and as a
// tone-mapped PNG.
TEST(VxhostExr, DecodesAnExrIntoExrPfmAndPng)
{
    CVxTestDirectory directory;
    const VxTestExrOptions options = {.width = 9, .height = 4, .originX = 2, .originY = -1, .scale = 8.0f};
    const std::vector<uint8_t> original = VxTest_WriteExr(options);
    ASSERT_TRUE(VxTest_WriteFile(directory.Path("in.exr"), original));

    for (const char* output : {"out.exr", "out.pfm", "out.png"}) {
        const VxTestHostRun run = VxTest_RunHost({"decode", directory.Path("in.exr"), "-o", directory.Path(output)});
        ASSERT_EQ(run.exitCode, 0) << output << ": " << run.err;
        EXPECT_FALSE(VxTest_ReadFile(directory.Path(output)).empty()) << output;
    }
    const std::vector<float> expected = VxTest_ReadExrRgba(original);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(VxTest_ReadExrRgba(VxTest_ReadFile(directory.Path("out.exr"))), expected);
}

TEST(VxhostExr, ToneMappingBringsTheBrightestPixelToWhite)
{
    // Two pixels, B, G, R, A: mid grey and a highlight four times brighter than white.
    const float pixels[8] = {0.5f, 0.5f, 0.5f, 1.0f, 4.0f, 4.0f, 4.0f, 0.25f};
    std::vector<uint8_t> bytes(sizeof pixels);
    VXFRAMEINFO record = {};
    record.header.biWidth = 2, record.header.biHeight = 1, record.header.biBitCount = 128;
    record.header.biCompression = VxFourCC('V', 'X', 'D', 'B');
    record.stride = 32;
    std::string error;
    VxHostRgbaImage image;
    for (const bool bright : {false, true}) {
        std::memcpy(bytes.data(), pixels, sizeof pixels);
        if (!bright)
            std::fill_n(reinterpret_cast<float*>(bytes.data()) + 4, 3, 1.0f);  // white is 1.0
        ASSERT_TRUE(VxHost_ToneMapFloatFrame(record, bytes.data(), bytes.size(), error)) << error;
        ASSERT_TRUE(VxHost_FrameToRgba(record, bytes.data(), bytes.size(), image, error)) << error;
        // 0.5 in sRGB is 0.7354; under a white of 4.0 it is first compressed to 0.3438.
        EXPECT_NEAR(image.samples16[0], bright ? 0.6211 * 65535 : 0.7354 * 65535, 40) << bright;
        EXPECT_EQ(image.samples16[4], 65535) << bright;
        EXPECT_EQ(image.samples16[7], 16384);  // alpha as it was
    }
}

}  // namespace
