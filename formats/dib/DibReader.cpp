// Windows bitmap files as media files of one still frame.
#include "DibReader.h"

#include "../../framework/ConvertDib.h"
#include "../../framework/ImageSize.h"
#include "../../framework/MemoryToken.h"
#include "../../framework/RowBands.h"
#include "../../framework/VideoFormat.h"
#include "../../platform/VxStr.h"
#include "../../plugin/ClassTable.h"
#include "../../plugin/Language.h"
#include "../../plugin/Module.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kStringDibName = 438;       // "Windows Bitmap"
constexpr uint32_t kStringOpenDib = 441;       // "Open Windows Bitmap"
constexpr uint32_t kStringUncompressed = 446;  // "Uncompressed"
constexpr uint32_t kStringRle4 = 448;          // "RLE (4 Bit)"
constexpr uint32_t kStringRle8 = 449;          // "RLE (8 Bit)"
constexpr uint32_t kDibClassFlag = 64;
// The class flag word of every bitmap class object of the module.
std::atomic<uint32_t> g_dibClassFlags = 0;
constexpr uint32_t kCheckFileBytes = 4096;
constexpr uint32_t kExtensionFlags32Bit = 0xFFFFFFFFu;  // the extension's flag word of 32-bit frames

const VXREADFILECLASSRECORD kDibRecord = {
    u"BMP", u"Windows Bitmap", u"*.bmp;*.dib", kStringOpenDib, kStringDibName,
    kVxStreamTypeVideo, kDibClassFlag, CLSID_VxDibReader, CLSID_VxDibRenderer,
};

bool SkipRequested(const uint32_t* flags)
{
    return flags && (*flags & kVxFrameFlagSkip) != 0;
}

// The compression as a person reads it: the usual layouts by name, any other code as its
// four characters.
void CompressionText(uint32_t compression, char16_t* buf, int32_t bufChars)
{
    const VXLANG* language = VxModule_Language();
    if (compression == BI_RGB || compression == BI_BITFIELDS) {
        VxStr_CopyTruncated(buf, bufChars, VxLang_LoadString(language, kStringUncompressed));
    } else if (compression == BI_RLE8) {
        VxStr_CopyTruncated(buf, bufChars, VxLang_LoadString(language, kStringRle8));
    } else if (compression == BI_RLE4) {
        VxStr_CopyTruncated(buf, bufChars, VxLang_LoadString(language, kStringRle4));
    } else {
        const char16_t text[5] = {char16_t(compression & 0xFF), char16_t(compression >> 8 & 0xFF),
                                  char16_t(compression >> 16 & 0xFF), char16_t(compression >> 24), 0};
        VxStr_CopyTruncated(buf, bufChars, text);
    }
}

}  // namespace

CVxReadFileClassBase* VxDib_CreateReadFileClass()
{
    return new CVxDibReadFileClass();
}

CVxDibReadFileClass::CVxDibReadFileClass()
    : CVxFormatFlagsReadFileClass(kDibRecord, g_dibClassFlags)
{
}

CVxDibReadFileClass::~CVxDibReadFileClass() = default;

HRESULT VXAPI CVxDibReadFileClass::CheckFileHeader(HANDLE file, const uint8_t* head, uint32_t headBytes,
                                                   uint32_t)
{
    if (!head || headBytes < 2 || head[0] != 'B' || head[1] != 'M')
        return VXE_UNSUPPORTED_FORMAT;
    // The information header always comes from the file itself, whatever the host offered.
    if (!file || file == INVALID_HANDLE_VALUE)
        return VXE_FILE_READ;
    const uint64_t fileSize = VxFile_Size(file);
    if (fileSize < kDibCoreHeaderBytes)
        return VXE_UNSUPPORTED_FORMAT;
    uint8_t bytes[kDibHeadBytes] = {'B', 'M'};
    const size_t got = VxFile_ReadAt(file, kDibFileHeaderBytes, bytes + kDibFileHeaderBytes, kDibInfoHeaderBytes);
    if (got == 0 && fileSize > kDibFileHeaderBytes)
        return VXE_FILE_READ;
    return VxDib_CheckFileHeader(bytes, sizeof bytes, fileSize);
}

HRESULT VXAPI CVxDibReadFileClass::CheckFile(const char16_t* path)
{
    CVxHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return VxErrorHandler_TranslateWin32Error(GetLastError());
    uint8_t head[kCheckFileBytes];
    DWORD got = 0;
    if (!ReadFile(file.Get(), head, sizeof head, &got, nullptr))
        return VxErrorHandler_TranslateWin32Error(GetLastError());
    return CheckFileHeader(file.Get(), head, got, 0);
}

CVxStillReadFile* CVxDibReadFileClass::CreateReadFile(CVxStillReadFileClass* owner)
{
    return new CVxDibReadFile(owner);
}

CVxDibReadFile::CVxDibReadFile(CVxStillReadFileClass* owner) : CVxStillReadFile(owner)
{
    LoadInfoOnDemand();
}

CVxDibReadFile::~CVxDibReadFile() = default;

HRESULT VXAPI CVxDibReadFile::GetDescription(char16_t* buf, int32_t bufChars, uint32_t ignored, uint32_t kind)
{
    if (kind != 1 && kind != 2)
        return CVxStillReadFile::GetDescription(buf, bufChars, ignored, kind);
    if (!buf && bufChars > 0)
        return E_POINTER;
    VxStr_CopyTruncated(buf, bufChars, u"");
    if (kind == 1) {
        VxStr_CopyTruncated(buf, bufChars, Info().m_compression);
        return S_OK;
    }
    if (!m_loaded)
        return S_FALSE;
    const BITMAPINFOHEADER& h = m_image.stored.header;
    char text[48];
    std::snprintf(text, sizeof text, "%dx%dx%d", int(h.biWidth), int(h.biHeight), int(h.biBitCount));
    VxStr_CopyTruncated(buf, bufChars, VxStr_FromUtf8(text).c_str());
    return S_OK;
}

HRESULT CVxDibReadFile::OpenImageFile(const char16_t* path, uint32_t, uint32_t)
{
    if (!path)
        return E_INVALIDARG;
    m_file = CVxHandle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    return m_file ? S_OK : VxErrorHandler_TranslateWin32Error(GetLastError());
}

HRESULT CVxDibReadFile::CloseImageFile()
{
    m_file.Reset();
    return S_OK;
}

HRESULT CVxDibReadFile::ReadImageInfo(CVxStillFileInfo* info)
{
    if (IsOpen() != S_OK)
        return VXE_FILE_OPEN;
    m_loaded = false;
    info->m_compression[0] = 0;
    char16_t path[260];
    GetFileName(path, 260);
    const CVxHandle file = VxFile_OpenForReading(path);
    if (!file)
        return VXE_FILE_OPEN;
    const uint64_t fileSize = VxFile_Size(file.Get());
    CVxGlobalBlock head(size_t(std::min<uint64_t>(fileSize, kDibMostHeadBytes)) + 1);
    if (!head)
        return E_OUTOFMEMORY;
    const size_t got = VxFile_ReadAt(file.Get(), 0, head.Get(), head.Size() - 1);
    // A header that cannot be read or is not a bitmap's answers E_OUTOFMEMORY, whatever the
    // cause: the code every host of this reader knows for it.
    if (FAILED(VxDib_ParseHeader(head.Bytes(), got, fileSize, &m_image)))
        return E_OUTOFMEMORY;

    CompressionText(m_image.stored.header.biCompression, info->m_compression, 260);
    VxVideo_InitVideoExtension(&info->m_extension, 0.0, 1.0);
    const VXBITMAPINFO& delivered = m_image.delivered;
    if (delivered.header.biBitCount == 32)
        info->m_extension.flags = kExtensionFlags32Bit;
    info->m_bitmapInfo = delivered;
    info->m_imageBytes = m_image.deliveredBytes;
    info->m_length = 0;
    m_loaded = true;
    return S_OK;
}

HRESULT CVxDibReadFile::DecodeImage(void* pixels, uint32_t bytes)
{
    if (!m_loaded || bytes < m_image.deliveredBytes)
        return E_FAIL;
    char16_t path[260];
    GetFileName(path, 260);
    const CVxHandle file = VxFile_OpenForReading(path);
    if (!file)
        return E_FAIL;
    if (m_image.asStored) {
        const size_t got = VxFile_ReadAt(file.Get(), m_image.pixelOffset, pixels, m_image.pixelBytes);
        return got == m_image.pixelBytes ? S_OK : VXE_FILE_READ;
    }
    CVxGlobalBlock stored(m_image.pixelBytes ? m_image.pixelBytes : 1);
    if (!stored)
        return E_OUTOFMEMORY;
    const size_t got = VxFile_ReadAt(file.Get(), m_image.pixelOffset, stored.Get(), m_image.pixelBytes);
    if (got != m_image.pixelBytes)
        return VXE_FILE_READ;
    return VxDib_Expand(m_image, stored.Bytes(), got, static_cast<uint8_t*>(pixels), bytes);
}

HRESULT CVxDibReadFile::DecodeImageInPlace(void* pixels, uint32_t bytes)
{
    if (m_loaded && m_image.asStored && m_image.pixelBytes == bytes)
        return DecodeImage(pixels, bytes);
    return CVxStillReadFile::DecodeImageInPlace(pixels, bytes);
}

HRESULT CVxDibReadFile::DecodeImageBands(CVxRowBands& bands)
{
    const BITMAPINFOHEADER& h = m_image.stored.header;
    if (!m_loaded || !m_image.asStored || h.biBitCount >= 24)
        return S_FALSE;
    const uint64_t stride = VxSize_Stride(h.biBitCount, h.biWidth);
    const uint64_t rows = VxSize_Rows(h.biHeight);
    if (stride * rows != m_image.pixelBytes)
        return S_FALSE;
    char16_t path[260];
    GetFileName(path, 260);
    const CVxHandle file = VxFile_OpenForReading(path);
    if (!file)
        return E_FAIL;
    for (uint64_t y = 0; y < rows;) {
        const uint32_t count = uint32_t(std::min<uint64_t>(bands.MaxRows(), rows - y));
        uint8_t* band = bands.Band(uint32_t(y), count);
        const size_t bytes = size_t(count * stride);
        if (VxFile_ReadAt(file.Get(), m_image.pixelOffset + y * stride, band, bytes) != bytes)
            return VXE_FILE_READ;
        VX_RETURN_IF_FAILED(bands.Done(uint32_t(y), count));
        y += count;
    }
    return S_OK;
}

CVxStillReadMeta* CVxDibReadFile::CreateReadMeta(CVxStillReadFile* owner)
{
    return new CVxDibReadMeta(owner);
}

CVxStillReadVideoStream* CVxDibReadFile::CreateReadVideoStream(CVxStillReadFile* owner)
{
    return new CVxDibReadVideoStream(owner);
}

CVxDibReadVideoStream::CVxDibReadVideoStream(CVxStillReadFile* owner) : CVxStillReadVideoStream(owner) {}

CVxDibReadVideoStream::~CVxDibReadVideoStream() = default;

HRESULT VXAPI CVxDibReadVideoStream::QueryInterface(REFIID iid, void** out)
{
    return VxQueryInterface<IVxReadVideoStream, IVxReadStream>(static_cast<IVxReadVideoStream*>(this), iid, out);
}

HRESULT VXAPI CVxDibReadVideoStream::GetFrameBufferSize(uint32_t, uint32_t, uint32_t* flags, uint32_t* bytes)
{
    if (SkipRequested(flags))
        return E_UNEXPECTED;
    const uint64_t size = VxVideo_ImageSize(FrameHeader());
    if (size < 1 || !VxSize_Fits(size))
        return E_UNEXPECTED;
    if (!bytes)
        return E_INVALIDARG;
    *bytes = uint32_t(size);
    return S_OK;
}

HRESULT VXAPI CVxDibReadVideoStream::GetFrameFormat(uint32_t, uint32_t, uint32_t* flags, VXFRAMEINFO* frame)
{
    if (SkipRequested(flags))
        return S_FALSE;
    if (!frame)
        return S_OK;
    std::memset(frame, 0, sizeof(*frame));
    frame->frameTime = -1;
    frame->scale = 1.0;
    const BITMAPINFOHEADER header = FrameHeader();
    const uint64_t size = VxVideo_ImageSize(header);
    if (!VxSize_Fits(size))
        return E_UNEXPECTED;
    frame->imageBytes = uint32_t(size);
    frame->header = header;
    frame->stride = int32_t(VxSize_Stride(header.biBitCount, header.biWidth));
    frame->extension = m_info.m_extension;
    return S_OK;
}

HRESULT VXAPI CVxDibReadVideoStream::GetFrame(uint32_t frameLo, uint32_t frameHi, uint32_t* flags,
                                              _vxmemorytoken token, VXFRAMEINFO* frame, uint32_t* bytes)
{
    VXFRAMEINFO local;
    VXFRAMEINFO* record = frame ? frame : &local;  // the delivery needs the format either way
    HRESULT hr = GetFrameFormat(frameLo, frameHi, flags, record);
    if (hr != S_OK)
        return hr;
    if (!m_mutex)
        return VXE_FILE_OPEN;
    // Lock order: this stream's mutex, then (inside LoadFrame) the file's.
    CVxMutexLock lock(m_mutex);
    if (!lock.Locked() || !m_open)
        return VXE_FILE_OPEN;
    record->frameTime = 0;
    const int64_t number = int64_t(uint64_t(frameHi) << 32 | frameLo);
    if (number >= int64_t(m_info.m_frameCount))
        return S_FALSE;
    hr = DeliverInPlace(token, *record, m_info.m_bitmapInfo.header.biBitCount < 24);
    if (hr == S_OK) {
        record->frameTime = m_frameTime;
    } else if (hr == S_FALSE) {
        void* pixels = nullptr;
        VX_RETURN_IF_FAILED(m_owner->LoadFrame(&pixels));
        // The file mutex is held from here to ReleaseFrame.
        record->frameTime = m_frameTime;
        hr = DeliverFrame(token, *record, pixels);
        m_owner->ReleaseFrame();
    }
    if (SUCCEEDED(hr) && bytes)
        *bytes = record->imageBytes;
    return hr;
}

BITMAPINFOHEADER CVxDibReadVideoStream::FrameHeader() const
{
    BITMAPINFOHEADER header = m_info.m_bitmapInfo.header;
    if (header.biBitCount < 24) {
        header.biBitCount = 32;
        header.biCompression = BI_RGB;
        header.biClrUsed = 0;
        header.biClrImportant = 0;
        header.biSizeImage = uint32_t(std::min<uint64_t>(VxVideo_ImageSize(header), kVxMaxImageBytes));
    }
    return header;
}

HRESULT CVxDibReadVideoStream::DeliverFrame(const _vxmemorytoken& token, const VXFRAMEINFO& frame,
                                            const void* pixels)
{
    const BITMAPINFOHEADER& source = m_info.m_bitmapInfo.header;
    if (source.biBitCount < 24) {
        if (VxVideo_ImageSize(source) > m_info.m_imageBytes)
            return E_FAIL;
        CMappingOfVxMemoryToken mapping(token, kVxTokenAccessWrite);
        void* destination = nullptr;
        VX_RETURN_IF_FAILED(mapping.GetPointer(&destination));
        if (mapping.DataSize() < 0 || uint32_t(mapping.DataSize()) < frame.imageBytes)
            return VXE_BUFFER_TOO_SMALL;
        return ConvertDibTo32(destination, &frame.header, pixels, &m_info.m_bitmapInfo);
    }
    // The host was told to provide the frame record's image bytes: exactly those are copied.
    if (frame.imageBytes > m_info.m_imageBytes)
        return E_FAIL;
    return CMappingOfVxMemoryToken::CopyData(token, pixels, LONG(frame.imageBytes));
}

CVxDibReadMeta::CVxDibReadMeta(IVxReadFile* owner) : CVxStillReadMeta(owner) {}

CVxDibReadMeta::~CVxDibReadMeta() = default;
