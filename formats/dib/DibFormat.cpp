// Windows bitmap headers and the expansion of compressed layouts.
#include "DibFormat.h"

#include "../../platform/VxOwners.h"
#include "../../support/ByteReader.h"
#include "../png/PngFormat.h"

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace {

uint32_t MaskAt(const RGBQUAD* masks, int i)
{
    uint32_t value = 0;
    std::memcpy(&value, &masks[i], 4);
    return value;
}

// Colours a header's table holds by its own rule: colours used when set, else one per value
// of up to 8 bits; taken to 16 bits.
uint32_t ColourCount(uint32_t colorsUsed, uint32_t bits)
{
    const uint32_t count = colorsUsed ? colorsUsed : (bits >= 1 && bits <= 8 ? 1u << bits : 0);
    return count & 0xFFFF;
}

// The 24-bit frame, addressed by rows in the order the source stores them.
struct Frame24 {
    uint8_t* data;
    size_t bytes;
    uint64_t stride;
    uint64_t width;
    uint64_t rows;
    bool topDown;  // the source's first row is the top one

    uint8_t* Row(uint64_t y) const { return data + (topDown ? rows - 1 - y : y) * stride; }
    void Put(uint64_t x, uint64_t y, const RGBQUAD& c) const
    {
        if (x >= width || y >= rows)
            return;  // runs and deltas that leave the frame write nothing
        uint8_t* p = Row(y) + 3 * x;
        p[0] = c.rgbBlue;
        p[1] = c.rgbGreen;
        p[2] = c.rgbRed;
    }
};

// Palette entries; an index beyond the colour table gives black.
struct Palette {
    const RGBQUAD* colors;
    uint32_t count;
    RGBQUAD operator[](uint32_t index) const { return index < count ? colors[index] : RGBQUAD{}; }
};

// Run-length streams of 8 and 4 bits per index: pairs of a count and an index (or two nibble
// indices), and escapes after a zero count: 0 end of line, 1 end of bitmap, 2 a delta of two
// bytes, 3 and more an absolute run of that many indices padded to a 16-bit word.
void ExpandRle(const Frame24& frame, const Palette& palette, const uint8_t* data, size_t size, bool four)
{
    CVxByteReader r(data, size);
    uint64_t x = 0;
    uint64_t y = 0;
    while (y < frame.rows) {
        const uint8_t count = r.U8();
        const uint8_t value = r.U8();
        if (!r.Ok())
            return;
        if (count > 0) {
            for (uint32_t i = 0; i < count; ++i)
                frame.Put(x + i, y, palette[four ? (i % 2 ? value & 15 : value >> 4) : value]);
            x += count;
            continue;
        }
        if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            return;
        } else if (value == 2) {
            x += r.U8();
            y += r.U8();
        } else {
            const uint32_t bytes = four ? (value + 1u) / 2 : value;
            CVxByteReader run = r.Section(bytes);
            r.Skip(bytes % 2);
            if (!run.Ok())
                return;  // a run cut by the end of the data draws nothing
            uint8_t byte = 0;
            for (uint32_t i = 0; i < value; ++i, ++x) {
                if (!four || i % 2 == 0)
                    byte = run.U8();
                frame.Put(x, y, palette[four ? (i % 2 ? byte & 15 : byte >> 4) : byte]);
            }
            if (!r.Ok())
                return;
        }
    }
}

// Rows of indices of 1, 2, 4 or 8 bits; the leftmost pixel sits in the high bits.
void ExpandIndices(const Frame24& frame, const Palette& palette, uint32_t bits, const uint8_t* data,
                   size_t size)
{
    const uint64_t stride = VxSize_Stride(bits, int64_t(frame.width));
    const uint32_t perByte = 8 / bits;
    for (uint64_t y = 0; y < frame.rows && (y + 1) * stride <= size; ++y) {
        const uint8_t* in = data + y * stride;
        for (uint64_t x = 0; x < frame.width; ++x) {
            const uint32_t shift = 8 - bits * uint32_t(x % perByte + 1);
            frame.Put(x, y, palette[(in[x / perByte] >> shift) & ((1u << bits) - 1)]);
        }
    }
}

// Pixels of 16, 24 or 32 bits, each channel scaled from its own mask to 8 bits.
void ExpandBitFields(const Frame24& frame, const RGBQUAD* masks, uint32_t bits, const uint8_t* data,
                     size_t size)
{
    struct Channel {
        uint32_t mask;
        int shift;
        uint64_t max;
        uint8_t Scale(uint32_t v) const { return max ? uint8_t(uint64_t((v & mask) >> shift) * 255 / max) : 0; }
    } channels[3];
    for (int i = 0; i < 3; ++i) {
        const uint32_t mask = MaskAt(masks, i);
        const int shift = mask ? std::countr_zero(mask) : 0;
        channels[i] = {mask, shift, mask >> shift};
    }
    const uint32_t bytesPerPixel = bits / 8;
    const uint64_t stride = VxSize_Stride(bits, int64_t(frame.width));
    for (uint64_t y = 0; y < frame.rows && (y + 1) * stride <= size; ++y) {
        const uint8_t* in = data + y * stride;
        for (uint64_t x = 0; x < frame.width; ++x, in += bytesPerPixel) {
            uint32_t v = 0;
            std::memcpy(&v, in, bytesPerPixel);
            frame.Put(x, y, RGBQUAD{channels[2].Scale(v), channels[1].Scale(v), channels[0].Scale(v), 0});
        }
    }
}

// BI_PNG: the payload through the PNG decoder, whose frame is bottom-up like this one.
HRESULT ExpandPng(const Frame24& frame, const uint8_t* data, size_t size)
{
    VxPngImage image;
    CVxGlobalBlock decoded;
    VX_RETURN_IF_FAILED(VxPng_DecodeBytes(data, size, &image, &decoded));
    if (image.width != frame.width || image.height != frame.rows)
        return E_FAIL;
    const auto* pixels = static_cast<const uint8_t*>(decoded.Get());
    const uint32_t bits = image.bitsPerPixel;
    const bool grey = image.pixelType >= kVxPixelGrey1 && image.pixelType <= kVxPixelGrey16;
    for (uint64_t y = 0; y < frame.rows; ++y) {
        const uint8_t* in = pixels + y * image.stride;
        for (uint64_t x = 0; x < frame.width; ++x) {
            RGBQUAD c = {};
            if (bits == 64) {
                const uint8_t* p = in + 8 * x + 1;  // 16-bit samples: their high bytes
                c = {p[0], p[2], p[4], 0};
            } else if (bits >= 24) {
                const uint8_t* p = in + x * (bits / 8);
                c = {p[0], p[1], p[2], 0};
            } else if (bits == 16) {
                const uint8_t level = in[2 * x + 1];  // grey: the high byte of the sample
                c = {level, level, level, 0};
            } else {
                const uint32_t shift = 8 - bits * uint32_t(x % (8 / bits) + 1);
                const uint32_t value = (in[x / (8 / bits)] >> shift) & ((1u << bits) - 1);
                if (grey) {
                    const uint8_t level = uint8_t(value * 255 / ((1u << bits) - 1));
                    c = {level, level, level, 0};
                } else {
                    c = Palette{image.palette, image.paletteCount}[value];
                }
            }
            frame.Put(x, y, c);
        }
    }
    return S_OK;
}

// libjpeg reports errors through error_exit, which must not return: it jumps back here.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void OnJpegError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

void OnJpegMessage(j_common_ptr) {}

// Runs work under the decoder's error jump: E_FAIL when libjpeg reported an error. Nothing
// inside work owns anything, since the jump skips destructors.
template <class Work>
HRESULT VxJpeg_Protect(jpeg_decompress_struct& info, JpegErrors& errors, Work work)
{
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = OnJpegError;
    errors.manager.output_message = OnJpegMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return E_FAIL;
    }
    const HRESULT hr = work();
    jpeg_destroy_decompress(&info);
    return hr;
}

// BI_JPEG: the payload decoded to B, G, R rows, the top row written last in the frame.
HRESULT ExpandJpeg(const Frame24& frame, const uint8_t* data, size_t size)
{
    if (size == 0 || size > 0xFFFFFFFFu)
        return E_FAIL;
    jpeg_decompress_struct info = {};
    JpegErrors errors;
    return VxJpeg_Protect(info, errors, [&]() -> HRESULT {
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
        jpeg_read_header(&info, TRUE);
        info.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&info);
        if (info.output_width != frame.width || info.output_height != frame.rows || info.output_components != 3)
            return E_FAIL;
        while (info.output_scanline < info.output_height) {
            JSAMPROW row = frame.data + (frame.rows - 1 - info.output_scanline) * frame.stride;
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_finish_decompress(&info);
        return S_OK;
    });
}

}  // namespace

HRESULT VxDib_CheckFileHeader(const uint8_t* head, size_t headBytes, uint64_t fileSize)
{
    uint8_t bytes[kDibHeadBytes] = {};
    if (head)
        std::memcpy(bytes, head, std::min<size_t>(headBytes, sizeof bytes));
    CVxByteReader r(bytes, sizeof bytes);
    if (headBytes < 2 || r.U16LE() != kDibFileType || fileSize < 12)
        return VXE_UNSUPPORTED_FORMAT;
    r.Skip(12);
    uint64_t headerBytes = r.U32LE();
    const bool core = headerBytes == kDibCoreHeaderBytes;
    int64_t width, height;
    uint32_t bits, compression = BI_RGB, imageSize = 0, colorsUsed = 0;
    if (core) {
        width = r.U16LE();
        height = r.U16LE();
        r.Skip(2);
        bits = r.U16LE();
        headerBytes = kDibInfoHeaderBytes;  // counted as the 40-byte form it becomes
    } else {
        width = int32_t(r.U32LE());
        height = int32_t(r.U32LE());
        r.Skip(2);
        bits = r.U16LE();
        compression = r.U32LE();
        imageSize = r.U32LE();
        r.Skip(8);
        colorsUsed = r.U32LE();
    }
    const uint64_t image = core || imageSize == 0 ? VxSize_Image(bits, width, height) : imageSize;
    const uint64_t table = compression == BI_BITFIELDS ? 12 : 4 * uint64_t(ColourCount(colorsUsed, bits));
    if (table + image + headerBytes + kDibFileHeaderBytes > fileSize)
        return VXE_UNSUPPORTED_FORMAT;
    return S_OK;
}

bool VxDib_IsStoredLayout(const BITMAPINFOHEADER& header, const RGBQUAD* masks)
{
    const uint32_t bits = header.biBitCount;
    switch (header.biCompression) {
    case BI_RGB:
        return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    case BI_BITFIELDS: {
        const uint32_t red = MaskAt(masks, 0), green = MaskAt(masks, 1), blue = MaskAt(masks, 2);
        if (bits == 16)
            return blue == 0x001F && ((red == 0x7C00 && green == 0x03E0) || (red == 0xF800 && green == 0x07E0));
        return bits == 32 && blue == 0xFF && green == 0xFF00 && red == 0xFF0000;
    }
    case kVxCompressionDeepBgra:
        return bits == 24 || bits == 32 || bits == 64 || bits == 128;
    case kVxCompressionGrey:
        return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 32;
    default:
        return false;
    }
}

HRESULT VxDib_ParseHeader(const uint8_t* data, size_t size, uint64_t fileSize, VxDibImage* image)
{
    if (!image)
        return E_POINTER;
    *image = {};
    CVxByteReader r(data, size);
    if (r.U16LE() != kDibFileType)
        return VXE_CORRUPT;
    r.Skip(8);
    const uint32_t pixelOffset = r.U32LE();
    const uint32_t headerSize = r.U32LE();
    const bool core = headerSize == kDibCoreHeaderBytes;
    if (!core && (headerSize < kDibInfoHeaderBytes || headerSize > kDibLargestHeaderBytes))
        return VXE_CORRUPT;
    BITMAPINFOHEADER& h = image->stored.header;
    h.biSize = headerSize;
    if (core) {
        h.biWidth = r.U16LE();
        h.biHeight = r.U16LE();
        h.biPlanes = r.U16LE();
        h.biBitCount = r.U16LE();
    } else {
        h.biWidth = int32_t(r.U32LE());
        h.biHeight = int32_t(r.U32LE());
        h.biPlanes = r.U16LE();
        h.biBitCount = r.U16LE();
        h.biCompression = r.U32LE();
        h.biSizeImage = r.U32LE();
        h.biXPelsPerMeter = int32_t(r.U32LE());
        h.biYPelsPerMeter = int32_t(r.U32LE());
        h.biClrUsed = r.U32LE();
        h.biClrImportant = r.U32LE();
        r.Bytes(image->headerTail, headerSize - kDibInfoHeaderBytes);
    }
    if (!r.Ok() || h.biWidth < 1 || h.biHeight == 0 || h.biHeight == INT32_MIN)
        return VXE_CORRUPT;
    image->headerSize = headerSize;

    // The colour table: three masks for bit fields (inside a header large enough to hold
    // them, else right behind it), else the counted entries, of three bytes behind a core
    // header. Entries beyond the 256 the table holds are passed over.
    const uint32_t bits = h.biBitCount;
    const uint32_t count = ColourCount(core ? 0 : h.biClrUsed, bits);
    uint64_t tableBytes = 0;
    if (h.biCompression == BI_BITFIELDS) {
        if (headerSize >= kDibMaskHeaderBytes) {
            std::memcpy(image->stored.colors, image->headerTail, 12);
        } else {
            r.Bytes(image->stored.colors, 12);
            tableBytes = 12;
        }
    } else {
        const uint32_t entryBytes = core ? 3 : 4;
        tableBytes = uint64_t(count) * entryBytes;
        CVxByteReader table = r.Section(size_t(tableBytes));
        for (uint32_t i = 0; i < count && i < 256; ++i) {
            RGBQUAD& entry = image->stored.colors[i];
            entry.rgbBlue = table.U8();
            entry.rgbGreen = table.U8();
            entry.rgbRed = table.U8();
            entry.rgbReserved = core ? 0 : table.U8();
        }
    }
    if (!r.Ok())
        return VXE_CORRUPT;
    h.biClrUsed = std::min<uint32_t>(count, 256);
    if (core)
        h.biClrImportant = h.biClrUsed;
    image->pixelOffset = pixelOffset ? pixelOffset : kDibFileHeaderBytes + headerSize + tableBytes;

    const uint32_t statedField = h.biSizeImage;
    const uint64_t computed = VxSize_Image(bits, h.biWidth, h.biHeight);
    const uint64_t stated = h.biSizeImage ? h.biSizeImage : computed;
    if (!VxSize_Fits(stated))
        return VXE_CORRUPT;
    h.biSizeImage = uint32_t(stated);
    const uint64_t available = fileSize > image->pixelOffset ? fileSize - image->pixelOffset : 0;

    image->asStored = VxDib_IsStoredLayout(h, image->stored.colors);
    if (image->asStored) {
        // The frame is the file's own rows: all of them must be there.
        if (!VxSize_Fits(computed) || computed > available)
            return VXE_CORRUPT;
        image->pixelBytes = uint32_t(computed);
        image->delivered = image->stored;
        image->deliveredBytes = uint32_t(computed);
        return S_OK;
    }
    // Expanded layouts read what the file holds of their stated size (a payload without a
    // size reaches to the end of the file) into a bottom-up 24-bit frame.
    const uint64_t wanted = statedField ? statedField : available;
    image->pixelBytes = uint32_t(std::min(wanted, available));
    const uint64_t frameBytes = VxSize_Image(24, h.biWidth, h.biHeight);
    if (!VxSize_Fits(frameBytes))
        return VXE_CORRUPT;
    BITMAPINFOHEADER& d = image->delivered.header;
    d.biSize = kDibInfoHeaderBytes;
    d.biWidth = h.biWidth;
    d.biHeight = int32_t(VxSize_Rows(h.biHeight));
    d.biPlanes = 1;
    d.biBitCount = 24;
    d.biCompression = BI_RGB;
    d.biSizeImage = uint32_t(frameBytes);
    image->deliveredBytes = uint32_t(frameBytes);
    return S_OK;
}

HRESULT VxDib_Expand(const VxDibImage& image, const uint8_t* pixels, size_t pixelBytes, uint8_t* frame,
                     size_t frameBytes)
{
    const BITMAPINFOHEADER& h = image.stored.header;
    if (!frame || frameBytes < image.deliveredBytes || image.asStored || (!pixels && pixelBytes))
        return E_INVALIDARG;
    const Frame24 out = {frame, frameBytes, VxSize_Stride(24, h.biWidth), uint64_t(h.biWidth),
                         VxSize_Rows(h.biHeight), h.biHeight < 0};
    const Palette palette = {image.stored.colors, h.biClrUsed};
    const uint32_t bits = h.biBitCount;
    switch (h.biCompression) {
    case BI_RLE8:
        ExpandRle(out, palette, pixels, pixelBytes, false);
        return S_OK;
    case BI_RLE4:
        ExpandRle(out, palette, pixels, pixelBytes, true);
        return S_OK;
    case BI_RGB:
        if (bits == 1 || bits == 2 || bits == 4 || bits == 8)
            ExpandIndices(out, palette, bits, pixels, pixelBytes);
        return S_OK;
    case BI_BITFIELDS:
        if (bits == 16 || bits == 24 || bits == 32)
            ExpandBitFields(out, image.stored.colors, bits, pixels, pixelBytes);
        return S_OK;
    case kDibJpeg:
        return ExpandJpeg({out.data, out.bytes, out.stride, out.width, out.rows, false}, pixels, pixelBytes);
    case kDibPng:
        return ExpandPng({out.data, out.bytes, out.stride, out.width, out.rows, false}, pixels, pixelBytes);
    default:
        return S_OK;  // a layout of its own: the frame stays black
    }
}

HRESULT VxDib_DecodeBytes(const uint8_t* data, size_t size, VxDibImage* image, CVxGlobalBlock* frame)
{
    if (!frame)
        return E_POINTER;
    VX_RETURN_IF_FAILED(VxDib_ParseHeader(data, size, size, image));
    CVxGlobalBlock block(image->deliveredBytes ? image->deliveredBytes : 1);
    if (!block.Get())
        return E_OUTOFMEMORY;
    const uint8_t* pixels = data + image->pixelOffset;
    if (image->asStored)
        std::memcpy(block.Get(), pixels, image->pixelBytes);
    else
        VX_RETURN_IF_FAILED(VxDib_Expand(*image, pixels, image->pixelBytes,
                                         static_cast<uint8_t*>(block.Get()), image->deliveredBytes));
    *frame = std::move(block);
    return S_OK;
}
