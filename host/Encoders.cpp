// The host's encoders for vxhost convert.
#include "Encoders.h"

#include "../plugin/contracts/VxIdentifiers.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace {

constexpr int kJpegQuality = 92;

const VxHostEncoder kEncoders[] = {
    {"PNG", ".png", &CLSID_VxPngPlugin, VxHost_WritePng},
    {"BMP", ".bmp .dib", &CLSID_VxDibPlugin, VxHost_WriteBmp},
    {"TARGA", ".tga .targa", &CLSID_VxTgaPlugin, VxHost_WriteTga},
    {"JPEG", ".jpg .jpe .jpeg", &CLSID_VxJpegPlugin, VxHost_WriteJpeg},
};

// 8-bit RGBA of a picture: deep samples keep their high byte.
std::vector<uint8_t> Rgba8(const VxHostRgbaImage& image)
{
    if (!image.deep)
        return image.samples8;
    std::vector<uint8_t> rgba(image.samples16.size());
    for (size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = uint8_t(image.samples16[i] >> 8);
    return rgba;
}

bool Opaque(const std::vector<uint8_t>& rgba)
{
    for (size_t i = 3; i < rgba.size(); i += 4)
        if (rgba[i] != 255)
            return false;
    return true;
}

void Put16(std::vector<uint8_t>& bytes, uint32_t value)
{
    bytes.push_back(uint8_t(value));
    bytes.push_back(uint8_t(value >> 8));
}

void Put32(std::vector<uint8_t>& bytes, uint32_t value)
{
    Put16(bytes, value);
    Put16(bytes, value >> 16);
}

// Blue-green-red(-alpha) rows, bottom row first, each padded to rowAlign bytes.
void AppendBottomUp(std::vector<uint8_t>& bytes, const VxHostRgbaImage& image,
                    const std::vector<uint8_t>& rgba, bool alpha, size_t rowAlign)
{
    const size_t pixelBytes = alpha ? 4 : 3;
    const size_t rowBytes = (image.width * pixelBytes + rowAlign - 1) / rowAlign * rowAlign;
    for (uint32_t y = image.height; y-- > 0;) {
        const uint8_t* row = rgba.data() + size_t(y) * image.width * 4;
        const size_t start = bytes.size();
        for (uint32_t x = 0; x < image.width; ++x) {
            const uint8_t* p = row + size_t(x) * 4;
            bytes.insert(bytes.end(), {p[2], p[1], p[0]});
            if (alpha)
                bytes.push_back(p[3]);
        }
        bytes.resize(start + rowBytes, 0);
    }
}

bool WriteAll(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

struct JpegErrors {
    jpeg_error_mgr manager;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr info)
{
    JpegErrors* errors = reinterpret_cast<JpegErrors*>(info->err);
    info->err->format_message(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// libjpeg leaves through longjmp on an error, so nothing with a destructor lives here.
bool CompressJpeg(FILE* file, const uint8_t* rgba, uint8_t* row, uint32_t width, uint32_t height,
                  JpegErrors& errors)
{
    jpeg_compress_struct info = {};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JpegErrorExit;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, kJpegQuality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        const uint8_t* source = rgba + size_t(info.next_scanline) * width * 4;
        for (uint32_t x = 0; x < width; ++x)
            std::memcpy(&row[size_t(x) * 3], source + size_t(x) * 4, 3);
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

const VxHostEncoder* VxHost_EncoderFor(const std::string& path)
{
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return nullptr;
    std::string extension = path.substr(dot);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    for (const VxHostEncoder& encoder : kEncoders) {
        const std::string list = std::string(" ") + encoder.extensions + " ";
        if (list.find(" " + extension + " ") != std::string::npos)
            return &encoder;
    }
    return nullptr;
}

std::string VxHost_EncoderExtensions()
{
    std::string text;
    for (const VxHostEncoder& encoder : kEncoders)
        text += (text.empty() ? "" : " ") + std::string(encoder.extensions);
    return text;
}

bool VxHost_WriteBmp(const std::string& path, const VxHostRgbaImage& image, std::string& error)
{
    const std::vector<uint8_t> rgba = Rgba8(image);
    const bool alpha = !Opaque(rgba);
    const uint32_t bits = alpha ? 32 : 24;
    const uint64_t rowBytes = (uint64_t(image.width) * bits / 8 + 3) / 4 * 4;
    const uint64_t imageBytes = rowBytes * image.height;
    if (imageBytes + 54 > 0xFFFFFFFFu) {
        error = "the picture is too large for a bitmap file";
        return false;
    }
    std::vector<uint8_t> bytes;
    bytes.reserve(size_t(54 + imageBytes));
    bytes.insert(bytes.end(), {'B', 'M'});
    Put32(bytes, uint32_t(54 + imageBytes));
    Put32(bytes, 0);
    Put32(bytes, 54);
    Put32(bytes, 40);  // BITMAPINFOHEADER
    Put32(bytes, image.width);
    Put32(bytes, image.height);
    Put16(bytes, 1);
    Put16(bytes, bits);
    Put32(bytes, 0);  // BI_RGB
    Put32(bytes, uint32_t(imageBytes));
    Put32(bytes, 2835);  // 72 dpi
    Put32(bytes, 2835);
    Put32(bytes, 0);
    Put32(bytes, 0);
    AppendBottomUp(bytes, image, rgba, alpha, 4);
    return WriteAll(path, bytes, error);
}

bool VxHost_WriteTga(const std::string& path, const VxHostRgbaImage& image, std::string& error)
{
    if (image.width > 0xFFFF || image.height > 0xFFFF) {
        error = "the picture is too large for a TARGA file (65535 pixels a side)";
        return false;
    }
    const std::vector<uint8_t> rgba = Rgba8(image);
    const bool alpha = !Opaque(rgba);
    std::vector<uint8_t> bytes = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};  // true colour, no map
    Put16(bytes, image.width);
    Put16(bytes, image.height);
    bytes.push_back(alpha ? 32 : 24);
    bytes.push_back(alpha ? 8 : 0);  // alpha bits; origin bottom left
    AppendBottomUp(bytes, image, rgba, alpha, 1);
    return WriteAll(path, bytes, error);
}

bool VxHost_WriteJpeg(const std::string& path, const VxHostRgbaImage& image, std::string& error)
{
    const std::vector<uint8_t> rgba = Rgba8(image);
    std::vector<uint8_t> row(size_t(image.width) * 3);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    JpegErrors errors = {};
    const bool compressed = CompressJpeg(file, rgba.data(), row.data(), image.width, image.height, errors);
    const bool closed = std::fclose(file) == 0;
    if (!compressed || !closed) {
        error = "cannot write " + path + ": " + (compressed ? std::strerror(errno) : errors.message);
        return false;
    }
    return true;
}
