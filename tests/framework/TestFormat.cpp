// The test-only still format.
#include "TestFormat.h"

#include "framework/ImageSize.h"
#include "platform/VxOwners.h"
#include "platform/VxStr.h"
#include "platform/VxWin32.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint8_t kMagic[4] = {'V', 'X', 'T', 'F'};
constexpr uint32_t kFileBytes = sizeof kMagic + sizeof(VxTestImage);

struct PixelLayout {
    uint32_t bits = 0;
    bool palette = false;
};

PixelLayout LayoutOf(uint32_t pixelType)
{
    switch (pixelType) {
    case kVxPixelGrey1: return {1};
    case kVxPixelGrey2: return {2};
    case kVxPixelGrey4: return {4};
    case kVxPixelGrey8: return {8};
    case kVxPixelGrey16: return {16};
    case kVxPixelGreyFloat: return {32};
    case kVxPixelPalette4: return {4, true};
    case kVxPixelPalette8: return {8, true};
    case kVxPixelBgr24: return {24};
    case kVxPixelBgrx32:
    case kVxPixelBgra32: return {32};
    case kVxPixelBgra64: return {64};
    case kVxPixelBgraFloat: return {128};
    default: return {};
    }
}

uint32_t PaletteCount(const VxTestImage& image)
{
    const PixelLayout layout = LayoutOf(image.pixelType);
    return image.paletteCount ? image.paletteCount : 1u << layout.bits;
}

RGBQUAD PaletteEntry(uint32_t i)
{
    return {uint8_t(i * 3), uint8_t(255 - i), uint8_t(i * 7), uint8_t(i & 1 ? 0x80 : 0)};
}

// The sample at (x, y) of a palette or grey image: a palette index or a grey level.
uint32_t IndexAt(const VxTestImage& image, uint32_t seed, uint32_t x, uint32_t y)
{
    const PixelLayout layout = LayoutOf(image.pixelType);
    if (layout.palette)
        return (x + 3 * y + seed) % PaletteCount(image);
    return (5 * x + 3 * y + seed) & ((1u << layout.bits) - 1);
}

uint32_t SeedOf(const VxTestImage& image, uint32_t layer)
{
    return image.seed + layer * 101;
}

}  // namespace

std::vector<uint8_t> VxTest_WriteTestImage(const VxTestImage& image)
{
    std::vector<uint8_t> out(kFileBytes);
    std::memcpy(out.data(), kMagic, sizeof kMagic);
    std::memcpy(out.data() + sizeof kMagic, &image, sizeof image);
    return out;
}

HRESULT VxTest_TestBitmapInfo(const VxTestImage& image, VXBITMAPINFO* info, uint32_t* bytes)
{
    RGBQUAD palette[256] = {};
    const PixelLayout layout = LayoutOf(image.pixelType);
    const uint32_t count = layout.palette ? std::min(PaletteCount(image), 256u) : 0;
    for (uint32_t i = 0; i < count; ++i)
        palette[i] = PaletteEntry(i);
    return VxVideo_InitBitmapInfo(info, image.pixelType, image.width, image.height,
                                  count ? palette : nullptr, count, bytes);
}

std::vector<uint8_t> VxTest_TestPixels(const VxTestImage& image, uint32_t layer)
{
    const PixelLayout layout = LayoutOf(image.pixelType);
    const uint32_t width = uint32_t(image.width);
    const uint32_t rows = uint32_t(std::abs(image.height));
    const size_t stride = (size_t(layout.bits) * width + 31) / 32 * 4;
    const uint32_t seed = SeedOf(image, layer);
    std::vector<uint8_t> pixels(stride * rows, 0);
    for (uint32_t y = 0; y < rows; ++y) {
        uint8_t* row = pixels.data() + y * stride;
        for (uint32_t x = 0; x < width; ++x) {
            if (layout.bits <= 8) {
                const uint32_t perByte = 8 / layout.bits;
                const uint32_t shift = 8 - layout.bits * (x % perByte + 1);
                row[x / perByte] |= uint8_t(IndexAt(image, seed, x, y) << shift);
            } else {
                const uint32_t pixelBytes = layout.bits / 8;
                for (uint32_t k = 0; k < pixelBytes; ++k)
                    row[x * pixelBytes + k] = uint8_t(7 * x + 13 * y + 29 * k + seed);
            }
        }
    }
    return pixels;
}

std::vector<uint8_t> VxTest_TestWidened(const VxTestImage& image, uint32_t layer)
{
    const PixelLayout layout = LayoutOf(image.pixelType);
    const uint32_t width = uint32_t(image.width);
    const uint32_t rows = uint32_t(std::abs(image.height));
    const uint32_t seed = SeedOf(image, layer);
    std::vector<uint8_t> pixels(size_t(width) * 4 * rows);
    for (uint32_t y = 0; y < rows; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* out = pixels.data() + (size_t(y) * width + x) * 4;
            const uint32_t value = IndexAt(image, seed, x, y);
            if (layout.palette) {
                const RGBQUAD entry = PaletteEntry(value);
                out[0] = entry.rgbBlue;
                out[1] = entry.rgbGreen;
                out[2] = entry.rgbRed;
                out[3] = entry.rgbReserved;
            } else {
                const uint8_t level = uint8_t(value * 255 / ((1u << layout.bits) - 1));
                out[0] = out[1] = out[2] = level;
                out[3] = 0;
            }
        }
    return pixels;
}

// The JPEG reader's texts and string ids, under class ids of its own.
const VXREADFILECLASSRECORD kVxTestRecord = {
    u"JPEG", u"Joint Picture Experts Group", u"*.jpg;*.jpe;*.jpeg", 426, 423, 2, 0,
    {0x7E570001, 0x0001, 0x0001, {0x80, 0, 0, 0, 0, 0, 0, 1}},
    {0x7E570002, 0x0002, 0x0002, {0x80, 0, 0, 0, 0, 0, 0, 2}},
};

HRESULT VXAPI CVxTestReadFileClass::CheckFileHeader(HANDLE, const uint8_t* head, uint32_t headBytes, uint32_t)
{
    if (!head || headBytes < sizeof(kMagic))
        return VXE_FILE_READ;
    return std::memcmp(head, kMagic, sizeof(kMagic)) == 0 ? S_OK : VXE_FILE_OPEN;
}

CVxStillReadFile* CVxTestReadFileClass::CreateReadFile(CVxStillReadFileClass* owner)
{
    return new CVxTestReadFile(owner);
}

std::atomic<int> CVxTestReadFile::s_live = 0;

CVxTestReadFile::CVxTestReadFile(CVxStillReadFileClass* owner) : CVxStillReadFile(owner)
{
    ++s_live;
}

CVxTestReadFile::~CVxTestReadFile()
{
    CloseImageFile();
    --s_live;
}

HRESULT CVxTestReadFile::OpenImageFile(const char16_t* path, uint32_t, uint32_t)
{
    CVxHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return VXE_FILE_OPEN;
    uint8_t head[kFileBytes] = {};
    DWORD read = 0;
    if (!ReadFile(file.Get(), head, kFileBytes, &read, nullptr) || read != kFileBytes ||
        std::memcmp(head, kMagic, sizeof(kMagic)) != 0)
        return VXE_FILE_OPEN;
    VxTestImage image;
    std::memcpy(&image, head + sizeof kMagic, sizeof image);
    if (image.failures & kVxTestFailOpen)
        return VXE_FILE_OPEN;
    m_image = image;
    m_handle = file.Detach();
    m_imageOpen = 1;
    return S_OK;
}

HRESULT CVxTestReadFile::CloseImageFile()
{
    if (CVxHandle::IsValid(m_handle))
        CloseHandle(m_handle);
    m_handle = nullptr;
    m_imageOpen = 0;
    return S_OK;
}

HRESULT CVxTestReadFile::ReadImageInfo(CVxStillFileInfo* info)
{
    if (m_image.failures & kVxTestFailInfo)
        return VXE_CORRUPT;
    uint32_t bytes = 0;
    VX_RETURN_IF_FAILED(VxTest_TestBitmapInfo(m_image, &info->m_bitmapInfo, &bytes));
    info->m_imageBytes = m_image.failures & kVxTestShortImage ? bytes - 1 : bytes;
    if (m_image.failures & kVxTestTooManyColors)
        info->m_bitmapInfo.header.biClrUsed = 300;
    info->m_frameRate = m_image.frameRate;
    info->m_extension.frameRate = m_image.frameRate;
    info->m_frameCount = m_image.frameCount;
    return S_OK;
}

HRESULT CVxTestReadFile::DecodeImage(void* pixels, uint32_t bytes)
{
    return Fill(0, pixels, bytes);
}

HRESULT CVxTestReadFile::GetLayerCount(uint32_t* count)
{
    if (m_image.layers == 0)
        return VXE_LAYERS_UNSUPPORTED;
    *count = m_image.layers;
    return S_OK;
}

HRESULT CVxTestReadFile::DecodeLayer(uint32_t layer, void* pixels, uint32_t bytes)
{
    return Fill(layer, pixels, bytes);
}

CVxStillReadVideoStream* CVxTestReadFile::CreateReadVideoStream(CVxStillReadFile* owner)
{
    return new CVxTestReadVideoStream(owner);
}

HRESULT CVxTestReadFile::Fill(uint32_t layer, void* pixels, uint32_t bytes)
{
    ++m_decodes;
    const std::vector<uint8_t> image = VxTest_TestPixels(m_image, layer);
    if (m_image.failures & kVxTestFailDecode) {
        std::memset(pixels, 0xAB, std::min<size_t>(bytes, image.size()));  // a half-written frame
        return VXE_CORRUPT;
    }
    std::memcpy(pixels, image.data(), std::min<size_t>(bytes, image.size()));
    return S_OK;
}

HRESULT VXAPI CVxTestReadVideoStream::GetLayerState()
{
    return S_FALSE;
}

HRESULT VXAPI CVxTestReadVideoStream::LockLayerFrame(uint32_t layer, uint32_t, uint32_t, void** pixels,
                                                     uint32_t*, BITMAPINFOHEADER** header,
                                                     tVXVIDEOEXTENSION** extension, uint64_t* frameTime,
                                                     uint32_t flags, uint32_t)
{
    if (!pixels)
        return E_POINTER;
    *pixels = nullptr;
    if (flags & kVxFrameFlagSkip)
        return S_FALSE;
    CVxMutexLock lock(Mutex());  // inside GetFrame this re-enters the stream mutex
    VX_RETURN_IF_FAILED(m_owner->LoadLayerFrame(layer, pixels));
    // The file mutex stays held until UnlockLayerFrame.
    if (header)
        *header = &m_info.m_bitmapInfo.header;
    if (extension)
        *extension = &m_info.m_extension;
    if (frameTime)
        *frameTime = 0;
    return S_OK;
}

HRESULT VXAPI CVxTestReadVideoStream::UnlockLayerFrame(void*)
{
    m_owner->ReleaseFrame();
    return S_OK;
}

CVxComPtr<IVxReadFileClass> VxTest_CreateTestClass()
{
    CVxComPtr<IVxReadFileClass> fileClass;
    if (auto* made = new CVxTestReadFileClass())
        made->QueryInterface(IID_IVxReadFileClass, fileClass.OutVoid());
    return fileClass;
}

CVxComPtr<IVxReadFile> VxTest_OpenTestFile(IVxReadFileClass* fileClass, const char16_t* path, HRESULT* result)
{
    CVxComPtr<IVxReadFile> file;
    const HRESULT hr = fileClass->OpenReadFile(&file, 0, 0, path, TRUE);
    if (result)
        *result = hr;
    return file;
}

CVxTestReadFile* VxTest_TestFile(IVxReadFile* file)
{
    return static_cast<CVxTestReadFile*>(file);
}
