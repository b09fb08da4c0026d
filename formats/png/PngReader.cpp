// PNG files on the still reader framework.
#include "PngReader.h"

#include "../../framework/HandleSource.h"
#include "../../platform/VxStr.h"
#include "../../plugin/ClassTable.h"
#include "../../plugin/Language.h"
#include "../../plugin/Module.h"

namespace {

constexpr uint32_t kStringOpenPng = 430;       // "Open PNG"
constexpr uint32_t kStringPngName = 427;       // "Portable Network Graphic"
constexpr uint32_t kStringInflate = 436;       // "Inflate compression"
constexpr uint32_t kAlphaModeStraight = 1;     // the extension's alpha word for B, G, R, A frames

const VXREADFILECLASSRECORD kPngRecord = {
    u"PNG", u"Portable Network Graphic", u"*.png", kStringOpenPng, kStringPngName,
    kVxStreamTypeVideo, 0, CLSID_VxPngReader, CLSID_VxPngRenderer,
};

}  // namespace

CVxReadFileClassBase* VxPng_CreateReadFileClass()
{
    return new CVxPngReadFileClass();
}

CVxPngReadFileClass::CVxPngReadFileClass() : CVxStillReadFileClass(kPngRecord) {}

CVxPngReadFileClass::~CVxPngReadFileClass() = default;

HRESULT VXAPI CVxPngReadFileClass::CheckFileHeader(HANDLE, const uint8_t* head, uint32_t headBytes,
                                                   uint32_t)
{
    return VxPng_CheckSignature(head, headBytes);
}

CVxStillReadFile* CVxPngReadFileClass::CreateReadFile(CVxStillReadFileClass* owner)
{
    return new CVxPngReadFile(owner);
}

CVxPngReadFile::CVxPngReadFile(CVxStillReadFileClass* owner) : CVxStillReadFile(owner) {}

CVxPngReadFile::~CVxPngReadFile() = default;

HRESULT CVxPngReadFile::OpenImageFile(const char16_t* path, uint32_t, uint32_t)
{
    if (!path)
        return E_INVALIDARG;
    CloseImageFile();
    m_image = {};
    // Every decode reads the whole file front to back.
    m_file = CVxHandle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    return m_file ? S_OK : VXE_FILE_OPEN;
}

HRESULT CVxPngReadFile::CloseImageFile()
{
    m_file.Reset();
    m_decoder.Reset();
    return S_OK;
}

HRESULT CVxPngReadFile::ReadImageInfo(CVxStillFileInfo* info)
{
    VxPngSource source;
    VX_RETURN_IF_FAILED(Rewind(&source));
    VX_RETURN_IF_FAILED(m_decoder.ReadInfo(source, &m_image));

    VxStr_CopyTruncated(info->m_compression, 260, VxLang_LoadString(VxModule_Language(), kStringInflate));
    VxVideo_InitVideoExtension(&info->m_extension, 0.0, 1.0);
    if (m_image.pixelType == kVxPixelBgra32 || m_image.pixelType == kVxPixelBgra64)
        info->m_extension.flags = kAlphaModeStraight;  // the words after it stay 0

    uint32_t imageBytes = 0;
    VX_RETURN_IF_FAILED(VxVideo_InitBitmapInfo(&info->m_bitmapInfo, m_image.pixelType,
                                               int32_t(m_image.width), int32_t(m_image.height),
                                               m_image.paletteCount ? m_image.palette : nullptr,
                                               m_image.paletteCount, &imageBytes));
    // Both follow the bitmap row rule; a difference would let the decoder overrun the frame.
    if (imageBytes != m_image.imageBytes)
        return E_FAIL;
    info->m_imageBytes = imageBytes;
    return S_OK;
}

// libpng is C and reports errors by the jump inside the decoder; nothing on this path throws.
HRESULT CVxPngReadFile::DecodeImage(void* pixels, uint32_t bytes)
{
    if (Info().m_bitmapInfo.header.biHeight == 0)
        return E_INVALIDARG;
    m_decoder.Reset();
    VxPngSource source;
    VX_RETURN_IF_FAILED(Rewind(&source));
    return m_decoder.Decode(source, m_image, static_cast<uint8_t*>(pixels), bytes);
}

CVxStillReadMeta* CVxPngReadFile::CreateReadMeta(CVxStillReadFile* owner)
{
    return new CVxPngReadMeta(owner);
}

CVxStillReadVideoStream* CVxPngReadFile::CreateReadVideoStream(CVxStillReadFile* owner)
{
    return new CVxPngReadVideoStream(owner);
}

HRESULT CVxPngReadFile::Rewind(VxPngSource* source)
{
    return VxHandle_RewindSource(m_file, source);
}

CVxPngReadVideoStream::CVxPngReadVideoStream(CVxStillReadFile* owner) : CVxStillReadVideoStream(owner) {}

CVxPngReadVideoStream::~CVxPngReadVideoStream() = default;

CVxPngReadMeta::CVxPngReadMeta(IVxReadFile* owner) : CVxStillReadMeta(owner) {}

CVxPngReadMeta::~CVxPngReadMeta() = default;
