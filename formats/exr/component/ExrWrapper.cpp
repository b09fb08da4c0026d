// OpenExr.so: OpenEXR images for the module, read with the OpenEXR library.
#include "ExrWrapper.h"

#include <ImathBox.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputFile.h>
#include <ImfRgbaFile.h>
#include <ImfThreading.h>
#include <ImfTileDescriptionAttribute.h>
#include <ImfVersion.h>
#include <Iex.h>

#include "../../../platform/VxFileRead.h"
#include "../../../platform/VxKeepLoaded.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int32_t kOk = 0;
constexpr int32_t kFailed = -1;

// A frame is named by a memory token with a signed 32-bit size.
constexpr uint64_t kMaxFrameBytes = 0x7FFFFFFFu;
constexpr uint64_t kFrameBytesPerPixel = 16;  // B, G, R, A as 32-bit floats
// One decoded chunk (a block of rows or a tile, every channel of the file) above this is
// refused: real files stay far below, and the library keeps several such buffers at once.
constexpr uint64_t kMaxChunkBytes = 256u << 20;
// Every chunk has a 64-bit entry in the file's offset table.
constexpr uint64_t kOffsetTableEntryBytes = 8;

// How the colour channels of a file become B, G, R.
enum class VxExrColour {
    Rgb,        // R, G, B (any of them; a missing one reads as 0)
    Luminance,  // Y alone: grey
    Chroma,     // Y with the subsampled RY and BY: converted by the library's RGBA interface
};

// Reads the file at explicit positions (VxFileRead), so that the module's own reads of the
// first bytes and the library's reads never move each other's position.
class CVxExrFileStream : public Imf::IStream {
public:
    CVxExrFileStream(VxReadOnlyFile* file, uint64_t size) : Imf::IStream(""), m_file(file), m_size(size) {}

    bool read(char c[], int n) override
    {
        if (n < 0 || m_position > m_size || uint64_t(n) > m_size - m_position)
            throw Iex::InputExc("Unexpected end of file.");
        if (!VxFileRead_At(m_file, m_position, c, size_t(n)))
            throw Iex::InputExc("Cannot read the file.");
        m_position += uint64_t(n);
        return m_position < m_size;
    }
    uint64_t tellg() override { return m_position; }
    void seekg(uint64_t position) override { m_position = position; }

private:
    VxReadOnlyFile* m_file;
    uint64_t m_size;
    uint64_t m_position = 0;
};

// One open file: the context and the image the module holds are both this object.
struct VxExrImage {
    ~VxExrImage()
    {
        file.reset();
        rgbaFile.reset();
        stream.reset();
        VxFileRead_Close(source);
    }

    VxReadOnlyFile* source = nullptr;
    uint64_t fileBytes = 0;
    uint64_t readPosition = 0;  // of OPENEXR_Read
    std::unique_ptr<CVxExrFileStream> stream;
    std::unique_ptr<Imf::InputFile> file;          // Rgb and Luminance
    std::unique_ptr<Imf::RgbaInputFile> rgbaFile;  // Chroma
    Imath::Box2i dataWindow;
    int32_t width = 0;
    int32_t height = 0;
    double pixelAspect = 1.0;
    VxExrColour colour = VxExrColour::Rgb;
};

// Rows per chunk of a scan-line file. An unknown method counts as the largest, so that the
// offset-table check below never refuses a file for it (the library refuses it later).
uint64_t VxExr_RowsPerChunk(Imf::Compression compression)
{
    switch (compression) {
    case Imf::NO_COMPRESSION:
    case Imf::RLE_COMPRESSION:
    case Imf::ZIPS_COMPRESSION: return 1;
    case Imf::ZIP_COMPRESSION:
    case Imf::PXR24_COMPRESSION: return 16;
    case Imf::PIZ_COMPRESSION:
    case Imf::B44_COMPRESSION:
    case Imf::B44A_COMPRESSION:
    case Imf::DWAA_COMPRESSION: return 32;
    default: return 256;
    }
}

// The library is multi-threaded through one process-wide pool; it starts with none, so the
// first file opened sizes it to the machine unless the process has set it already. From then
// on the component stays loaded: its pool's threads are joined only at process exit.
void VxExr_StartThreads()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (Imf::globalThreadCount() == 0)
            Imf::setGlobalThreadCount(int(std::max(1u, std::thread::hardware_concurrency())));
        VxPlatform_KeepLoaded(reinterpret_cast<const void*>(&VxExr_StartThreads));
    });
}

bool VxExr_Has(const Imf::ChannelList& channels, const char* name)
{
    return channels.findChannel(name) != nullptr;
}

// A channel read into the frame must have one sample per pixel.
bool VxExr_FullResolution(const Imf::ChannelList& channels, const char* name)
{
    const Imf::Channel* channel = channels.findChannel(name);
    return !channel || (channel->xSampling == 1 && channel->ySampling == 1);
}

// Checks the header before the library sizes anything by it: one flat single-part image with
// colour, a frame that can be handed out, chunks of bounded size and an offset table that fits
// in the file (a forged data window would otherwise make the library allocate a table for it).
bool VxExr_CheckHeader(const Imf::Header& header, int version, VxExrImage& image)
{
    if (Imf::getVersion(version) != Imf::EXR_VERSION || !Imf::supportsFlags(Imf::getFlags(version)) ||
        Imf::isMultiPart(version) || Imf::isNonImage(version))
        return false;
    header.sanityCheck(Imf::isTiled(version));

    const Imath::Box2i& window = header.dataWindow();
    const int64_t width = int64_t(window.max.x) - window.min.x + 1;
    const int64_t height = int64_t(window.max.y) - window.min.y + 1;
    if (width < 1 || height < 1 || uint64_t(width) * uint64_t(height) > kMaxFrameBytes / kFrameBytesPerPixel)
        return false;

    const Imf::ChannelList& channels = header.channels();
    uint64_t pixelBytes = 0;
    for (Imf::ChannelList::ConstIterator it = channels.begin(); it != channels.end(); ++it)
        pixelBytes += it.channel().type == Imf::HALF ? 2 : 4;

    uint64_t chunks = 0;
    uint64_t chunkPixels = 0;
    if (Imf::isTiled(version)) {
        const Imf::TileDescription& tiles = header.tileDescription();
        if (tiles.xSize == 0 || tiles.ySize == 0)
            return false;
        chunkPixels = uint64_t(tiles.xSize) * tiles.ySize;
        // The full-resolution level alone is a lower bound of the tile count.
        chunks = (uint64_t(width) + tiles.xSize - 1) / tiles.xSize * ((uint64_t(height) + tiles.ySize - 1) / tiles.ySize);
    } else {
        // The library sizes its buffers for a whole chunk of rows, however few the image has.
        const uint64_t rows = VxExr_RowsPerChunk(header.compression());
        chunkPixels = uint64_t(width) * rows;
        chunks = (uint64_t(height) + rows - 1) / rows;
    }
    if (pixelBytes == 0 || chunkPixels > kMaxChunkBytes / pixelBytes ||
        chunks > image.fileBytes / kOffsetTableEntryBytes)
        return false;

    if (VxExr_Has(channels, "R") || VxExr_Has(channels, "G") || VxExr_Has(channels, "B"))
        image.colour = VxExrColour::Rgb;
    else if (VxExr_Has(channels, "RY") || VxExr_Has(channels, "BY"))
        image.colour = VxExrColour::Chroma;
    else if (VxExr_Has(channels, "Y"))
        image.colour = VxExrColour::Luminance;
    else
        return false;  // nothing to show: no colour and no luminance
    if (image.colour != VxExrColour::Chroma) {
        for (const char* name : {"R", "G", "B", "Y", "A"})
            if (!VxExr_FullResolution(channels, name))
                return false;
    }

    image.dataWindow = window;
    image.width = int32_t(width);
    image.height = int32_t(height);
    image.pixelAspect = header.pixelAspectRatio();
    return true;
}

// Bytes of the attribute types whose values the library reads at a fixed length, whatever size
// the file gives them.
uint32_t VxExr_FixedSize(const std::string& type)
{
    static const std::pair<const char*, uint32_t> kSizes[] = {
        {"box2i", 16}, {"box2f", 16}, {"chromaticities", 32}, {"compression", 1}, {"double", 8},
        {"envmap", 1}, {"float", 4}, {"int", 4}, {"keycode", 28}, {"lineOrder", 1}, {"m33f", 36},
        {"m33d", 72}, {"m44f", 64}, {"m44d", 128}, {"rational", 8}, {"tiledesc", 9}, {"timecode", 8},
        {"v2i", 8}, {"v2f", 8}, {"v2d", 16}, {"v3i", 12}, {"v3f", 12}, {"v3d", 24}, {"deepImageState", 1},
    };
    for (const auto& [name, size] : kSizes)
        if (type == name)
            return size;
    return 0;
}

// Walks the header's attribute list before the library reads it, since the library allocates
// what sizes inside the header claim before reading them. The walk must read the list exactly
// as the library will, so every value must have the length its type implies: fixed-length types
// their length, a channel list its entries up to its terminator, a preview image its pixels, a
// string vector its strings; any other type its size, within the file. An ID manifest's unpacked
// size is bounded by 64 times its packed size, far beyond what zlib reaches on real manifests.
bool VxExr_AttributesFit(const VxExrImage& image, int version)
{
    // Names and types have at most 31 characters, or 255 in files flagged for long names.
    const size_t maxText = (Imf::getFlags(version) & Imf::LONG_NAMES_FLAG) ? 256 : 32;
    const uint64_t end = image.fileBytes;
    const auto readU32 = [&](uint64_t at, uint32_t& value) {
        uint8_t b[4];
        if (end < 4 || at > end - 4 || !VxFileRead_At(image.source, at, reinterpret_cast<char*>(b), 4))
            return false;
        value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        return true;
    };
    const auto readText = [&](uint64_t at, std::string& text) {  // false when unterminated
        char buffer[256];
        const size_t got = size_t(std::min<uint64_t>(maxText, end > at ? end - at : 0));
        if (got == 0 || !VxFileRead_At(image.source, at, buffer, got))
            return false;
        const void* terminator = std::memchr(buffer, 0, got);
        if (!terminator)
            return false;
        text.assign(buffer, size_t(static_cast<const char*>(terminator) - buffer));
        return true;
    };

    uint64_t position = 8;  // after the magic number and the version
    for (;;) {
        std::string name, type;
        if (!readText(position, name))
            return false;
        if (name.empty())
            return true;  // the list's terminator
        position += name.size() + 1;
        if (!readText(position, type) || type.empty())
            return false;
        position += type.size() + 1;
        uint32_t size = 0;
        if (!readU32(position, size) || size > 0x7FFFFFFFu || size > end - position - 4)
            return false;
        position += 4;
        const uint64_t valueEnd = position + size;

        if (const uint32_t fixed = VxExr_FixedSize(type)) {
            if (size != fixed)
                return false;
        } else if (type == "chlist") {
            uint64_t at = position;
            std::string channel;
            while (at < valueEnd && readText(at, channel) && !channel.empty())
                at += channel.size() + 1 + 16;  // type, linearity and reserved bytes, sampling
            if (at + 1 != valueEnd || !channel.empty())
                return false;
        } else if (type == "preview") {
            uint32_t width = 0, height = 0;
            if (size < 8 || !readU32(position, width) || !readU32(position + 4, height) ||
                uint64_t(width) * height * 4 != uint64_t(size) - 8)
                return false;
        } else if (type == "stringvector") {
            uint64_t at = position;
            uint32_t length = 0;
            while (at < valueEnd && valueEnd - at >= 4 && readU32(at, length) && length <= valueEnd - at - 4)
                at += 4 + uint64_t(length);
            if (at != valueEnd)
                return false;
        } else if (type == "idmanifest") {
            uint32_t unpacked = 0;
            if (!readU32(position, unpacked) || uint64_t(unpacked) > 64 * uint64_t(size))
                return false;
        } else if (type == "floatvector" && size % 4 != 0) {
            return false;
        }
        position = valueEnd;
    }
}

// Reads the header with the library, checks it, then opens the library's reader on it.
bool VxExr_Open(VxExrImage& image)
{
    image.stream = std::make_unique<CVxExrFileStream>(image.source, image.fileBytes);
    char magic[8];
    image.stream->read(magic, sizeof magic);
    if (!Imf::isImfMagic(magic))
        return false;
    const int version = int(uint8_t(magic[4]) | uint8_t(magic[5]) << 8 | uint8_t(magic[6]) << 16 |
                            uint32_t(uint8_t(magic[7])) << 24);
    if (Imf::isMultiPart(version) || !VxExr_AttributesFit(image, version))
        return false;  // one header to walk: files of several parts are refused anyway
    Imf::Header header;
    int readVersion = version;
    header.readFrom(*image.stream, readVersion);
    if (!VxExr_CheckHeader(header, version, image))
        return false;

    VxExr_StartThreads();
    image.stream->seekg(0);
    if (image.colour == VxExrColour::Chroma)
        image.rgbaFile = std::make_unique<Imf::RgbaInputFile>(*image.stream, Imf::globalThreadCount());
    else
        image.file = std::make_unique<Imf::InputFile>(*image.stream, Imf::globalThreadCount());
    return true;
}

// Address of the frame's float for channel offset (0 B, 4 G, 8 R, 12 A) of the pixel at data
// window origin (0, 0), with rows bottom-up: row y of the window lies at (height - 1 - y) rows.
// The library adds x × 16 and y × (-stride); the origin itself may lie outside the frame.
char* VxExr_SliceBase(const VxExrImage& image, void* frame, size_t channelOffset)
{
    const int64_t stride = int64_t(image.width) * int64_t(kFrameBytesPerPixel);
    const int64_t offset = int64_t(channelOffset) + (int64_t(image.height) - 1 + image.dataWindow.min.y) * stride -
                           int64_t(image.dataWindow.min.x) * int64_t(kFrameBytesPerPixel);
    return reinterpret_cast<char*>(reinterpret_cast<uintptr_t>(frame) + uintptr_t(offset));
}

void VxExr_ReadChannels(VxExrImage& image, void* frame)
{
    const size_t xStride = kFrameBytesPerPixel;
    const size_t yStride = size_t(-int64_t(image.width) * int64_t(kFrameBytesPerPixel));  // bottom-up
    const auto slice = [&](size_t offset, double fill) {
        return Imf::Slice(Imf::FLOAT, VxExr_SliceBase(image, frame, offset), xStride, yStride, 1, 1, fill);
    };
    Imf::FrameBuffer buffer;
    if (image.colour == VxExrColour::Rgb) {
        buffer.insert("B", slice(0, 0.0));
        buffer.insert("G", slice(4, 0.0));
        buffer.insert("R", slice(8, 0.0));
    } else {
        buffer.insert("Y", slice(4, 0.0));  // into G, copied to B and R below
    }
    buffer.insert("A", slice(12, 1.0));
    image.file->setFrameBuffer(buffer);
    image.file->readPixels(image.dataWindow.min.y, image.dataWindow.max.y);

    if (image.colour == VxExrColour::Luminance) {
        float* pixel = static_cast<float*>(frame);
        const size_t count = size_t(image.width) * size_t(image.height);
        for (size_t i = 0; i < count; ++i, pixel += 4)
            pixel[0] = pixel[2] = pixel[1];
    }
}

// Luminance with chroma: the library's RGBA interface turns it into half RGBA, row by row.
void VxExr_ReadChroma(VxExrImage& image, void* frame)
{
    const size_t width = size_t(image.width);
    std::vector<Imf::Rgba> row(width);
    for (int32_t y = image.dataWindow.min.y; y <= image.dataWindow.max.y; ++y) {
        // The library addresses pixel (x, y) at base + x + y × width: this row holds y.
        const int64_t origin = -(int64_t(image.dataWindow.min.x) + int64_t(y) * int64_t(width));
        Imf::Rgba* base = reinterpret_cast<Imf::Rgba*>(reinterpret_cast<uintptr_t>(row.data()) +
                                                       uintptr_t(origin * int64_t(sizeof(Imf::Rgba))));
        image.rgbaFile->setFrameBuffer(base, 1, width);
        image.rgbaFile->readPixels(y);
        float* out = static_cast<float*>(frame) + size_t(image.dataWindow.max.y - y) * width * 4;
        for (size_t x = 0; x < width; ++x, out += 4) {
            out[0] = row[x].b;
            out[1] = row[x].g;
            out[2] = row[x].r;
            out[3] = row[x].a;
        }
    }
}

VxExrImage* VxExr_Image(void* image)
{
    return static_cast<VxExrImage*>(image);
}

}  // namespace

VX_EXR_EXPORT int32_t OPENEXR_OpenFile(const char16_t* path, void** context, void** image)
{
    if (context)
        *context = nullptr;
    if (image)
        *image = nullptr;
    if (!path || !context || !image)
        return kFailed;
    try {
        auto opened = std::make_unique<VxExrImage>();
        opened->source = VxFileRead_Open(path, &opened->fileBytes);
        if (!opened->source)
            return kFailed;
        if (!VxExr_Open(*opened))
            return kFailed;
        *image = *context = opened.release();
        return kOk;
    } catch (...) {
        return kFailed;
    }
}

VX_EXR_EXPORT int32_t OPENEXR_SetSeek(void* image, int64_t position)
{
    if (!image || position < 0)
        return kFailed;
    VxExr_Image(image)->readPosition = uint64_t(position);
    return kOk;
}

VX_EXR_EXPORT int32_t OPENEXR_Read(void* image, void* buffer, int32_t bytes)
{
    if (!image || !buffer || bytes < 0)
        return kFailed;
    VxExrImage& open = *VxExr_Image(image);
    if (!VxFileRead_At(open.source, open.readPosition, static_cast<char*>(buffer), size_t(bytes)))
        return kFailed;
    open.readPosition += uint64_t(bytes);
    return kOk;
}

VX_EXR_EXPORT int32_t OPENEXR_GetDataWindow(void* image, void*, int32_t* width, int32_t* height,
                                            double* pixelAspect, int32_t)
{
    if (!image)
        return kFailed;
    const VxExrImage& open = *VxExr_Image(image);
    if (width)
        *width = open.width;
    if (height)
        *height = open.height;
    if (pixelAspect)
        *pixelAspect = open.pixelAspect;
    return kOk;
}

VX_EXR_EXPORT int32_t OPENEXR_ReadPixels(void* frame, void* image, int32_t width, double* pixelAspect)
{
    if (!frame || !image || width != VxExr_Image(image)->width)
        return kFailed;
    VxExrImage& open = *VxExr_Image(image);
    try {
        if (open.rgbaFile)
            VxExr_ReadChroma(open, frame);
        else
            VxExr_ReadChannels(open, frame);
    } catch (...) {
        return kFailed;
    }
    if (pixelAspect)
        *pixelAspect = open.pixelAspect;
    return kOk;
}

VX_EXR_EXPORT int32_t OPENEXR_CloseFile(void* image)
{
    try {
        delete VxExr_Image(image);
    } catch (...) {
        return kFailed;
    }
    return kOk;
}

VX_EXR_EXPORT int32_t OPENEXR_IsComplete(void* image)
{
    try {
        return image && (VxExr_Image(image)->file ? VxExr_Image(image)->file->isComplete()
                                                  : VxExr_Image(image)->rgbaFile->isComplete())
                   ? 1
                   : 0;
    } catch (...) {
        return 0;
    }
}

// Writing frames is the host's business; the component only reads.
VX_EXR_EXPORT int32_t OPENEXR_VxSaveDiskExrDib(void*)
{
    return kFailed;
}
