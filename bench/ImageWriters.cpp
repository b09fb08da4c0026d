// Benchmark file writers. Each converts the 16-bit master image to its variant's samples.
#include "ImageWriters.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>

#include <jpeglib.h>

#if VXBENCH_HAVE_OPENEXR
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <ImfRgbaFile.h>
#endif

namespace {

// Little- and big-endian appends to a growing file image.
class Bytes {
public:
    void U8(uint32_t v) { m_bytes.push_back(uint8_t(v)); }
    void U16LE(uint32_t v) { U8(v); U8(v >> 8); }
    void U32LE(uint32_t v) { U16LE(v); U16LE(v >> 16); }
    void U16BE(uint32_t v) { U8(v >> 8); U8(v); }
    void U32BE(uint32_t v) { U16BE(v >> 16); U16BE(v); }
    void Text(const char* text) { Append(text, std::strlen(text)); }
    void Append(const void* data, size_t size)
    {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        m_bytes.insert(m_bytes.end(), p, p + size);
    }
    void Append(const std::vector<uint8_t>& data) { m_bytes.insert(m_bytes.end(), data.begin(), data.end()); }
    void PutU32BE(size_t offset, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            m_bytes[offset + size_t(i)] = uint8_t(v >> (24 - 8 * i));
    }
    size_t Size() const { return m_bytes.size(); }
    const std::vector<uint8_t>& Data() const { return m_bytes; }
    bool Save(const std::string& path, std::string& error) const
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(m_bytes.data()), std::streamsize(m_bytes.size()));
        if (!out)
            error = "cannot write " + path;
        return bool(out);
    }

private:
    std::vector<uint8_t> m_bytes;
};

// --- sample conversions ------------------------------------------------------------------------

// 8-bit samples, top row first, in R, G, B(, A) order or as grey.
std::vector<uint8_t> Rgb8(const VxBenchImage& image, bool alpha)
{
    const size_t channels = alpha ? 4 : 3;
    std::vector<uint8_t> out(size_t(image.width) * image.height * channels);
    const size_t pixels = size_t(image.width) * image.height;
    for (size_t i = 0; i < pixels; ++i)
        for (size_t c = 0; c < channels; ++c)
            out[i * channels + c] = VxBench_To8(image.rgba[i * 4 + c]);
    return out;
}

std::vector<uint8_t> Grey8(const VxBenchImage& image)
{
    const size_t pixels = size_t(image.width) * image.height;
    std::vector<uint8_t> out(pixels);
    for (size_t i = 0; i < pixels; ++i)
        out[i] = VxBench_To8(VxBench_Luma16(&image.rgba[i * 4]));
    return out;
}

// A fixed 6 x 7 x 6 colour cube (252 entries): no dithering, the image's own noise does that.
constexpr uint32_t kCubeRed = 6, kCubeGreen = 7, kCubeBlue = 6;

std::vector<uint8_t> CubePalette()  // R, G, B per entry
{
    std::vector<uint8_t> palette;
    for (uint32_t r = 0; r < kCubeRed; ++r)
        for (uint32_t g = 0; g < kCubeGreen; ++g)
            for (uint32_t b = 0; b < kCubeBlue; ++b) {
                palette.push_back(uint8_t(r * 255 / (kCubeRed - 1)));
                palette.push_back(uint8_t(g * 255 / (kCubeGreen - 1)));
                palette.push_back(uint8_t(b * 255 / (kCubeBlue - 1)));
            }
    return palette;
}

std::vector<uint8_t> Indices8(const VxBenchImage& image)
{
    const size_t pixels = size_t(image.width) * image.height;
    std::vector<uint8_t> out(pixels);
    for (size_t i = 0; i < pixels; ++i) {
        const uint16_t* p = &image.rgba[i * 4];
        const uint32_t r = (p[0] * (kCubeRed - 1) + 32767) / 65535;
        const uint32_t g = (p[1] * (kCubeGreen - 1) + 32767) / 65535;
        const uint32_t b = (p[2] * (kCubeBlue - 1) + 32767) / 65535;
        out[i] = uint8_t((r * kCubeGreen + g) * kCubeBlue + b);
    }
    return out;
}

// --- PNG (libpng) ------------------------------------------------------------------------------

struct PngLayout {
    int colorType;
    int bitDepth;
    bool interlace;
};

// Holds the libpng setjmp; owns nothing (a longjmp skips destructors).
bool PngWriteImage(png_structp png, png_infop info, FILE* file, const VxBenchImage& image, const PngLayout& layout,
                   std::vector<png_bytep>& rows)
{
    static const std::vector<uint8_t> palette = CubePalette();
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, image.width, image.height, layout.bitDepth, layout.colorType,
                 layout.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (layout.colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(png, info, reinterpret_cast<const png_color*>(palette.data()), int(palette.size() / 3));
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    return true;
}

bool WritePng(const VxBenchImage& image, const std::string& path, const PngLayout& layout, std::string& error)
{
    // Rows in the file's sample layout (16-bit samples big-endian).
    const uint32_t channels = layout.colorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                              : layout.colorType == PNG_COLOR_TYPE_RGB   ? 3
                                                                         : 1;
    const size_t rowBytes = size_t(image.width) * channels * size_t(layout.bitDepth / 8);
    std::vector<uint8_t> pixels;
    if (layout.colorType == PNG_COLOR_TYPE_PALETTE)
        pixels = Indices8(image);
    else if (layout.colorType == PNG_COLOR_TYPE_GRAY)
        pixels = Grey8(image);
    else if (layout.bitDepth == 8)
        pixels = Rgb8(image, channels == 4);
    else {
        pixels.resize(rowBytes * image.height);
        const size_t count = size_t(image.width) * image.height;
        for (size_t i = 0; i < count; ++i)
            for (size_t c = 0; c < channels; ++c) {
                const uint16_t v = image.rgba[i * 4 + c];
                pixels[(i * channels + c) * 2] = uint8_t(v >> 8);
                pixels[(i * channels + c) * 2 + 1] = uint8_t(v);
            }
    }
    std::vector<png_bytep> rows(image.height);
    for (uint32_t y = 0; y < image.height; ++y)
        rows[y] = pixels.data() + rowBytes * y;

    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot create " + path;
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = info && PngWriteImage(png, info, file, image, layout, rows);
    png_destroy_write_struct(&png, &info);
    ok = std::fclose(file) == 0 && ok;
    if (!ok)
        error = "libpng failed to write " + path;
    return ok;
}

// --- JPEG (libjpeg) ----------------------------------------------------------------------------

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void JpegErrorExit(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

struct JpegLayout {
    bool grey;
    bool subsample;  // 4:2:0 rather than 4:4:4
    bool progressive;
    int quality;
};

// Holds the libjpeg setjmp; owns nothing.
bool JpegWriteImage(jpeg_compress_struct& info, JpegErrors& errors, FILE* file, const VxBenchImage& image,
                    const JpegLayout& layout, const std::vector<uint8_t>& pixels)
{
    if (setjmp(errors.jump))
        return false;
    jpeg_stdio_dest(&info, file);
    info.image_width = image.width;
    info.image_height = image.height;
    info.input_components = layout.grey ? 1 : 3;
    info.in_color_space = layout.grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, layout.quality, TRUE);
    if (!layout.grey) {
        const int factor = layout.subsample ? 2 : 1;
        info.comp_info[0].h_samp_factor = factor;
        info.comp_info[0].v_samp_factor = factor;
    }
    if (layout.progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    const size_t rowBytes = size_t(image.width) * size_t(info.input_components);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + rowBytes * info.next_scanline);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

bool WriteJpeg(const VxBenchImage& image, const std::string& path, const JpegLayout& layout, std::string& error)
{
    const std::vector<uint8_t> pixels = layout.grey ? Grey8(image) : Rgb8(image, false);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot create " + path;
        return false;
    }
    jpeg_compress_struct info;
    JpegErrors errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JpegErrorExit;
    jpeg_create_compress(&info);
    bool ok = JpegWriteImage(info, errors, file, image, layout, pixels);
    jpeg_destroy_compress(&info);
    ok = std::fclose(file) == 0 && ok;
    if (!ok)
        error = "libjpeg failed to write " + path;
    return ok;
}

// --- TARGA -------------------------------------------------------------------------------------

// One row of B, G, R(, A) bytes, in file order.
void BgrRow(const VxBenchImage& image, uint32_t y, uint32_t channels, std::vector<uint8_t>& row)
{
    row.resize(size_t(image.width) * channels);
    for (uint32_t x = 0; x < image.width; ++x) {
        const uint16_t* p = image.Pixel(x, y);
        uint8_t* q = &row[size_t(x) * channels];
        q[0] = VxBench_To8(p[2]);
        q[1] = VxBench_To8(p[1]);
        q[2] = VxBench_To8(p[0]);
        if (channels == 4)
            q[3] = VxBench_To8(p[3]);
    }
}

// Run-length packets of one row: runs of two or more equal pixels, literal packets between;
// no packet crosses a row.
void TgaPackRow(const std::vector<uint8_t>& row, uint32_t channels, Bytes& out)
{
    const size_t pixels = row.size() / channels;
    const auto same = [&](size_t a, size_t b) { return std::memcmp(&row[a * channels], &row[b * channels], channels) == 0; };
    size_t i = 0;
    while (i < pixels) {
        size_t run = 1;
        while (i + run < pixels && run < 128 && same(i, i + run))
            ++run;
        if (run >= 2) {
            out.U8(0x80 | uint32_t(run - 1));
            out.Append(&row[i * channels], channels);
            i += run;
            continue;
        }
        size_t literal = 1;
        while (i + literal < pixels && literal < 128 && !(i + literal + 1 < pixels && same(i + literal, i + literal + 1)))
            ++literal;
        out.U8(uint32_t(literal - 1));
        out.Append(&row[i * channels], literal * channels);
        i += literal;
    }
}

bool WriteTga(const VxBenchImage& image, const std::string& path, uint32_t channels, bool rle, std::string& error)
{
    Bytes out;
    out.U8(0);                   // no image id
    out.U8(0);                   // no colour map
    out.U8(rle ? 10 : 2);        // true colour, raw or run-length encoded
    out.U16LE(0); out.U16LE(0); out.U8(0);  // colour map: first entry, length, entry size
    out.U16LE(0); out.U16LE(0);  // origin
    out.U16LE(image.width);
    out.U16LE(image.height);
    out.U8(channels * 8);
    out.U8(channels == 4 ? 8 : 0);  // alpha bits; bottom-left origin
    std::vector<uint8_t> row;
    for (uint32_t y = image.height; y-- > 0;) {
        BgrRow(image, y, channels, row);
        if (rle)
            TgaPackRow(row, channels, out);
        else
            out.Append(row);
    }
    out.U32LE(0);  // TGA 2.0 footer: no extension area, no developer area
    out.U32LE(0);
    out.Text("TRUEVISION-XFILE.");
    out.U8(0);
    return out.Save(path, error);
}

// --- Windows bitmap ----------------------------------------------------------------------------

// BI_RLE8 rows: encoded runs of equal indices, absolute runs of three or more others.
void Rle8PackRow(const uint8_t* row, size_t count, Bytes& out)
{
    size_t i = 0;
    while (i < count) {
        size_t run = 1;
        while (i + run < count && run < 255 && row[i + run] == row[i])
            ++run;
        if (run >= 2) {
            out.U8(uint32_t(run));
            out.U8(row[i]);
            i += run;
            continue;
        }
        size_t literal = 1;
        while (i + literal < count && literal < 255 && !(i + literal + 1 < count && row[i + literal] == row[i + literal + 1]))
            ++literal;
        if (literal < 3) {  // absolute mode needs three or more: one-pixel runs instead
            for (size_t k = 0; k < literal; ++k) {
                out.U8(1);
                out.U8(row[i + k]);
            }
        } else {
            out.U8(0);
            out.U8(uint32_t(literal));
            out.Append(row + i, literal);
            if (literal % 2)
                out.U8(0);  // absolute runs end on a 16-bit boundary
        }
        i += literal;
    }
}

enum class BmpLayout { Bgr24, Bgra32, Palette8, Rle8 };

bool WriteBmp(const VxBenchImage& image, const std::string& path, BmpLayout layout, std::string& error)
{
    const bool indexed = layout == BmpLayout::Palette8 || layout == BmpLayout::Rle8;
    const uint32_t bits = layout == BmpLayout::Bgr24 ? 24 : layout == BmpLayout::Bgra32 ? 32 : 8;
    const uint32_t stride = (image.width * bits + 31) / 32 * 4;
    const std::vector<uint8_t> palette = indexed ? CubePalette() : std::vector<uint8_t>();
    const uint32_t colours = uint32_t(palette.size() / 3);

    Bytes pixels;
    if (indexed) {
        const std::vector<uint8_t> indices = Indices8(image);
        for (uint32_t y = image.height; y-- > 0;) {
            const uint8_t* row = &indices[size_t(y) * image.width];
            if (layout == BmpLayout::Rle8) {
                Rle8PackRow(row, image.width, pixels);
                pixels.U8(0);
                pixels.U8(y == 0 ? 1 : 0);  // end of line, or end of bitmap after the top row
            } else {
                pixels.Append(row, image.width);
                for (uint32_t pad = image.width; pad < stride; ++pad)
                    pixels.U8(0);
            }
        }
    } else {
        std::vector<uint8_t> row;
        for (uint32_t y = image.height; y-- > 0;) {
            BgrRow(image, y, bits / 8, row);
            row.resize(stride);
            pixels.Append(row);
        }
    }

    const uint32_t offset = 14 + 40 + colours * 4;
    Bytes out;
    out.Text("BM");
    out.U32LE(uint32_t(offset + pixels.Size()));
    out.U32LE(0);
    out.U32LE(offset);
    out.U32LE(40);
    out.U32LE(image.width);
    out.U32LE(image.height);  // bottom-up
    out.U16LE(1);
    out.U16LE(bits);
    out.U32LE(layout == BmpLayout::Rle8 ? 1 : 0);  // BI_RLE8 or BI_RGB
    out.U32LE(layout == BmpLayout::Rle8 ? uint32_t(pixels.Size()) : stride * image.height);
    out.U32LE(2835);  // 72 dpi
    out.U32LE(2835);
    out.U32LE(colours);
    out.U32LE(0);
    for (uint32_t i = 0; i < colours; ++i) {
        out.U8(palette[i * 3 + 2]);
        out.U8(palette[i * 3 + 1]);
        out.U8(palette[i * 3]);
        out.U8(0);
    }
    out.Append(pixels.Data());
    return out.Save(path, error);
}


// --- Photoshop document ------------------------------------------------------------------------

// PackBits: repeat runs of 3 to 128 equal bytes, literal runs of up to 128 bytes between.
std::vector<uint8_t> PackBits(const uint8_t* row, size_t count)
{
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < count) {
        size_t run = 1;
        while (i + run < count && run < 128 && row[i + run] == row[i])
            ++run;
        if (run >= 3) {
            out.push_back(uint8_t(257 - run));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        size_t literal = 0;
        while (i + literal < count && literal < 128 &&
               !(i + literal + 2 < count && row[i + literal] == row[i + literal + 1] &&
                 row[i + literal] == row[i + literal + 2]))
            ++literal;
        out.push_back(uint8_t(literal - 1));
        out.insert(out.end(), row + i, row + i + literal);
        i += literal;
    }
    return out;
}

// One channel of a rectangle: rows of width samples, 8 or 16 bits (big-endian).
struct PsdPlane {
    uint32_t rowBytes = 0;
    uint32_t rows = 0;
    std::vector<uint8_t> samples;

    std::vector<std::vector<uint8_t>> PackedRows() const
    {
        std::vector<std::vector<uint8_t>> packed(rows);
        for (uint32_t y = 0; y < rows; ++y)
            packed[y] = PackBits(&samples[size_t(y) * rowBytes], rowBytes);
        return packed;
    }
};

// Channel c (0 to 3) of the master image in the given depth.
PsdPlane MasterPlane(const VxBenchImage& image, uint32_t c, uint32_t depth)
{
    PsdPlane plane{image.width * depth / 8, image.height, {}};
    plane.samples.resize(size_t(plane.rowBytes) * plane.rows);
    const size_t pixels = size_t(image.width) * image.height;
    for (size_t i = 0; i < pixels; ++i) {
        const uint16_t v = image.rgba[i * 4 + c];
        if (depth == 8)
            plane.samples[i] = VxBench_To8(v);
        else {
            plane.samples[i * 2] = uint8_t(v >> 8);
            plane.samples[i * 2 + 1] = uint8_t(v);
        }
    }
    return plane;
}

// The merged image data: one compression word, then all byte counts, then all rows.
void PsdMergedData(const std::vector<PsdPlane>& planes, bool rle, Bytes& out)
{
    out.U16BE(rle ? 1 : 0);
    if (!rle) {
        for (const PsdPlane& plane : planes)
            out.Append(plane.samples);
        return;
    }
    std::vector<std::vector<std::vector<uint8_t>>> packed;
    for (const PsdPlane& plane : planes)
        packed.push_back(plane.PackedRows());
    for (const auto& rows : packed)
        for (const auto& row : rows)
            out.U16BE(uint32_t(row.size()));
    for (const auto& rows : packed)
        for (const auto& row : rows)
            out.Append(row);
}

void PsdHeader(const VxBenchImage& image, uint32_t channels, uint32_t depth, Bytes& out)
{
    out.Text("8BPS");
    out.U16BE(1);
    for (int i = 0; i < 6; ++i)
        out.U8(0);
    out.U16BE(channels);
    out.U32BE(image.height);
    out.U32BE(image.width);
    out.U16BE(depth);
    out.U16BE(3);  // RGB
    out.U32BE(0);  // no colour mode data
    out.U32BE(0);  // no image resources
}

bool WriteFlatPsd(const VxBenchImage& image, const std::string& path, uint32_t channels, uint32_t depth,
                  bool rle, std::string& error)
{
    Bytes out;
    PsdHeader(image, channels, depth, out);
    out.U32BE(0);  // no layer and mask information
    std::vector<PsdPlane> planes;
    for (uint32_t c = 0; c < channels; ++c)
        planes.push_back(MasterPlane(image, c, depth));
    PsdMergedData(planes, rle, out);
    return out.Save(path, error);
}

// One 8-bit layer with transparency: its rectangle and planes (transparency, red, green, blue).
struct PsdLayer {
    std::string name;
    uint32_t left, top, right, bottom;
    std::vector<PsdPlane> planes;
};

// Layer records, each layer's channel data (compression, byte counts, rows), then the merged
// image (R, G, B bytes per pixel), all PackBits.
bool SaveLayeredPsd(const VxBenchImage& image, const std::vector<PsdLayer>& layers, const std::vector<uint8_t>& merged,
                    const std::string& path, std::string& error)
{
    Bytes records;
    Bytes channelData;
    records.U16BE(uint32_t(layers.size()));
    for (const PsdLayer& layer : layers) {
        records.U32BE(layer.top);
        records.U32BE(layer.left);
        records.U32BE(layer.bottom);
        records.U32BE(layer.right);
        records.U16BE(4);
        for (size_t c = 0; c < 4; ++c) {
            const size_t start = channelData.Size();
            channelData.U16BE(1);
            const auto packed = layer.planes[c].PackedRows();
            for (const auto& row : packed)
                channelData.U16BE(uint32_t(row.size()));
            for (const auto& row : packed)
                channelData.Append(row);
            records.U16BE(c == 0 ? 0xFFFF : uint32_t(c - 1));
            records.U32BE(uint32_t(channelData.Size() - start));
        }
        records.Text("8BIM");
        records.Text("norm");
        records.U8(255);  // opacity
        records.U8(0);    // clipping
        records.U8(0);    // flags
        records.U8(0);
        const size_t nameBytes = (1 + layer.name.size() + 3) / 4 * 4;
        records.U32BE(uint32_t(4 + 4 + nameBytes));
        records.U32BE(0);  // no layer mask
        records.U32BE(0);  // no blending ranges
        records.U8(uint32_t(layer.name.size()));
        records.Text(layer.name.c_str());
        for (size_t pad = 1 + layer.name.size(); pad < nameBytes; ++pad)
            records.U8(0);
    }
    size_t layerInfoBytes = records.Size() + channelData.Size();
    const bool padLayerInfo = layerInfoBytes % 2 != 0;
    layerInfoBytes += padLayerInfo;

    Bytes out;
    PsdHeader(image, 3, 8, out);
    out.U32BE(uint32_t(4 + layerInfoBytes + 4));
    out.U32BE(uint32_t(layerInfoBytes));
    out.Append(records.Data());
    out.Append(channelData.Data());
    if (padLayerInfo)
        out.U8(0);
    out.U32BE(0);  // no global layer mask

    const uint32_t w = image.width, h = image.height;
    std::vector<PsdPlane> planes(3, PsdPlane{w, h, std::vector<uint8_t>(size_t(w) * h)});
    for (size_t i = 0; i < size_t(w) * h; ++i)
        for (size_t c = 0; c < 3; ++c)
            planes[c].samples[i] = merged[i * 3 + c];
    PsdMergedData(planes, true, out);
    return out.Save(path, error);
}

// Three layers and the merged image: a full-canvas background, an inverted copy over the upper
// left and a tinted grey copy over the lower right; the merged image is their composite.
bool WriteLayeredPsd(const VxBenchImage& image, const std::string& path, std::string& error)
{
    const uint32_t w = image.width, h = image.height;
    std::vector<PsdLayer> layers = {{"Background", 0, 0, w, h, {}},
                                    {"Inverted", w / 8, h / 8, w * 5 / 8, h * 5 / 8, {}},
                                    {"Tint", w * 3 / 8, h * 3 / 8, w * 7 / 8, h * 7 / 8, {}}};
    std::vector<uint8_t> merged = Rgb8(image, false);
    for (size_t index = 0; index < 3; ++index) {
        PsdLayer& layer = layers[index];
        const uint32_t lw = layer.right - layer.left, lh = layer.bottom - layer.top;
        layer.planes.assign(4, PsdPlane{lw, lh, std::vector<uint8_t>(size_t(lw) * lh)});
        for (uint32_t y = 0; y < lh; ++y)
            for (uint32_t x = 0; x < lw; ++x) {
                const uint16_t* p = image.Pixel(layer.left + x, layer.top + y);
                uint8_t rgb[3] = {VxBench_To8(p[0]), VxBench_To8(p[1]), VxBench_To8(p[2])};
                uint8_t alpha = 255;
                if (index == 1) {
                    for (uint8_t& v : rgb)
                        v = uint8_t(255 - v);
                    alpha = uint8_t(VxBench_To8(p[3]) * 3 / 5);
                } else if (index == 2) {
                    const uint32_t luma = VxBench_To8(VxBench_Luma16(p));
                    rgb[0] = uint8_t(luma);
                    rgb[1] = uint8_t(luma * 9 / 10);
                    rgb[2] = uint8_t(luma * 7 / 10);
                    alpha = VxBench_To8(p[3]);
                }
                const size_t i = size_t(y) * lw + x;
                layer.planes[0].samples[i] = alpha;
                uint8_t* m = &merged[(size_t(layer.top + y) * w + layer.left + x) * 3];
                for (size_t c = 0; c < 3; ++c) {
                    layer.planes[c + 1].samples[i] = rgb[c];
                    m[c] = uint8_t((rgb[c] * alpha + m[c] * (255 - alpha) + 127) / 255);
                }
            }
    }
    return SaveLayeredPsd(image, layers, merged, path, error);
}

// count layers of one size, an eighth of the canvas each way, tiling the canvas from the top
// left (64 cover it): what decoding one layer costs when the document holds few or many.
bool WriteTiledLayersPsd(const VxBenchImage& image, uint32_t count, const std::string& path, std::string& error)
{
    const uint32_t lw = std::max(1u, image.width / 8), lh = std::max(1u, image.height / 8);
    std::vector<PsdLayer> layers;
    for (uint32_t index = 0; index < count; ++index) {
        const uint32_t left = std::min(index % 8 * lw, image.width - lw);
        const uint32_t top = std::min(index / 8 % 8 * lh, image.height - lh);
        PsdLayer layer{"Tile " + std::to_string(index + 1), left, top, left + lw, top + lh, {}};
        layer.planes.assign(4, PsdPlane{lw, lh, std::vector<uint8_t>(size_t(lw) * lh)});
        for (uint32_t y = 0; y < lh; ++y)
            for (uint32_t x = 0; x < lw; ++x) {
                const uint16_t* p = image.Pixel(left + x, top + y);
                const size_t i = size_t(y) * lw + x;
                layer.planes[0].samples[i] = VxBench_To8(p[3]);
                for (size_t c = 0; c < 3; ++c)
                    layer.planes[c + 1].samples[i] = VxBench_To8(p[c]);
            }
        layers.push_back(std::move(layer));
    }
    return SaveLayeredPsd(image, layers, Rgb8(image, false), path, error);
}

// --- OpenEXR -----------------------------------------------------------------------------------

#if VXBENCH_HAVE_OPENEXR
// Linear light values, as renderers and cameras write them: display values to the power 2.2.
float Linear(uint16_t v)
{
    return float(std::pow(v / 65535.0, 2.2));
}

bool WriteExr(const VxBenchImage& image, const std::string& path, bool half, Imf::Compression compression,
              std::string& error)
{
    const size_t pixels = size_t(image.width) * image.height;
    try {
        if (half) {
            std::vector<Imf::Rgba> rgba(pixels);
            for (size_t i = 0; i < pixels; ++i) {
                const uint16_t* p = &image.rgba[i * 4];
                rgba[i] = Imf::Rgba(Linear(p[0]), Linear(p[1]), Linear(p[2]), p[3] / 65535.0f);
            }
            Imf::RgbaOutputFile file(path.c_str(), int(image.width), int(image.height), Imf::WRITE_RGBA, 1,
                                     Imath::V2f(0, 0), 1, Imf::INCREASING_Y, compression);
            file.setFrameBuffer(rgba.data(), 1, image.width);
            file.writePixels(int(image.height));
        } else {
            std::vector<float> rgb(pixels * 3);
            for (size_t i = 0; i < pixels; ++i)
                for (size_t c = 0; c < 3; ++c)
                    rgb[i * 3 + c] = Linear(image.rgba[i * 4 + c]);
            Imf::Header header(int(image.width), int(image.height));
            header.compression() = compression;
            Imf::FrameBuffer frame;
            const char* names[] = {"R", "G", "B"};
            for (size_t c = 0; c < 3; ++c) {
                header.channels().insert(names[c], Imf::Channel(Imf::FLOAT));
                frame.insert(names[c], Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(&rgb[c]), sizeof(float) * 3,
                                                  sizeof(float) * 3 * image.width));
            }
            Imf::OutputFile file(path.c_str(), header);
            file.setFrameBuffer(frame);
            file.writePixels(int(image.height));
        }
    } catch (const std::exception& e) {
        error = path + ": " + e.what();
        return false;
    }
    return true;
}
#endif

}  // namespace

const char* VxBench_FormatName(VxBenchFormat format)
{
    switch (format) {
    case VxBenchFormat::Png: return "PNG";
    case VxBenchFormat::Jpeg: return "JPEG";
    case VxBenchFormat::Tga: return "TGA";
    case VxBenchFormat::Bmp: return "BMP";
    case VxBenchFormat::Psd: return "PSD";
    case VxBenchFormat::Exr: return "EXR";
    }
    return "?";
}

const std::vector<VxBenchVariant>& VxBench_Variants()
{
    using F = VxBenchFormat;
    using I = VxBenchImage;
    using S = std::string;
    static const std::vector<VxBenchVariant> variants = {
        {"png-rgb8", ".png", F::Png, "RGB 8-bit", 3,
         [](const I& i, const S& p, S& e) { return WritePng(i, p, {PNG_COLOR_TYPE_RGB, 8, false}, e); }},
        {"png-rgba8", ".png", F::Png, "RGBA 8-bit", 4,
         [](const I& i, const S& p, S& e) { return WritePng(i, p, {PNG_COLOR_TYPE_RGB_ALPHA, 8, false}, e); }},
        {"png-grey8", ".png", F::Png, "grey 8-bit", 4,
         [](const I& i, const S& p, S& e) { return WritePng(i, p, {PNG_COLOR_TYPE_GRAY, 8, false}, e); }},
        {"png-pal8", ".png", F::Png, "palette 8-bit, 252 colours", 4,
         [](const I& i, const S& p, S& e) { return WritePng(i, p, {PNG_COLOR_TYPE_PALETTE, 8, false}, e); }},
        {"png-rgb16", ".png", F::Png, "RGB 16-bit", 8,
         [](const I& i, const S& p, S& e) { return WritePng(i, p, {PNG_COLOR_TYPE_RGB, 16, false}, e); }},
        {"png-rgba16", ".png", F::Png, "RGBA 16-bit", 8,
         [](const I& i, const S& p, S& e) { return WritePng(i, p, {PNG_COLOR_TYPE_RGB_ALPHA, 16, false}, e); }},
        {"png-rgb8-adam7", ".png", F::Png, "RGB 8-bit, interlaced", 3,
         [](const I& i, const S& p, S& e) { return WritePng(i, p, {PNG_COLOR_TYPE_RGB, 8, true}, e); }},

        {"jpeg-420-q90", ".jpg", F::Jpeg, "baseline 4:2:0, quality 90", 3,
         [](const I& i, const S& p, S& e) { return WriteJpeg(i, p, {false, true, false, 90}, e); }},
        {"jpeg-444-q95", ".jpg", F::Jpeg, "baseline 4:4:4, quality 95", 3,
         [](const I& i, const S& p, S& e) { return WriteJpeg(i, p, {false, false, false, 95}, e); }},
        {"jpeg-420-prog", ".jpg", F::Jpeg, "progressive 4:2:0, quality 90", 3,
         [](const I& i, const S& p, S& e) { return WriteJpeg(i, p, {false, true, true, 90}, e); }},
        {"jpeg-grey-q90", ".jpg", F::Jpeg, "greyscale, quality 90", 4,
         [](const I& i, const S& p, S& e) { return WriteJpeg(i, p, {true, false, false, 90}, e); }},

        {"tga-24", ".tga", F::Tga, "24-bit", 3,
         [](const I& i, const S& p, S& e) { return WriteTga(i, p, 3, false, e); }},
        {"tga-32", ".tga", F::Tga, "32-bit with alpha", 4,
         [](const I& i, const S& p, S& e) { return WriteTga(i, p, 4, false, e); }},
        {"tga-24-rle", ".tga", F::Tga, "24-bit, run-length encoded", 3,
         [](const I& i, const S& p, S& e) { return WriteTga(i, p, 3, true, e); }},

        {"bmp-24", ".bmp", F::Bmp, "24-bit", 3,
         [](const I& i, const S& p, S& e) { return WriteBmp(i, p, BmpLayout::Bgr24, e); }},
        {"bmp-32", ".bmp", F::Bmp, "32-bit", 4,
         [](const I& i, const S& p, S& e) { return WriteBmp(i, p, BmpLayout::Bgra32, e); }},
        {"bmp-pal8", ".bmp", F::Bmp, "8-bit palette", 4,
         [](const I& i, const S& p, S& e) { return WriteBmp(i, p, BmpLayout::Palette8, e); }},
        {"bmp-rle8", ".bmp", F::Bmp, "8-bit palette, RLE8", 3,
         [](const I& i, const S& p, S& e) { return WriteBmp(i, p, BmpLayout::Rle8, e); }},

        {"psd-rgb8-raw", ".psd", F::Psd, "RGB 8-bit, uncompressed, no layers", 4,
         [](const I& i, const S& p, S& e) { return WriteFlatPsd(i, p, 3, 8, false, e); }},
        {"psd-rgb8-rle", ".psd", F::Psd, "RGB 8-bit, PackBits, no layers", 4,
         [](const I& i, const S& p, S& e) { return WriteFlatPsd(i, p, 3, 8, true, e); }},
        {"psd-rgba16-rle", ".psd", F::Psd, "RGB + alpha 16-bit, PackBits, no layers", 8,
         [](const I& i, const S& p, S& e) { return WriteFlatPsd(i, p, 4, 16, true, e); }},
        {"psd-layers", ".psd", F::Psd, "RGB 8-bit, three layers + merged image, PackBits", 4,
         [](const I& i, const S& p, S& e) { return WriteLayeredPsd(i, p, e); }},
        {"psd-tiles2", ".psd", F::Psd, "RGB 8-bit, 2 layers of 1/64 of the canvas, PackBits", 4,
         [](const I& i, const S& p, S& e) { return WriteTiledLayersPsd(i, 2, p, e); }, 2},
        {"psd-tiles64", ".psd", F::Psd, "RGB 8-bit, 64 such layers, PackBits", 4,
         [](const I& i, const S& p, S& e) { return WriteTiledLayersPsd(i, 64, p, e); }, 64},

#if VXBENCH_HAVE_OPENEXR
        {"exr-half-zip", ".exr", F::Exr, "RGBA half, ZIP", 16,
         [](const I& i, const S& p, S& e) { return WriteExr(i, p, true, Imf::ZIP_COMPRESSION, e); }},
        {"exr-half-piz", ".exr", F::Exr, "RGBA half, PIZ", 16,
         [](const I& i, const S& p, S& e) { return WriteExr(i, p, true, Imf::PIZ_COMPRESSION, e); }},
        {"exr-float-zip", ".exr", F::Exr, "RGB float, ZIP", 16,
         [](const I& i, const S& p, S& e) { return WriteExr(i, p, false, Imf::ZIP_COMPRESSION, e); }},
        {"exr-float-piz", ".exr", F::Exr, "RGB float, PIZ", 16,
         [](const I& i, const S& p, S& e) { return WriteExr(i, p, false, Imf::PIZ_COMPRESSION, e); }},
#endif
    };
    return variants;
}
