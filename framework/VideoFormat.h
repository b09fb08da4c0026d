// Library helpers that describe video formats: bitmap headers for the module's pixel types,
// the video extension, the stream format record, the attribute text and the info-text map.
#pragma once

#include "../plugin/contracts/VxInterfaces.h"
#include "../plugin/contracts/VxRecords.h"
#include "../plugin/contracts/VxResults.h"

struct VXLANG;

// Pixel types of VxVideo_InitBitmapInfo.
constexpr uint32_t kVxPixelGrey1 = 17;        // "VXGS", with a 2-entry grey colour table
constexpr uint32_t kVxPixelGrey2 = 18;        // "VXGS", 4 entries
constexpr uint32_t kVxPixelGrey4 = 19;        // "VXGS", 16 entries
constexpr uint32_t kVxPixelGrey8 = 20;        // "VXGS", 256 entries
constexpr uint32_t kVxPixelGrey16 = 21;       // "VXGS", no colour table
constexpr uint32_t kVxPixelGreyFloat = 22;    // "VXGS", 32-bit float samples
constexpr uint32_t kVxPixelPalette4 = 23;     // 4-bit indices, BI_RGB, the given palette
constexpr uint32_t kVxPixelPalette8 = 24;     // 8-bit indices, BI_RGB, the given palette
constexpr uint32_t kVxPixelBgr24 = 27;        // B, G, R bytes, BI_RGB
constexpr uint32_t kVxPixelBgrx32 = 28;       // B, G, R, unused, BI_RGB
constexpr uint32_t kVxPixelBgra32 = 29;       // B, G, R, A bytes, "VXDB"
constexpr uint32_t kVxPixelBgra64 = 31;       // B, G, R, A 16-bit samples, "VXDB"
constexpr uint32_t kVxPixelBgraFloat = 32;    // B, G, R, A 32-bit floats, "VXDB"

// Fills a bitmap header and its colour table for a pixel type: bottom-up rows padded to 4
// bytes, image size = padded row × |height|, which is also written to imageSize (may be
// null). palette/paletteCount are used by the palette types only (1 to 2^bits entries).
// E_INVALIDARG: unknown pixel type, width < 1, height 0, a palette type without a fitting
// palette. E_OUTOFMEMORY: an image larger than a frame can be (kVxMaxImageBytes).
HRESULT VxVideo_InitBitmapInfo(VXBITMAPINFO* info, uint32_t pixelType, int32_t width, int32_t height,
                               const RGBQUAD* palette, uint32_t paletteCount, uint32_t* imageSize);

// Bytes of the image a header describes: the YUV rule for "UYVY", "YUYV", "v210" and "I420",
// else padded rows × |height|. 64-bit; the caller checks it with VxSize_Fits.
uint64_t VxVideo_ImageSize(const BITMAPINFOHEADER& header);

// The video extension of a still: size 64, word 1 all bits set, interlace -1, the frame rate,
// the pixel aspect when above 0 (else 1.0), everything else 0.
void VxVideo_InitVideoExtension(tVXVIDEOEXTENSION* extension, double frameRate, double pixelAspect);

// A short text describing a bitmap header ("640 x 480, 24 bits"), cut to bufChars.
HRESULT VxVideo_GetAttribsText(const BITMAPINFOHEADER* header, char16_t* buf, int32_t bufChars);

// Video form of the format record: clears exactly its 184 bytes whatever the size word holds
// (a host's out record may be uninitialised), sets size 184, type 2, the length, the header and
// extension when given.
HRESULT VxFio_SetStreamFormatInfo(VXFILESTREAMFORMATINFOv2* record, const BITMAPINFOHEADER* header,
                                  const tVXVIDEOEXTENSION* extension, int64_t length);

// Fills one format record for a stream of the given type: clears max(size, 184) bytes and
// stores size and type; type 2 asks the stream's IVxReadVideoStream::GetFormatInfo, type 1 its
// IVxReadAudioStream::GetFormatInfo; type 8 leaves 184 zero bytes; other types E_INVALIDARG.
HRESULT VxFio_FillStreamFormatInfo(IUnknown* stream, uint32_t type, VXFILESTREAMFORMATINFOv2* record);

// One entry of an info-text map: a value below 0x10000 is a string-resource id, any other
// value points to a constant string; 0 means "no text".
struct FILECLASS_INFO_STRING_MAP {
    uint32_t infoId;
    uintptr_t value;
};

// Fills texts[i] with a new BSTR for ids[i] from the map (first entry with that id), or null
// when the id is absent or its value is 0. A non-empty suffix is appended to info texts 2 and
// 5. A failed allocation answers E_OUTOFMEMORY and the next ids are still filled.
HRESULT VxFio_FillBstrArrayFromStringResourceMap(const VXLANG* language, const uint32_t* ids,
                                                 uint32_t count, BSTR* texts,
                                                 const FILECLASS_INFO_STRING_MAP* map,
                                                 uint32_t mapCount, const char16_t* suffix);
