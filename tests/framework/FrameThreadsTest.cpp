#include "TestFormat.h"
#include "tests/common/VxTest.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

struct Target {
    IVxReadVideoStream* stream;
    std::vector<uint8_t> expected;
};

// Runs threads that each read frames from the targets in turn, checking every byte.
int ReadConcurrently(const std::vector<Target>& targets, int threads, int rounds)
{
    std::atomic<int> failures = 0;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            std::vector<uint8_t> pixels;
            for (int r = 0; r < rounds; ++r) {
                const Target& target = targets[size_t(t + r) % targets.size()];
                if (VxTest_ReadFrame(target.stream, &pixels) != S_OK || pixels != target.expected)
                    ++failures;
            }
        });
    for (std::thread& worker : workers)
        worker.join();
    return failures;
}

class FrameThreadsTest : public ::testing::Test {
protected:
    IVxReadFile* Open(const VxTestImage& image)
    {
        m_files.push_back(std::make_unique<CVxTestTempFile>(VxTest_WriteTestImage(image)));
        HRESULT hr = E_FAIL;
        m_opened.push_back(VxTest_OpenTestFile(m_class.Get(), m_files.back()->Path(), &hr));
        EXPECT_EQ(hr, S_OK) << VxTest_Describe(hr);
        return m_opened.back().Get();
    }

    IVxReadVideoStream* Stream(IVxReadFile* file, int32_t index)
    {
        m_streams.push_back(VxTest_VideoStream(file, index));
        return m_streams.back().Get();
    }

    CVxComPtr<IVxReadFileClass> m_class = VxTest_CreateTestClass();
    std::vector<std::unique_ptr<CVxTestTempFile>> m_files;
    std::vector<CVxComPtr<IVxReadFile>> m_opened;
    std::vector<CVxComPtr<IVxReadVideoStream>> m_streams;
};

}  // namespace

TEST_F(FrameThreadsTest, ManyThreadsOnOneStream)
{
    const VxTestImage image = {.pixelType = kVxPixelBgr24, .width = 33, .height = 17, .seed = 3};
    IVxReadFile* file = Open(image);
    ASSERT_TRUE(file);
    EXPECT_EQ(ReadConcurrently({{Stream(file, 0), VxTest_TestPixels(image, 0)}}, 8, 40), 0);
    EXPECT_EQ(VxTest_TestFile(file)->m_decodes, 8 * 40);  // this pool keeps no frames
}

// The layer streams of one file re-enter their mutex inside GetFrame and share the file's
// buffer; the other files decode beside them.
TEST_F(FrameThreadsTest, ManyThreadsOnTheStreamsOfOneFileAndOnOtherFiles)
{
    const VxTestImage layered = {.pixelType = kVxPixelPalette8, .width = 21, .height = 9, .layers = 3,
                                 .seed = 4, .paletteCount = 200};
    IVxReadFile* file = Open(layered);
    ASSERT_TRUE(file);
    std::vector<Target> targets;
    for (int32_t i = 0; i < 4; ++i)
        targets.push_back({Stream(file, i), VxTest_TestWidened(layered, uint32_t(i))});
    const uint32_t types[] = {kVxPixelBgra64, kVxPixelGrey4, kVxPixelBgr24, kVxPixelPalette4};
    for (uint32_t i = 0; i < 4; ++i) {
        const VxTestImage image = {.pixelType = types[i], .width = int32_t(10 + i), .height = 7,
                                   .seed = 10 + i, .paletteCount = 9};
        file = Open(image);
        ASSERT_TRUE(file);
        const bool widened = types[i] == kVxPixelGrey4 || types[i] == kVxPixelPalette4;
        targets.push_back({Stream(file, 0), widened ? VxTest_TestWidened(image, 0) : VxTest_TestPixels(image, 0)});
    }
    EXPECT_EQ(ReadConcurrently(targets, 8, 40), 0);
}
