// Windows bitmap files over bytes, with no COM and no handles: the header test, the header and
// colour table as the reader keeps them, and the expansion of every layout that cannot be
// delivered as stored into a bottom-up 24-bit frame. The reader glue (DibReader.h), the tests
// and the fuzzer build on this.
#pragma once

#include "../../framework/ImageSize.h"
#include "../../plugin/contracts/VxRecords.h"
#include "../../plugin/contracts/VxResults.h"

#include <cstddef>
#include <cstdint>

constexpr uint16_t kDibFileType = 0x4D42;  // "BM"
constexpr uint32_t kDibFileHeaderBytes = 14;
constexpr uint32_t kDibCoreHeaderBytes = 12;
constexpr uint32_t kDibInfoHeaderBytes = 40;
constexpr uint32_t kDibLargestHeaderBytes = 124;  // the version 5 header
constexpr uint32_t kDibMaskHeaderBytes = 52;      // the smallest header that holds its masks
constexpr uint32_t kDibJpeg = 4;                  // BI_JPEG: a JPEG file as the pixel data
constexpr uint32_t kDibPng = 5;                   // BI_PNG: a PNG file as the pixel data
// Bytes the header test looks at: the file header and a 40-byte information header.
constexpr uint32_t kDibHeadBytes = kDibFileHeaderBytes + kDibInfoHeaderBytes;
// Bytes from the start of a file that hold every header and the largest colour table.
constexpr size_t kDibMostHeadBytes = kDibFileHeaderBytes + kDibLargestHeaderBytes + 4 * 65535 + 12;

// The header test of the class object on the file's first bytes (missing bytes count as 0):
// not "BM", a file under 12 bytes, or headers, colour table and image that together need more
// than fileSize bytes: VXE_UNSUPPORTED_FORMAT; else S_OK. Sizes are added in 64 bits and a
// top-down image counts its rows without the sign.
HRESULT VxDib_CheckFileHeader(const uint8_t* head, size_t headBytes, uint64_t fileSize);

// One bitmap as the reader keeps it.
struct VxDibImage {
    // The header as stored (a core header turned into the 40-byte form, the size field kept),
    // with colours used filled in (2^bits up to 8 bits, at most 256: the table holds 256) and
    // the image size filled in, followed by its colour table or its three masks (red, green,
    // blue), taken from inside the header when the header holds them.
    VXBITMAPINFO stored = {};
    uint8_t headerTail[kDibLargestHeaderBytes - kDibInfoHeaderBytes] = {};  // bytes 40 on
    uint32_t headerSize = 0;
    uint64_t pixelOffset = 0;  // of the pixel data in the file
    uint32_t pixelBytes = 0;   // bytes of pixel data the frame is made from
    bool asStored = false;     // delivered from the file's own bytes
    // What the frame buffer holds: the stored header and table, or the 24-bit header of an
    // expanded layout (bottom-up, colours used 0).
    VXBITMAPINFO delivered = {};
    uint32_t deliveredBytes = 0;
};

// Whether a header and its masks describe a layout delivered as the file stores it.
// Bit-field images count as stored only with the masks of the usual layouts (5-5-5, 5-6-5 and
// 8-8-8, blue lowest), the only ones the widening and the host read right; every other mask
// goes through the expander, which scales each channel by its own mask.
bool VxDib_IsStoredLayout(const BITMAPINFOHEADER& header, const RGBQUAD* masks);

// Reads the headers and colour table from the first bytes of a file of fileSize bytes.
// Not a bitmap, a header size other than 12 or 40 to 124, a width below 1, a height of 0, a
// stored layout whose pixels lie beyond the file, or a frame too large: VXE_CORRUPT.
HRESULT VxDib_ParseHeader(const uint8_t* data, size_t size, uint64_t fileSize, VxDibImage* image);

// Expands the pixel data of a layout that is not delivered as stored into the delivered 24-bit
// frame (frameBytes = image.deliveredBytes, zero-filled by the caller). Run-length streams stop
// at their end, at the frame's end or at the data's end; pixels they never set stay black, as
// do indices beyond the colour table. A layout the expander cannot read leaves the frame black.
// BI_JPEG and BI_PNG payloads that fail to decode, or decode to another size: E_FAIL.
HRESULT VxDib_Expand(const VxDibImage& image, const uint8_t* pixels, size_t pixelBytes, uint8_t* frame,
                     size_t frameBytes);

// The whole path on a file in memory (tests and fuzzers): header, then the frame as delivered
// (stored bytes, or the expansion) in a new block of image.deliveredBytes.
class CVxGlobalBlock;
HRESULT VxDib_DecodeBytes(const uint8_t* data, size_t size, VxDibImage* image, CVxGlobalBlock* frame);
