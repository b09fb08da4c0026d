// A test-only still format built on the framework the way the real formats are: a reader class,
// an open file with every hook, and a stream with a layer interface. Its files ("VXTF") carry
// only a description; the pixels are a function of position and seed, so every frame can be
// checked byte for byte.
#pragma once

#include "framework/ReadFileClass.h"
#include "framework/StillReadFile.h"
#include "framework/StillReadVideoStream.h"
#include "framework/VideoFormat.h"
#include "plugin/contracts/VxComPtr.h"
#include "tests/common/VxTest.h"

#include <atomic>
#include <string>
#include <vector>

// Failures a test file asks its reader to produce.
constexpr uint32_t kVxTestFailOpen = 1;        // OpenImageFile answers VXE_FILE_OPEN
constexpr uint32_t kVxTestFailInfo = 2;        // ReadImageInfo answers VXE_CORRUPT
constexpr uint32_t kVxTestFailDecode = 4;      // DecodeImage and DecodeLayer answer VXE_CORRUPT
constexpr uint32_t kVxTestTooManyColors = 8;   // ReadImageInfo reports 300 colours
constexpr uint32_t kVxTestShortImage = 16;     // ReadImageInfo reports one image byte too few

struct VxTestImage {
    uint32_t pixelType = kVxPixelBgr24;
    int32_t width = 5;
    int32_t height = 3;
    uint32_t layers = 0;
    uint32_t seed = 1;
    uint32_t failures = 0;
    uint32_t paletteCount = 0;  // palette types: entries used (0: all 2^bits)
    double frameRate = 0.0;
    uint32_t frameCount = 1;
};

// The file bytes of a test image.
std::vector<uint8_t> VxTest_WriteTestImage(const VxTestImage& image);
// The bitmap information and image bytes the reader reports.
HRESULT VxTest_TestBitmapInfo(const VxTestImage& image, VXBITMAPINFO* info, uint32_t* bytes);
// The pixels DecodeImage (layer 0) or DecodeLayer (layer n) writes.
std::vector<uint8_t> VxTest_TestPixels(const VxTestImage& image, uint32_t layer);
// The 32-bit frame the host receives for an image of 8 bits per pixel or fewer, computed
// independently of the widening code.
std::vector<uint8_t> VxTest_TestWidened(const VxTestImage& image, uint32_t layer);

extern const VXREADFILECLASSRECORD kVxTestRecord;

class CVxTestReadFileClass : public CVxStillReadFileClass {
public:
    CVxTestReadFileClass() : CVxStillReadFileClass(kVxTestRecord) {}
    HRESULT VXAPI CheckFileHeader(HANDLE file, const uint8_t* head, uint32_t headBytes,
                                  uint32_t reserved) override;
    CVxStillReadFile* CreateReadFile(CVxStillReadFileClass* owner) override;
};

class CVxTestReadFile : public CVxStillReadFile {
public:
    explicit CVxTestReadFile(CVxStillReadFileClass* owner);
    ~CVxTestReadFile() override;

    HRESULT OpenImageFile(const char16_t* path, uint32_t mode, uint32_t flags) override;
    HRESULT CloseImageFile() override;
    HRESULT ReadImageInfo(CVxStillFileInfo* info) override;
    HRESULT DecodeImage(void* pixels, uint32_t bytes) override;
    HRESULT GetLayerCount(uint32_t* count) override;
    HRESULT DecodeLayer(uint32_t layer, void* pixels, uint32_t bytes) override;
    CVxStillReadVideoStream* CreateReadVideoStream(CVxStillReadFile* owner) override;

    using CVxStillReadFile::FileMutex;

    static std::atomic<int> s_live;  // test files alive now
    std::atomic<int> m_decodes = 0;
    std::atomic<int> m_imageOpen = 0;  // OpenImageFile minus CloseImageFile of an open image

private:
    HRESULT Fill(uint32_t layer, void* pixels, uint32_t bytes);

    HANDLE m_handle = nullptr;
    VxTestImage m_image;
};

// A stream whose layer interface serves DecodeLayer frames, re-entering the stream mutex
// inside GetFrame as a layered reader does.
class CVxTestReadVideoStream : public CVxStillReadVideoStream {
public:
    using CVxStillReadVideoStream::CVxStillReadVideoStream;

    HRESULT VXAPI GetLayerState() override;
    HRESULT VXAPI LockLayerFrame(uint32_t layer, uint32_t frameLo, uint32_t frameHi, void** pixels,
                                 uint32_t* reserved, BITMAPINFOHEADER** header,
                                 tVXVIDEOEXTENSION** extension, uint64_t* frameTime,
                                 uint32_t flags, uint32_t ignored) override;
    HRESULT VXAPI UnlockLayerFrame(void* pixels) override;
};

// The host's side: a class object, files opened through it, frames into host memory.
CVxComPtr<IVxReadFileClass> VxTest_CreateTestClass();
CVxComPtr<IVxReadFile> VxTest_OpenTestFile(IVxReadFileClass* fileClass, const char16_t* path,
                                           HRESULT* result = nullptr);
// The test file object behind an interface of the test format.
CVxTestReadFile* VxTest_TestFile(IVxReadFile* file);
