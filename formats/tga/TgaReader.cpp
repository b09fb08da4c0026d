// TARGA files as media files of one still frame.
#include "TgaReader.h"

#include "../../framework/VideoFormat.h"
#include "../../platform/VxOwners.h"
#include "../../platform/VxStr.h"
#include "../../plugin/ClassTable.h"
#include "../../plugin/Language.h"
#include "../../plugin/Module.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kStringTgaName = 414;  // "TARGA"
constexpr uint32_t kStringOpenTga = 422;  // "Open Targa"
constexpr uint32_t kStringTarga = 442;    // "Targa"
constexpr uint32_t kStringRgb = 443;      // "Targa RGB"
constexpr uint32_t kStringMono = 444;     // "Targa Mono"
constexpr uint32_t kStringRle = 445;      // "Targa RLE"
constexpr uint32_t kTgaClassFlag = 64;
// The class flag word of every TARGA class object of the module.
std::atomic<uint32_t> g_tgaClassFlags = 0;
constexpr uint32_t kExtensionFlags32Bit = 0xFFFFFFFFu;

const VXREADFILECLASSRECORD kTgaRecord = {
    u"TARGA", u"TARGA", u"*.tga; *.targa", kStringOpenTga, kStringTgaName,
    kVxStreamTypeVideo, kTgaClassFlag, CLSID_VxTgaReader, CLSID_VxTgaRenderer,
};

uint32_t TypeTextId(uint8_t type)
{
    switch (type) {
    case kTgaTypeTrueColor: return kStringRgb;
    case kTgaTypeGrey: return kStringMono;
    case kTgaTypeRleMapped:
    case kTgaTypeRleTrueColor:
    case kTgaTypeRleGrey: return kStringRle;
    default: return kStringTarga;
    }
}

}  // namespace

CVxReadFileClassBase* VxTga_CreateReadFileClass()
{
    return new CVxTgaReadFileClass();
}

CVxTgaReadFileClass::CVxTgaReadFileClass()
    : CVxFormatFlagsReadFileClass(kTgaRecord, g_tgaClassFlags)
{
}

CVxTgaReadFileClass::~CVxTgaReadFileClass() = default;

HRESULT VXAPI CVxTgaReadFileClass::CheckFileHeader(HANDLE file, const uint8_t* head, uint32_t headBytes,
                                                   uint32_t)
{
    uint8_t bytes[kTgaCheckBytes] = {};
    if (!head || headBytes < kTgaCheckBytes) {
        if (!file || file == INVALID_HANDLE_VALUE)
            return VXE_FILE_READ;
        if (VxFile_ReadAt(file, 0, bytes, sizeof bytes) < sizeof bytes)
            return E_FAIL;
        head = bytes;
    }
    VxTgaHeader header;
    if (FAILED(VxTga_ParseHeader(head, kTgaCheckBytes, &header)) || FAILED(VxTga_CheckHeader(header)))
        return E_FAIL;
    return S_OK;
}

HRESULT VXAPI CVxTgaReadFileClass::CheckFile(const char16_t*)
{
    return E_NOTIMPL;
}

CVxStillReadFile* CVxTgaReadFileClass::CreateReadFile(CVxStillReadFileClass* owner)
{
    return new CVxTgaReadFile(owner);
}

CVxTgaReadFile::CVxTgaReadFile(CVxStillReadFileClass* owner) : CVxStillReadFile(owner)
{
    LoadInfoOnDemand();
}

CVxTgaReadFile::~CVxTgaReadFile() = default;

HRESULT VXAPI CVxTgaReadFile::GetDescription(char16_t* buf, int32_t bufChars, uint32_t, uint32_t kind)
{
    if (!buf && bufChars > 0)
        return E_POINTER;
    VxStr_CopyTruncated(buf, bufChars, u"");
    if (kind == 1) {
        VxStr_CopyTruncated(buf, bufChars, m_typeText);
        return S_OK;
    }
    if (kind != 2)
        return S_FALSE;
    const BITMAPINFOHEADER& h = Info().m_bitmapInfo.header;
    char text[48];
    std::snprintf(text, sizeof text, "%dx%dx%d", int(h.biWidth), int(h.biHeight), int(h.biBitCount));
    VxStr_CopyTruncated(buf, bufChars, VxStr_FromUtf8(text).c_str());
    return S_OK;
}

HRESULT CVxTgaReadFile::OpenImageFile(const char16_t* path, uint32_t, uint32_t)
{
    if (!path)
        return E_INVALIDARG;
    VxStr_CopyTruncated(m_path, 260, path);  // no handle is kept: each read opens the file
    return S_OK;
}

HRESULT CVxTgaReadFile::ReadImageInfo(CVxStillFileInfo* info)
{
    if (IsOpen() != S_OK)
        return E_INVALIDARG;
    CVxHandle file = VxFile_OpenForReading(m_path);
    if (!file)
        return VXE_FILE_OPEN;
    uint8_t bytes[kTgaHeaderBytes];
    if (VxFile_ReadAt(file.Get(), 0, bytes, sizeof bytes) < sizeof bytes)
        return VXE_CORRUPT;
    VxTgaHeader header;
    VX_RETURN_IF_FAILED(VxTga_ParseHeader(bytes, sizeof bytes, &header));
    VxStr_CopyTruncated(m_typeText, 256, VxLang_LoadString(VxModule_Language(), TypeTextId(header.imageType)));
    VX_RETURN_IF_FAILED(VxTga_CheckHeader(header));

    const uint32_t bits = VxTga_FrameBits(header);
    uint32_t imageBytes = 0;
    VX_RETURN_IF_FAILED(VxVideo_InitBitmapInfo(&info->m_bitmapInfo, bits == 32 ? kVxPixelBgrx32 : kVxPixelBgr24,
                                               header.width, header.height, nullptr, 0, &imageBytes));
    if (imageBytes != VxTga_FrameBytes(header))
        return E_FAIL;
    VxVideo_InitVideoExtension(&info->m_extension, 0.0, 1.0);
    if (bits == 32)
        info->m_extension.flags = kExtensionFlags32Bit;
    info->m_imageBytes = imageBytes;
    info->m_length = 0;
    VxStr_CopyTruncated(info->m_compression, 260, m_typeText);
    const int32_t stride = int32_t(VxTga_FrameStride(header));
    m_stride = header.topToBottom ? -stride : stride;
    m_header = header;
    return S_OK;
}

HRESULT CVxTgaReadFile::DecodeImage(void* pixels, uint32_t bytes)
{
    return Decode(pixels, bytes, true);
}

HRESULT CVxTgaReadFile::DecodeImageInPlace(void* pixels, uint32_t bytes)
{
    return Decode(pixels, bytes, false);
}

HRESULT CVxTgaReadFile::Decode(void* pixels, uint32_t bytes, bool cleared)
{
    if (!pixels)
        return E_POINTER;
    CVxHandle file = VxFile_OpenForReading(m_path);
    if (!file)
        return E_FAIL;
    const uint64_t size = std::min(VxFile_Size(file.Get()), kTgaMostFileBytes);
    auto* frame = static_cast<uint8_t*>(pixels);
    // Raw true-colour rows are read straight into the frame.
    uint8_t head[kTgaHeaderBytes];
    VxTgaHeader header;
    uint64_t offset = 0;
    if (VxFile_ReadAt(file.Get(), 0, head, sizeof head) == sizeof head &&
        SUCCEEDED(VxTga_ParseHeader(head, sizeof head, &header)) && SUCCEEDED(VxTga_CheckHeader(header)) &&
        VxTga_IsRawFrame(header, &offset)) {
        if (VxTga_FrameBytes(header) > bytes || header.topToBottom != m_header.topToBottom)
            return VXE_FILE_READ;  // the file changed its layout since its header was read
        const size_t rowsBytes = size_t(header.width) * (VxTga_FrameBits(header) / 8) * header.height;
        const size_t got = VxFile_ReadAt(file.Get(), offset, frame, rowsBytes);
        if (!cleared)
            std::memset(frame + got, 0, rowsBytes - got);  // pixels past the end of the file: black
        // Every row of a cleared-tail frame is moved into place, so each byte of it is written.
        VxTga_PadRows(header, frame, cleared ? got : rowsBytes);
        return S_OK;
    }
    if (!cleared)
        std::memset(frame, 0, bytes);
    // Every other file: the whole file in one read, walked in memory.
    CVxGlobalBlock data(size_t(size ? size : 1));
    if (!data)
        return E_OUTOFMEMORY;
    if (VxFile_ReadAt(file.Get(), 0, data.Get(), size_t(size)) != size)
        return VXE_FILE_READ;
    int32_t stride = 0;
    if (FAILED(VxTga_DecodeImage(data.Bytes(), size_t(size), frame, bytes, &stride)))
        return VXE_FILE_READ;
    // The file changed its layout since its header was read: the frame no longer fits it.
    return stride == m_stride ? S_OK : VXE_FILE_READ;
}

CVxStillReadMeta* CVxTgaReadFile::CreateReadMeta(CVxStillReadFile* owner)
{
    return new CVxTgaReadMeta(owner);
}

CVxStillReadVideoStream* CVxTgaReadFile::CreateReadVideoStream(CVxStillReadFile* owner)
{
    return new CVxTgaReadVideoStream(owner);
}

CVxTgaReadVideoStream::CVxTgaReadVideoStream(CVxStillReadFile* owner) : CVxDibReadVideoStream(owner) {}

CVxTgaReadVideoStream::~CVxTgaReadVideoStream() = default;

HRESULT VXAPI CVxTgaReadVideoStream::GetFrameFormat(uint32_t frameLo, uint32_t frameHi, uint32_t* flags,
                                                    VXFRAMEINFO* frame)
{
    const HRESULT hr = CVxDibReadVideoStream::GetFrameFormat(frameLo, frameHi, flags, frame);
    if (hr != S_OK || !frame)
        return hr;
    const int32_t stride = static_cast<CVxTgaReadFile*>(m_owner)->RowStride();
    if (stride < 0) {
        frame->stride = stride;
        frame->bottomRowOffset = frame->imageBytes + uint32_t(stride);  // image size - |stride|
    }
    return S_OK;
}

CVxTgaReadMeta::CVxTgaReadMeta(IVxReadFile* owner) : CVxStillReadMeta(owner) {}

CVxTgaReadMeta::~CVxTgaReadMeta() = default;
