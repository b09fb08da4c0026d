#include "TestFormat.h"
#include "framework/ImageSize.h"
#include "tests/common/VxTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

namespace {

class StillReadVideoStreamTest : public ::testing::Test {
protected:
    // Opens a test image and takes stream index of it.
    CVxComPtr<IVxReadVideoStream> Stream(const VxTestImage& image, int32_t index = 0)
    {
        m_opened.Reset();  // closes the previous file before its folder goes
        m_file = std::make_unique<CVxTestTempFile>(VxTest_WriteTestImage(image));
        HRESULT hr = E_FAIL;
        m_opened = VxTest_OpenTestFile(m_class.Get(), m_file->Path(), &hr);
        EXPECT_EQ(hr, S_OK) << VxTest_Describe(hr);
        return m_opened ? VxTest_VideoStream(m_opened.Get(), index) : CVxComPtr<IVxReadVideoStream>();
    }

    // Whether another thread can take the file mutex now (it would block if a failure had
    // left it held by this thread).
    bool FileMutexFree()
    {
        bool free = false;
        std::thread([&] {
            HANDLE mutex = VxTest_TestFile(m_opened.Get())->FileMutex();
            free = WaitForSingleObject(mutex, 0) == WAIT_OBJECT_0;
            if (free)
                ReleaseMutex(mutex);
        }).join();
        return free;
    }

    CVxComPtr<IVxReadFileClass> m_class = VxTest_CreateTestClass();
    std::unique_ptr<CVxTestTempFile> m_file;
    CVxComPtr<IVxReadFile> m_opened;
};

}  // namespace

TEST_F(StillReadVideoStreamTest, DeliversEveryPixelTypeByteForByte)
{
    const uint32_t types[] = {kVxPixelGrey1, kVxPixelGrey2, kVxPixelGrey4, kVxPixelGrey8,
                              kVxPixelGrey16, kVxPixelGreyFloat, kVxPixelPalette4, kVxPixelPalette8,
                              kVxPixelBgr24, kVxPixelBgrx32, kVxPixelBgra32, kVxPixelBgra64,
                              kVxPixelBgraFloat};
    for (uint32_t type : types) {
        const VxTestImage image = {.pixelType = type, .width = 7, .height = 3, .seed = type, .paletteCount = 11};
        CVxComPtr<IVxReadVideoStream> stream = Stream(image);
        ASSERT_TRUE(stream) << type;
        std::vector<uint8_t> pixels;
        VXFRAMEINFO frame = {};
        ASSERT_EQ(VxTest_ReadFrame(stream.Get(), &pixels, &frame), S_OK) << type;
        VXBITMAPINFO info;
        VxTest_TestBitmapInfo(image, &info, nullptr);
        EXPECT_EQ(frame.frameTime, 0);
        EXPECT_EQ(frame.scale, 1.0);
        if (info.header.biBitCount <= 8) {
            // Widened to 32 bits: no colour table, 4 bytes per pixel, no padding.
            EXPECT_EQ(frame.header.biBitCount, 32) << type;
            EXPECT_EQ(frame.header.biCompression, BI_RGB);
            EXPECT_EQ(frame.header.biClrUsed, 0u);
            EXPECT_EQ(frame.header.biSizeImage, 7u * 4 * 3);
            EXPECT_EQ(frame.stride, 28);
            EXPECT_EQ(pixels, VxTest_TestWidened(image, 0)) << type;
        } else {
            EXPECT_EQ(std::memcmp(&frame.header, &info.header, sizeof(BITMAPINFOHEADER)), 0) << type;
            EXPECT_EQ(frame.stride, int32_t(VxSize_Stride(info.header.biBitCount, 7))) << type;
            EXPECT_EQ(frame.stride % 4, 0);
            EXPECT_EQ(pixels, VxTest_TestPixels(image, 0)) << type;
        }
        EXPECT_EQ(frame.imageBytes, pixels.size());
    }
}

TEST_F(StillReadVideoStreamTest, FramePastTheEndAndSkippedFramesTouchNothing)
{
    CVxComPtr<IVxReadVideoStream> stream = Stream({});
    ASSERT_TRUE(stream);
    std::vector<uint8_t> memory(64, 0xCD);
    const _vxmemorytoken token = VxTest_LocalToken(memory.data(), 64);
    VXFRAMEINFO frame = {};
    uint32_t flags = 0;
    uint32_t bytes = 77;
    EXPECT_EQ(stream->GetFrame(1, 0, &flags, token, &frame, &bytes), VXE_END_OF_FILE);
    EXPECT_EQ(stream->GetFrame(0, 1, &flags, token, &frame, &bytes), VXE_END_OF_FILE);
    flags = kVxFrameFlagSkip;
    EXPECT_EQ(stream->GetFrame(0, 0, &flags, token, &frame, &bytes), S_FALSE);
    EXPECT_EQ(stream->GetFrameBufferSize(0, 0, &flags, &bytes), E_UNEXPECTED);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(memory, std::vector<uint8_t>(64, 0xCD));
    flags = 0;
    EXPECT_EQ(stream->GetFrame(0, 0, &flags, token, nullptr, nullptr), S_OK);  // no record needed
    EXPECT_EQ(std::vector<uint8_t>(memory.begin(), memory.begin() + 48), VxTest_TestPixels({}, 0));
}

TEST_F(StillReadVideoStreamTest, TooSmallTokensAndFailedDecodesGiveEverythingBack)
{
    const VxTestImage images[] = {{.pixelType = kVxPixelBgr24}, {.pixelType = kVxPixelPalette8}};
    for (const VxTestImage& image : images) {
        CVxComPtr<IVxReadVideoStream> stream = Stream(image);
        ASSERT_TRUE(stream);
        uint32_t flags = 0;
        uint32_t bytes = 0;
        ASSERT_EQ(stream->GetFrameBufferSize(0, 0, &flags, &bytes), S_OK);
        std::vector<uint8_t> memory(bytes, 0xCD);
        const HRESULT hr = stream->GetFrame(0, 0, &flags, VxTest_LocalToken(memory.data(), int32_t(bytes - 1)),
                                            nullptr, nullptr);
        EXPECT_EQ(hr, VXE_BUFFER_TOO_SMALL) << VxTest_Describe(hr);
        EXPECT_EQ(memory, std::vector<uint8_t>(bytes, 0xCD));
        EXPECT_TRUE(FileMutexFree());
        // Memory of a process that is gone, copied into or (widened) mapped: the delivery fails.
        _vxmemorytoken gone = VxTest_LocalToken(memory.data(), int32_t(bytes), kVxTokenKindMapping);
        gone.ownerProcessId = 0x7FFFFFF0;
        EXPECT_TRUE(FAILED(stream->GetFrame(0, 0, &flags, gone, nullptr, nullptr)));
        EXPECT_TRUE(FileMutexFree());
        std::vector<uint8_t> pixels;
        EXPECT_EQ(VxTest_ReadFrame(stream.Get(), &pixels), S_OK);
    }

    CVxComPtr<IVxReadVideoStream> stream = Stream({.failures = kVxTestFailDecode});
    ASSERT_TRUE(stream);
    std::vector<uint8_t> pixels;
    EXPECT_EQ(VxTest_ReadFrame(stream.Get(), &pixels), VXE_CORRUPT);
    EXPECT_TRUE(FileMutexFree());
    void* held = nullptr;
    EXPECT_EQ(VxTest_TestFile(m_opened.Get())->LoadFrame(&held), VXE_CORRUPT);  // no buffer left held
    EXPECT_EQ(held, nullptr);

    // A format that reports fewer image bytes than its header needs is never read past.
    stream = Stream({.failures = kVxTestShortImage});
    EXPECT_EQ(VxTest_ReadFrame(stream.Get(), &pixels), E_FAIL);
    EXPECT_TRUE(FileMutexFree());
}

TEST_F(StillReadVideoStreamTest, ClosedStreamsAnswerFileOpenUntilReopened)
{
    CVxComPtr<IVxReadVideoStream> stream = Stream({});
    ASSERT_TRUE(stream);
    std::vector<uint8_t> pixels;
    m_opened->Close();
    EXPECT_EQ(VxTest_ReadFrame(stream.Get(), &pixels), VXE_FILE_OPEN);
    ASSERT_EQ(m_opened->Open(0, 32), S_OK);
    EXPECT_EQ(VxTest_ReadFrame(stream.Get(), &pixels), S_OK);
    EXPECT_EQ(pixels, VxTest_TestPixels({}, 0));
}

TEST_F(StillReadVideoStreamTest, LayerStreamsAreMarkedAndDeliverTheirLayer)
{
    const VxTestImage image = {.pixelType = kVxPixelBgra32, .width = 3, .height = 2, .layers = 2, .seed = 5};
    CVxComPtr<IVxReadVideoStream> composite = Stream(image, 0);
    CVxComPtr<IVxReadVideoStream> layer = VxTest_VideoStream(m_opened.Get(), 2);
    ASSERT_TRUE(composite && layer);
    VXFILESTREAMFORMATINFOv2 record = {};
    ASSERT_EQ(composite->GetFormatInfo(&record), S_OK);
    EXPECT_EQ(record.extension.video.flags, 0u);
    ASSERT_EQ(layer->GetFormatInfo(&record), S_OK);
    EXPECT_EQ(record.extension.video.flags, 1u);

    std::vector<uint8_t> pixels;
    VXFRAMEINFO frame = {};
    ASSERT_EQ(VxTest_ReadFrame(layer.Get(), &pixels, &frame), S_OK);
    EXPECT_EQ(frame.extension.flags, 1u);
    EXPECT_EQ(pixels, VxTest_TestPixels(image, 2));
    ASSERT_EQ(VxTest_ReadFrame(composite.Get(), &pixels, &frame), S_OK);
    EXPECT_EQ(frame.extension.flags, 0u);
    EXPECT_EQ(pixels, VxTest_TestPixels(image, 0));

    // A stream without a layer interface of its own refuses layer requests.
    CVxStillReadVideoStream plain(VxTest_TestFile(m_opened.Get()));
    uint32_t count = 0;
    EXPECT_EQ(plain.GetLayerCount(&count), VXE_LAYERS_UNSUPPORTED);
    EXPECT_EQ(plain.GetLayerState(), S_OK);
}

TEST_F(StillReadVideoStreamTest, CheckFormatComparesThenFills)
{
    CVxComPtr<IVxReadVideoStream> stream = Stream({.width = 9});
    ASSERT_TRUE(stream);
    VXFILESTREAMFORMATINFOv2 record = {};
    EXPECT_EQ(stream->CheckFormat(&record), S_OK);  // an empty record matches anything
    EXPECT_EQ(record.format.video.biWidth, 9);
    EXPECT_EQ(stream->CheckFormat(&record), S_OK);  // the stream's own format
    record.format.video.biWidth = 10;
    EXPECT_EQ(stream->CheckFormat(&record), S_FALSE);
    EXPECT_EQ(record.format.video.biWidth, 9);
    record.extension.video.pixelAspect = 2.0;
    EXPECT_EQ(stream->CheckFormat(&record), S_FALSE);
}

TEST_F(StillReadVideoStreamTest, TimesNeedAFrameRate)
{
    CVxComPtr<IVxReadVideoStream> still = Stream({});
    ASSERT_TRUE(still);
    VXFRAMETIME times = {7, 7, 7};
    using Times = std::tuple<int64_t, int64_t, int64_t>;  // frame, start, duration
    auto fields = [&] { return Times(times.frame, times.start, times.duration); };
    EXPECT_EQ(still->TimeToFrame(0, &times), E_UNEXPECTED);
    EXPECT_EQ(fields(), Times(0, 0, 0));

    CVxComPtr<IVxReadVideoStream> stream = Stream({.frameRate = 25.0, .frameCount = 100});
    ASSERT_EQ(stream->TimeToFrame(0, &times), S_OK);
    EXPECT_EQ(fields(), Times(0, 0, 400000));
    ASSERT_EQ(stream->TimeToFrame(399999, &times), S_OK);
    EXPECT_EQ(fields(), Times(0, 0, 400000));
    ASSERT_EQ(stream->TimeToFrame(400000, &times), S_OK);
    EXPECT_EQ(fields(), Times(1, 400000, 400000));

    // At 30000/1001 frames per second only every third boundary is a whole number of ticks.
    // Frames tile the time line; the tick after a start belongs to that frame, and a start
    // that is exact maps back to its frame although the product lands a hair below it.
    stream = Stream({.frameRate = 30000.0 / 1001.0, .frameCount = 100});
    int64_t end = 0;
    for (int64_t f = 0; f < 3000; ++f) {
        ASSERT_EQ(stream->FrameToTime(f, &times), S_OK);
        ASSERT_EQ(times.frame, f);
        ASSERT_EQ(times.start, end) << "frame " << f;
        end = times.start + times.duration;
        const int64_t start = times.start;
        ASSERT_EQ(stream->TimeToFrame(start + 1, &times), S_OK);
        ASSERT_EQ(times.frame, f);
        if (f % 3 == 0) {
            ASSERT_EQ(start, f / 3 * 1001000);
            ASSERT_EQ(stream->TimeToFrame(start, &times), S_OK);
            ASSERT_EQ(times.frame, f);
        }
    }
    ASSERT_EQ(stream->FrameToTime(1, &times), S_OK);
    EXPECT_EQ(times.start, 333666);  // 1001/30000 s, cut to whole ticks
}
