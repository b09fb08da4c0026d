// Layered PSD documents over bytes: the header, the layer records, the merged image and single
// layers decoded into frames. No COM and no handles: the reader, tests and the fuzzer call it
// with a source that reads bytes at an offset.
#pragma once

#include "../../plugin/contracts/VxRecords.h"
#include "../../plugin/contracts/VxResults.h"

#include <cstddef>
#include <cstdint>

constexpr uint32_t kPsdHeaderBytes = 26;
constexpr uint16_t kPsdModeGrey = 1;
constexpr uint16_t kPsdModeIndexed = 2;
constexpr uint16_t kPsdModeRgb = 3;
constexpr uint16_t kPsdModeCmyk = 4;
constexpr uint16_t kPsdChannelTransparency = 0xFFFF;
constexpr uint16_t kPsdChannelMask = 0xFFFE;
constexpr uint32_t kPsdNameChars = 259;  // 258 characters and the terminator
constexpr uint32_t kPsdMaxLayers = 32767;

// Reads bytes of the document at an offset; answers how many it read (fewer at the end of the
// document or on an error).
struct VxPsdSource {
    size_t (*read)(void* context, uint64_t offset, uint8_t* buffer, size_t bytes) = nullptr;
    void* context = nullptr;
};

// A document held in memory, for tests and the fuzzer.
struct VxPsdMemory {
    const uint8_t* data;
    size_t size;
};
VxPsdSource VxPsd_MemorySource(VxPsdMemory* memory);

// Big-endian values from a source through a buffer of its own, so that reading a row or a
// field never costs a read of the source each. A read that does not fit answers 0 and marks
// the reader failed until the next Seek.
class CVxPsdReader {
public:
    explicit CVxPsdReader(const VxPsdSource& source);
    CVxPsdReader(const CVxPsdReader&) = delete;
    CVxPsdReader& operator=(const CVxPsdReader&) = delete;
    ~CVxPsdReader();

    bool Ready() const { return m_buffer != nullptr; }  // false when its buffer could not be had
    void Seek(uint64_t position);
    uint64_t Tell() const { return m_position; }
    bool Ok() const { return !m_failed; }
    bool Read(void* out, size_t bytes);  // all bytes or none (the rest of out untouched)
    uint8_t U8();
    uint16_t U16();
    uint32_t U32();

private:
    bool Fill(size_t wanted);

    VxPsdSource m_source;
    uint8_t* m_buffer = nullptr;
    uint64_t m_bufferStart = 0;  // document offset of m_buffer[0]
    size_t m_bufferBytes = 0;    // valid bytes in m_buffer
    uint64_t m_position = 0;
    bool m_failed = false;
};

struct VxPsdHeader {
    uint8_t signature[4];
    uint16_t version;
    uint16_t channels;
    uint32_t height;
    uint32_t width;
    uint16_t depth;
    uint16_t mode;
};

struct VxPsdChannelInfo {
    uint16_t id;         // 0 to 3 colour channels, kPsdChannelTransparency, kPsdChannelMask
    uint32_t length;     // stored bytes, the compression word included
    uint64_t offset;     // document offset of its compression word
};

struct VxPsdLayerRecord {
    int32_t top, left, bottom, right;
    uint16_t channelCount;
    VxPsdChannelInfo* channels;  // owned by the document, channelCount entries
    uint32_t blendSignature, blendKey;
    uint8_t opacity, clipping, flags, filler;
    int32_t maskTop, maskLeft, maskBottom, maskRight;
    uint8_t maskColor, maskFlags;
    char16_t name[kPsdNameChars];
};

// A parsed document: header, section positions and the layer records. Owns the records.
class CVxPsdDocument {
public:
    CVxPsdDocument() = default;
    CVxPsdDocument(const CVxPsdDocument&) = delete;
    CVxPsdDocument& operator=(const CVxPsdDocument&) = delete;
    ~CVxPsdDocument() { Reset(); }
    void Reset();

    VxPsdHeader header = {};
    VxPsdLayerRecord* layers = nullptr;
    uint32_t layerCount = 0;           // the records kept (at most kPsdMaxLayers)
    uint64_t colorModePosition = 0;    // of the colour mode data's length field
    uint64_t layerDataPosition = 0;    // after the last layer record; 0 before a parse
    uint64_t mergedPosition = 0;       // of the merged image's compression word
    bool mergedAlpha = false;          // the stored layer count was negative
};

// S_OK when at least 26 bytes begin with "8BPS", else VXE_FILE_READ.
HRESULT VxPsd_CheckSignature(const uint8_t* head, uint32_t headBytes);

// Reads the header and the layer records. E_FAIL: the header cannot be read or its signature
// is wrong; E_OUTOFMEMORY: the layer array cannot be had. Damage inside the sections is not an
// error: values that cannot be read stay 0, and the layer list ends at the first record the
// document does not hold whole.
HRESULT VxPsd_Parse(const VxPsdSource& source, CVxPsdDocument* document);

// The layer count the host sees: 1 for greyscale and indexed documents (fewer than 3
// channels), else the layer count.
uint32_t VxPsd_VisibleLayerCount(const CVxPsdDocument& document);

// The frame of the merged image: the pixel type of VxVideo_InitBitmapInfo and the channels
// decoded. E_NOTIMPL for modes and depths the reader does not decode; modes the format does
// not define answer pixel type 0.
struct VxPsdFrameFormat {
    uint32_t pixelType;
    uint32_t channelsToDecode;
    bool alphaWanted;  // the stream's extension marks an alpha channel
};
HRESULT VxPsd_ChooseFormat(const CVxPsdDocument& document, VxPsdFrameFormat* format);

// The 256 B, G, R, A entries of an indexed document from its colour mode data; a section
// shorter than 768 bytes leaves the missing entries zero.
HRESULT VxPsd_ReadPalette(const VxPsdSource& source, const CVxPsdDocument& document, RGBQUAD palette[256]);

// Decodes the merged image into a bottom-up frame of the format's pixel type (bytes: the frame
// buffer's size). E_FAIL: a row or the row count table cannot be read; E_INVALIDARG: the frame
// does not fit in bytes.
HRESULT VxPsd_DecodeImage(const VxPsdSource& source, const CVxPsdDocument& document,
                          const VxPsdFrameFormat& format, void* pixels, uint32_t bytes);

// Decodes layer index (1-based) into a canvas-size bottom-up frame of B, G, R, A samples (8-bit
// documents: bytes, 16-bit: native 16-bit samples). E_INVALIDARG: index 0 or beyond the layer
// count; VXE_BUFFER_TOO_SMALL: bytes cannot hold the canvas; E_FAIL: 32-bit documents and
// planes the document does not hold; S_OK without writing for other depths.
HRESULT VxPsd_DecodeLayer(const VxPsdSource& source, const CVxPsdDocument& document, uint32_t index,
                          void* pixels, uint32_t bytes);

// PackBits: writes bytes [first, first + count) of the row that source unpacks to into out and
// never outside them; bytes the source does not reach are left as they were.
void VxPsd_UnpackBitsWindow(const uint8_t* source, size_t sourceBytes, uint8_t* out, size_t first,
                            size_t count);
inline void VxPsd_UnpackBitsRow(const uint8_t* source, size_t sourceBytes, uint8_t* out, size_t outBytes)
{
    VxPsd_UnpackBitsWindow(source, sourceBytes, out, 0, outBytes);
}
