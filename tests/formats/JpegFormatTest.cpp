#include "formats/jpeg/JpegFormat.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/JpegWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Offset of the first byte after a marker (FF xx) in a file, or 0.
size_t FindMarker(const std::vector<uint8_t>& jpeg, uint8_t marker)
{
    for (size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == marker)
            return i + 2;
    return 0;
}

}  // namespace

TEST(JpegFormat, FramesEqualLibjpegsOwnDecodeBottomRowFirst)
{
    struct Case {
        VxTestJpegOptions options;
        uint32_t stride;
    };
    const Case cases[] = {
        {{.width = 5, .height = 3, .components = 1}, 8},     // grey: 5 bytes and 3 of padding
        {{.width = 3, .height = 2, .components = 3}, 12},    // colour: 9 bytes and 3 of padding
        {{.width = 37, .height = 29, .components = 3, .progressive = true}, 112},
        {{.width = 40, .height = 33, .components = 1, .progressive = true}, 40},
        {{.width = 66, .height = 17, .components = 3, .quality = 50, .jfif = false}, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.options.width) + " x " + std::to_string(c.options.height));
        const std::vector<uint8_t> jpeg = VxTest_WriteJpeg(c.options);
        std::vector<uint8_t> reference;
        uint32_t width = 0, height = 0, components = 0;
        ASSERT_TRUE(VxTest_DecodeJpegReference(jpeg, &reference, &width, &height, &components));
        VxJpegImage image;
        CVxGlobalBlock frame;
        const HRESULT hr = VxJpeg_DecodeBytes(jpeg.data(), jpeg.size(), ~0ull, &image, &frame);
        ASSERT_EQ(hr, S_OK) << VxTest_Describe(hr);
        EXPECT_EQ(image.stride, c.stride);
        EXPECT_EQ(image.pixelType, components == 1 ? 20u : 27u);
        const std::vector<uint8_t> expected = VxTest_JpegFrameFromReference(reference, width, height, components);
        ASSERT_EQ(frame.Size(), expected.size());
        EXPECT_EQ(std::memcmp(frame.Get(), expected.data(), expected.size()), 0);
    }
}

// CMYK is refused, foreign heads are not claimed, bad headers give read errors, and frames too
// large for 32 bits or the caller's limit are refused before anything is allocated.
TEST(JpegFormat, RefusesCmykBadHeadersAndHugeFrames)
{
    const std::vector<uint8_t> cmyk = VxTest_WriteJpeg({.components = 4});
    VxJpegImage image;
    CVxGlobalBlock frame;
    EXPECT_EQ(VxJpeg_DecodeBytes(cmyk.data(), cmyk.size(), ~0ull, &image, &frame), VXE_CORRUPT);
    EXPECT_FALSE(frame);
    EXPECT_EQ(VxJpeg_CheckFileHeader(cmyk.data(), 3), S_OK);
    EXPECT_EQ(VxJpeg_CheckFileHeader(cmyk.data(), 2), VXE_FILE_READ);
    const uint8_t notJpeg[] = {0xFF, 0xD8, 0x00};
    EXPECT_EQ(VxJpeg_CheckFileHeader(notJpeg, 3), VXE_FILE_READ);
    EXPECT_EQ(VxJpeg_CheckFileHeader(nullptr, 3), VXE_FILE_READ);
    const uint8_t garbage[] = {0xFF, 0xD8, 0xFF, 0x12, 0x34, 0x56, 0x78, 0x9A};
    EXPECT_EQ(VxJpeg_DecodeBytes(garbage, sizeof garbage, ~0ull, &image, &frame), VXE_FILE_READ);
    EXPECT_EQ(VxJpeg_DecodeBytes(garbage, 0, ~0ull, &image, &frame), VXE_FILE_READ);  // empty

    // 65500 × 65500 colour pixels: the frame's size does not fit 32 bits.
    std::vector<uint8_t> huge = VxTest_WriteJpeg({});
    const size_t sof = FindMarker(huge, 0xC0);
    ASSERT_NE(sof, 0u);
    for (size_t at : {sof + 3, sof + 5}) {
        huge[at] = 0xFF;
        huge[at + 1] = 0xDC;
    }
    EXPECT_EQ(VxJpeg_DecodeBytes(huge.data(), huge.size(), ~0ull, &image, &frame), E_OUTOFMEMORY);
    EXPECT_FALSE(frame);
    // The caller's own limit holds too.
    const std::vector<uint8_t> small = VxTest_WriteJpeg({.width = 64, .height = 64});
    EXPECT_EQ(VxJpeg_DecodeBytes(small.data(), small.size(), 64 * 64 * 3 - 1, &image, &frame), E_OUTOFMEMORY);
}

// A file cut anywhere after its header decodes as libjpeg's recovery decides, or fails when
// libjpeg reports an error; a cut before the first scan's data fails.
TEST(JpegFormat, TruncatedFilesDecodeAsLibjpegRecovers)
{
    for (bool progressive : {false, true}) {
        const std::vector<uint8_t> whole =
            VxTest_WriteJpeg({.width = 24, .height = 24, .progressive = progressive});
        const size_t sos = FindMarker(whole, 0xDA);
        ASSERT_NE(sos, 0u);
        const size_t scan = sos + size_t(whole[sos] << 8 | whole[sos + 1]);  // the first scan's data
        for (size_t cut = 2; cut < whole.size(); cut += cut < scan ? 7 : 3) {
            SCOPED_TRACE("cut at " + std::to_string(cut) + (progressive ? ", progressive" : ""));
            const std::vector<uint8_t> bytes(whole.begin(), whole.begin() + long(cut));
            VxJpegImage image;
            CVxGlobalBlock frame;
            const HRESULT hr = VxJpeg_DecodeBytes(bytes.data(), bytes.size(), ~0ull, &image, &frame);
            if (cut < scan) {  // libjpeg may fill a cut header with the inserted end marker
                EXPECT_TRUE(hr == VXE_FILE_READ || hr == VXE_CORRUPT) << VxTest_Describe(hr);
                continue;
            }
            std::vector<uint8_t> reference;
            uint32_t w = 0, h = 0, c = 0;
            if (!VxTest_DecodeJpegReference(bytes, &reference, &w, &h, &c)) {
                EXPECT_EQ(hr, VXE_CORRUPT) << VxTest_Describe(hr);
                continue;
            }
            ASSERT_EQ(hr, S_OK) << VxTest_Describe(hr);
            const std::vector<uint8_t> expected = VxTest_JpegFrameFromReference(reference, w, h, c);
            EXPECT_TRUE(std::memcmp(frame.Get(), expected.data(), expected.size()) == 0);
        }
    }
}
