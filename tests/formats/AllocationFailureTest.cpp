// Every allocation on the main paths fails once, in turn (the platform's fault switch): PNG
// open and decode, metadata reading, sidecar writing. Each run must end in a result code, leave
// no memory behind and, for a write, leave the previous sidecar as it was with no temporary file.
#include "platform/VxFault.h"
#include "platform/VxStr.h"
#include "plugin/contracts/VxComPtr.h"
#include "plugin/contracts/VxExports.h"
#include "support/Sidecar.h"
#include "tests/common/VxTest.h"
#include "tests/fixtures/PngWriter.h"
#include "tests/fixtures/SidecarWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace {

// Runs path with allocation N failing, for N = 1, 2, ... until a run makes fewer than N
// allocations. path answers its result; check sees every run's result and its N. Returns
// the number of allocations the path makes.
uint64_t FailEachAllocation(const std::function<HRESULT()>& path,
                            const std::function<void(HRESULT, uint64_t)>& check)
{
    EXPECT_EQ(path(), S_OK) << "the path must work without faults";  // and warms up statics
    for (uint64_t n = 1; n < 10000; ++n) {
        const size_t heap = VxTest_HeapBytesInUse();
        VxFault_FailAllocation(n);
        const HRESULT hr = path();
        const uint64_t made = VxFault_AllocationCount();
        VxFault_FailAllocation(0);
        EXPECT_EQ(VxTest_HeapBytesInUse(), heap)
            << "allocation " << n << " failing leaks";
        if (made < n) {
            EXPECT_EQ(hr, S_OK) << "no fault, yet " << VxTest_Describe(hr);
            return n - 1;
        }
        check(hr, n);
    }
    ADD_FAILURE() << "the path never completed";
    return 0;
}

TEST(AllocationFailure, PngOpenDecodeAndMetadataEndInAResultCode)
{
    CVxTempDir dir;
    const VxTestPngOptions png{.width = 9, .height = 4, .colorType = 3, .bitDepth = 4};
    const std::string path = dir.Path("pic.png");
    ASSERT_TRUE(VxTest_WriteBytes(path, VxTest_WritePng(png)));
    ASSERT_TRUE(VxTest_WriteBytes(path + ".vxl", VxTest_WriteSidecar(VxTest_Sidecar(
                                                     "pic.png", {{"INAM", "Harbour"}, {"ICMT", "dawn"}}))));
    const std::u16string widePath = VxStr_FromUtf8(path);
    const std::vector<uint8_t> expected = VxTest_PngExpectedWidened(png);

    const auto path_ = [&]() -> HRESULT {
        CVxComPtr<IVxReadFileClass> fileClass = VxTest_ClassObject<IVxReadFileClass>(CLSID_VxPngPlugin);
        if (!fileClass)
            return E_OUTOFMEMORY;
        CVxComPtr<IVxReadFile> file;
        VX_RETURN_IF_FAILED(fileClass->OpenReadFile(&file, 0, 0, widePath.c_str(), 1));
        CVxComPtr<IVxReadStream> stream;
        CVxComPtr<IVxReadVideoStream> video;
        VX_RETURN_IF_FAILED(file->GetStream(&stream, -1, 0, 0, 0));
        VX_RETURN_IF_FAILED(stream.As(video));
        std::vector<uint8_t> pixels;
        VX_RETURN_IF_FAILED(VxTest_ReadFrame(video.Get(), &pixels));
        if (pixels != expected)
            return E_UNEXPECTED;
        CVxComPtr<IVxReadMeta> meta;
        VX_RETURN_IF_FAILED(file->GetReadMeta(&meta));
        char16_t text[64] = {};
        VX_RETURN_IF_FAILED(meta->GetSummaryText(VxTest_FourCC("ICMT"), text, 64));
        return std::u16string(text) == u"dawn" ? S_OK : E_UNEXPECTED;
    };
    const uint64_t allocations = FailEachAllocation(path_, [](HRESULT hr, uint64_t n) {
        EXPECT_TRUE(FAILED(hr) || hr == S_OK) << n << ": " << VxTest_Describe(hr);
        EXPECT_NE(hr, E_UNEXPECTED) << "allocation " << n << " failing gave wrong pixels or text";
    });
    EXPECT_GT(allocations, 5u);
}

TEST(AllocationFailure, SidecarWriteKeepsThePreviousSidecar)
{
    CVxTempDir dir;
    const std::string media = dir.Path("photo.jpg");
    const std::u16string wideMedia = VxStr_FromUtf8(media);
    const std::vector<uint8_t> before = VxTest_WriteSidecar(VxTest_Sidecar("photo.jpg", {{"INAM", "old"}}));
    CVxTestMeta meta;
    meta.records = {{VxTest_FourCC("INAM"), u"new title"}, {VxTest_FourCC("ICMT"), u"a comment"}};
    const std::vector<uint8_t> after = VxTest_WriteSidecar(
        VxTest_Sidecar("photo.jpg", {{"INAM", "new title"}, {"ICMT", "a comment"}}));

    const auto write = [&]() -> HRESULT {
        VxTest_WriteBytes(media + ".vxl", before);
        return VxFMMeta_openAndWriteMetaStreamEx(wideMedia.c_str(), TRUE, nullptr, meta.Unknown(), 0, 1);
    };
    const uint64_t allocations = FailEachAllocation(write, [&](HRESULT hr, uint64_t n) {
        const std::vector<uint8_t> now = VxTest_ReadBytes(media + ".vxl");
        if (FAILED(hr)) {
            EXPECT_EQ(now, before) << "allocation " << n << ": " << VxTest_Describe(hr);
        } else {
            EXPECT_EQ(now, after) << "allocation " << n;
        }
        const std::filesystem::directory_iterator files(dir.Root());
        EXPECT_EQ(std::distance(files, {}), 1) << "allocation " << n << " left a temporary file";
    });
    EXPECT_EQ(VxTest_ReadBytes(media + ".vxl"), after);
    EXPECT_GT(allocations, 2u);
}

}  // namespace
