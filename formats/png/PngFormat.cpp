#include "PngFormat.h"

#include <png.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <tmmintrin.h>
#endif

// The row passes compose pixels from little-endian bytes, the frame's own byte order.
static_assert(std::endian::native == std::endian::little);

namespace {

// libpng asks for a chunk header, then the data in pieces of a few kilobytes: the source is
// read in blocks of this size instead.
constexpr size_t kPngInputBytes = 64 * 1024;

// Runs body under libpng's error jump: a libpng error raised inside it returns here with
// E_FAIL. The jump skips destructors, so nothing inside body may own anything; owners live
// outside the call.
HRESULT VxPng_Protect(png_structp png, void (*run)(void*), void* body)
{
    if (setjmp(png_jmpbuf(png)))
        return E_FAIL;
    run(body);
    return S_OK;
}

template <class Body>
HRESULT VxPng_Protect(png_structp png, Body& body)
{
    return VxPng_Protect(png, [](void* context) { (*static_cast<Body*>(context))(); }, &body);
}

// Frame row of image row y: rows are stored bottom-up.
uint8_t* VxPng_FrameRow(const VxPngImage& image, uint8_t* pixels, uint32_t y)
{
    return pixels + size_t(image.height - 1 - y) * image.stride;
}

// libpng's channel-order and byte-order transformations are scalar passes over each row. For
// RGB and RGBA images without a colour key, read row by row, the module orders the channels
// itself instead, sixteen bytes at a time while the row is still in the cache: red and blue
// trade places, 16-bit samples turn little-endian and RGB gains its opaque alpha, all in one
// pass.
bool VxPng_OrdersChannelsItself(const VxPngImage& image)
{
    return image.interlace == PNG_INTERLACE_NONE && !image.hasTransparency &&
           (image.bitDepth == 8 || image.bitDepth == 16) &&
           (image.colorType == kPngColorRgb || image.colorType == kPngColorRgbAlpha);
}

// Asks libpng for the frame layout of the pixel type: BGR order, little-endian 16-bit samples,
// grey spread to three samples where alpha comes in, the colour key of grey images of up to 8
// bits turned into alpha. The row passes below do the rest.
//
// Palette images with transparency are not expanded by libpng but unpacked to one index per
// byte and expanded by the module from the colour table, which gives the pixels libpng's
// expansion gives: colour entries with the tRNS alphas (255 beyond them), and black for an
// index past the palette.
void VxPng_SetTransformations(png_structp png, const VxPngImage& image)
{
    const bool grey = image.colorType == kPngColorGrey;
    if ((grey && image.hasTransparency) || image.colorType == kPngColorGreyAlpha) {
        if (image.bitDepth < 8 || (grey && image.bitDepth == 8))
            png_set_expand(png);
        png_set_gray_to_rgb(png);
    }
    if (image.colorType == kPngColorPalette &&
        (image.bitDepth == 1 || (image.hasTransparency && image.bitDepth < 8)))
        png_set_packing(png);
    if (VxPng_OrdersChannelsItself(image))
        return;
    if (image.bitDepth == 16)
        png_set_swap(png);
    if (image.colorType == kPngColorRgb || image.colorType == kPngColorPalette ||
        image.colorType == kPngColorRgbAlpha)
        png_set_bgr(png);
}

// The row passes run over each frame row once libpng has finished it. They answer false for a
// row that holds a palette index beyond the colour table.
using VxPngRowPass = bool (*)(uint8_t* row, const VxPngImage& image);

// 8-bit B, G, R to B, G, R, A in place, from the right end of the row: alpha 0 where the
// pixel is the colour key, else 255. Pixel x is read before it is written, and its output
// starts at or after its input, so no pixel still to be read is overwritten.
bool VxPng_WidenBgr8(uint8_t* row, const VxPngImage& image)
{
    const uint32_t key = uint32_t(image.transparentBlue) | uint32_t(image.transparentGreen) << 8 |
                         uint32_t(image.transparentRed) << 16;
    const bool keyFits = image.transparentBlue < 256 && image.transparentGreen < 256 &&
                         image.transparentRed < 256;
    for (uint32_t x = image.width; x-- > 0;) {
        uint32_t pixel = 0;
        std::memcpy(&pixel, row + 3 * size_t(x), 3);  // little-endian: B, G, R in the low bytes
        const uint32_t alpha = keyFits && pixel == key ? 0 : 0xFF000000u;
        pixel |= alpha;
        std::memcpy(row + 4 * size_t(x), &pixel, 4);
    }
    return true;
}

// Three little-endian 16-bit samples (B, G, R, or grey three times) to four in place, from the
// right: alpha 0 where the pixel is the colour key, else 65535; always 65535 without a key.
bool VxPng_WidenBgr16(uint8_t* row, const VxPngImage& image)
{
    const bool grey = image.colorType == kPngColorGrey;
    const uint64_t key = uint64_t(grey ? image.transparentGrey : image.transparentBlue) |
                         uint64_t(grey ? image.transparentGrey : image.transparentGreen) << 16 |
                         uint64_t(grey ? image.transparentGrey : image.transparentRed) << 32;
    const uint64_t opaque = uint64_t(0xFFFF) << 48;
    for (uint32_t x = image.width; x-- > 0;) {
        uint64_t pixel = 0;
        std::memcpy(&pixel, row + 6 * size_t(x), 6);  // B, G, R samples in the low 48 bits
        pixel |= image.hasTransparency && pixel == key ? 0 : opaque;
        std::memcpy(row + 8 * size_t(x), &pixel, 8);
    }
    return true;
}

// One index per byte, checked against the colour table. A table as large as the bit depth
// allows leaves nothing to check.
bool VxPng_CheckIndex8(uint8_t* row, const VxPngImage& image)
{
    if (image.paletteCount >= 1u << image.bitDepth)
        return true;
    uint32_t x = 0;
    uint8_t largest = 0;
#if defined(__SSE2__)
    // Sixteen indices at a time: this runs over every row of an 8-bit palette image.
    __m128i largest16 = _mm_setzero_si128();
    for (; x + 16 <= image.width; x += 16)
        largest16 = _mm_max_epu8(largest16, _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x)));
    alignas(16) uint8_t lanes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), largest16);
    largest = *std::max_element(lanes, lanes + 16);
#endif
    for (; x < image.width; ++x)
        largest = std::max(largest, row[x]);
    return largest < image.paletteCount;
}

// Two 4-bit indices per byte, checked against the colour table.
bool VxPng_CheckIndex4(uint8_t* row, const VxPngImage& image)
{
    if (image.paletteCount >= 16)
        return true;
    uint32_t largest = 0;
    for (uint32_t x = 0; x < image.width; ++x)
        largest = std::max<uint32_t>(largest, (row[x / 2] >> (x % 2 ? 0 : 4)) & 15);
    return largest < image.paletteCount;
}

// 2-bit palette indices to 4-bit ones in place, from the right: output byte j holds pixels 2j
// (high nibble) and 2j + 1; the low nibble after the last pixel of an odd row is 0. Byte j
// reads input byte j / 2, which lies at or before it.
bool VxPng_WidenIndex2(uint8_t* row, const VxPngImage& image)
{
    auto index = [row](uint32_t x) { return uint32_t(row[x / 4] >> (6 - 2 * (x % 4))) & 3; };
    uint32_t largest = 0;
    for (uint32_t j = (image.width + 1) / 2; j-- > 0;) {
        const uint32_t first = 2 * j;
        const uint32_t high = index(first);
        const uint32_t low = first + 1 < image.width ? index(first + 1) : 0;
        largest = std::max({largest, high, low});
        row[j] = uint8_t(high << 4 | low);
    }
    return largest < image.paletteCount;
}

// One index per byte to the B, G, R, A entries of the colour table, from the right. An index
// past the palette has no colour: it becomes black, opaque (tRNS never covers more entries
// than the palette has). Expanded pixels always exist, so no index is refused here.
bool VxPng_ExpandPalette(uint8_t* row, const VxPngImage& image)
{
    constexpr RGBQUAD kPastThePalette = {0, 0, 0, 255};
    for (uint32_t x = image.width; x-- > 0;) {
        const uint8_t index = row[x];
        const RGBQUAD& entry = index < image.paletteCount ? image.palette[index] : kPastThePalette;
        std::memcpy(row + 4 * size_t(x), &entry, 4);
    }
    return true;
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define VX_PNG_SSSE3 1
// Whether this processor has the SSSE3 byte shuffles the passes below prefer (asked once).
bool VxPng_HasSsse3()
{
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    return ssse3;
}

// Red and blue of 16 three-byte pixels (48 bytes, three vectors) trade places. Output byte j
// takes input byte j + 2, j or j - 2 (the red, green or blue byte of its pixel), which may lie
// in the neighbouring vector: each output vector is the OR of its own vector and its
// neighbours, each shuffled with a mask that picks only the bytes it supplies.
struct VxPngSwapMasks {
    uint8_t lanes[3][3][16];  // [output vector][input vector][lane]
};

constexpr VxPngSwapMasks VxPng_MakeSwapMasks()
{
    VxPngSwapMasks masks{};
    for (int out = 0; out < 3; ++out)
        for (int in = 0; in < 3; ++in)
            for (int lane = 0; lane < 16; ++lane) {
                const int j = 16 * out + lane;
                const int source = j % 3 == 0 ? j + 2 : j % 3 == 2 ? j - 2 : j;
                masks.lanes[out][in][lane] = source / 16 == in ? uint8_t(source % 16) : 0x80;
            }
    return masks;
}

__attribute__((target("ssse3"))) void VxPng_SwapRedBlue24Ssse3(uint8_t* row, uint32_t width)
{
    static constexpr VxPngSwapMasks kMasks = VxPng_MakeSwapMasks();
    auto mask = [](int out, int in) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(kMasks.lanes[out][in]));
    };
    const __m128i m00 = mask(0, 0), m01 = mask(0, 1);
    const __m128i m10 = mask(1, 0), m11 = mask(1, 1), m12 = mask(1, 2);
    const __m128i m21 = mask(2, 1), m22 = mask(2, 2);
    uint32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        __m128i* block = reinterpret_cast<__m128i*>(row + 3 * size_t(x));
        const __m128i a = _mm_loadu_si128(block);
        const __m128i b = _mm_loadu_si128(block + 1);
        const __m128i c = _mm_loadu_si128(block + 2);
        _mm_storeu_si128(block, _mm_or_si128(_mm_shuffle_epi8(a, m00), _mm_shuffle_epi8(b, m01)));
        _mm_storeu_si128(block + 1, _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, m10), _mm_shuffle_epi8(b, m11)),
                                                 _mm_shuffle_epi8(c, m12)));
        _mm_storeu_si128(block + 2, _mm_or_si128(_mm_shuffle_epi8(b, m21), _mm_shuffle_epi8(c, m22)));
    }
    for (uint8_t* pixel = row + 3 * size_t(x); x < width; ++x, pixel += 3)
        std::swap(pixel[0], pixel[2]);
}
#endif

// 8-bit R, G, B to B, G, R in place.
bool VxPng_SwapRedBlue24(uint8_t* row, const VxPngImage& image)
{
#if defined(VX_PNG_SSSE3)
    if (VxPng_HasSsse3()) {
        VxPng_SwapRedBlue24Ssse3(row, image.width);
        return true;
    }
#endif
    for (uint8_t* pixel = row; pixel < row + 3 * size_t(image.width); pixel += 3)
        std::swap(pixel[0], pixel[2]);
    return true;
}

// 8-bit R, G, B, A to B, G, R, A in place: in each little-endian word, bytes 0 and 2 trade
// places.
bool VxPng_SwapRedBlue32(uint8_t* row, const VxPngImage& image)
{
    uint32_t x = 0;
#if defined(__SSE2__)
    const __m128i greenAlpha = _mm_set1_epi32(int32_t(0xFF00FF00u));
    const __m128i low = _mm_set1_epi32(0xFF);
    for (; x + 4 <= image.width; x += 4) {
        __m128i* pixels = reinterpret_cast<__m128i*>(row + 4 * size_t(x));
        const __m128i v = _mm_loadu_si128(pixels);
        const __m128i red = _mm_and_si128(_mm_srli_epi32(v, 16), low);
        const __m128i blue = _mm_slli_epi32(_mm_and_si128(v, low), 16);
        _mm_storeu_si128(pixels, _mm_or_si128(_mm_and_si128(v, greenAlpha), _mm_or_si128(red, blue)));
    }
#endif
    for (uint8_t* pixel = row + 4 * size_t(x); x < image.width; ++x, pixel += 4)
        std::swap(pixel[0], pixel[2]);
    return true;
}

#if defined(VX_PNG_SSSE3)
// Two pixels of big-endian R, G, B (12 bytes) to little-endian B, G, R, A (16 bytes): lanes
// 0x80 become 0 and take the opaque alpha from the OR.
__attribute__((target("ssse3"))) void VxPng_WidenRgb16Ssse3(uint8_t* row, uint32_t pairs)
{
    const __m128i order = _mm_setr_epi8(5, 4, 3, 2, 1, 0, -128, -128, 11, 10, 9, 8, 7, 6, -128, -128);
    const __m128i opaque = _mm_setr_epi8(0, 0, 0, 0, 0, 0, -1, -1, 0, 0, 0, 0, 0, 0, -1, -1);
    // From the right: pair k reads bytes 12k to 12k + 15 (the last four unused, and inside the
    // frame row, which holds 8 bytes a pixel) before its output overwrites 16k to 16k + 15;
    // the pairs to its left lie below 12k.
    for (uint32_t k = pairs; k-- > 0;) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 12 * size_t(k)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 16 * size_t(k)),
                         _mm_or_si128(_mm_shuffle_epi8(v, order), opaque));
    }
}

// Two pixels of big-endian R, G, B, A to little-endian B, G, R, A, in place.
__attribute__((target("ssse3"))) void VxPng_ReorderRgba16Ssse3(uint8_t* row, uint32_t pairs)
{
    const __m128i order = _mm_setr_epi8(5, 4, 3, 2, 1, 0, 7, 6, 13, 12, 11, 10, 9, 8, 15, 14);
    for (uint32_t k = 0; k < pairs; ++k) {
        __m128i* pixels = reinterpret_cast<__m128i*>(row + 16 * size_t(k));
        _mm_storeu_si128(pixels, _mm_shuffle_epi8(_mm_loadu_si128(pixels), order));
    }
}
#endif

// One big-endian R, G, B (, A) pixel at in to little-endian B, G, R, A at out; all of it is
// read before anything is written.
inline void VxPng_OrderPixel16(const uint8_t* in, uint8_t* out, bool alpha)
{
    const uint8_t pixel[8] = {in[5], in[4], in[3], in[2], in[1], in[0],
                              alpha ? in[7] : uint8_t(0xFF), alpha ? in[6] : uint8_t(0xFF)};
    std::memcpy(out, pixel, 8);
}

// 16-bit R, G, B to B, G, R, A with alpha 65535, in place from the right.
bool VxPng_WidenRgb16(uint8_t* row, const VxPngImage& image)
{
    uint32_t x = image.width;
#if defined(VX_PNG_SSSE3)
    if (VxPng_HasSsse3()) {
        if (x % 2) {
            --x;
            VxPng_OrderPixel16(row + 6 * size_t(x), row + 8 * size_t(x), false);
        }
        VxPng_WidenRgb16Ssse3(row, x / 2);
        return true;
    }
#endif
    while (x-- > 0)
        VxPng_OrderPixel16(row + 6 * size_t(x), row + 8 * size_t(x), false);
    return true;
}

// 16-bit R, G, B, A to B, G, R, A, in place.
bool VxPng_ReorderRgba16(uint8_t* row, const VxPngImage& image)
{
    uint32_t x = 0;
#if defined(VX_PNG_SSSE3)
    if (VxPng_HasSsse3()) {
        VxPng_ReorderRgba16Ssse3(row, image.width / 2);
        x = image.width / 2 * 2;
    }
#endif
    for (; x < image.width; ++x)
        VxPng_OrderPixel16(row + 8 * size_t(x), row + 8 * size_t(x), true);
    return true;
}

VxPngRowPass VxPng_ChooseRowPass(const VxPngImage& image)
{
    if (VxPng_OrdersChannelsItself(image)) {
        const bool rgb = image.colorType == kPngColorRgb;
        if (image.bitDepth == 8)
            return rgb ? VxPng_SwapRedBlue24 : VxPng_SwapRedBlue32;
        return rgb ? VxPng_WidenRgb16 : VxPng_ReorderRgba16;
    }
    if (image.colorType == kPngColorRgb && image.bitDepth == 8 && image.hasTransparency)
        return VxPng_WidenBgr8;
    if (image.bitDepth == 16 &&
        (image.colorType == kPngColorRgb || (image.colorType == kPngColorGrey && image.hasTransparency)))
        return VxPng_WidenBgr16;
    if (image.colorType != kPngColorPalette)
        return nullptr;
    if (image.hasTransparency)
        return VxPng_ExpandPalette;
    switch (image.bitDepth) {
    case 2: return VxPng_WidenIndex2;
    case 4: return VxPng_CheckIndex4;
    default: return VxPng_CheckIndex8;
    }
}

// Fills the colour table of a palette image: min(palette length, 2^bit depth) entries, alpha
// from the tRNS entries that cover them, else 255. Palette colours are kept as stored: pixel
// rows are never gamma-corrected, so neither is the palette, and the frame does not depend on
// what an earlier decode has seen.
void VxPng_FillPalette(png_structp png, png_infop info, VxPngImage* image)
{
    png_colorp colors = nullptr;
    int colorCount = 0;
    if (png_get_PLTE(png, info, &colors, &colorCount) == 0 || !colors || colorCount < 0)
        return;
    png_bytep alphas = nullptr;
    int alphaCount = 0;
    if (image->hasTransparency && png_get_tRNS(png, info, &alphas, &alphaCount, nullptr) == 0)
        alphaCount = 0;
    const uint32_t count = std::min({uint32_t(colorCount), 1u << image->bitDepth, 256u});
    for (uint32_t i = 0; i < count; ++i) {
        RGBQUAD& entry = image->palette[i];
        entry.rgbBlue = colors[i].blue;
        entry.rgbGreen = colors[i].green;
        entry.rgbRed = colors[i].red;
        entry.rgbReserved = alphas && int(i) < alphaCount ? alphas[i] : 255;
    }
    image->paletteCount = count;
}

bool VxPng_SameFrame(const VxPngImage& a, const VxPngImage& b)
{
    return a.width == b.width && a.height == b.height && a.bitDepth == b.bitDepth &&
           a.colorType == b.colorType && a.hasTransparency == b.hasTransparency &&
           a.pixelType == b.pixelType && a.imageBytes == b.imageBytes;
}

}  // namespace

HRESULT VxPng_CheckSignature(const uint8_t* head, uint32_t headBytes)
{
    if (!head || headBytes < sizeof kPngSignature)
        return VXE_FILE_READ;
    return png_sig_cmp(head, 0, sizeof kPngSignature) == 0 ? S_OK : VXE_FILE_OPEN;
}

HRESULT VxPng_ChoosePixelType(uint8_t colorType, uint8_t bitDepth, bool hasTransparency,
                              uint32_t* pixelType)
{
    *pixelType = 0;
    const bool lowDepth = bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
    switch (colorType) {
    case kPngColorGrey:
        if (bitDepth == 16)
            *pixelType = hasTransparency ? kVxPixelBgra64 : kVxPixelGrey16;
        else if (lowDepth)
            *pixelType = hasTransparency ? kVxPixelBgra32
                         : bitDepth == 1 ? kVxPixelGrey1
                         : bitDepth == 2 ? kVxPixelGrey2
                         : bitDepth == 4 ? kVxPixelGrey4
                                         : kVxPixelGrey8;
        break;
    case kPngColorRgb:
        if (bitDepth == 8)
            *pixelType = hasTransparency ? kVxPixelBgra32 : kVxPixelBgr24;
        else if (bitDepth == 16)
            *pixelType = kVxPixelBgra64;
        break;
    case kPngColorPalette:
        if (lowDepth)
            *pixelType = hasTransparency                     ? kVxPixelBgra32
                         : bitDepth == 1 || bitDepth == 8 ? kVxPixelPalette8
                                                          : kVxPixelPalette4;
        break;
    case kPngColorGreyAlpha:
    case kPngColorRgbAlpha:
        if (bitDepth == 8)
            *pixelType = kVxPixelBgra32;
        else if (bitDepth == 16)
            *pixelType = kVxPixelBgra64;
        break;
    default:
        break;
    }
    return *pixelType ? S_OK : E_FAIL;
}

uint32_t VxPng_BitsPerPixel(uint32_t pixelType)
{
    switch (pixelType) {
    case kVxPixelGrey1: return 1;
    case kVxPixelGrey2: return 2;
    case kVxPixelGrey4: return 4;
    case kVxPixelGrey8: return 8;
    case kVxPixelGrey16: return 16;
    case kVxPixelPalette4: return 4;
    case kVxPixelPalette8: return 8;
    case kVxPixelBgr24: return 24;
    case kVxPixelBgra32: return 32;
    case kVxPixelBgra64: return 64;
    default: return 0;
    }
}

void CVxPngDecoder::Reset()
{
    if (m_png)
        png_destroy_read_struct(&m_png, m_info ? &m_info : nullptr, nullptr);
    m_png = nullptr;
    m_info = nullptr;
}

HRESULT CVxPngDecoder::ReadInfo(const VxPngSource& source, VxPngImage* image)
{
    *image = {};
    VX_RETURN_IF_FAILED(Start(source));
    const HRESULT hr = ReadChunksBeforeImage(image);
    if (FAILED(hr)) {
        Reset();
        *image = {};
    }
    return hr;
}

HRESULT CVxPngDecoder::Decode(const VxPngSource& source, const VxPngImage& expected,
                              uint8_t* pixels, uint32_t bytes)
{
    if (!pixels || bytes < expected.imageBytes)
        return E_INVALIDARG;
    VxPngImage image;
    VX_RETURN_IF_FAILED(ReadInfo(source, &image));
    if (!VxPng_SameFrame(image, expected)) {
        Reset();
        return E_FAIL;
    }
    const HRESULT hr = DecodeRows(image, pixels);
    Reset();
    return hr;
}

// Starts a read: the input buffer, the signature, libpng's structures with the module's error
// and read functions.
HRESULT CVxPngDecoder::Start(const VxPngSource& source)
{
    Reset();
    m_message[0] = 0;
    m_source = source;
    m_inputPos = m_inputEnd = 0;
    if (!m_source.read)
        return E_FAIL;
    if (!m_input) {
        m_input = CVxGlobalBlock(kPngInputBytes);
        if (!m_input)
            return E_OUTOFMEMORY;
    }
    uint8_t signature[sizeof kPngSignature];
    if (ReadInput(signature, sizeof signature) != sizeof signature ||
        png_sig_cmp(signature, 0, sizeof signature) != 0)
        return E_FAIL;
    m_png = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, OnError, OnWarning);
    if (!m_png)
        return E_FAIL;
    m_info = png_create_info_struct(m_png);
    if (!m_info) {
        Reset();
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CVxPngDecoder::ReadChunksBeforeImage(VxPngImage* image)
{
    png_structp png = m_png;
    png_infop info = m_info;
    auto body = [&] {
        // Image size is bounded by the frame-size check below, not by libpng's default limit
        // of a million pixels per side.
        png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
        png_set_read_fn(png, this, OnRead);
        png_set_sig_bytes(png, sizeof kPngSignature);
        png_read_info(png, info);

        png_uint_32 width = 0;
        png_uint_32 height = 0;
        int bitDepth = 0;
        int colorType = 0;
        int interlace = 0;
        png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr,
                     nullptr);
        image->width = width;
        image->height = height;
        image->bitDepth = uint8_t(bitDepth);
        image->colorType = uint8_t(colorType);
        image->interlace = uint8_t(interlace);

        if (png_get_valid(png, info, PNG_INFO_tRNS)) {
            png_color_16p key = nullptr;
            png_get_tRNS(png, info, nullptr, nullptr, &key);
            image->hasTransparency = true;
            if (key) {
                image->transparentGrey = key->gray;
                image->transparentRed = key->red;
                image->transparentGreen = key->green;
                image->transparentBlue = key->blue;
            }
        }
        if (png_get_valid(png, info, PNG_INFO_gAMA)) {
            double gamma = 0.0;
            image->gammaKnown = png_get_gAMA(png, info, &gamma) != 0;
            image->gamma = image->gammaKnown ? gamma : 0.0;
        }
        if (colorType == kPngColorPalette)
            VxPng_FillPalette(png, info, image);
    };
    VX_RETURN_IF_FAILED(VxPng_Protect(png, body));

    VX_RETURN_IF_FAILED(VxPng_ChoosePixelType(image->colorType, image->bitDepth,
                                              image->hasTransparency, &image->pixelType));
    if (image->colorType == kPngColorPalette && image->paletteCount == 0)
        return E_FAIL;
    image->bitsPerPixel = VxPng_BitsPerPixel(image->pixelType);

    // Both the stored frame and the frame the host receives (8 bits per pixel and fewer arrive
    // widened to 32) must fit a frame's size; larger images are refused before anything is
    // allocated for them.
    const uint64_t stride = VxSize_Stride(image->bitsPerPixel, image->width);
    const uint64_t frameBytes = stride * image->height;
    const uint64_t deliveredBytes =
        image->bitsPerPixel <= 8 ? VxSize_Image(32, image->width, image->height) : frameBytes;
    if (image->width == 0 || image->height == 0 || image->width > 0x7FFFFFFF ||
        image->height > 0x7FFFFFFF || !VxSize_Fits(frameBytes) || !VxSize_Fits(deliveredBytes))
        return E_FAIL;
    image->stride = uint32_t(stride);
    image->imageBytes = uint32_t(frameBytes);
    return S_OK;
}

// Decodes every pass of the image into the frame, runs the module's row pass and reads the end
// of the file.
HRESULT CVxPngDecoder::DecodeRows(const VxPngImage& image, uint8_t* pixels)
{
    png_structp png = m_png;
    png_infop info = m_info;
    const VxPngRowPass rowPass = VxPng_ChooseRowPass(image);
    auto body = [&] {
        VxPng_SetTransformations(png, image);
        const int passes = png_set_interlace_handling(png);
        png_read_update_info(png, info);
        if (png_get_rowbytes(png, info) > image.stride)
            png_error(png, "Row wider than the frame row");

        // Indices beyond the palette of an image without tRNS are refused: the colour table the
        // host widens with has no entry for them.
        for (int pass = 0; pass < passes; ++pass) {
            for (uint32_t y = 0; y < image.height; ++y) {
                uint8_t* row = VxPng_FrameRow(image, pixels, y);
                png_read_row(png, row, nullptr);
                // Without interlacing each row is final at once: run the pass while it is hot.
                if (passes == 1 && rowPass && !rowPass(row, image))
                    png_error(png, "Palette index beyond the palette");
            }
        }
        if (passes > 1 && rowPass)
            for (uint32_t y = 0; y < image.height; ++y)
                if (!rowPass(VxPng_FrameRow(image, pixels, y), image))
                    png_error(png, "Palette index beyond the palette");
        png_read_end(png, nullptr);
    };
    return VxPng_Protect(png, body);
}

size_t CVxPngDecoder::ReadInput(uint8_t* buffer, size_t bytes)
{
    size_t done = 0;
    while (done < bytes) {
        if (m_inputPos == m_inputEnd) {
            const size_t wanted = bytes - done;
            if (wanted >= kPngInputBytes) {
                // A large request goes straight to the caller's memory.
                const size_t got = std::min(wanted, m_source.read(m_source.context, buffer + done, wanted));
                done += got;
                if (got < wanted)
                    break;
                continue;
            }
            m_inputPos = 0;
            m_inputEnd = std::min(kPngInputBytes,
                                  m_source.read(m_source.context, m_input.Bytes(), kPngInputBytes));
            if (m_inputEnd == 0)
                break;
        }
        const size_t take = std::min(bytes - done, m_inputEnd - m_inputPos);
        std::memcpy(buffer + done, m_input.Bytes() + m_inputPos, take);
        m_inputPos += take;
        done += take;
    }
    return done;
}

void CVxPngDecoder::OnRead(png_structp png, png_bytep buffer, size_t bytes)
{
    auto* decoder = static_cast<CVxPngDecoder*>(png_get_io_ptr(png));
    if (decoder->ReadInput(buffer, bytes) != bytes)
        png_error(png, "Read Error");
}

void CVxPngDecoder::OnError(png_structp png, png_const_charp message)
{
    auto* decoder = static_cast<CVxPngDecoder*>(png_get_error_ptr(png));
    std::snprintf(decoder->m_message, sizeof decoder->m_message, "%s", message ? message : "");
    png_longjmp(png, 1);
}

// Warnings (ancillary chunks with bad CRCs, benign errors) do not fail a read and are not shown.
void CVxPngDecoder::OnWarning(png_structp, png_const_charp) {}

VxPngSource VxPng_MemorySource(VxPngMemory* memory)
{
    VxPngSource source;
    source.context = memory;
    source.read = [](void* context, uint8_t* buffer, size_t bytes) {
        auto* m = static_cast<VxPngMemory*>(context);
        const size_t take = std::min(bytes, m->size - std::min(m->position, m->size));
        if (take)
            std::memcpy(buffer, m->data + m->position, take);
        m->position += take;
        return take;
    };
    return source;
}

HRESULT VxPng_DecodeBytes(const uint8_t* data, size_t size, VxPngImage* image,
                          CVxGlobalBlock* frame)
{
    *frame = CVxGlobalBlock();
    CVxPngDecoder decoder;
    VxPngMemory memory{data, size, 0};
    VX_RETURN_IF_FAILED(decoder.ReadInfo(VxPng_MemorySource(&memory), image));
    CVxGlobalBlock pixels(image->imageBytes);
    if (!pixels)
        return E_OUTOFMEMORY;
    memory.position = 0;
    VX_RETURN_IF_FAILED(decoder.Decode(VxPng_MemorySource(&memory), *image, pixels.Bytes(),
                                       image->imageBytes));
    *frame = std::move(pixels);
    return S_OK;
}
