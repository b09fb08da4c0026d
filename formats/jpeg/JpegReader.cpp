// JPEG files on the still reader framework.
#include "JpegReader.h"

#include "../../framework/HandleSource.h"
#include "../../framework/VideoFormat.h"
#include "../../platform/VxStr.h"
#include "../../plugin/ClassTable.h"
#include "../../plugin/Language.h"
#include "../../plugin/Module.h"
#include "ExifMetaDataHelper.h"

namespace {

constexpr uint32_t kStringOpenJpeg = 426;     // "Open JPEG"
constexpr uint32_t kStringJpegName = 423;     // "Joint Picture Experts Group"
constexpr uint32_t kStringJpegCompression = 434;  // "JPEG Compression"
constexpr size_t kFileNameChars = 260;

const VXREADFILECLASSRECORD kJpegRecord = {
    u"JPEG", u"Joint Picture Experts Group", u"*.jpg;*.jpe;*.jpeg", kStringOpenJpeg, kStringJpegName,
    kVxStreamTypeVideo, 0, CLSID_VxJpegReader, CLSID_VxJpegRenderer,
};

}  // namespace

CVxReadFileClassBase* VxJpg_CreateReadFileClass()
{
    return new CVxJpgReadFileClass();
}

CVxJpgReadFileClass::CVxJpgReadFileClass() : CVxStillReadFileClass(kJpegRecord) {}

CVxJpgReadFileClass::~CVxJpgReadFileClass() = default;

HRESULT VXAPI CVxJpgReadFileClass::CheckFileHeader(HANDLE, const uint8_t* head, uint32_t headBytes, uint32_t)
{
    return VxJpeg_CheckFileHeader(head, headBytes);
}

CVxStillReadFile* CVxJpgReadFileClass::CreateReadFile(CVxStillReadFileClass* owner)
{
    return new CVxJpgReadFile(owner);
}

CVxJpgReadFile::CVxJpgReadFile(CVxStillReadFileClass* owner) : CVxStillReadFile(owner) {}

CVxJpgReadFile::~CVxJpgReadFile() = default;

HRESULT CVxJpgReadFile::OpenImageFile(const char16_t* path, uint32_t, uint32_t)
{
    if (!path)
        return E_INVALIDARG;
    CloseImageFile();
    m_image = {};
    // Every decode reads the whole file front to back.
    m_file = CVxHandle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    return m_file ? S_OK : VXE_FILE_OPEN;
}

HRESULT CVxJpgReadFile::CloseImageFile()
{
    m_file.Reset();
    return S_OK;
}

HRESULT CVxJpgReadFile::ReadImageInfo(CVxStillFileInfo* info)
{
    VxJpegSource source;
    VX_RETURN_IF_FAILED(Rewind(&source));
    VX_RETURN_IF_FAILED(m_decoder.ReadInfo(source, &m_image));

    VxVideo_InitVideoExtension(&info->m_extension, 0.0, 1.0);
    uint32_t imageBytes = 0;
    VX_RETURN_IF_FAILED(VxVideo_InitBitmapInfo(&info->m_bitmapInfo, m_image.pixelType, int32_t(m_image.width),
                                               int32_t(m_image.height), nullptr, 0, &imageBytes));
    // Both follow the bitmap row rule; a difference would let the decoder overrun the frame.
    if (imageBytes != m_image.imageBytes)
        return E_FAIL;
    VxStr_CopyTruncated(info->m_compression, 260, VxLang_LoadString(VxModule_Language(), kStringJpegCompression));
    info->m_imageBytes = imageBytes;
    return S_OK;
}

// libjpeg is C and reports errors by the jump inside the decoder; nothing on this path throws.
HRESULT CVxJpgReadFile::DecodeImage(void* pixels, uint32_t bytes)
{
    if (m_image.imageBytes == 0)
        return E_INVALIDARG;
    VxJpegSource source;
    if (FAILED(Rewind(&source)))
        return VXE_CORRUPT;
    return m_decoder.Decode(source, m_image, static_cast<uint8_t*>(pixels), bytes);
}

HRESULT CVxJpgReadFile::DecodeImageInPlace(void* pixels, uint32_t bytes)
{
    return DecodeImage(pixels, bytes);
}

HRESULT CVxJpgReadFile::DecodeImageBands(CVxRowBands& bands)
{
    if (m_image.imageBytes == 0 || m_image.components != 1)
        return S_FALSE;
    VxJpegSource source;
    if (FAILED(Rewind(&source)))
        return VXE_CORRUPT;
    return m_decoder.Decode(source, m_image, bands);
}

CVxStillReadMeta* CVxJpgReadFile::CreateReadMeta(CVxStillReadFile* owner)
{
    return new CVxJpgReadMeta(owner);
}

CVxStillReadVideoStream* CVxJpgReadFile::CreateReadVideoStream(CVxStillReadFile* owner)
{
    return new CVxJpgReadVideoStream(owner);
}

HRESULT CVxJpgReadFile::Rewind(VxJpegSource* source)
{
    return VxHandle_RewindSource(m_file, source);
}

CVxJpgReadVideoStream::CVxJpgReadVideoStream(CVxStillReadFile* owner) : CVxStillReadVideoStream(owner) {}

CVxJpgReadVideoStream::~CVxJpgReadVideoStream() = default;

CVxJpgReadMeta::CVxJpgReadMeta(IVxReadFile* owner) : CVxStillReadMeta(owner) {}

CVxJpgReadMeta::~CVxJpgReadMeta() = default;

// The EXIF tags go in once, when the list is made; the EXIF reader's result is the answer.
HRESULT CVxJpgReadMeta::LoadSummary()
{
    if (GetSummaryList())
        return S_OK;
    VX_RETURN_IF_FAILED(CVxStillReadMeta::LoadSummary());
    tVXLIST* list = GetSummaryList();
    if (!list)
        return S_OK;
    char16_t name[kFileNameChars] = {};
    VX_RETURN_IF_FAILED(m_owner->GetFileName(name, int32_t(kFileNameChars)));
    CVxExifMetaDataHelper helper;
    return helper.AddExifTagsToSummaryListFromJpeg(name, list);
}
