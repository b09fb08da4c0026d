// Widening of palette, 16-bit and grey rows to 32 bits per pixel.
#include "ConvertDib.h"

#include "ImageSize.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

struct Rows {
    const uint8_t* source;
    uint8_t* destination;
    uint64_t sourceStride;
    uint64_t destinationStride;
    uint32_t width;
    uint64_t count;

    const uint8_t* Source(uint64_t row) const { return source + row * sourceStride; }
    uint8_t* Destination(uint64_t row) const { return destination + row * destinationStride; }
};

// Sub-byte pixels: the leftmost pixel of a byte sits in its most significant bits.
inline uint32_t PixelValue(const uint8_t* row, uint32_t x, uint32_t bits)
{
    if (bits == 8)
        return row[x];
    const uint32_t perByte = 8 / bits;
    const uint32_t shift = 8 - bits * (x % perByte + 1);
    return (row[x / perByte] >> shift) & ((1u << bits) - 1);
}

// Masks of any shape are accepted, so a shift can reach 64 bits: it then gives 0.
inline uint64_t ShiftDown(uint32_t value, int bits)
{
    return bits >= 64 ? 0 : uint64_t(value) >> bits;
}

bool IsPackedDepth(uint32_t bits)
{
    return bits == 1 || bits == 2 || bits == 4 || bits == 8;
}

// The largest of a row's 8-bit values, sixteen at a time where SSE2 is there.
inline uint8_t LargestByte(const uint8_t* row, uint32_t width)
{
    uint8_t largest = 0;
    uint32_t x = 0;
#if defined(__SSE2__)
    __m128i most = _mm_setzero_si128();
    for (; x + 16 <= width; x += 16)
        most = _mm_max_epu8(most, _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x)));
    alignas(16) uint8_t lanes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), most);
    for (uint8_t lane : lanes)
        largest = std::max(largest, lane);
#endif
    for (; x < width; ++x)
        largest = std::max(largest, row[x]);
    return largest;
}

// The colour table as whole pixels: an entry's B, G, R, A bytes are one little-endian word,
// the layout of a 32-bit frame pixel.
void PixelTable(const VXBITMAPINFO& info, uint32_t table[256])
{
    static_assert(sizeof(RGBQUAD) == 4 && std::endian::native == std::endian::little);
    std::memset(table, 0, 256 * sizeof(uint32_t));
    std::memcpy(table, info.colors, info.header.biClrUsed * sizeof(RGBQUAD));
}

// Frames are written once and not read back here: whole 16-byte groups of four pixels go to
// memory with streaming stores, which skip reading each cache line before it is overwritten.
// Scalar where the destination cannot be aligned or SSE2 is missing.
#if defined(__SSE2__)
inline uint32_t AlignedStart(const uint8_t* out, uint32_t width)
{
    const uintptr_t address = reinterpret_cast<uintptr_t>(out);
    if (address % 4)
        return width;  // never reaches a 16-byte boundary
    return std::min<uint32_t>(width, uint32_t((16 - address % 16) % 16 / 4));
}
#endif

// Pixels x of a row of 8-bit indices as their table words.
void LookUpRow(const uint8_t* in, uint8_t* out, uint32_t width, const uint32_t table[256])
{
    uint32_t x = 0;
#if defined(__SSE2__)
    for (const uint32_t start = AlignedStart(out, width); x < start; ++x)
        std::memcpy(out + 4 * size_t(x), &table[in[x]], 4);
    for (; x + 4 <= width; x += 4)
        _mm_stream_si128(reinterpret_cast<__m128i*>(out + 4 * size_t(x)),
                         _mm_setr_epi32(int(table[in[x]]), int(table[in[x + 1]]), int(table[in[x + 2]]),
                                        int(table[in[x + 3]])));
#endif
    for (; x < width; ++x)
        std::memcpy(out + 4 * size_t(x), &table[in[x]], 4);
}

// Pixels of a row of 8-bit grey levels: the level in blue, green and red, alpha 0.
void GreyRow(const uint8_t* in, uint8_t* out, uint32_t width)
{
    uint32_t x = 0;
#if defined(__SSE2__)
    for (const uint32_t start = AlignedStart(out, width); x < start; ++x) {
        const uint32_t pixel = uint32_t(in[x]) * 0x00010101u;
        std::memcpy(out + 4 * size_t(x), &pixel, 4);
    }
    const __m128i zero = _mm_setzero_si128();
    for (; x + 16 <= width; x += 16) {
        const __m128i levels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
        const __m128i low = _mm_unpacklo_epi8(levels, zero);
        const __m128i high = _mm_unpackhi_epi8(levels, zero);
        const __m128i words[4] = {_mm_unpacklo_epi16(low, zero), _mm_unpackhi_epi16(low, zero),
                                  _mm_unpacklo_epi16(high, zero), _mm_unpackhi_epi16(high, zero)};
        for (int i = 0; i < 4; ++i) {
            const __m128i v = words[i];
            _mm_stream_si128(reinterpret_cast<__m128i*>(out + 4 * size_t(x) + 16 * i),
                             _mm_or_si128(v, _mm_or_si128(_mm_slli_epi32(v, 8), _mm_slli_epi32(v, 16))));
        }
    }
#endif
    for (; x < width; ++x) {
        const uint32_t pixel = uint32_t(in[x]) * 0x00010101u;
        std::memcpy(out + 4 * size_t(x), &pixel, 4);
    }
}

// Streaming stores are ordered with later ones only after a fence.
inline void EndStreaming()
{
#if defined(__SSE2__)
    _mm_sfence();
#endif
}

// One row, pixel by pixel: stops at the first index at or beyond the colour count, with the
// pixels before it written.
HRESULT ExpandPaletteRow(const uint8_t* in, uint8_t* out, uint32_t width, const VXBITMAPINFO& info)
{
    const BITMAPINFOHEADER& header = info.header;
    for (uint32_t x = 0; x < width; ++x, out += 4) {
        const uint32_t index = PixelValue(in, x, header.biBitCount);
        if (index >= header.biClrUsed)
            return E_FAIL;
        std::memcpy(out, &info.colors[index], 4);  // blue, green, red, reserved
    }
    return S_OK;
}

// 8-bit and 4-bit indices, the common depths, go through whole-pixel tables once a row is
// known to hold no index beyond the colour count; a row that does takes the pixel path, which
// stops at that index.
HRESULT ExpandPalette8(const Rows& rows, const VXBITMAPINFO& info)
{
    uint32_t table[256];
    PixelTable(info, table);
    const uint32_t count = info.header.biClrUsed;
    for (uint64_t y = 0; y < rows.count; ++y) {
        const uint8_t* in = rows.Source(y);
        uint8_t* out = rows.Destination(y);
        if (count < 256 && LargestByte(in, rows.width) >= count) {
            EndStreaming();
            return ExpandPaletteRow(in, out, rows.width, info);
        }
        LookUpRow(in, out, rows.width, table);
    }
    EndStreaming();
    return S_OK;
}

HRESULT ExpandPalette4(const Rows& rows, const VXBITMAPINFO& info)
{
    uint32_t table[256];
    PixelTable(info, table);
    const uint32_t count = info.header.biClrUsed;
    // Both pixels of a byte at once: the high nibble is the left pixel.
    uint64_t pairs[256];
    for (uint32_t byte = 0; byte < 256; ++byte)
        pairs[byte] = uint64_t(table[byte >> 4]) | uint64_t(table[byte & 15]) << 32;
    const uint32_t wholeBytes = rows.width / 2;
    for (uint64_t y = 0; y < rows.count; ++y) {
        const uint8_t* in = rows.Source(y);
        uint8_t* out = rows.Destination(y);
        if (count < 16)
            for (uint32_t x = 0; x < rows.width; ++x)
                if (PixelValue(in, x, 4) >= count)
                    return ExpandPaletteRow(in, out, rows.width, info);
        for (uint32_t j = 0; j < wholeBytes; ++j)
            std::memcpy(out + 8 * size_t(j), &pairs[in[j]], 8);
        if (rows.width % 2)
            std::memcpy(out + 8 * size_t(wholeBytes), &table[in[wholeBytes] >> 4], 4);
    }
    return S_OK;
}

HRESULT ExpandPalette(const Rows& rows, const VXBITMAPINFO& info)
{
    const BITMAPINFOHEADER& header = info.header;
    // Colour counts above 256 are refused: the colour table holds 256 entries.
    if (header.biClrUsed < 1 || header.biClrUsed > 256 || header.biBitCount > 8)
        return E_INVALIDARG;
    if (!IsPackedDepth(header.biBitCount))
        return E_FAIL;
    if (header.biBitCount == 8)
        return ExpandPalette8(rows, info);
    if (header.biBitCount == 4)
        return ExpandPalette4(rows, info);
    for (uint64_t y = 0; y < rows.count; ++y)
        VX_RETURN_IF_FAILED(ExpandPaletteRow(rows.Source(y), rows.Destination(y), rows.width, info));
    return S_OK;
}

HRESULT ExpandSixteen(const Rows& rows, const VXBITMAPINFO& info)
{
    const BITMAPINFOHEADER& header = info.header;
    if (header.biBitCount != 16)
        return E_INVALIDARG;
    uint32_t redMask = 0x7C00, greenMask = 0x03E0, blueMask = 0x001F;
    if (header.biCompression == BI_BITFIELDS) {
        const uint8_t* masks = reinterpret_cast<const uint8_t*>(info.colors);
        auto mask = [masks](int i) {
            const uint8_t* p = masks + 4 * i;
            return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        };
        redMask = mask(0);
        greenMask = mask(1);
        blueMask = mask(2);
    }
    const int blueBits = std::popcount(blueMask);
    const int greenBits = std::popcount(greenMask);
    const int redBits = std::popcount(redMask);
    if (blueBits == 0 || greenBits == 0 || redBits == 0)
        return E_FAIL;
    // The fields are taken to lie blue lowest, then green, then red, without gaps.
    const uint64_t blueMax = (uint64_t(1) << blueBits) - 1;
    const uint64_t greenMax = (uint64_t(1) << greenBits) - 1;
    const uint64_t redMax = (uint64_t(1) << redBits) - 1;
    for (uint64_t y = 0; y < rows.count; ++y) {
        const uint8_t* in = rows.Source(y);
        uint8_t* out = rows.Destination(y);
        for (uint32_t x = 0; x < rows.width; ++x, in += 2, out += 4) {
            const uint32_t v = uint32_t(in[0]) | uint32_t(in[1]) << 8;
            out[0] = uint8_t(uint64_t(v & blueMask) * 255 / blueMax);
            out[1] = uint8_t(ShiftDown(v & greenMask, blueBits) * 255 / greenMax);
            out[2] = uint8_t(ShiftDown(v & redMask, blueBits + greenBits) * 255 / redMax);
            out[3] = 255;
        }
    }
    return S_OK;
}

HRESULT ExpandGrey(const Rows& rows, const VXBITMAPINFO& info)
{
    const BITMAPINFOHEADER& header = info.header;
    if (header.biClrUsed < 1 || header.biBitCount > 8)
        return E_INVALIDARG;
    if (!IsPackedDepth(header.biBitCount))
        return E_FAIL;
    const uint32_t scale = 255 / ((1u << header.biBitCount) - 1);  // 255, 85, 17, 1
    if (header.biBitCount == 8) {
        // The level in blue, green and red, alpha 0: one multiplication per pixel.
        for (uint64_t y = 0; y < rows.count; ++y)
            GreyRow(rows.Source(y), rows.Destination(y), rows.width);
        EndStreaming();
        return S_OK;
    }
    for (uint64_t y = 0; y < rows.count; ++y) {
        const uint8_t* in = rows.Source(y);
        uint8_t* out = rows.Destination(y);
        for (uint32_t x = 0; x < rows.width; ++x, out += 4) {
            const uint8_t level = uint8_t(PixelValue(in, x, header.biBitCount) * scale);
            out[0] = level;
            out[1] = level;
            out[2] = level;
            out[3] = 0;
        }
    }
    return S_OK;
}

}  // namespace

HRESULT ConvertDibTo32(void* destination, const BITMAPINFOHEADER* destinationHeader,
                       const void* source, const VXBITMAPINFO* sourceInfo)
{
    if (!destination || !destinationHeader || !source || !sourceInfo)
        return E_INVALIDARG;
    const BITMAPINFOHEADER& header = sourceInfo->header;
    if (destinationHeader->biWidth != header.biWidth ||
        destinationHeader->biHeight != header.biHeight || destinationHeader->biBitCount != 32 ||
        header.biWidth < 0)
        return E_INVALIDARG;
    // A top-down source (negative height) converts all its rows, keeping their order, so the
    // destination has the same orientation as its header says.
    const Rows rows = {static_cast<const uint8_t*>(source), static_cast<uint8_t*>(destination),
                       VxSize_Stride(header.biBitCount, header.biWidth),
                       VxSize_Stride(32, header.biWidth), uint32_t(header.biWidth),
                       VxSize_Rows(header.biHeight)};
    if ((header.biCompression == BI_RGB && header.biBitCount == 16) ||
        header.biCompression == BI_BITFIELDS)
        return ExpandSixteen(rows, *sourceInfo);
    if (header.biCompression == BI_RGB)
        return ExpandPalette(rows, *sourceInfo);
    if (header.biCompression == kVxCompressionGrey)
        return ExpandGrey(rows, *sourceInfo);
    return E_FAIL;
}
