// Preview pictures of delivered frames.
#include "FramePreview.h"

#include "Text.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kCompressionGrey = VxFourCC('V', 'X', 'G', 'S');
constexpr uint32_t kCompressionDeep = VxFourCC('V', 'X', 'D', 'B');

// A preview holds at most this many pixels (2 GiB of 16-bit RGBA).
constexpr uint64_t kMaxPreviewPixels = uint64_t(1) << 28;

enum class VxHostPixelKind { Bgra8, Bgr8, Grey, Grey16, Rgb555, Bgra16, BgraFloat, GreyFloat };

bool VxHost_PixelKindOf(const BITMAPINFOHEADER& header, VxHostPixelKind& kind, bool& alpha)
{
    const uint32_t bits = header.biBitCount;
    const uint32_t compression = header.biCompression;
    alpha = compression == kCompressionDeep;
    if (compression == kCompressionGrey) {
        if (bits == 1 || bits == 2 || bits == 4 || bits == 8)
            return kind = VxHostPixelKind::Grey, true;
        if (bits == 16)
            return kind = VxHostPixelKind::Grey16, true;
        if (bits == 32)
            return kind = VxHostPixelKind::GreyFloat, true;
        return false;
    }
    if (compression != BI_RGB && compression != BI_BITFIELDS && compression != kCompressionDeep)
        return false;
    switch (bits) {
    case 16:
        return compression == BI_RGB && (kind = VxHostPixelKind::Rgb555, true);
    case 24: return kind = VxHostPixelKind::Bgr8, true;
    case 32: return kind = VxHostPixelKind::Bgra8, true;
    case 64: return kind = VxHostPixelKind::Bgra16, true;
    case 128: return compression == kCompressionDeep && (kind = VxHostPixelKind::BgraFloat, true);
    default: return false;
    }
}

// Where each row of the frame starts in the delivered bytes, top row first. A negative stride
// means the rows are stored top row first, and the bottom row lies at the record's bottom-row
// offset; a positive stride means bottom-up rows from offset 0 (or top-down ones when the
// header's height is negative, as in a top-down bitmap).
bool VxHost_RowOffsets(const VXFRAMEINFO& record, size_t byteCount, std::vector<size_t>& offsets,
                       std::string& error)
{
    const BITMAPINFOHEADER& header = record.header;
    if (header.biWidth <= 0 || header.biHeight == 0) {
        error = "the frame record gives no image size (" + std::to_string(header.biWidth) + " x " +
                std::to_string(header.biHeight) + ")";
        return false;
    }
    const uint64_t width = uint64_t(header.biWidth);
    const uint64_t height = uint64_t(std::abs(int64_t(header.biHeight)));
    const uint64_t rowBytes = (width * header.biBitCount + 7) / 8;
    const int64_t stride = record.stride;
    if (width * height > kMaxPreviewPixels) {
        error = "the frame is too large to preview";
        return false;
    }
    if (uint64_t(std::abs(stride)) < rowBytes) {
        error = "the frame record's stride " + std::to_string(stride) + " is shorter than a row of " +
                std::to_string(rowBytes) + " bytes";
        return false;
    }
    offsets.resize(height);
    for (uint64_t top = 0; top < height; ++top) {
        const int64_t fromBottom = int64_t(height - 1 - top);
        int64_t offset = 0;
        if (stride < 0)
            offset = int64_t(record.bottomRowOffset) + fromBottom * stride;
        else if (header.biHeight < 0)
            offset = int64_t(top) * stride;
        else
            offset = int64_t(record.bottomRowOffset) + fromBottom * stride;
        if (offset < 0 || uint64_t(offset) + rowBytes > byteCount) {
            error = "row " + std::to_string(top) + " of the frame lies outside the " +
                    std::to_string(byteCount) + " delivered bytes";
            return false;
        }
        offsets[top] = size_t(offset);
    }
    return true;
}

uint16_t VxHost_Le16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

float VxHost_LeFloat(const uint8_t* p)
{
    float value;
    std::memcpy(&value, p, sizeof value);  // the host and the frame are both little-endian
    return value;
}

uint16_t VxHost_UnitTo16(float value)
{
    if (!(value > 0.0f))  // also NaN
        return 0;
    if (value >= 1.0f)
        return 65535;
    return uint16_t(value * 65535.0f + 0.5f);
}

// Grey samples of 1, 2, 4 or 8 bits, the leftmost pixel in the most significant bits.
uint8_t VxHost_GreySample(const uint8_t* row, uint32_t x, uint32_t bits)
{
    const uint32_t perByte = 8 / bits;
    const uint32_t shift = 8 - bits * (x % perByte + 1);
    const uint32_t value = (row[x / perByte] >> shift) & ((1u << bits) - 1);
    static const uint32_t kScale[9] = {0, 255, 85, 0, 17, 0, 0, 0, 1};
    return uint8_t(value * kScale[bits]);
}

// A 32-bit frame without the alpha format code may carry alpha (TARGA) or padding (bitmaps,
// widened palette and grey frames). A fourth byte that is 0 in every pixel is padding, and
// the preview is opaque; otherwise it is alpha.
bool VxHost_FourthByteUsed(const std::vector<size_t>& offsets, const uint8_t* bytes, uint32_t width)
{
    for (const size_t offset : offsets)
        for (uint32_t x = 0; x < width; ++x)
            if (bytes[offset + 4 * x + 3] != 0)
                return true;
    return false;
}

void VxHost_PngError(png_structp png, png_const_charp message)
{
    auto* text = static_cast<std::string*>(png_get_error_ptr(png));
    *text = message;
    png_longjmp(png, 1);
}

void VxHost_PngWarning(png_structp, png_const_charp)
{
}

// libpng reports errors by longjmp: this is the one place that sets the jump, and nothing
// inside the body owns anything (a longjmp skips destructors).
template <class Body>
bool VxHost_PngProtect(png_structp png, Body&& body)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    body();
    return true;
}

}  // namespace

bool VxHost_IsFloatFrame(const BITMAPINFOHEADER& header)
{
    VxHostPixelKind kind;
    bool alpha;
    return VxHost_PixelKindOf(header, kind, alpha) &&
           (kind == VxHostPixelKind::BgraFloat || kind == VxHostPixelKind::GreyFloat);
}

bool VxHost_FrameToRgba(const VXFRAMEINFO& record, const uint8_t* bytes, size_t byteCount,
                        VxHostRgbaImage& image, std::string& error)
{
    const BITMAPINFOHEADER& header = record.header;
    VxHostPixelKind kind;
    bool alpha = false;
    if (!VxHost_PixelKindOf(header, kind, alpha)) {
        error = "cannot preview a frame of " + std::to_string(header.biBitCount) +
                " bits per pixel with compression " + VxHost_CompressionText(header.biCompression);
        return false;
    }
    std::vector<size_t> offsets;
    if (!VxHost_RowOffsets(record, byteCount, offsets, error))
        return false;

    const uint32_t width = uint32_t(header.biWidth);
    const uint32_t height = uint32_t(offsets.size());
    image.width = width;
    image.height = height;
    image.deep = kind == VxHostPixelKind::Grey16 || kind == VxHostPixelKind::Bgra16 ||
                 kind == VxHostPixelKind::BgraFloat || kind == VxHostPixelKind::GreyFloat;
    const size_t samples = size_t(width) * height * 4;
    if (kind == VxHostPixelKind::Bgra8 && !alpha)
        alpha = VxHost_FourthByteUsed(offsets, bytes, width);

    if (image.deep) {
        image.samples8.clear();
        image.samples16.assign(samples, 0);
    } else {
        image.samples16.clear();
        image.samples8.assign(samples, 0);
    }
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = bytes + offsets[y];
        uint8_t* out8 = image.deep ? nullptr : image.samples8.data() + size_t(y) * width * 4;
        uint16_t* out16 = image.deep ? image.samples16.data() + size_t(y) * width * 4 : nullptr;
        for (uint32_t x = 0; x < width; ++x) {
            switch (kind) {
            case VxHostPixelKind::Bgra8: {
                const uint8_t* p = row + 4 * size_t(x);
                out8[4 * x] = p[2], out8[4 * x + 1] = p[1], out8[4 * x + 2] = p[0];
                out8[4 * x + 3] = alpha ? p[3] : 255;
                break;
            }
            case VxHostPixelKind::Bgr8: {
                const uint8_t* p = row + 3 * size_t(x);
                out8[4 * x] = p[2], out8[4 * x + 1] = p[1], out8[4 * x + 2] = p[0];
                out8[4 * x + 3] = 255;
                break;
            }
            case VxHostPixelKind::Grey: {
                const uint8_t grey = VxHost_GreySample(row, x, header.biBitCount);
                out8[4 * x] = out8[4 * x + 1] = out8[4 * x + 2] = grey;
                out8[4 * x + 3] = 255;
                break;
            }
            case VxHostPixelKind::Rgb555: {
                const uint16_t v = VxHost_Le16(row + 2 * size_t(x));
                out8[4 * x] = uint8_t(((v >> 10) & 31) * 255 / 31);
                out8[4 * x + 1] = uint8_t(((v >> 5) & 31) * 255 / 31);
                out8[4 * x + 2] = uint8_t((v & 31) * 255 / 31);
                out8[4 * x + 3] = 255;
                break;
            }
            case VxHostPixelKind::Grey16: {
                const uint16_t grey = VxHost_Le16(row + 2 * size_t(x));
                out16[4 * x] = out16[4 * x + 1] = out16[4 * x + 2] = grey;
                out16[4 * x + 3] = 65535;
                break;
            }
            case VxHostPixelKind::Bgra16: {
                const uint8_t* p = row + 8 * size_t(x);
                out16[4 * x] = VxHost_Le16(p + 4), out16[4 * x + 1] = VxHost_Le16(p + 2);
                out16[4 * x + 2] = VxHost_Le16(p), out16[4 * x + 3] = VxHost_Le16(p + 6);
                break;
            }
            case VxHostPixelKind::BgraFloat: {
                const uint8_t* p = row + 16 * size_t(x);
                out16[4 * x] = VxHost_UnitTo16(VxHost_LeFloat(p + 8));
                out16[4 * x + 1] = VxHost_UnitTo16(VxHost_LeFloat(p + 4));
                out16[4 * x + 2] = VxHost_UnitTo16(VxHost_LeFloat(p));
                out16[4 * x + 3] = VxHost_UnitTo16(VxHost_LeFloat(p + 12));
                break;
            }
            case VxHostPixelKind::GreyFloat: {
                const uint16_t grey = VxHost_UnitTo16(VxHost_LeFloat(row + 4 * size_t(x)));
                out16[4 * x] = out16[4 * x + 1] = out16[4 * x + 2] = grey;
                out16[4 * x + 3] = 65535;
                break;
            }
            }
        }
    }
    return true;
}

bool VxHost_WritePng(const std::string& path, const VxHostRgbaImage& image, std::string& error)
{
    // PNG wants big-endian 16-bit samples: build the rows before libpng runs.
    const size_t rowBytes = size_t(image.width) * 4 * (image.deep ? 2 : 1);
    std::vector<uint8_t> deepRows;
    if (image.deep) {
        deepRows.resize(image.samples16.size() * 2);
        for (size_t i = 0; i < image.samples16.size(); ++i) {
            deepRows[2 * i] = uint8_t(image.samples16[i] >> 8);
            deepRows[2 * i + 1] = uint8_t(image.samples16[i]);
        }
    }
    const uint8_t* pixels = image.deep ? deepRows.data() : image.samples8.data();

    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string message;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &message, VxHost_PngError,
                                              VxHost_PngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool written = false;
    if (png && info) {
        written = VxHost_PngProtect(png, [&] {
            png_init_io(png, file);
            png_set_IHDR(png, info, image.width, image.height, image.deep ? 16 : 8,
                         PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                         PNG_FILTER_TYPE_DEFAULT);
            png_write_info(png, info);
            for (uint32_t y = 0; y < image.height; ++y)
                png_write_row(png, pixels + y * rowBytes);
            png_write_end(png, info);
        });
    } else {
        message = "out of memory";
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = "cannot write " + path + ": " + (written ? std::strerror(errno) : message.c_str());
        return false;
    }
    return true;
}

bool VxHost_WritePfm(const std::string& path, const VXFRAMEINFO& record, const uint8_t* bytes,
                     size_t byteCount, std::string& error)
{
    VxHostPixelKind kind;
    bool alpha;
    if (!VxHost_PixelKindOf(record.header, kind, alpha) ||
        (kind != VxHostPixelKind::BgraFloat && kind != VxHostPixelKind::GreyFloat)) {
        error = "a .pfm picture needs a floating-point frame (128-bit BGRA or 32-bit grey); this "
                "frame has " + std::to_string(record.header.biBitCount) + " bits per pixel, " +
                VxHost_CompressionText(record.header.biCompression);
        return false;
    }
    std::vector<size_t> offsets;
    if (!VxHost_RowOffsets(record, byteCount, offsets, error))
        return false;
    const bool colour = kind == VxHostPixelKind::BgraFloat;
    const uint32_t width = uint32_t(record.header.biWidth);
    const uint32_t height = uint32_t(offsets.size());

    std::vector<float> row(size_t(width) * (colour ? 3 : 1));
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fprintf(file, "%s\n%u %u\n-1.0\n", colour ? "PF" : "Pf", width, height) > 0;
    for (uint32_t fromBottom = 0; ok && fromBottom < height; ++fromBottom) {
        const uint8_t* source = bytes + offsets[height - 1 - fromBottom];
        for (uint32_t x = 0; x < width; ++x) {
            if (colour) {
                const uint8_t* p = source + 16 * size_t(x);
                row[3 * x] = VxHost_LeFloat(p + 8);
                row[3 * x + 1] = VxHost_LeFloat(p + 4);
                row[3 * x + 2] = VxHost_LeFloat(p);
            } else {
                row[x] = VxHost_LeFloat(source + 4 * size_t(x));
            }
        }
        ok = std::fwrite(row.data(), sizeof(float), row.size(), file) == row.size();
    }
    const bool closed = std::fclose(file) == 0;
    if (!ok || !closed) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool VxHost_WriteExr(const std::string& path, const VXFRAMEINFO& record, const uint8_t* bytes,
                     size_t byteCount, std::string& error)
{
    if (!VxHost_IsFloatFrame(record.header)) {
        error = "an .exr picture needs a floating-point frame (128-bit BGRA or 32-bit grey); this "
                "frame has " + std::to_string(record.header.biBitCount) + " bits per pixel, " +
                VxHost_CompressionText(record.header.biCompression);
        return false;
    }
    std::vector<size_t> offsets;
    if (!VxHost_RowOffsets(record, byteCount, offsets, error))
        return false;
    const bool colour = record.header.biBitCount == 128;
    const int width = int(record.header.biWidth);
    const int height = int(offsets.size());
    const size_t pixelBytes = colour ? 16 : 4;

    // Top row first, packed: the library wants one stride for all rows.
    std::vector<uint8_t> rows(size_t(width) * pixelBytes * size_t(height));
    for (int y = 0; y < height; ++y)
        std::memcpy(rows.data() + size_t(y) * size_t(width) * pixelBytes, bytes + offsets[size_t(y)],
                    size_t(width) * pixelBytes);
    try {
        Imf::Header header(width, height);
        header.compression() = Imf::ZIP_COMPRESSION;
        Imf::FrameBuffer buffer;
        const size_t rowBytes = size_t(width) * pixelBytes;
        const auto add = [&](const char* name, size_t offset) {
            header.channels().insert(name, Imf::Channel(Imf::FLOAT));
            buffer.insert(name, Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(rows.data() + offset),
                                           pixelBytes, rowBytes));
        };
        if (colour) {
            add("B", 0), add("G", 4), add("R", 8), add("A", 12);
        } else {
            add("Y", 0);
        }
        Imf::OutputFile file(path.c_str(), header);
        file.setFrameBuffer(buffer);
        file.writePixels(height);
    } catch (const std::exception& e) {
        error = "cannot write " + path + ": " + e.what();
        return false;
    }
    return true;
}

bool VxHost_ToneMapFloatFrame(const VXFRAMEINFO& record, uint8_t* bytes, size_t byteCount,
                              std::string& error)
{
    if (!VxHost_IsFloatFrame(record.header))
        return true;
    std::vector<size_t> offsets;
    if (!VxHost_RowOffsets(record, byteCount, offsets, error))
        return false;
    const bool colour = record.header.biBitCount == 128;
    const size_t width = size_t(record.header.biWidth);
    const size_t pixelBytes = colour ? 16 : 4;
    const auto luminance = [&](const float* p) {  // B, G, R or grey, linear
        return colour ? 0.0722f * p[0] + 0.7152f * p[1] + 0.2126f * p[2] : p[0];
    };
    const auto pixel = [&](size_t row, size_t x) {
        return reinterpret_cast<float*>(bytes + offsets[row] + x * pixelBytes);
    };

    float white = 1.0f;
    for (size_t row = 0; row < offsets.size(); ++row)
        for (size_t x = 0; x < width; ++x) {
            const float l = luminance(pixel(row, x));
            if (std::isfinite(l))
                white = std::max(white, l);
        }
    const auto encode = [](float v) {
        if (!(v > 0.0f))
            return 0.0f;
        return v <= 0.0031308f ? 12.92f * v : 1.055f * std::pow(v, 1.0f / 2.4f) - 0.055f;
    };
    const size_t channels = colour ? 3 : 1;
    for (size_t row = 0; row < offsets.size(); ++row)
        for (size_t x = 0; x < width; ++x) {
            float* p = pixel(row, x);
            const float l = luminance(p);
            const float scale = l > 0.0f && std::isfinite(l) ? (1.0f + l / (white * white)) / (1.0f + l) : 1.0f;
            for (size_t c = 0; c < channels; ++c)
                p[c] = encode(p[c] * scale);
        }
    return true;
}
