// JPEG images over a byte source, with no COM and no handles: the header check, the header and
// the frame layout it implies, and decoding through libjpeg into a frame of bottom-up rows
// (colour as B, G, R bytes, greyscale as one byte a pixel). The reader glue (JpegReader.h),
// the tests and the fuzzers build on this.
#pragma once

#include "../../framework/ImageSize.h"
#include "../../framework/RowBands.h"
#include "../../platform/VxOwners.h"
#include "../../plugin/contracts/VxResults.h"

#include <cstddef>
#include <cstdint>

// libjpeg's input buffer: the decoder asks its source for this many bytes at a time.
constexpr size_t kJpegSourceBufferBytes = 4096;

// The first bytes of a file: S_OK for FF D8 FF, VXE_FILE_READ for anything else or fewer than
// three bytes.
HRESULT VxJpeg_CheckFileHeader(const uint8_t* head, uint32_t headBytes);

// Where the decoder takes its bytes: read places up to `bytes` bytes at `buffer` and answers how
// many it placed; fewer only at the end of the data or on an error. It must not throw.
struct VxJpegSource {
    size_t (*read)(void* context, uint8_t* buffer, size_t bytes) = nullptr;
    void* context = nullptr;
};

// What a JPEG header says and the frame chosen for it.
struct VxJpegImage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t components = 0;   // of the output: 1 (grey) or 3 (colour)
    uint32_t pixelType = 0;    // kVxPixelGrey8 or kVxPixelBgr24
    uint32_t stride = 0;       // bytes per frame row: a multiple of 4
    uint32_t imageBytes = 0;   // stride × height
    bool progressive = false;
};

struct VxJpegState;  // libjpeg's decompression object and the module's error manager

// One JPEG read through libjpeg. Each call creates libjpeg's decompression object afresh and
// destroys it before it returns: no libjpeg state survives between calls. libjpeg's errors
// return to the call that drove libjpeg; nothing ever ends the process or prints.
// Not thread-safe: one caller at a time.
class CVxJpegDecoder {
public:
    CVxJpegDecoder() = default;
    CVxJpegDecoder(const CVxJpegDecoder&) = delete;
    CVxJpegDecoder& operator=(const CVxJpegDecoder&) = delete;
    ~CVxJpegDecoder() = default;

    // Reads the header from the source (positioned at the first byte of the file) and describes
    // the frame. A libjpeg error, a missing image or a file that ends in the header:
    // VXE_FILE_READ; four-component (CMYK, YCCK) files: VXE_CORRUPT; a frame larger than
    // maxImageBytes: E_OUTOFMEMORY, before anything of the image's size is allocated.
    HRESULT ReadInfo(const VxJpegSource& source, VxJpegImage* image,
                     uint64_t maxImageBytes = kVxMaxImageBytes);

    // Reads the whole file again from the source (positioned at its first byte) and writes the
    // frame into pixels. The header must still describe `expected` (the file may have changed
    // since it was opened: else VXE_CORRUPT) and bytes must hold its image size (else
    // E_INVALIDARG). A libjpeg error during the decode gives VXE_CORRUPT; libjpeg's warnings (corrupt data it recovers from, a
    // file cut short) do not: its recovery decides the pixels. Rows already written stay
    // written after a failure.
    HRESULT Decode(const VxJpegSource& source, const VxJpegImage& expected, uint8_t* pixels,
                   uint32_t bytes);
    // The same frame band by band: each batch of rows libjpeg gives is written into a band and
    // handed on at once; a failure of the band's delivery stops the decode with that result.
    HRESULT Decode(const VxJpegSource& source, const VxJpegImage& expected, CVxRowBands& bands);

    // libjpeg's last error or warning text (for tests and diagnostics; never printed).
    const char* LastMessage() const { return m_message; }
    // Warnings libjpeg gave during the last call.
    long Warnings() const { return m_warnings; }

private:
    // Creates the decompression object, attaches the source and reads the header.
    HRESULT Begin(VxJpegState* state, const VxJpegSource& source);
    // Begin on the state in `block` (E_OUTOFMEMORY when the block could not be had); the state
    // is ended again when Begin fails.
    HRESULT Start(const CVxGlobalBlock& block, const VxJpegSource& source, VxJpegState** state);
    void End(VxJpegState* state);

    char m_message[200] = {};
    long m_warnings = 0;
};

// The format's whole path on a byte buffer: reads the header, allocates a zero-filled frame of
// the image's size (refusing frames above maxImageBytes with E_OUTOFMEMORY) and decodes into
// it. Results as CVxJpegDecoder's.
HRESULT VxJpeg_DecodeBytes(const uint8_t* data, size_t size, uint64_t maxImageBytes,
                           VxJpegImage* image, CVxGlobalBlock* frame);
