// TARGA files over bytes, with no COM and no handles: the header, its test and the decoding of
// colour-mapped, true-colour and grey images, raw and run-length encoded, into 24- or 32-bit
// rows. The reader glue (TgaReader.h), the tests and the fuzzer build on this.
#pragma once

#include "../../plugin/contracts/VxRecords.h"
#include "../../plugin/contracts/VxResults.h"

#include <cstddef>
#include <cstdint>

constexpr size_t kTgaHeaderBytes = 18;
constexpr size_t kTgaCheckBytes = 277;      // the header test needs this many bytes of a file
constexpr uint32_t kTgaMaxSide = 8192;
constexpr uint32_t kTgaColorMapEntries = 16383;
// The most bytes a valid file can use: header, identification, the largest colour map and the
// largest image in run-length packets of one pixel each. Bytes beyond are never read.
constexpr uint64_t kTgaMostFileBytes = kTgaHeaderBytes + 255 + 4 * 65535 + 5ull * kTgaMaxSide * kTgaMaxSide;
constexpr uint8_t kTgaTypeMapped = 1;
constexpr uint8_t kTgaTypeTrueColor = 2;
constexpr uint8_t kTgaTypeGrey = 3;
constexpr uint8_t kTgaTypeRleMapped = 9;
constexpr uint8_t kTgaTypeRleTrueColor = 10;
constexpr uint8_t kTgaTypeRleGrey = 11;

// The 18-byte header with the four values its descriptor byte packs.
struct VxTgaHeader {
    uint8_t idLength = 0;
    uint8_t colorMapType = 0;
    uint8_t imageType = 0;
    uint16_t colorMapFirst = 0;
    uint16_t colorMapLength = 0;
    uint8_t colorMapEntryBits = 0;
    uint16_t xOrigin = 0;
    uint16_t yOrigin = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t pixelDepth = 0;
    uint8_t descriptor = 0;
    uint8_t alphaBits = 0;    // descriptor bits 0-3
    bool rightToLeft = false;  // bit 4
    bool topToBottom = false;  // bit 5
    uint8_t interleave = 0;   // bits 6-7, not used
};

// Reads the header from the first bytes of a file; fewer than 18: VXE_CORRUPT.
HRESULT VxTga_ParseHeader(const uint8_t* data, size_t size, VxTgaHeader* header);

// VXE_CORRUPT unless: the type is 1, 2, 3, 9, 10 or 11; a colour-mapped type has colour map
// type 1 and an entry size of 8, 15, 16, 24 or 32 bits, other types a pixel depth of those;
// width and height are 1 to 8192; and a colour map, when there is one, fits the 16,383
// entries of the table (first entry + length + 1 below 16,384).
HRESULT VxTga_CheckHeader(const VxTgaHeader& header);

// The delivered frame: 32 bits per pixel (B, G, R, A) for a pixel depth of 32, else 24
// (B, G, R); rows padded to 4 bytes.
uint32_t VxTga_FrameBits(const VxTgaHeader& header);
uint32_t VxTga_FrameStride(const VxTgaHeader& header);
uint32_t VxTga_FrameBytes(const VxTgaHeader& header);

// Raw true-colour files of 24 or 32 bits stored left to right hold the frame's rows as they
// are, only without the row padding: true, with the file offset of the first row.
bool VxTga_IsRawFrame(const VxTgaHeader& header, uint64_t* offset);
// Spreads the rows of such a file, read back to back into the start of frame (bytesRead of
// them), to the frame's padded rows. Rows the bytes did not reach stay as they were (black).
void VxTga_PadRows(const VxTgaHeader& header, uint8_t* frame, size_t bytesRead);

// Decodes a whole file held in memory into frame (frameBytes = VxTga_FrameBytes, zero-filled
// by the caller). Rows go in file order; stride receives the row stride, negative when the
// file's first row is the top one. Right-to-left files are mirrored so that the frame shows
// them the right way round. Decoding never reads past the bytes or the colour map: pixels of a
// truncated file stay black, and so do indices beyond the colour table. An invalid header:
// VXE_CORRUPT.
HRESULT VxTga_DecodeImage(const uint8_t* data, size_t size, uint8_t* frame, size_t frameBytes,
                          int32_t* stride);
