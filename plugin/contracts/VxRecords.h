// Records that cross the host boundary, with their exact 32-bit Windows byte layout.
#pragma once

#include "VxTypes.h"

#pragma pack(push, 4)

struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};
static_assert(sizeof(RGBQUAD) == 4);

// A bitmap header followed by room for its colour table (masks or up to 256 entries).
struct VXBITMAPINFO {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
};
static_assert(sizeof(VXBITMAPINFO) == 40 + 1024);

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;

constexpr uint32_t VxFourCC(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}
constexpr uint32_t kVxCompressionGrey = VxFourCC('V', 'X', 'G', 'S');      // greyscale pixel types
constexpr uint32_t kVxCompressionDeepBgra = VxFourCC('V', 'X', 'D', 'B');  // 32-bit alpha, 64 and 128 bits

// Stream types (VXFILESTREAMTYPE).
constexpr uint32_t kVxStreamTypeAudio = 1;
constexpr uint32_t kVxStreamTypeVideo = 2;
constexpr uint32_t kVxStreamTypeEmpty = 8;

struct tVXVIDEOEXTENSION {
    uint32_t size;           // 64
    uint32_t word1;          // 0xFFFFFFFF
    uint32_t word2;          // 0
    uint32_t interlaceType;  // VXINTERLACETYPE, -1
    double frameRate;
    double pixelAspect;
    double reserved;
    uint32_t flags;          // 1 layer stream, 2 layered document, 0xFFFFFFFF 32-bit DIB/TGA
    uint8_t reserved2[20];
};
static_assert(sizeof(tVXVIDEOEXTENSION) == 64);
static_assert(offsetof(tVXVIDEOEXTENSION, frameRate) == 16);
static_assert(offsetof(tVXVIDEOEXTENSION, pixelAspect) == 24);
static_assert(offsetof(tVXVIDEOEXTENSION, flags) == 40);

struct VXFILESTREAMFORMATINFOv2 {
    uint32_t size;        // 184, or a caller's larger size
    uint32_t streamType;  // kVxStreamType...
    int64_t length;
    uint32_t reserved1;
    uint32_t reserved2;
    union {
        tVXVIDEOEXTENSION video;
        uint8_t audio[64];
    } extension;
    union {
        BITMAPINFOHEADER video;
        uint8_t audio[96];
    } format;
};
static_assert(sizeof(VXFILESTREAMFORMATINFOv2) == 184);
static_assert(offsetof(VXFILESTREAMFORMATINFOv2, length) == 8);
static_assert(offsetof(VXFILESTREAMFORMATINFOv2, extension) == 24);
static_assert(offsetof(VXFILESTREAMFORMATINFOv2, format) == 88);

// The frame record that GetFrameFormat and GetFrame write for the host.
struct VXFRAMEINFO {
    int64_t frameTime;       // -1 from GetFrameFormat, 0 from GetFrame
    uint8_t reserved1[8];
    double scale;            // 1.0
    uint32_t imageBytes;
    uint32_t reserved2;
    tVXVIDEOEXTENSION extension;
    BITMAPINFOHEADER header;
    int32_t stride;          // negative when the top row comes first
    uint8_t reserved3[16];
    uint32_t bottomRowOffset;
    uint8_t reserved4[8];
};
static_assert(sizeof(VXFRAMEINFO) == 168);
static_assert(offsetof(VXFRAMEINFO, scale) == 16);
static_assert(offsetof(VXFRAMEINFO, imageBytes) == 24);
static_assert(offsetof(VXFRAMEINFO, extension) == 32);
static_assert(offsetof(VXFRAMEINFO, header) == 96);
static_assert(offsetof(VXFRAMEINFO, stride) == 136);
static_assert(offsetof(VXFRAMEINFO, bottomRowOffset) == 156);

// Out record of TimeToFrame and FrameToTime (100-ns units).
struct VXFRAMETIME {
    int64_t frame;
    int64_t start;
    int64_t duration;
};
static_assert(sizeof(VXFRAMETIME) == 24);

// Names a block of host memory that receives a frame, possibly in another process.
struct _vxmemorytoken {
    uint64_t memoryHandle;  // mapping handle valid in the owner process (kind 1)
    uint64_t baseAddress;   // block address in the owner process
    int32_t dataSize;
    uint32_t mappedSize;
    uint32_t dataOffset;
    uint32_t reserved;
    uint32_t kind;          // kVxTokenKind...
    uint32_t ownerProcessId;
};
static_assert(sizeof(_vxmemorytoken) == 40);
static_assert(offsetof(_vxmemorytoken, dataSize) == 16);
static_assert(offsetof(_vxmemorytoken, dataOffset) == 24);
static_assert(offsetof(_vxmemorytoken, kind) == 32);
static_assert(offsetof(_vxmemorytoken, ownerProcessId) == 36);

constexpr uint32_t kVxTokenKindMemory = 0;   // ordinary memory of the owner process
constexpr uint32_t kVxTokenKindMapping = 1;  // a file mapping

// Head of one summary record: header size 12, field code, data byte count; the data follows.
struct VXSUMMARYRECORD {
    uint32_t headerSize;
    uint32_t fieldCode;
    uint32_t dataBytes;
};
static_assert(sizeof(VXSUMMARYRECORD) == 12);

// The three words heading a sidecar's media-manager chunk: tag 100, header size 12, count.
struct VXMEDIAMGRINFO {
    uint32_t tag;
    uint32_t headerSize;
    uint32_t propertyCount;
};
static_assert(sizeof(VXMEDIAMGRINFO) == 12);

#pragma pack(pop)

// Render template record: the render file keeps a private copy and never reads it.
struct VXTEMPLATExV2;
