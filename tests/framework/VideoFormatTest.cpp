#include "framework/ImageSize.h"
#include "framework/StillFileInfo.h"
#include "framework/VideoFormat.h"
#include "tests/common/VxTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

TEST(VideoFormat, InitBitmapInfoRefusesWhatNoFrameCanHold)
{
    VXBITMAPINFO info;
    uint32_t bytes = 7;
    const RGBQUAD palette[17] = {};
    EXPECT_EQ(VxVideo_InitBitmapInfo(&info, 25, 5, 3, nullptr, 0, &bytes), E_INVALIDARG);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(VxVideo_InitBitmapInfo(&info, kVxPixelBgr24, 0, 3, nullptr, 0, &bytes), E_INVALIDARG);
    EXPECT_EQ(VxVideo_InitBitmapInfo(&info, kVxPixelBgr24, 5, 0, nullptr, 0, &bytes), E_INVALIDARG);
    EXPECT_EQ(VxVideo_InitBitmapInfo(&info, kVxPixelPalette8, 5, 3, nullptr, 0, &bytes), E_INVALIDARG);
    EXPECT_EQ(VxVideo_InitBitmapInfo(&info, kVxPixelPalette4, 5, 3, palette, 17, &bytes), E_INVALIDARG);
    // 65535 x 65535 pixels of 64 bits: the 32-bit product would wrap to a small size.
    EXPECT_EQ(VxVideo_InitBitmapInfo(&info, kVxPixelBgra64, 65535, 65535, nullptr, 0, &bytes), E_OUTOFMEMORY);
    EXPECT_EQ(VxVideo_InitBitmapInfo(&info, kVxPixelBgr24, 0x7FFFFFFF, 1, nullptr, 0, &bytes), E_OUTOFMEMORY);
}

TEST(VideoFormat, ImageSizeFollowsTheYuvLayouts)
{
    BITMAPINFOHEADER h = {};
    h.biWidth = 5;
    h.biHeight = -3;
    h.biBitCount = 16;
    h.biCompression = VxFourCC('U', 'Y', 'V', 'Y');
    EXPECT_EQ(VxVideo_ImageSize(h), 3u * 3 * 4);
    h.biCompression = VxFourCC('v', '2', '1', '0');
    EXPECT_EQ(VxVideo_ImageSize(h), 3u * 128);
    h.biCompression = VxFourCC('I', '4', '2', '0');
    EXPECT_EQ(VxVideo_ImageSize(h), 15u + 2 * 3 * 2);
    h.biCompression = BI_RGB;
    h.biBitCount = 24;
    EXPECT_EQ(VxVideo_ImageSize(h), 16u * 3);
    EXPECT_EQ(VxSize_Image(1, 0x7FFFFFFF, 0x7FFFFFFF), uint64_t(0x10000000) * 0x7FFFFFFF);
}

TEST(VideoFormat, FillStreamFormatInfoKeepsALargerRecordSize)
{
    uint8_t bytes[256];
    std::memset(bytes, 0x5A, sizeof(bytes));
    auto* record = reinterpret_cast<VXFILESTREAMFORMATINFOv2*>(bytes);
    record->size = 200;
    EXPECT_EQ(VxFio_FillStreamFormatInfo(nullptr, 9, record), E_INVALIDARG);
    EXPECT_EQ(record->size, 200u);
    EXPECT_EQ(record->streamType, 9u);
    for (int i = 8; i < 200; ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
    EXPECT_EQ(bytes[200], 0x5A);

    std::memset(bytes, 0x5A, sizeof(bytes));
    record->size = 0;
    EXPECT_EQ(VxFio_FillStreamFormatInfo(nullptr, kVxStreamTypeEmpty, record), S_OK);
    for (int i = 0; i < 184; ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
    EXPECT_EQ(bytes[184], 0x5A);
    EXPECT_EQ(VxFio_FillStreamFormatInfo(nullptr, kVxStreamTypeVideo, record), E_POINTER);
}

TEST(VideoFormat, SetStreamFormatInfoWritesTheVideoRecord)
{
    // An uninitialised out record of a host: its size word says nothing about its capacity.
    uint8_t bytes[256];
    std::memset(bytes, 0x5A, sizeof(bytes));
    VXFILESTREAMFORMATINFOv2& record = *reinterpret_cast<VXFILESTREAMFORMATINFOv2*>(bytes);
    BITMAPINFOHEADER header = {};
    header.biWidth = 7;
    tVXVIDEOEXTENSION extension;
    VxVideo_InitVideoExtension(&extension, 0.0, -2.0);
    ASSERT_EQ(VxFio_SetStreamFormatInfo(&record, &header, &extension, 0), S_OK);
    EXPECT_EQ(record.size, 184u);
    EXPECT_EQ(record.streamType, kVxStreamTypeVideo);
    EXPECT_EQ(record.length, 0);
    EXPECT_EQ(record.reserved1, 0u);
    EXPECT_EQ(record.format.video.biWidth, 7);
    EXPECT_EQ(record.extension.video.size, 64u);
    EXPECT_EQ(record.extension.video.word1, 0xFFFFFFFFu);
    EXPECT_EQ(record.extension.video.interlaceType, 0xFFFFFFFFu);
    EXPECT_EQ(record.extension.video.pixelAspect, 1.0);
    EXPECT_EQ(record.format.audio[95], 0);
    EXPECT_EQ(bytes[184], 0x5A) << "nothing is written past the record";
}

TEST(StillFileInfo, CopyTakesExactlyTheColourTable)
{
    CVxStillFileInfo from;
    for (int i = 0; i < 256; ++i)
        from.m_bitmapInfo.colors[i] = {uint8_t(i), 1, 2, 3};
    from.m_bitmapInfo.header.biClrUsed = 2;
    from.m_imageBytes = 99;
    from.m_frameCount = 4;
    from.m_layerValue = 7;
    std::memcpy(from.m_compression, u"Inflate", sizeof(u"Inflate"));
    CVxStillFileStreamInfo to;
    std::memset(to.m_bitmapInfo.colors, 0xEE, sizeof(to.m_bitmapInfo.colors));
    ASSERT_EQ(to.CopyFrom(from), S_OK);
    EXPECT_EQ(to.m_bitmapInfo.colors[1].rgbBlue, 1);
    EXPECT_EQ(to.m_bitmapInfo.colors[2].rgbBlue, 0);  // beyond the colours used: cleared
    EXPECT_EQ(to.m_imageBytes, 99u);
    EXPECT_EQ(to.m_frameCount, 4u);
    EXPECT_EQ(to.m_layerValue, 7);
    EXPECT_EQ(std::u16string(to.m_compression), u"Inflate");

    from.m_bitmapInfo.header.biCompression = BI_BITFIELDS;
    from.m_bitmapInfo.header.biClrUsed = 0;
    ASSERT_EQ(to.CopyFrom(from), S_OK);
    EXPECT_EQ(to.m_bitmapInfo.colors[2].rgbBlue, 2);  // the third mask
    EXPECT_EQ(to.m_bitmapInfo.colors[3].rgbBlue, 0);

    from.m_bitmapInfo.header.biCompression = BI_RGB;
    from.m_bitmapInfo.header.biClrUsed = 257;
    EXPECT_EQ(to.CopyFrom(from), E_INVALIDARG);
}
