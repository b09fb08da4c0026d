// The PNG reader through the module's class factory, as a host drives it. The decoding itself
// is pinned at the format layer (PngFormatTest); here: the glue from file to stream header,
// frame and host memory, failures at the right step, and many threads on real files.
#include "formats/png/PngFormat.h"
#include "plugin/contracts/VxComPtr.h"
#include "plugin/contracts/VxExports.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/PngWriter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

CVxComPtr<IVxReadFileClass> PngClass()
{
    return VxTest_ClassObject<IVxReadFileClass>(CLSID_VxPngPlugin);
}

// One case per way to the host: widened (8 bits or fewer), 24-bit, deep, deep from a colour key.
struct PngCase {
    VxTestPngOptions png;
    uint16_t bitCount;     // of the stream's header
    uint32_t compression;  // of the stream's header
};

TEST(PngReader, DeliversEachWayToTheHost)
{
    CVxComPtr<IVxReadFileClass> fileClass = PngClass();
    ASSERT_TRUE(fileClass);
    VxTestPngOptions keyed{.width = 7, .height = 5, .colorType = 2, .bitDepth = 8, .interlace = true};
    const std::vector<uint16_t> samples = VxTest_PngSamples(keyed);
    keyed.transparency = std::vector<uint16_t>(samples.begin() + 3, samples.begin() + 6);
    const PngCase cases[] = {
        {{.width = 7, .height = 5, .colorType = 3, .bitDepth = 2}, 4, BI_RGB},
        {{.width = 7, .height = 5, .colorType = 0, .bitDepth = 4, .interlace = true}, 4, kVxCompressionGrey},
        {{.width = 7, .height = 5, .colorType = 2, .bitDepth = 8}, 24, BI_RGB},
        {{.width = 7, .height = 5, .colorType = 6, .bitDepth = 16}, 64, kVxCompressionDeepBgra},
        {keyed, 32, kVxCompressionDeepBgra},
    };
    for (const PngCase& c : cases) {
        SCOPED_TRACE("colour type " + std::to_string(c.png.colorType) + ", depth " +
                     std::to_string(c.png.bitDepth));
        CVxTestTempFile file(VxTest_WritePng(c.png));
        CVxComPtr<IVxReadFile> opened;
        HRESULT hr = fileClass->OpenReadFile(&opened, 0, 0, file.Path(), 1);
        ASSERT_EQ(hr, S_OK) << VxTest_Describe(hr);
        VXFILESTREAMFORMATINFOv2 format = {};
        format.size = sizeof format;
        ASSERT_EQ(opened->GetStreamFormats(&format, 0, 1), S_OK);
        const BITMAPINFOHEADER& header = format.format.video;
        EXPECT_EQ(header.biWidth, 7);
        EXPECT_EQ(header.biHeight, 5);
        EXPECT_EQ(header.biBitCount, c.bitCount);
        EXPECT_EQ(header.biCompression, c.compression);
        EXPECT_EQ(format.extension.video.flags, c.compression == kVxCompressionDeepBgra ? 1u : 0u);
        char16_t text[64] = {};
        EXPECT_EQ(opened->GetDescription(text, 64, 0, 1), S_OK);
        EXPECT_EQ(std::u16string(text), u"Inflate compression");

        // Frames repeat, and survive closing and opening the file again.
        const std::vector<uint8_t> expected = c.bitCount <= 8 ? VxTest_PngExpectedWidened(c.png)
                                                              : VxTest_PngExpectedFrame(c.png, c.bitCount);
        for (int round = 0; round < 2; ++round) {
            CVxComPtr<IVxReadVideoStream> stream = VxTest_VideoStream(opened.Get());
            ASSERT_TRUE(stream);
            for (int i = 0; i < 2; ++i) {
                std::vector<uint8_t> pixels;
                hr = VxTest_ReadFrame(stream.Get(), &pixels);
                ASSERT_EQ(hr, S_OK) << VxTest_Describe(hr);
                EXPECT_EQ(pixels, expected) << round << i;
            }
            EXPECT_EQ(opened->Close(), S_OK);
            ASSERT_EQ(opened->Open(0, 32), S_OK);
        }
        CVxComPtr<IVxReadLayer> layer;
        ASSERT_EQ(VxTest_VideoStream(opened.Get()).As(layer), S_OK);
        uint32_t layers = 0;
        EXPECT_EQ(layer->GetLayerCount(&layers), VXE_LAYERS_UNSUPPORTED);
    }
}

TEST(PngReader, BadFilesFailAtOpenOrAtTheFrame)
{
    CVxComPtr<IVxReadFileClass> fileClass = PngClass();
    ASSERT_TRUE(fileClass);
    const std::vector<uint8_t> png = VxTest_WritePng({.width = 40, .height = 30, .colorType = 6, .bitDepth = 8});
    EXPECT_EQ(fileClass->CheckFileHeader(nullptr, png.data(), 7, 0), VXE_FILE_READ);
    const uint8_t bitmap[8] = {'B', 'M', 0x36, 0, 0, 0, 0, 0};
    EXPECT_EQ(fileClass->CheckFileHeader(nullptr, bitmap, 8, 0), VXE_FILE_OPEN);

    // Cut inside IHDR: the header step fails, so does Open.
    CVxTestTempFile header(std::vector<uint8_t>(png.begin(), png.begin() + 20));
    CVxComPtr<IVxReadFile> opened;
    EXPECT_EQ(fileClass->OpenReadFile(&opened, 0, 0, header.Path(), 1), E_FAIL);
    EXPECT_FALSE(opened);
    EXPECT_EQ(fileClass->CheckFile(header.Path()), E_FAIL);

    // Cut inside the image data: the file opens, its frame fails, and the next request fails
    // the same way (nothing was left held).
    CVxTestTempFile data(std::vector<uint8_t>(png.begin(), png.end() - 40));
    ASSERT_EQ(fileClass->OpenReadFile(&opened, 0, 0, data.Path(), 1), S_OK);
    CVxComPtr<IVxReadVideoStream> stream = VxTest_VideoStream(opened.Get());
    ASSERT_TRUE(stream);
    std::vector<uint8_t> pixels;
    EXPECT_EQ(VxTest_ReadFrame(stream.Get(), &pixels), E_FAIL);
    EXPECT_EQ(VxTest_ReadFrame(stream.Get(), &pixels), E_FAIL);
    opened.Reset();
    EXPECT_EQ(fileClass->OpenReadFile(&opened, 0, 0, u"/nonexistent/vx.png", 1), VXE_FILE_READ);
}

// The file shrinks, or loses its data, after Open: the frame fails with a clean code, and a
// file restored to its bytes decodes again.
TEST(PngReader, FileThatShrinksAfterOpenFailsTheFrameCleanly)
{
    const VxTestPngOptions o{.width = 64, .height = 48, .colorType = 2, .bitDepth = 8};
    const std::vector<uint8_t> png = VxTest_WritePng(o);
    CVxTestTempFile file(png);
    CVxComPtr<IVxReadFile> opened;
    ASSERT_EQ(PngClass()->OpenReadFile(&opened, 0, 0, file.Path(), 1), S_OK);
    CVxComPtr<IVxReadVideoStream> stream = VxTest_VideoStream(opened.Get());
    ASSERT_TRUE(stream);
    std::vector<uint8_t> pixels;
    for (const size_t keep : {png.size() / 2, size_t(33), size_t(0)}) {
        file.Write(std::vector<uint8_t>(png.begin(), png.begin() + ptrdiff_t(keep)));
        const HRESULT hr = VxTest_ReadFrame(stream.Get(), &pixels);
        EXPECT_TRUE(FAILED(hr)) << keep << " bytes left: " << VxTest_Describe(hr);
    }
    file.Write(png);
    ASSERT_EQ(VxTest_ReadFrame(stream.Get(), &pixels), S_OK);
    EXPECT_EQ(pixels, VxTest_PngExpectedFrame(o, 24));
}

// The real reader from many threads: one stream shared, and a file of its own per thread, with
// the first use of one file's metadata object raced as well.
TEST(PngReader, ConcurrentDecodesOfSharedAndOwnFiles)
{
    const VxTestPngOptions shared{.width = 61, .height = 40, .colorType = 6, .bitDepth = 8, .interlace = true};
    const VxTestPngOptions own{.width = 50, .height = 33, .colorType = 3, .bitDepth = 4};
    CVxTestTempFile sharedFile(VxTest_WritePng(shared));
    CVxTestTempFile ownFile(VxTest_WritePng(own));
    CVxComPtr<IVxReadFileClass> fileClass = PngClass();
    ASSERT_TRUE(fileClass);
    CVxComPtr<IVxReadFile> opened;
    ASSERT_EQ(fileClass->OpenReadFile(&opened, 0, 0, sharedFile.Path(), 1), S_OK);
    CVxComPtr<IVxReadVideoStream> stream = VxTest_VideoStream(opened.Get());
    ASSERT_TRUE(stream);
    const std::vector<uint8_t> sharedExpected = VxTest_PngExpectedFrame(shared, 32);
    const std::vector<uint8_t> ownExpected = VxTest_PngExpectedWidened(own);
    std::atomic<int> failures = 0;
    std::atomic<IVxReadMeta*> firstMeta = nullptr;
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&] {
            CVxComPtr<IVxReadMeta> meta;
            IVxReadMeta* expectedMeta = nullptr;
            if (opened->GetReadMeta(&meta) != S_OK ||
                (!firstMeta.compare_exchange_strong(expectedMeta, meta.Get()) && expectedMeta != meta.Get()))
                ++failures;
            CVxComPtr<IVxReadFile> mine;
            if (fileClass->OpenReadFile(&mine, 0, 0, ownFile.Path(), 1) != S_OK) {
                ++failures;
                return;
            }
            CVxComPtr<IVxReadVideoStream> myStream = VxTest_VideoStream(mine.Get());
            std::vector<uint8_t> pixels;
            for (int i = 0; i < 4; ++i) {
                if (VxTest_ReadFrame(stream.Get(), &pixels) != S_OK || pixels != sharedExpected)
                    ++failures;
                if (!myStream || VxTest_ReadFrame(myStream.Get(), &pixels) != S_OK || pixels != ownExpected)
                    ++failures;
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
}

}  // namespace
