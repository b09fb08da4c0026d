// Layered PSD documents on the still reader framework.
#include "PsdReader.h"

#include "../../framework/VideoFormat.h"
#include "../../platform/VxStr.h"
#include "../../plugin/ClassTable.h"
#include "../../plugin/Language.h"
#include "../../plugin/Module.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kStringOpenPsd = 431;        // "Open PSD"
constexpr uint32_t kStringPsdName = 433;        // "Photoshop"
constexpr uint32_t kStringUncompressed = 435;   // every document, PackBits ones included
constexpr uint32_t kExtensionLayered = 2;       // the extension's flag word: a layered document
constexpr uint32_t kLayerInfoName = 0;
constexpr uint32_t kLayerInfoRectangle = 1;
constexpr uint32_t kLockQueryOnly = 2;          // LockLayerFrame flags bit: answer S_FALSE at once

const VXREADFILECLASSRECORD kPsdRecord = {
    u"Photoshop", u"Photoshop", u"*.psd", kStringOpenPsd, kStringPsdName,
    kVxStreamTypeVideo, 0, CLSID_VxPsdReader, CLSID_VxPsdRenderer,
};

// Reads the file at an offset through its handle; a short count means its end or an error.
size_t ReadAt(void* context, uint64_t offset, uint8_t* buffer, size_t bytes)
{
    const HANDLE file = static_cast<HANDLE>(context);
    LONG high = LONG(offset >> 32);
    SetLastError(0);  // a position whose low half is all ones is no failure
    if (SetFilePointer(file, LONG(uint32_t(offset)), &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != 0)
        return 0;
    size_t done = 0;
    while (done < bytes) {
        const DWORD wanted = DWORD(std::min<size_t>(bytes - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(file, buffer + done, wanted, &got, nullptr) || got == 0)
            break;
        done += got;
    }
    return done;
}

}  // namespace

CVxReadFileClassBase* VxLayeredPsd_CreateReadFileClass()
{
    return new CVxLayeredPsdReadFileClass();
}

CVxLayeredPsdReadFileClass::CVxLayeredPsdReadFileClass() : CVxStillReadFileClass(kPsdRecord) {}

CVxLayeredPsdReadFileClass::~CVxLayeredPsdReadFileClass() = default;

HRESULT VXAPI CVxLayeredPsdReadFileClass::CheckFileHeader(HANDLE, const uint8_t* head, uint32_t headBytes,
                                                          uint32_t)
{
    return VxPsd_CheckSignature(head, headBytes);
}

CVxStillReadFile* CVxLayeredPsdReadFileClass::CreateReadFile(CVxStillReadFileClass* owner)
{
    return new CVxLayeredPsdReadFile(owner);
}

CVxLayeredPsdReadFile::CVxLayeredPsdReadFile(CVxStillReadFileClass* owner) : CVxStillReadFile(owner) {}

CVxLayeredPsdReadFile::~CVxLayeredPsdReadFile() = default;

// Always decodes, even when the pool says its buffer already holds the frame: the buffer may
// hold a layer of the same size.
HRESULT CVxLayeredPsdReadFile::LoadFrame(void** pixels)
{
    return LoadFrameWith(pixels, true);
}

HRESULT CVxLayeredPsdReadFile::OpenImageFile(const char16_t* path, uint32_t, uint32_t)
{
    CloseImageFile();
    if (!path)
        return E_FAIL;
    m_file = CVxHandle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!m_file)
        return E_FAIL;
    const HRESULT hr = VxPsd_Parse(Source(), &m_document);
    if (FAILED(hr)) {
        m_file.Reset();
        return hr == E_OUTOFMEMORY ? hr : E_FAIL;
    }
    return S_OK;
}

HRESULT CVxLayeredPsdReadFile::CloseImageFile()
{
    m_file.Reset();
    return S_OK;
}

HRESULT CVxLayeredPsdReadFile::ReadImageInfo(CVxStillFileInfo* info)
{
    VxPsdFrameFormat format;
    VX_RETURN_IF_FAILED(VxPsd_ChooseFormat(m_document, &format));
    RGBQUAD palette[256];
    const bool indexed = format.pixelType == kVxPixelPalette8;
    if (indexed)
        VX_RETURN_IF_FAILED(VxPsd_ReadPalette(Source(), m_document, palette));

    VXBITMAPINFO bitmap = {};
    uint32_t imageBytes = 0;
    const VxPsdHeader& h = m_document.header;
    // Canvas sizes beyond 2^31 - 1 are no bitmap width or height.
    if (h.width > 0x7FFFFFFFu || h.height > 0x7FFFFFFFu)
        return E_INVALIDARG;
    VX_RETURN_IF_FAILED(VxVideo_InitBitmapInfo(&bitmap, format.pixelType, int32_t(h.width), int32_t(h.height),
                                               indexed ? palette : nullptr, indexed ? 256 : 0, &imageBytes));
    info->m_bitmapInfo = bitmap;
    VxVideo_InitVideoExtension(&info->m_extension, 0.0, 1.0);
    info->m_extension.flags = kExtensionLayered;
    std::memset(info->m_extension.reserved2, 0, sizeof(info->m_extension.reserved2));
    if (format.alphaWanted) {
        // The four values after the word that follows the flag word: 1.0 marks the alpha.
        const float ones[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        std::memcpy(info->m_extension.reserved2 + 4, ones, sizeof(ones));
    }
    info->m_imageBytes = imageBytes;
    VxStr_CopyTruncated(info->m_compression, 260, VxLang_LoadString(VxModule_Language(), kStringUncompressed));
    info->m_layerValue = uint16_t(m_document.layerCount);
    info->m_frameCount = std::max<uint64_t>(1, m_document.layerCount);
    m_format = format;
    return S_OK;
}

HRESULT CVxLayeredPsdReadFile::DecodeImage(void* pixels, uint32_t bytes)
{
    if (!m_file)
        return E_FAIL;
    VxPsdFrameFormat format;
    VX_RETURN_IF_FAILED(VxPsd_ChooseFormat(m_document, &format));
    return VxPsd_DecodeImage(Source(), m_document, format, pixels, bytes);
}

HRESULT CVxLayeredPsdReadFile::GetLayerCount(uint32_t* count)
{
    if (!count)
        return E_POINTER;
    // Only the low 16 bits are the count; the caller presets the rest.
    *count = (*count & 0xFFFF0000u) | VxPsd_VisibleLayerCount(m_document);
    return S_OK;
}

HRESULT CVxLayeredPsdReadFile::GetLayerInfo(uint32_t layer, void* buffer, uint32_t size, uint32_t kind)
{
    // Indexes beyond the layer count are refused like those outside 1 to 32767.
    if (uint16_t(layer - 1) > kPsdMaxLayers - 1 || layer > m_document.layerCount)
        return E_INVALIDARG;
    if (!buffer)
        return E_POINTER;
    const VxPsdLayerRecord& record = m_document.layers[layer - 1];
    if (kind == kLayerInfoName) {
        auto* text = static_cast<char16_t*>(buffer);
        const size_t units = size / 2;
        if (units > 0)
            text[0] = 0;
        const size_t length = VxStr_Length(record.name);
        if (length + 1 > units)
            return S_FALSE;
        std::memcpy(text, record.name, (length + 1) * sizeof(char16_t));
        return S_OK;
    }
    if (kind == kLayerInfoRectangle) {
        if (size < 16)
            return S_FALSE;
        const int32_t rectangle[4] = {record.left, record.top, record.right, record.bottom};
        std::memcpy(buffer, rectangle, sizeof(rectangle));
        return S_OK;
    }
    return VXE_LAYERS_UNSUPPORTED;
}

HRESULT CVxLayeredPsdReadFile::DecodeLayer(uint32_t layer, void* pixels, uint32_t bytes)
{
    if (uint16_t(layer - 1) > kPsdMaxLayers - 1)
        return E_INVALIDARG;
    if (!m_file)
        return E_FAIL;
    return VxPsd_DecodeLayer(Source(), m_document, layer, pixels, bytes);
}

CVxStillReadMeta* CVxLayeredPsdReadFile::CreateReadMeta(CVxStillReadFile* owner)
{
    return new CVxLayeredPsdReadMeta(owner);
}

CVxStillReadVideoStream* CVxLayeredPsdReadFile::CreateReadVideoStream(CVxStillReadFile* owner)
{
    return new CVxLayeredPsdReadVideoStream(owner);
}

VxPsdSource CVxLayeredPsdReadFile::Source()
{
    VxPsdSource source;
    source.read = ReadAt;
    source.context = m_file.Get();
    return source;
}

CVxLayeredPsdReadVideoStream::CVxLayeredPsdReadVideoStream(CVxStillReadFile* owner)
    : CVxStillReadVideoStream(owner)
{
}

CVxLayeredPsdReadVideoStream::~CVxLayeredPsdReadVideoStream() = default;

// The stored frame count (one per layer) only bounds LockLayerFrame; the stream shows one frame.
HRESULT VXAPI CVxLayeredPsdReadVideoStream::GetFrameCount(uint64_t* count)
{
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT VXAPI CVxLayeredPsdReadVideoStream::GetLayerState()
{
    return S_FALSE;
}

// On success the stream mutex stays held (and the file's with the layer's buffer) until the
// matching UnlockLayerFrame; on failure nothing is held.
HRESULT VXAPI CVxLayeredPsdReadVideoStream::LockLayerFrame(uint32_t layer, uint32_t frameLo, uint32_t frameHi,
                                                           void** pixels, uint32_t* reserved,
                                                           BITMAPINFOHEADER** header,
                                                           tVXVIDEOEXTENSION** extension, uint64_t* frameTime,
                                                           uint32_t flags, uint32_t)
{
    if (flags & kLockQueryOnly)
        return S_FALSE;
    if (!m_mutex)
        return VXE_FILE_OPEN;
    if (WaitForSingleObject(m_mutex, INFINITE) != WAIT_OBJECT_0)
        return VXE_FILE_OPEN;
    if (!m_open) {
        ReleaseMutex(m_mutex);
        return VXE_FILE_OPEN;
    }
    if ((uint64_t(frameHi) << 32 | frameLo) >= m_info.m_frameCount) {
        ReleaseMutex(m_mutex);
        return VXE_END_OF_FILE;
    }
    if (pixels) {
        const HRESULT hr = m_owner->LoadLayerFrame(layer, pixels);
        if (FAILED(hr)) {
            ReleaseMutex(m_mutex);
            return hr;
        }
    }
    if (reserved)
        *reserved = 0;
    if (frameTime)
        *frameTime = 0;
    if (header)
        *header = &m_info.m_bitmapInfo.header;
    if (extension)
        *extension = &m_info.m_extension;
    return S_OK;
}

HRESULT VXAPI CVxLayeredPsdReadVideoStream::UnlockLayerFrame(void* pixels)
{
    m_owner->ReleaseFrame(pixels);
    if (m_mutex)
        ReleaseMutex(m_mutex);
    return S_OK;
}

HRESULT VXAPI CVxLayeredPsdReadVideoStream::GetLayerCount(uint32_t* count)
{
    return m_owner->GetLayerCount(count);
}

HRESULT VXAPI CVxLayeredPsdReadVideoStream::GetLayerInfo(uint32_t layer, void* buffer, uint32_t size, uint32_t kind)
{
    return m_owner->GetLayerInfo(layer, buffer, size, kind);
}

CVxLayeredPsdReadMeta::CVxLayeredPsdReadMeta(IVxReadFile* owner) : CVxStillReadMeta(owner) {}

CVxLayeredPsdReadMeta::~CVxLayeredPsdReadMeta() = default;
