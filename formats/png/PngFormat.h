// PNG images over a byte source, with no COM and no handles: the signature check, the header
// and the frame layout it implies, and decoding through libpng into a frame buffer of
// bottom-up rows. The reader glue (PngReader.h) and the tests and fuzzers build on this.
#pragma once

#include "../../framework/ImageSize.h"
#include "../../framework/VideoFormat.h"
#include "../../platform/VxOwners.h"
#include "../../plugin/contracts/VxRecords.h"
#include "../../plugin/contracts/VxResults.h"

#include <cstddef>
#include <cstdint>

struct png_struct_def;
struct png_info_def;

// Colour types of the PNG header.
constexpr uint8_t kPngColorGrey = 0;
constexpr uint8_t kPngColorRgb = 2;
constexpr uint8_t kPngColorPalette = 3;
constexpr uint8_t kPngColorGreyAlpha = 4;
constexpr uint8_t kPngColorRgbAlpha = 6;

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// The first bytes of a file: fewer than 8 give VXE_FILE_READ, the PNG signature S_OK, anything
// else VXE_FILE_OPEN.
HRESULT VxPng_CheckSignature(const uint8_t* head, uint32_t headBytes);

// The pixel type (kVxPixel...) of the frame for a header: the table of every colour type, bit
// depth and transparency case. Combinations PNG does not allow give E_FAIL.
HRESULT VxPng_ChoosePixelType(uint8_t colorType, uint8_t bitDepth, bool hasTransparency,
                              uint32_t* pixelType);

// Bits per pixel of one of the pixel types above; 0 for any other.
uint32_t VxPng_BitsPerPixel(uint32_t pixelType);

// Where the decoder takes its bytes: read places up to `bytes` bytes at `buffer` and answers how
// many it placed; fewer only at the end of the data or on an error. It must not throw.
struct VxPngSource {
    size_t (*read)(void* context, uint8_t* buffer, size_t bytes) = nullptr;
    void* context = nullptr;
};

// What a PNG header says and the frame chosen for it.
struct VxPngImage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t bitDepth = 0;
    uint8_t colorType = 0;
    uint8_t interlace = 0;
    bool hasTransparency = false;  // a tRNS chunk libpng accepted
    uint16_t transparentGrey = 0;  // colour key of grey and RGB images, in the file's bit depth
    uint16_t transparentRed = 0;
    uint16_t transparentGreen = 0;
    uint16_t transparentBlue = 0;
    bool gammaKnown = false;  // the file has a gAMA chunk: recorded, never applied
    double gamma = 0.0;       // the file gamma of that chunk
    uint32_t pixelType = 0;
    uint32_t bitsPerPixel = 0;
    uint32_t stride = 0;      // bytes per frame row: a multiple of 4
    uint32_t imageBytes = 0;  // stride × height
    uint32_t paletteCount = 0;  // colour table entries of palette images, else 0
    RGBQUAD palette[256] = {};  // blue, green, red, alpha
};

// One PNG read through libpng. It owns libpng's read and info structures from ReadInfo until
// the next ReadInfo, Decode or Reset, and a fixed input buffer that turns libpng's many small
// reads into large reads of the source. Not thread-safe: one caller at a time.
class CVxPngDecoder {
public:
    CVxPngDecoder() = default;
    CVxPngDecoder(const CVxPngDecoder&) = delete;
    CVxPngDecoder& operator=(const CVxPngDecoder&) = delete;
    ~CVxPngDecoder() { Reset(); }

    // Reads the signature and the chunks before the image data from the source's current
    // position and describes the frame. Not a PNG, a libpng error, a combination PNG does not
    // allow or a frame too large: E_FAIL; no memory for the input buffer: E_OUTOFMEMORY.
    HRESULT ReadInfo(const VxPngSource& source, VxPngImage* image);

    // Reads the whole image again from the source (positioned at the first byte of the file)
    // and writes the frame into pixels: bottom-up rows of image.stride bytes laid out as the
    // pixel type says. The header must still describe `expected` (the file may have changed
    // since it was opened) and `bytes` must be its image size: else E_FAIL. Any libpng error
    // (truncation, CRC, zlib, unknown critical chunks) and palette indices beyond the colour
    // table give E_FAIL. Rows already written stay written after a failure.
    HRESULT Decode(const VxPngSource& source, const VxPngImage& expected, uint8_t* pixels,
                   uint32_t bytes);

    // Destroys the libpng structures; the next call starts afresh.
    void Reset();

    // libpng's message for the last error (for tests and diagnostics; never printed).
    const char* LastMessage() const { return m_message; }

private:
    HRESULT Start(const VxPngSource& source);
    HRESULT ReadChunksBeforeImage(VxPngImage* image);
    HRESULT DecodeRows(const VxPngImage& image, uint8_t* pixels);
    size_t ReadInput(uint8_t* buffer, size_t bytes);

    static void OnRead(png_struct_def* png, uint8_t* buffer, size_t bytes);
    [[noreturn]] static void OnError(png_struct_def* png, const char* message);
    static void OnWarning(png_struct_def* png, const char* message);

    png_struct_def* m_png = nullptr;
    png_info_def* m_info = nullptr;
    VxPngSource m_source;
    CVxGlobalBlock m_input;  // buffered bytes of the source: [m_inputPos, m_inputEnd)
    size_t m_inputPos = 0;
    size_t m_inputEnd = 0;
    char m_message[128] = {};
};

// Bytes in memory as a source (tests, fuzzers, the byte-buffer entry below).
struct VxPngMemory {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t position = 0;
};
VxPngSource VxPng_MemorySource(VxPngMemory* memory);

// The format's whole path on a byte buffer: reads the header, allocates a zero-filled frame of
// the image's size and decodes into it. Results as CVxPngDecoder's; E_OUTOFMEMORY when the
// frame cannot be allocated.
HRESULT VxPng_DecodeBytes(const uint8_t* data, size_t size, VxPngImage* image,
                          CVxGlobalBlock* frame);
