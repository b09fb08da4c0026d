// The contenders. Every peer decodes the whole file from its path into memory of its own, the
// way its documentation shows, single-threaded (as the module decodes a frame; OpenEXR alone
// has one worker per core, as the module's EXR component has); each run
// includes opening the file and reading its header. One untimed run first warms the page
// cache and the library.
#include "Contenders.h"

#include <algorithm>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <png.h>

#include <jpeglib.h>

#if VXBENCH_HAVE_SPNG
#include <spng.h>
#endif
#if VXBENCH_HAVE_TURBOJPEG
#include <turbojpeg.h>
#endif
#if VXBENCH_HAVE_STB
#include <stb/stb_image.h>
#endif
#if VXBENCH_HAVE_OPENEXR
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfThreading.h>
#include <OpenEXRConfig.h>
#endif
#if VXBENCH_HAVE_FREEIMAGE
#include <FreeImage.h>
#endif
#if VXBENCH_HAVE_OIIO
#include <OpenImageIO/imageio.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;
using F = VxBenchFormat;

std::string SizeMismatch(uint64_t width, uint64_t height, const VxBenchFile& file)
{
    return "decoded " + std::to_string(width) + " x " + std::to_string(height) + ", expected " +
           std::to_string(file.width) + " x " + std::to_string(file.height);
}

std::string CheckSize(uint64_t width, uint64_t height, const VxBenchFile& file)
{
    return width == file.width && height == file.height ? std::string() : SizeMismatch(width, height, file);
}

double ProcessorSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// One timed run of decode (which answers an empty text or why it failed).
template <class Decode>
VxBenchSample TimeOnce(Decode&& decode)
{
    VxBenchSample sample;
    const double processorStart = ProcessorSeconds();
    const auto started = Clock::now();
    sample.failure = decode();
    sample.ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    sample.processorSeconds = ProcessorSeconds() - processorStart;
    return sample;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return bytes;
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size > 0) {
        bytes.resize(size_t(size));
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, off_t(done));
            if (n <= 0)
                break;
            done += size_t(n);
        }
        bytes.resize(done);
    }
    ::close(fd);
    return bytes;
}

// --- the module, through vxhost bench ----------------------------------------------------------

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// vxhost bench prints one line per file: path, open ms, min ms, median ms, MP/s, frames.
// One run of the module is one vxhost process that opens the file and delivers the frame three
// times into host memory: its time is the open plus the fastest GetFrame, so that the process's
// first touches of the module do not count.
// A layer (stream above 0) is timed without the open, whose cost grows with the layer records.
VxBenchSample TimeModuleOnce(const VxBenchFile& file, const std::string& vxhost, uint32_t stream = 0)
{
    VxBenchSample sample;
    const std::string command = Quoted(vxhost) + " bench " + Quoted(file.path) + " --repeat 3 --stream " +
                                std::to_string(stream) + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        sample.failure = "cannot run vxhost";
        return sample;
    }
    std::string output;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, n);
    const int status = ::pclose(pipe);

    std::istringstream lines(output);
    std::string line, lastLine;
    while (std::getline(lines, line)) {
        if (!line.empty())
            lastLine = line;
        std::istringstream fields(line);
        std::string path;
        double openMs = 0, minMs = 0;
        if (fields >> path >> openMs >> minMs && path == file.path && status == 0) {
            sample.ms = (stream == 0 ? openMs : 0) + minMs;
            return sample;
        }
    }
    sample.failure = lastLine.empty() ? "vxhost printed nothing" : lastLine;
    return sample;
}

VxBenchRunner PrepareModule(const VxBenchFile& file, const VxBenchSettings& settings)
{
    return [file, vxhost = settings.vxhost] {
        if (vxhost.empty())
            return VxBenchSample{0, 0, "no vxhost"};
        return TimeModuleOnce(file, vxhost);
    };
}

// One layer of a layered document: its own stream, whose frame is the layer on the canvas.
VxBenchRunner PrepareModuleLayer(const VxBenchFile& file, const VxBenchSettings& settings)
{
    return [file, vxhost = settings.vxhost] {
        if (vxhost.empty())
            return VxBenchSample{0, 0, "no vxhost"};
        return TimeModuleOnce(file, vxhost, file.variant->layerStream);
    };
}

}  // namespace

std::string VxBench_ModuleFrame(const VxBenchFile& file, const VxBenchSettings& settings,
                                std::vector<uint8_t>& frame)
{
    if (settings.vxhost.empty())
        return "no vxhost";
    const std::string stem =
        (std::filesystem::temp_directory_path() / ("vxbench-" + std::to_string(::getpid()))).string();
    const std::string command = Quoted(settings.vxhost) + " decode " + Quoted(file.path) + " -o " +
                                Quoted(stem + ".png") + " --raw " + Quoted(stem + ".bin") + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    frame = ReadWholeFile(stem + ".bin");
    std::filesystem::remove(stem + ".png");
    std::filesystem::remove(stem + ".bin");
    return status == 0 && !frame.empty() ? std::string() : "vxhost decode failed";
}

namespace {

// --- the lower bound ---------------------------------------------------------------------------

// Reading the file from the page cache and copying one frame of the delivered size (rows
// padded to four bytes) between two buffers touched beforehand: what no decoder can beat.
VxBenchRunner PrepareLowerBound(const VxBenchFile& file, const VxBenchSettings&)
{
    const size_t stride = (size_t(file.width) * file.variant->frameBytesPerPixel + 3) / 4 * 4;
    const size_t frameBytes = stride * file.height;
    auto source = std::make_shared<std::vector<uint8_t>>(frameBytes, 1);
    auto frame = std::make_shared<std::vector<uint8_t>>(frameBytes, 2);
    auto bytes = std::make_shared<std::vector<uint8_t>>(ReadWholeFile(file.path));
    return [file, source, frame, bytes] {
        // The other contenders' runs in between may have pushed these pages out: touch them
        // again, untimed.
        std::memset(source->data(), 1, source->size());
        std::memset(frame->data(), 2, frame->size());
        return TimeOnce([&]() -> std::string {
            const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                return "cannot open";
            size_t done = 0;
            while (done < bytes->size()) {
                const ssize_t n = ::read(fd, bytes->data() + done, bytes->size() - done);
                if (n <= 0)
                    break;
                done += size_t(n);
            }
            ::close(fd);
            std::memcpy(frame->data(), source->data(), frame->size());
            return done == bytes->size() ? std::string() : "short read";
        });
    };
}

// --- libpng ------------------------------------------------------------------------------------

// The reference: libpng's classic API with the transformations that give the very frame the
// module delivers (B, G, R (, A) order, 16-bit samples little-endian, palette and grey of 8 bits
// and fewer widened to 32 bits per pixel, a tRNS colour key turned into alpha), decoding into a
// caller buffer that, like the host's memory behind a token, exists before the call.
struct PngRead {
    FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::vector<uint8_t>* frame = nullptr;
    std::vector<png_bytep> rows;
    png_uint_32 width = 0, height = 0;
};

void PngSetDeliveredLayout(png_structp png, png_infop info)
{
    const int type = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    const bool key = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    const bool grey = type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA;
    if (depth == 16)
        png_set_swap(png);
    if (type == PNG_COLOR_TYPE_GRAY && depth == 16 && !key)
        return;  // 16-bit grey is delivered as stored, apart from the byte order
    if (type == PNG_COLOR_TYPE_PALETTE || key || depth < 8)
        png_set_expand(png);
    if (grey)
        png_set_gray_to_rgb(png);
    png_set_bgr(png);
    if (!key && type == PNG_COLOR_TYPE_PALETTE)
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    else if (!key && type == PNG_COLOR_TYPE_GRAY)
        png_set_filler(png, 0, PNG_FILLER_AFTER);  // widened grey carries alpha 0
    else if (!key && type == PNG_COLOR_TYPE_RGB && depth == 16)
        png_set_filler(png, 0xFFFF, PNG_FILLER_AFTER);
}

// Holds the libpng setjmp; owns nothing (a longjmp skips destructors).
bool PngReadImage(PngRead& read)
{
    if (setjmp(png_jmpbuf(read.png)))
        return false;
    png_init_io(read.png, read.file);
    png_read_info(read.png, read.info);
    read.width = png_get_image_width(read.png, read.info);
    read.height = png_get_image_height(read.png, read.info);
    PngSetDeliveredLayout(read.png, read.info);
    png_set_interlace_handling(read.png);
    png_read_update_info(read.png, read.info);
    const size_t stride = (png_get_rowbytes(read.png, read.info) + 3) / 4 * 4;
    if (read.frame->size() < stride * read.height)
        read.frame->resize(stride * read.height);  // the untimed warm-up run sizes it
    read.rows.resize(read.height);
    for (png_uint_32 y = 0; y < read.height; ++y)
        read.rows[y] = read.frame->data() + stride * (read.height - 1 - y);  // bottom-up, as delivered
    png_read_image(read.png, read.rows.data());
    png_read_end(read.png, nullptr);
    return true;
}

std::string DecodeLibpng(const VxBenchFile& file, std::vector<uint8_t>& frame)
{
    PngRead read;
    read.frame = &frame;
    read.file = std::fopen(file.path.c_str(), "rb");
    if (!read.file)
        return "cannot open";
    read.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    read.info = read.png ? png_create_info_struct(read.png) : nullptr;
    const bool ok = read.info && PngReadImage(read);
    png_destroy_read_struct(&read.png, &read.info, nullptr);
    std::fclose(read.file);
    return ok ? CheckSize(read.width, read.height, file) : "libpng error";
}

VxBenchRunner PrepareLibpng(const VxBenchFile& file, const VxBenchSettings&)
{
    auto frame = std::make_shared<std::vector<uint8_t>>();
    return [file, frame] { return TimeOnce([&] { return DecodeLibpng(file, *frame); }); };
}

// --- libjpeg (classic API) ---------------------------------------------------------------------

// The JPEG reference: libjpeg-turbo's classic API decoding straight into the frame the module
// delivers, in a caller buffer that exists before the call: colour as bottom-up B, G, R rows
// padded to four bytes, grey as bottom-up B, G, R, X rows (the 32-bit frame the host receives).
struct JpegRead {
    jpeg_decompress_struct info;
    jpeg_error_mgr errorManager;
    std::jmp_buf jump;
    std::vector<uint8_t>* frame = nullptr;
};

void JpegErrorExit(j_common_ptr info)
{
    std::longjmp(static_cast<JpegRead*>(info->client_data)->jump, 1);
}

// Holds the libjpeg setjmp; owns nothing.
bool JpegReadImage(JpegRead& read, FILE* file)
{
    if (setjmp(read.jump))
        return false;
    jpeg_stdio_src(&read.info, file);
    jpeg_read_header(&read.info, TRUE);
    read.info.out_color_space = read.info.out_color_space == JCS_GRAYSCALE ? JCS_EXT_BGRX : JCS_EXT_BGR;
    jpeg_start_decompress(&read.info);
    const size_t stride = (size_t(read.info.output_width) * read.info.output_components + 3) / 4 * 4;
    const size_t height = read.info.output_height;
    if (read.frame->size() < stride * height)
        read.frame->resize(stride * height);  // the untimed warm-up run sizes it
    while (read.info.output_scanline < height) {
        JSAMPROW row = read.frame->data() + stride * (height - 1 - read.info.output_scanline);
        jpeg_read_scanlines(&read.info, &row, 1);
    }
    jpeg_finish_decompress(&read.info);
    return true;
}

std::string DecodeLibjpeg(const VxBenchFile& file, std::vector<uint8_t>& frame)
{
    FILE* stream = std::fopen(file.path.c_str(), "rb");
    if (!stream)
        return "cannot open";
    JpegRead read;
    read.frame = &frame;
    read.info.err = jpeg_std_error(&read.errorManager);
    read.errorManager.error_exit = JpegErrorExit;
    jpeg_create_decompress(&read.info);
    read.info.client_data = &read;
    const bool ok = JpegReadImage(read, stream);
    const uint64_t width = read.info.output_width, height = read.info.output_height;
    jpeg_destroy_decompress(&read.info);
    std::fclose(stream);
    return ok ? CheckSize(width, height, file) : "libjpeg error";
}

// The reference's frame for the comparison with the module's: libjpeg fills X with 255, the
// module's widened grey carries 0 there (untimed).
std::string DeliveredLibjpeg(const VxBenchFile& file, std::vector<uint8_t>& frame)
{
    const std::string failure = DecodeLibjpeg(file, frame);
    if (failure.empty() && file.variant->frameBytesPerPixel == 4)
        for (size_t i = 3; i < frame.size(); i += 4)
            frame[i] = 0;
    return failure;
}

VxBenchRunner PrepareLibjpeg(const VxBenchFile& file, const VxBenchSettings&)
{
    auto frame = std::make_shared<std::vector<uint8_t>>();
    return [file, frame] { return TimeOnce([&] { return DecodeLibjpeg(file, *frame); }); };
}

// --- TurboJPEG ---------------------------------------------------------------------------------

#if VXBENCH_HAVE_TURBOJPEG
std::string DecodeTurbojpeg(const VxBenchFile& file)
{
    const std::vector<uint8_t> bytes = ReadWholeFile(file.path);
    tjhandle handle = tjInitDecompress();
    if (!handle)
        return "tjInitDecompress failed";
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    std::string failure;
    if (tjDecompressHeader3(handle, bytes.data(), bytes.size(), &width, &height, &subsampling, &colourspace) != 0) {
        failure = tjGetErrorStr2(handle);
    } else {
        const int format = colourspace == TJCS_GRAY ? TJPF_GRAY : TJPF_RGB;
        std::vector<uint8_t> pixels(size_t(width) * size_t(height) * size_t(tjPixelSize[format]));
        if (tjDecompress2(handle, bytes.data(), bytes.size(), pixels.data(), width, 0, height, format, 0) != 0)
            failure = tjGetErrorStr2(handle);
        else
            failure = CheckSize(uint64_t(width), uint64_t(height), file);
    }
    tjDestroy(handle);
    return failure;
}
#endif

// --- libspng -----------------------------------------------------------------------------------

#if VXBENCH_HAVE_SPNG
// The output format a user would ask for: 16-bit RGBA for 16-bit files, RGBA when there is
// alpha, 8-bit grey for grey, else RGB.
std::string DecodeSpng(const VxBenchFile& file)
{
    FILE* stream = std::fopen(file.path.c_str(), "rb");
    if (!stream)
        return "cannot open";
    spng_ctx* context = spng_ctx_new(0);
    std::string failure;
    spng_ihdr header{};
    int error = spng_set_png_file(context, stream);
    if (!error)
        error = spng_get_ihdr(context, &header);
    if (!error) {
        spng_trns transparency{};
        const bool alpha = header.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA ||
                           header.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ||
                           spng_get_trns(context, &transparency) == 0;
        const int format = header.bit_depth == 16                               ? SPNG_FMT_RGBA16
                           : alpha                                              ? SPNG_FMT_RGBA8
                           : header.color_type == SPNG_COLOR_TYPE_GRAYSCALE     ? SPNG_FMT_G8
                                                                                : SPNG_FMT_RGB8;
        size_t size = 0;
        error = spng_decoded_image_size(context, format, &size);
        if (!error) {
            std::vector<uint8_t> pixels(size);
            error = spng_decode_image(context, pixels.data(), size, format, SPNG_DECODE_TRNS);
        }
    }
    failure = error ? spng_strerror(error) : CheckSize(header.width, header.height, file);
    spng_ctx_free(context);
    std::fclose(stream);
    return failure;
}
#endif

// --- stb_image ---------------------------------------------------------------------------------

#if VXBENCH_HAVE_STB
std::string DecodeStb(const VxBenchFile& file)
{
    int width = 0, height = 0, channels = 0;
    void* pixels = file.variant->frameBytesPerPixel == 8
                       ? static_cast<void*>(stbi_load_16(file.path.c_str(), &width, &height, &channels, 0))
                       : static_cast<void*>(stbi_load(file.path.c_str(), &width, &height, &channels, 0));
    if (!pixels)
        return stbi_failure_reason() ? stbi_failure_reason() : "stb_image failed";
    stbi_image_free(pixels);
    return CheckSize(uint64_t(width), uint64_t(height), file);
}

// The PSD reference: stb_image's merged image as R, G, B, A (8- or 16-bit samples), laid out as
// the module delivers it: B, G, R, A, bottom row first.
template <class T>
void StbToDelivered(const T* rgba, int width, int height, std::vector<uint8_t>& frame)
{
    frame.resize(size_t(width) * height * 4 * sizeof(T));
    T* out = reinterpret_cast<T*>(frame.data());
    for (int y = 0; y < height; ++y) {
        const T* in = rgba + size_t(height - 1 - y) * width * 4;
        for (int x = 0; x < 4 * width; x += 4, out += 4) {
            out[0] = in[x + 2];
            out[1] = in[x + 1];
            out[2] = in[x];
            out[3] = in[x + 3];
        }
    }
}

std::string DeliveredStbPsd(const VxBenchFile& file, std::vector<uint8_t>& frame)
{
    int width = 0, height = 0, channels = 0;
    const bool deep = file.variant->frameBytesPerPixel == 8;
    void* pixels = deep ? static_cast<void*>(stbi_load_16(file.path.c_str(), &width, &height, &channels, 4))
                        : static_cast<void*>(stbi_load(file.path.c_str(), &width, &height, &channels, 4));
    if (!pixels)
        return stbi_failure_reason() ? stbi_failure_reason() : "stb_image failed";
    if (deep)
        StbToDelivered(static_cast<const uint16_t*>(pixels), width, height, frame);
    else
        StbToDelivered(static_cast<const uint8_t*>(pixels), width, height, frame);
    stbi_image_free(pixels);
    return CheckSize(uint64_t(width), uint64_t(height), file);
}
#endif

// --- OpenEXR -----------------------------------------------------------------------------------

#if VXBENCH_HAVE_OPENEXR
// The general reader's whole data window as 32-bit floats, four a pixel in the order of the
// channel `names` (the fourth is alpha: filled with 1 where the file has none), top row first.
// OpenEXR throws on a bad file.
std::vector<float> ReadOpenExrFloats(const VxBenchFile& file, const char* const (&names)[4], size_t* width,
                                     size_t* height)
{
    Imf::InputFile input(file.path.c_str());
    const Imath::Box2i window = input.header().dataWindow();
    *width = size_t(int64_t(window.max.x) - window.min.x + 1);
    *height = size_t(int64_t(window.max.y) - window.min.y + 1);
    std::vector<float> pixels(*width * *height * 4);
    const size_t xStride = sizeof(float) * 4, yStride = xStride * *width;
    char* base = reinterpret_cast<char*>(pixels.data()) -
                 (int64_t(window.min.x) * int64_t(xStride) + int64_t(window.min.y) * int64_t(yStride));
    Imf::FrameBuffer buffer;
    for (size_t c = 0; c < 4; ++c)
        buffer.insert(names[c], Imf::Slice(Imf::FLOAT, base + c * sizeof(float), xStride, yStride, 1, 1,
                                           c == 3 ? 1.0 : 0.0));
    input.setFrameBuffer(buffer);
    input.readPixels(window.min.y, window.max.y);
    return pixels;
}

// The general reader into 32-bit float R, G, B, A (what the module delivers); a missing alpha
// channel is filled with 1.
std::string DecodeOpenExr(const VxBenchFile& file)
{
    try {
        size_t width = 0, height = 0;
        ReadOpenExrFloats(file, {"R", "G", "B", "A"}, &width, &height);
        return CheckSize(uint64_t(width), uint64_t(height), file);
    } catch (const std::exception& e) {
        return e.what();
    }
}

// The frame the module delivers, for the comparison: B, G, R, A floats, bottom row first.
std::string DeliveredOpenExr(const VxBenchFile& file, std::vector<uint8_t>& frame)
{
    try {
        size_t width = 0, height = 0;
        const std::vector<float> pixels = ReadOpenExrFloats(file, {"B", "G", "R", "A"}, &width, &height);
        const size_t yStride = sizeof(float) * 4 * width;
        frame.resize(pixels.size() * sizeof(float));
        for (size_t y = 0; y < height; ++y)
            std::memcpy(frame.data() + (height - 1 - y) * yStride, &pixels[y * width * 4], yStride);
        return CheckSize(width, height, file);
    } catch (const std::exception& e) {
        return e.what();
    }
}
#endif

// --- FreeImage ---------------------------------------------------------------------------------

#if VXBENCH_HAVE_FREEIMAGE
// FreeImage's default load flags (for JPEG that is its fast integer DCT without fancy
// upsampling: what a FreeImage user gets).
std::string DecodeFreeImage(const VxBenchFile& file)
{
    const FREE_IMAGE_FORMAT format = FreeImage_GetFileType(file.path.c_str(), 0);
    if (format == FIF_UNKNOWN)
        return "unknown file type";
    FIBITMAP* bitmap = FreeImage_Load(format, file.path.c_str(), 0);
    if (!bitmap)
        return "FreeImage_Load failed";
    const std::string failure = CheckSize(FreeImage_GetWidth(bitmap), FreeImage_GetHeight(bitmap), file);
    FreeImage_Unload(bitmap);
    return failure;
}
#endif

// --- OpenImageIO -------------------------------------------------------------------------------

#if VXBENCH_HAVE_OIIO
// The whole image in the file's own sample type (one thread: see main).
std::string DecodeOiio(const VxBenchFile& file)
{
    auto input = OIIO::ImageInput::open(file.path);
    if (!input)
        return OIIO::geterror();
    const OIIO::ImageSpec layout = input->spec_dimensions(0);  // size, channels, format
    std::vector<uint8_t> pixels(layout.image_bytes());
    const bool ok = input->read_image(0, 0, 0, layout.nchannels, layout.format, pixels.data());
    std::string failure = ok ? CheckSize(uint64_t(layout.width), uint64_t(layout.height), file) : input->geterror();
    input->close();
    return failure;
}
#endif

// Whether the module widens the file's frame on delivery: a bitmap of fewer than 24 bits per
// pixel stored as it is (the bit count at offset 28, compression 0 at offset 30).
bool WidenedBitmap(const VxBenchFile& file)
{
    if (file.variant->format != VxBenchFormat::Bmp)
        return false;
    uint8_t head[34] = {};
    const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool read = fd >= 0 && ::pread(fd, head, sizeof head, 0) == ssize_t(sizeof head);
    if (fd >= 0)
        ::close(fd);
    const uint32_t compression = uint32_t(head[30]) | uint32_t(head[31]) << 8 | uint32_t(head[32]) << 16 |
                                 uint32_t(head[33]) << 24;
    return read && (head[28] | head[29] << 8) < 24 && compression == 0;
}

#if VXBENCH_HAVE_FREEIMAGE
// The load, then FreeImage's conversion to 32 bits per pixel (B, G, R, A, bottom row first;
// alpha 255 where the module delivers the palette's fourth byte).
std::string DecodeFreeImage32(const VxBenchFile& file)
{
    FIBITMAP* bitmap = FreeImage_Load(FreeImage_GetFileType(file.path.c_str(), 0), file.path.c_str(), 0);
    if (!bitmap)
        return "FreeImage_Load failed";
    FIBITMAP* wide = FreeImage_ConvertTo32Bits(bitmap);
    FreeImage_Unload(bitmap);
    if (!wide)
        return "FreeImage_ConvertTo32Bits failed";
    const std::string failure = CheckSize(FreeImage_GetWidth(wide), FreeImage_GetHeight(wide), file);
    FreeImage_Unload(wide);
    return failure;
}
#endif

#if VXBENCH_HAVE_STB
// stb_image asked for four channels: R, G, B, A, top row first.
std::string DecodeStb32(const VxBenchFile& file)
{
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load(file.path.c_str(), &width, &height, &channels, 4);
    if (!pixels)
        return stbi_failure_reason() ? stbi_failure_reason() : "stb_image failed";
    stbi_image_free(pixels);
    return CheckSize(uint64_t(width), uint64_t(height), file);
}
#endif

template <std::string (*Decode)(const VxBenchFile&)>
VxBenchRunner WidenedTimed(const VxBenchFile& file, const VxBenchSettings&)
{
    if (!WidenedBitmap(file))
        return nullptr;
    return [file] { return TimeOnce([&] { return Decode(file); }); };
}

template <std::string (*Decode)(const VxBenchFile&)>
VxBenchRunner Timed(const VxBenchFile& file, const VxBenchSettings&)
{
    return [file] { return TimeOnce([&] { return Decode(file); }); };
}

}  // namespace

// The module's formats: add a format here when its reader lands.
const std::vector<VxBenchContender>& VxBench_Contenders()
{
    static const std::vector<VxBenchContender> contenders = {
        {"bound", false, {F::Png, F::Jpeg, F::Tga, F::Bmp, F::Psd, F::Exr}, PrepareLowerBound},
        {"vxstills", false, {F::Png, F::Jpeg, F::Tga, F::Bmp, F::Psd, F::Exr}, PrepareModule},
        {"layer", false, {F::Psd}, PrepareModuleLayer, false, nullptr, true},
        {"libpng", true, {F::Png}, PrepareLibpng, true, DecodeLibpng},
#if VXBENCH_HAVE_SPNG
        {"libspng", true, {F::Png}, Timed<DecodeSpng>},
#endif
        {"libjpeg", true, {F::Jpeg}, PrepareLibjpeg, true, DeliveredLibjpeg},
#if VXBENCH_HAVE_TURBOJPEG
        {"TurboJPEG", true, {F::Jpeg}, Timed<DecodeTurbojpeg>},
#endif
#if VXBENCH_HAVE_STB
        {"stb_image", true, {F::Png, F::Jpeg, F::Tga, F::Bmp}, Timed<DecodeStb>, false, nullptr,
         WidenedTimed<DecodeStb32>},
        {"stb_image", true, {F::Psd}, Timed<DecodeStb>, true, DeliveredStbPsd},  // the PSD reference
#endif
#if VXBENCH_HAVE_OPENEXR
        {"OpenEXR", true, {F::Exr}, Timed<DecodeOpenExr>, true, DeliveredOpenExr},
#endif
#if VXBENCH_HAVE_FREEIMAGE
        {"FreeImage", true, {F::Png, F::Jpeg, F::Tga, F::Bmp, F::Psd, F::Exr}, Timed<DecodeFreeImage>, false,
         nullptr, WidenedTimed<DecodeFreeImage32>},
#endif
#if VXBENCH_HAVE_OIIO
        {"OIIO", true, {F::Png, F::Jpeg, F::Tga, F::Bmp, F::Psd, F::Exr}, Timed<DecodeOiio>},
#endif
    };
    return contenders;
}

std::string VxBench_PeerVersions()
{
#define VXBENCH_TEXT(x) #x
#define VXBENCH_STRING(x) VXBENCH_TEXT(x)
    std::string versions = std::string("libpng ") + png_get_libpng_ver(nullptr);
#ifdef LIBJPEG_TURBO_VERSION
    versions += ", libjpeg-turbo " VXBENCH_STRING(LIBJPEG_TURBO_VERSION);
#endif
#if VXBENCH_HAVE_SPNG
    versions += ", libspng " + std::to_string(SPNG_VERSION_MAJOR) + "." + std::to_string(SPNG_VERSION_MINOR) +
                "." + std::to_string(SPNG_VERSION_PATCH);
#endif
#if VXBENCH_HAVE_STB
    versions += ", stb_image " VXBENCH_STB_VERSION;
#endif
#if VXBENCH_HAVE_OPENEXR
    versions += ", OpenEXR " OPENEXR_VERSION_STRING;
#endif
#if VXBENCH_HAVE_FREEIMAGE
    versions += std::string(", FreeImage ") + FreeImage_GetVersion();
#endif
#if VXBENCH_HAVE_OIIO
    versions += ", OpenImageIO " OIIO_VERSION_STRING;
#endif
    return versions;
}
