// Bitmap headers of the module's pixel types, image sizes, the video extension, format records
// and info texts.
#include "VideoFormat.h"

#include "../platform/VxStr.h"
#include "../platform/VxWin32.h"
#include "../plugin/Language.h"
#include "../plugin/contracts/VxComPtr.h"
#include "ImageSize.h"

#include <algorithm>
#include <cstring>
#include <cstdio>

namespace {

struct PixelType {
    uint32_t type;
    uint16_t bitCount;
    uint32_t compression;
    bool palette;  // indices into the given palette
    bool greyTable;  // a grey ramp of 2^bits entries
};

constexpr PixelType kPixelTypes[] = {
    {kVxPixelGrey1, 1, kVxCompressionGrey, false, true},
    {kVxPixelGrey2, 2, kVxCompressionGrey, false, true},
    {kVxPixelGrey4, 4, kVxCompressionGrey, false, true},
    {kVxPixelGrey8, 8, kVxCompressionGrey, false, true},
    {kVxPixelGrey16, 16, kVxCompressionGrey, false, false},
    {kVxPixelGreyFloat, 32, kVxCompressionGrey, false, false},
    {kVxPixelPalette4, 4, BI_RGB, true, false},
    {kVxPixelPalette8, 8, BI_RGB, true, false},
    {kVxPixelBgr24, 24, BI_RGB, false, false},
    {kVxPixelBgrx32, 32, BI_RGB, false, false},
    {kVxPixelBgra32, 32, kVxCompressionDeepBgra, false, false},
    {kVxPixelBgra64, 64, kVxCompressionDeepBgra, false, false},
    {kVxPixelBgraFloat, 128, kVxCompressionDeepBgra, false, false},
};

const PixelType* FindPixelType(uint32_t type)
{
    for (const PixelType& entry : kPixelTypes)
        if (entry.type == type)
            return &entry;
    return nullptr;
}

constexpr uint32_t kFourCcUyvy = VxFourCC('U', 'Y', 'V', 'Y');
constexpr uint32_t kFourCcYuyv = VxFourCC('Y', 'U', 'Y', 'V');
constexpr uint32_t kFourCcV210 = VxFourCC('v', '2', '1', '0');
constexpr uint32_t kFourCcI420 = VxFourCC('I', '4', '2', '0');

constexpr uint32_t kInfoTextDescription = 2;
constexpr uint32_t kInfoTextFormatName = 5;

}  // namespace

HRESULT VxVideo_InitBitmapInfo(VXBITMAPINFO* info, uint32_t pixelType, int32_t width, int32_t height,
                               const RGBQUAD* palette, uint32_t paletteCount, uint32_t* imageSize)
{
    if (imageSize)
        *imageSize = 0;
    if (!info)
        return E_POINTER;
    std::memset(info, 0, sizeof(*info));
    const PixelType* type = FindPixelType(pixelType);
    if (!type || width < 1 || height == 0)
        return E_INVALIDARG;
    const uint32_t tableLimit = 1u << (type->bitCount <= 8 ? type->bitCount : 0);
    if (type->palette && (!palette || paletteCount < 1 || paletteCount > tableLimit))
        return E_INVALIDARG;
    const uint64_t bytes = VxSize_Image(type->bitCount, width, height);
    if (!VxSize_Fits(bytes))
        return E_OUTOFMEMORY;

    BITMAPINFOHEADER& header = info->header;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = type->bitCount;
    header.biCompression = type->compression;
    header.biSizeImage = uint32_t(bytes);
    if (type->palette) {
        header.biClrUsed = paletteCount;
        std::memcpy(info->colors, palette, size_t(paletteCount) * sizeof(RGBQUAD));
    } else if (type->greyTable) {
        // A grey ramp, so that a reader of the table sees the levels the samples stand for.
        header.biClrUsed = tableLimit;
        for (uint32_t i = 0; i < tableLimit; ++i) {
            const uint8_t level = uint8_t(i * 255 / (tableLimit - 1));
            info->colors[i] = {level, level, level, 0};
        }
    }
    if (imageSize)
        *imageSize = uint32_t(bytes);
    return S_OK;
}

uint64_t VxVideo_ImageSize(const BITMAPINFOHEADER& header)
{
    // The YUV layouts: 4:2:2 packs two pixels into 4 bytes; v210 packs 48 pixels into 128
    // bytes; I420 is a full-size luma plane and two quarter-size chroma planes.
    const int64_t width = header.biWidth;
    const uint64_t rows = VxSize_Rows(header.biHeight);
    if (width < 1)
        return 0;
    switch (header.biCompression) {
    case kFourCcUyvy:
    case kFourCcYuyv:
        return (uint64_t(width) + 1) / 2 * 4 * rows;
    case kFourCcV210:
        return (uint64_t(width) + 47) / 48 * 128 * rows;
    case kFourCcI420:
        return uint64_t(width) * rows + 2 * ((uint64_t(width) + 1) / 2 * ((rows + 1) / 2));
    default:
        return VxSize_Image(header.biBitCount, width, header.biHeight);
    }
}

void VxVideo_InitVideoExtension(tVXVIDEOEXTENSION* extension, double frameRate, double pixelAspect)
{
    if (!extension)
        return;
    std::memset(extension, 0, sizeof(*extension));
    extension->size = sizeof(tVXVIDEOEXTENSION);
    extension->word1 = 0xFFFFFFFFu;
    extension->interlaceType = 0xFFFFFFFFu;
    extension->frameRate = frameRate;
    extension->pixelAspect = pixelAspect > 0.0 ? pixelAspect : 1.0;
}

HRESULT VxVideo_GetAttribsText(const BITMAPINFOHEADER* header, char16_t* buf, int32_t bufChars)
{
    if (!header || (!buf && bufChars > 0))
        return E_POINTER;
    char text[128];
    int used = std::snprintf(text, sizeof(text), "%d x %llu, %u bits", int(header->biWidth),
                             static_cast<unsigned long long>(VxSize_Rows(header->biHeight)),
                             unsigned(header->biBitCount));
    const size_t at = used > 0 ? std::min(size_t(used), sizeof(text) - 1) : 0;
    if (header->biCompression == kVxCompressionGrey)
        std::snprintf(text + at, sizeof(text) - at, ", grayscale");
    else if (header->biCompression == kVxCompressionDeepBgra)
        std::snprintf(text + at, sizeof(text) - at, ", alpha");
    else if (header->biClrUsed > 0 && header->biBitCount <= 8)
        std::snprintf(text + at, sizeof(text) - at, ", %u colors", unsigned(header->biClrUsed));
    char16_t wide[128];
    size_t i = 0;
    for (; text[i] && i + 1 < sizeof(wide) / sizeof(wide[0]); ++i)
        wide[i] = char16_t(uint8_t(text[i]));  // the text is ASCII
    wide[i] = 0;
    VxStr_CopyTruncated(buf, bufChars, wide);
    return S_OK;
}

HRESULT VxFio_SetStreamFormatInfo(VXFILESTREAMFORMATINFOv2* record, const BITMAPINFOHEADER* header,
                                  const tVXVIDEOEXTENSION* extension, int64_t length)
{
    if (!record)
        return E_POINTER;
    // Exactly the record: the size word of a host's out record may be anything.
    std::memset(record, 0, sizeof(VXFILESTREAMFORMATINFOv2));
    record->size = sizeof(VXFILESTREAMFORMATINFOv2);
    record->streamType = kVxStreamTypeVideo;
    record->length = length;
    if (extension)
        record->extension.video = *extension;
    if (header)
        record->format.video = *header;
    return S_OK;
}

HRESULT VxFio_FillStreamFormatInfo(IUnknown* stream, uint32_t type, VXFILESTREAMFORMATINFOv2* record)
{
    if (!record)
        return E_POINTER;
    const uint32_t size = std::max<uint32_t>(record->size, sizeof(VXFILESTREAMFORMATINFOv2));
    std::memset(record, 0, size);
    record->size = size;
    record->streamType = type;
    switch (type) {
    case kVxStreamTypeVideo: {
        if (!stream)
            return E_POINTER;
        CVxComPtr<IVxReadVideoStream> video;
        VX_RETURN_IF_FAILED(stream->QueryInterface(IID_IVxReadVideoStream, video.OutVoid()));
        const HRESULT hr = video->GetFormatInfo(record);
        record->size = size;  // the caller's larger record keeps its size
        return hr;
    }
    case kVxStreamTypeAudio: {
        if (!stream)
            return E_POINTER;
        CVxComPtr<IVxReadAudioStream> audio;
        VX_RETURN_IF_FAILED(stream->QueryInterface(IID_IVxReadAudioStream, audio.OutVoid()));
        return audio->GetFormatInfo(record);
    }
    case kVxStreamTypeEmpty:
        std::memset(record, 0, sizeof(VXFILESTREAMFORMATINFOv2));
        return S_OK;
    default:
        return E_INVALIDARG;
    }
}

HRESULT VxFio_FillBstrArrayFromStringResourceMap(const VXLANG* language, const uint32_t* ids,
                                                 uint32_t count, BSTR* texts,
                                                 const FILECLASS_INFO_STRING_MAP* map,
                                                 uint32_t mapCount, const char16_t* suffix)
{
    if (count == 0)
        return S_OK;
    if (!ids || !texts || (!map && mapCount > 0))
        return E_POINTER;
    HRESULT result = S_OK;
    for (uint32_t i = 0; i < count; ++i) {
        texts[i] = nullptr;
        const FILECLASS_INFO_STRING_MAP* entry = nullptr;
        for (uint32_t m = 0; m < mapCount && !entry; ++m)
            if (map[m].infoId == ids[i])
                entry = &map[m];
        if (!entry || entry->value == 0)
            continue;
        const char16_t* text = entry->value < 0x10000
                                   ? VxLang_LoadString(language, uint32_t(entry->value))
                                   : reinterpret_cast<const char16_t*>(entry->value);
        if (!text)
            text = u"";
        if (suffix && *suffix && (ids[i] == kInfoTextDescription || ids[i] == kInfoTextFormatName)) {
            const size_t textChars = VxStr_Length(text);
            const size_t suffixChars = VxStr_Length(suffix);
            texts[i] = SysAllocStringLen(nullptr, UINT(textChars + suffixChars));
            if (texts[i]) {
                std::memcpy(texts[i], text, textChars * sizeof(char16_t));
                std::memcpy(texts[i] + textChars, suffix, suffixChars * sizeof(char16_t));
            }
        } else {
            texts[i] = SysAllocString(text);
        }
        if (!texts[i])
            result = E_OUTOFMEMORY;
    }
    return result;
}
