// OpenEXR files on the still reader framework, read through the EXR wrapper component.
#include "ExrReader.h"

#include "../../framework/ImageSize.h"
#include "../../framework/VideoFormat.h"
#include "../../plugin/ClassTable.h"
#include "../../plugin/ExrComponent.h"

#include <cstring>

namespace {

constexpr uint32_t kStringOpenExr = 456;  // "Open OpenEXR"
constexpr uint32_t kStringExrName = 453;  // "OpenEXR"
constexpr uint8_t kExrMagic[4] = {0x76, 0x2F, 0x31, 0x01};
constexpr uint32_t kFrameBytesPerPixel = 16;

const VXREADFILECLASSRECORD kExrRecord = {
    u"OpenEXR", u"OpenEXR", u"*.exr", kStringOpenExr, kStringExrName,
    kVxStreamTypeVideo, 0, CLSID_VxExrReader, CLSID_VxExrRenderer,
};

bool VxExr_IsMagic(const uint8_t* bytes)
{
    return std::memcmp(bytes, kExrMagic, sizeof kExrMagic) == 0;
}

}  // namespace

CVxReadFileClassBase* VxExr_CreateReadFileClass()
{
    return new CVxExrReadFileClass();
}

// A missing component leaves the class usable: its opens answer VXE_FILE_OPEN.
CVxExrReadFileClass::CVxExrReadFileClass() : CVxStillReadFileClass(kExrRecord)
{
    m_componentUse = SUCCEEDED(VxExr_Load());
}

CVxExrReadFileClass::~CVxExrReadFileClass()
{
    if (m_componentUse)
        VxExr_Unload();
}

HRESULT VXAPI CVxExrReadFileClass::CheckFileHeader(HANDLE, const uint8_t* head, uint32_t headBytes,
                                                   uint32_t)
{
    return head && headBytes >= sizeof kExrMagic && VxExr_IsMagic(head) ? S_OK : VXE_FILE_READ;
}

CVxStillReadFile* CVxExrReadFileClass::CreateReadFile(CVxStillReadFileClass* owner)
{
    return new CVxExrReadFile(owner);
}

CVxExrReadFile::CVxExrReadFile(CVxStillReadFileClass* owner) : CVxStillReadFile(owner) {}

CVxExrReadFile::~CVxExrReadFile()
{
    CloseImageFile();
}

HRESULT CVxExrReadFile::OpenImageFile(const char16_t* path, uint32_t, uint32_t)
{
    if (!path)
        return E_INVALIDARG;
    CloseImageFile();
    m_context = m_image = nullptr;
    m_width = m_height = m_dataWindowOption = 0;
    const VxExrExports* component = VxExr_Exports();
    if (!component || !component->OpenFile)
        return VXE_FILE_OPEN;
    if (component->OpenFile(path, &m_context, &m_image) != 0) {
        m_context = m_image = nullptr;
        return VXE_FILE_OPEN;
    }
    return S_OK;
}

HRESULT CVxExrReadFile::CloseImageFile()
{
    if (!m_image)
        return S_OK;
    const VxExrExports* component = VxExr_Exports();
    if (!component || !component->CloseFile)
        return E_FAIL;
    component->CloseFile(m_image);
    m_context = m_image = nullptr;
    return S_OK;
}

HRESULT CVxExrReadFile::ReadImageInfo(CVxStillFileInfo* info)
{
    const VxExrExports* component = VxExr_Exports();
    if (!component || !component->SetSeek)
        return VXE_FILE_READ;
    component->SetSeek(m_image, 0);

    uint8_t magic[sizeof kExrMagic] = {};
    if (!component->Read || component->Read(m_image, magic, sizeof magic) != 0 || !VxExr_IsMagic(magic))
        return E_FAIL;

    double pixelAspect = 0.0;
    if (!component->GetDataWindow ||
        component->GetDataWindow(m_image, m_context, &m_width, &m_height, &pixelAspect, m_dataWindowOption) < 0)
        return E_FAIL;

    tVXVIDEOEXTENSION extension;
    VxVideo_InitVideoExtension(&extension, 0.0, pixelAspect);  // 1.0 unless above 0
    extension.reserved = 1.0;
    uint32_t imageBytes = 0;
    VX_RETURN_IF_FAILED(VxVideo_InitBitmapInfo(&info->m_bitmapInfo, kVxPixelBgraFloat, m_width, m_height,
                                               nullptr, 0, &imageBytes));
    info->m_extension = extension;
    info->m_imageBytes = imageBytes;
    return S_OK;
}

HRESULT CVxExrReadFile::DecodeImage(void* pixels, uint32_t bytes)
{
    // The component is C at its boundary and catches everything inside; the guard stays for
    // anything that slips through.
    try {
        return DecodeGuarded(pixels, bytes);
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT CVxExrReadFile::DecodeGuarded(void* pixels, uint32_t bytes)
{
    if (Info().m_bitmapInfo.header.biHeight == 0)
        return E_INVALIDARG;
    // The header again, from the file as it is now: the frame buffer was sized by the first
    // reading, and a file that changed its size since must not be decoded into it.
    CVxStillFileInfo now;
    VX_RETURN_IF_FAILED(ReadImageInfo(&now));
    const BITMAPINFOHEADER& held = Info().m_bitmapInfo.header;
    if (now.m_bitmapInfo.header.biWidth != held.biWidth || now.m_bitmapInfo.header.biHeight != held.biHeight ||
        VxSize_Image(kFrameBytesPerPixel * 8, m_width, m_height) > bytes)
        return E_FAIL;

    const VxExrExports* component = VxExr_Exports();
    if (!m_image || !component || !component->ReadPixels)
        return E_FAIL;
    double pixelAspect = 0.0;
    return component->ReadPixels(pixels, m_image, m_width, &pixelAspect) == 0 ? S_OK : E_FAIL;
}

CVxStillReadMeta* CVxExrReadFile::CreateReadMeta(CVxStillReadFile* owner)
{
    return new CVxExrReadMeta(owner);
}

CVxStillReadVideoStream* CVxExrReadFile::CreateReadVideoStream(CVxStillReadFile* owner)
{
    return new CVxExrReadVideoStream(owner);
}

CVxExrReadVideoStream::CVxExrReadVideoStream(CVxStillReadFile* owner) : CVxStillReadVideoStream(owner) {}

CVxExrReadVideoStream::~CVxExrReadVideoStream() = default;

HRESULT VXAPI CVxExrReadVideoStream::GetFrameFormat(uint32_t, uint32_t, uint32_t* flags, VXFRAMEINFO* frame)
{
    if (flags && (*flags & kVxFrameFlagSkip) != 0)
        return S_FALSE;
    if (!frame)
        return S_OK;
    std::memset(frame, 0, sizeof(*frame));
    frame->frameTime = -1;
    frame->scale = 1.0;
    BITMAPINFOHEADER header = m_info.m_bitmapInfo.header;
    if (header.biClrUsed != 0) {  // a palette would be widened to 32 bits; never an EXR frame
        header.biClrUsed = 0;
        header.biBitCount = 32;
        header.biSizeImage = uint32_t(VxVideo_ImageSize(header));
    }
    const uint64_t size = VxVideo_ImageSize(header);
    if (!VxSize_Fits(size))
        return E_UNEXPECTED;  // no frame that large can be delivered
    frame->imageBytes = uint32_t(size);
    frame->header = header;
    frame->stride = int32_t(VxSize_Stride(header.biBitCount, header.biWidth));
    frame->extension = m_info.m_extension;
    return S_OK;
}

CVxExrReadMeta::CVxExrReadMeta(IVxReadFile* owner) : CVxStillReadMeta(owner) {}

CVxExrReadMeta::~CVxExrReadMeta() = default;
