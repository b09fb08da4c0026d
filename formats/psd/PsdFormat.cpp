// Layered PSD documents: structure, merged image and layers.
#include "PsdFormat.h"

#include "../../framework/ImageSize.h"
#include "../../framework/VideoFormat.h"
#include "../../platform/VxOwners.h"
#include "../../platform/VxWin32.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kReaderBufferBytes = 64 * 1024;
constexpr size_t kMaxPackedRowBytes = 0xFFFF;   // row byte counts are 16-bit
constexpr uint32_t kKeyLuni = 0x6C756E69;        // "luni"
constexpr uint32_t kPaletteBytes = 768;
constexpr size_t kNameBytes = 256;
constexpr uint32_t kInitialLayerCapacity = 16;
// No plane of a real document comes near this many samples; larger ones are refused before
// their offsets are computed, so that no product below can wrap.
constexpr uint64_t kMaxPlaneSamples = uint64_t(1) << 46;

size_t ReadMemory(void* context, uint64_t offset, uint8_t* buffer, size_t bytes)
{
    const auto* memory = static_cast<const VxPsdMemory*>(context);
    if (offset >= memory->size)
        return 0;
    const size_t count = std::min<uint64_t>(bytes, memory->size - offset);
    std::memcpy(buffer, memory->data + offset, count);
    return count;
}

int64_t Clamp(int64_t value, int64_t low, int64_t high)
{
    return std::max(low, std::min(value, high));
}

uint16_t Swap16(const uint8_t* p)
{
    return uint16_t(p[0] << 8 | p[1]);
}

uint32_t Swap32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Frees one record's channel list.
void FreeChannels(VxPsdLayerRecord& record)
{
    VxGlobal_Free(record.channels);
    record.channels = nullptr;
    record.channelCount = 0;
}

// The fixed part of a record up to its extra data length: false when the document does not
// hold it whole (the record is dropped and the list ends).
bool ReadRecordHead(CVxPsdReader& r, VxPsdLayerRecord& record)
{
    record.top = int32_t(r.U32());
    record.left = int32_t(r.U32());
    record.bottom = int32_t(r.U32());
    record.right = int32_t(r.U32());
    const uint16_t count = r.U16();
    if (!r.Ok())
        return false;
    if (count) {
        record.channels = static_cast<VxPsdChannelInfo*>(VxGlobal_Alloc(count * sizeof(VxPsdChannelInfo)));
        if (!record.channels)
            return false;
        record.channelCount = count;
        for (uint16_t i = 0; i < count && r.Ok(); ++i) {
            record.channels[i].id = r.U16();
            record.channels[i].length = r.U32();
        }
    }
    record.blendSignature = r.U32();
    record.blendKey = r.U32();
    record.opacity = r.U8();
    record.clipping = r.U8();
    record.flags = r.U8();
    record.filler = r.U8();
    return r.Ok();
}

// The layer name: the length-prefixed ANSI text, then a non-empty "luni" block among the
// additional information blocks replaces it. Ends with the reader after the record.
void ReadRecordTail(CVxPsdReader& r, VxPsdLayerRecord& record)
{
    const uint32_t extraBytes = r.U32();
    const uint64_t extraStart = r.Tell();
    const uint64_t extraEnd = extraStart + extraBytes;

    const uint32_t maskBytes = r.U32();
    if (maskBytes != 0) {
        uint8_t mask[20];
        if (r.Read(mask, sizeof(mask))) {
            record.maskTop = int32_t(Swap32(mask));
            record.maskLeft = int32_t(Swap32(mask + 4));
            record.maskBottom = int32_t(Swap32(mask + 8));
            record.maskRight = int32_t(Swap32(mask + 12));
            record.maskColor = mask[16];
            record.maskFlags = mask[17];
        }
    }
    r.Seek(extraStart + 4 + uint64_t(maskBytes));
    const uint32_t blendingBytes = r.U32();
    r.Seek(r.Tell() + blendingBytes);

    // The length byte and the text fill a multiple of 4 bytes.
    const uint8_t nameLength = r.U8();
    char text[kNameBytes] = {};
    if (!r.Read(text, ((nameLength + 4u) & ~3u) - 1))
        return;
    text[nameLength] = 0;
    if (text[0]) {
        MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, record.name, int(kPsdNameChars));
        record.name[kPsdNameChars - 1] = 0;
    }

    for (uint64_t block = r.Tell(); extraBytes != 0;) {
        r.U32();  // signature
        const uint32_t key = r.U32();
        const uint32_t length = r.U32();
        if (!r.Ok())
            return;
        if (key == kKeyLuni) {
            // Names longer than the record's 258 characters are cut there.
            const uint32_t units = std::min<uint32_t>(r.U32(), kPsdNameChars - 1);
            uint8_t wide[2 * (kPsdNameChars - 1)];
            if (units != 0 && r.Read(wide, 2 * units)) {
                char16_t name[kPsdNameChars] = {};
                for (uint32_t i = 0; i < units; ++i)
                    name[i] = char16_t(Swap16(wide + 2 * i));
                if (name[0])
                    std::memcpy(record.name, name, sizeof(name));
            }
            break;
        }
        block += 12 + uint64_t(length);
        if (block >= extraEnd)
            break;
        r.Seek(block);
    }
    r.Seek(extraEnd);
}

// Reads the layer records into the document; the array grows with the records the document
// really holds, so a stored count the file cannot back allocates nothing.
HRESULT ReadLayerRecords(CVxPsdReader& r, CVxPsdDocument* document, uint32_t storedCount)
{
    uint32_t capacity = 0;
    for (uint32_t i = 0; i < storedCount; ++i) {
        if (i == capacity) {
            const uint32_t grown = std::min(storedCount, std::max(kInitialLayerCapacity, 2 * capacity));
            auto* layers = static_cast<VxPsdLayerRecord*>(VxGlobal_Alloc(grown * sizeof(VxPsdLayerRecord)));
            if (!layers)
                return E_OUTOFMEMORY;
            if (document->layers)
                std::memcpy(layers, document->layers, i * sizeof(VxPsdLayerRecord));
            VxGlobal_Free(document->layers);
            document->layers = layers;
            capacity = grown;
        }
        VxPsdLayerRecord& record = document->layers[i];
        if (!ReadRecordHead(r, record)) {
            FreeChannels(record);
            break;
        }
        document->layerCount = i + 1;
        ReadRecordTail(r, record);
    }
    return S_OK;
}

// Where each channel's data starts: the layers' channel data follow the records in record and
// channel order, each as long as its record says.
void PlaceChannelData(CVxPsdDocument* document)
{
    uint64_t position = document->layerDataPosition;
    for (uint32_t i = 0; i < document->layerCount; ++i) {
        VxPsdLayerRecord& record = document->layers[i];
        for (uint16_t c = 0; c < record.channelCount; ++c) {
            record.channels[c].offset = position;
            position += record.channels[c].length;
        }
    }
}

uint32_t BitsPerPixel(uint32_t pixelType)
{
    switch (pixelType) {
    case kVxPixelGrey8:
    case kVxPixelPalette8:
        return 8;
    case kVxPixelGrey16:
        return 16;
    case kVxPixelGreyFloat:
    case kVxPixelBgrx32:
        return 32;
    case kVxPixelBgra64:
        return 64;
    case kVxPixelBgraFloat:
        return 128;
    default:
        return 0;
    }
}

// Rows of one channel plane in turn, raw or PackBits: the row count table and the row data
// are read by two readers side by side, so that neither the table nor the plane is ever held.
class CVxPlaneRows {
public:
    explicit CVxPlaneRows(const VxPsdSource& source) : m_data(source), m_counts(source) {}

    bool Ready() const { return m_data.Ready() && m_counts.Ready() && m_packed; }

    // Rows stored from position (after the compression word): raw, or PackBits with a row
    // count table of tableRows entries (the merged image's table covers every channel).
    void Start(uint64_t position, bool packed, uint64_t tableRows)
    {
        m_isPacked = packed;
        m_counts.Seek(position);
        m_data.Seek(packed ? position + 2 * tableRows : position);
    }

    // Moves past count rows of rowBytes bytes each without reading them.
    bool Skip(uint64_t count, uint64_t rowBytes)
    {
        if (!m_isPacked) {
            m_data.Seek(m_data.Tell() + count * rowBytes);
            return true;
        }
        // Each count read consumes the table, so a table the document does not hold ends this.
        uint64_t skipped = 0;
        for (uint64_t i = 0; i < count && m_counts.Ok(); ++i)
            skipped += m_counts.U16();
        m_data.Seek(m_data.Tell() + skipped);
        return m_counts.Ok();
    }

    // Bytes [first, first + count) of the next row (rowBytes bytes unpacked) into out.
    bool Next(uint8_t* out, uint64_t rowBytes, size_t first, size_t count)
    {
        if (!m_isPacked) {
            const uint64_t rowStart = m_data.Tell();
            m_data.Seek(rowStart + first);
            const bool ok = m_data.Read(out, count);
            m_data.Seek(rowStart + rowBytes);
            return ok;
        }
        const uint16_t packedBytes = m_counts.U16();
        if (!m_counts.Ok() || !m_data.Read(m_packed.Bytes(), packedBytes))
            return false;
        VxPsd_UnpackBitsWindow(m_packed.Bytes(), packedBytes, out, first, count);
        return true;
    }

    // The table's reader, free for a read before Start (the compression word).
    CVxPsdReader& Counts() { return m_counts; }

private:
    CVxPsdReader m_data;
    CVxPsdReader m_counts;
    CVxGlobalBlock m_packed{kMaxPackedRowBytes};
    bool m_isPacked = false;
};

// Writes one decoded row of a colour channel (samples of s bytes, big-endian) into the frame
// row: B, G, R, A pixels of 4 samples, sample `target` of each.
template <class T>
void ScatterRow(const uint8_t* row, uint32_t width, T* frame, uint32_t target)
{
    for (uint32_t x = 0; x < width; ++x) {
        T value;
        if constexpr (sizeof(T) == 1) {
            value = row[x];
        } else if constexpr (sizeof(T) == 2) {
            value = Swap16(row + 2 * x);
        } else {
            const uint32_t bits = Swap32(row + 4 * x);
            std::memcpy(&value, &bits, 4);
        }
        frame[4 * x + target] = value;
    }
}

// Black scales the pixel's three colour samples, exactly as the document's inverted CMY values
// and K are meant: 8- and 16-bit samples × (k / max), truncated; floats × k.
template <class T>
void ApplyBlack(const uint8_t* row, uint32_t width, T* frame)
{
    for (uint32_t x = 0; x < width; ++x) {
        T* pixel = frame + 4 * x;
        if constexpr (sizeof(T) == 1) {
            const double scale = double(row[x]) / 255.0;
            for (int i = 0; i < 3; ++i)
                pixel[i] = T(double(pixel[i]) * scale);
        } else if constexpr (sizeof(T) == 2) {
            const double scale = double(Swap16(row + 2 * x)) / 65535.0;
            for (int i = 0; i < 3; ++i)
                pixel[i] = T(double(pixel[i]) * scale);
        } else {
            const uint32_t bits = Swap32(row + 4 * x);
            float k;
            std::memcpy(&k, &bits, 4);
            for (int i = 0; i < 3; ++i)
                pixel[i] = pixel[i] * k;
        }
    }
}

// One row of a greyscale or indexed channel: samples converted to native order.
void CopySamples(const uint8_t* row, uint32_t width, uint32_t sampleBytes, uint8_t* frame)
{
    if (sampleBytes == 1) {
        std::memcpy(frame, row, width);
        return;
    }
    for (uint32_t x = 0; x < width; ++x) {
        if (sampleBytes == 2) {
            const uint16_t v = Swap16(row + 2 * x);
            std::memcpy(frame + 2 * x, &v, 2);
        } else {
            const uint32_t v = Swap32(row + 4 * x);
            std::memcpy(frame + 4 * x, &v, 4);
        }
    }
}

template <class T>
void FillOpaque(uint8_t* pixels, uint64_t stride, uint32_t width, uint32_t height, T opaque)
{
    for (uint32_t y = 0; y < height; ++y) {
        T* row = reinterpret_cast<T*>(pixels + y * stride);
        for (uint32_t x = 0; x < width; ++x)
            row[4 * x + 3] = opaque;
    }
}

template <class T>
void PutColourRow(const CVxPsdDocument& document, uint32_t channel, const uint8_t* row, uint8_t* frameRow)
{
    const uint32_t width = document.header.width;
    T* pixels = reinterpret_cast<T*>(frameRow);
    if (document.header.mode == kPsdModeCmyk && channel == 3)
        ApplyBlack<T>(row, width, pixels);
    else
        ScatterRow<T>(row, width, pixels, channel < 3 ? 2 - channel : 3);
}

// What a layer channel does to the pixels it covers.
enum class LayerTarget { None, Alpha, Mask, Grey, Black, Sample };

LayerTarget TargetOf(uint16_t id, uint16_t mode)
{
    if (id == kPsdChannelTransparency)
        return LayerTarget::Alpha;
    if (id == kPsdChannelMask)
        return LayerTarget::Mask;
    // Other ids (a user mask, unknown ones) and black outside CMYK have no place in the frame.
    if (id > 3)
        return LayerTarget::None;
    if (mode == kPsdModeGrey)
        return LayerTarget::Grey;
    if (id == 3)
        return mode == kPsdModeCmyk ? LayerTarget::Black : LayerTarget::None;
    return LayerTarget::Sample;
}

// Places count decoded plane samples (big-endian, T-sized) at frame pixels starting at pixel.
template <class T>
void PlaceLayerRow(const uint8_t* row, size_t count, T* pixel, LayerTarget target, uint16_t id)
{
    constexpr uint32_t kMax = sizeof(T) == 1 ? 0xFF : 0xFFFF;
    for (size_t x = 0; x < count; ++x, pixel += 4) {
        const uint32_t v = sizeof(T) == 1 ? row[x] : Swap16(row + 2 * x);
        switch (target) {
        case LayerTarget::Alpha:
            pixel[3] = T(v);
            break;
        case LayerTarget::Mask:
            pixel[3] = T(pixel[3] * v / kMax);
            break;
        case LayerTarget::Grey:
            pixel[0] = pixel[1] = pixel[2] = T(v);
            break;
        case LayerTarget::Black:
            for (int i = 0; i < 3; ++i)
                pixel[i] = T(std::max<int64_t>(0, int64_t(pixel[i]) + v - kMax));
            break;
        case LayerTarget::Sample:
            pixel[2 - id] = T(v);
            break;
        case LayerTarget::None:
            break;
        }
    }
}

// Decodes the visible part of one channel plane of a layer into the canvas frame.
template <class T>
HRESULT DecodePlane(CVxPlaneRows& rows, const CVxPsdDocument& document, const VxPsdChannelInfo& channel,
                    int64_t top, int64_t left, int64_t bottom, int64_t right, uint8_t* rowBuffer,
                    uint8_t* pixels)
{
    const LayerTarget target = TargetOf(channel.id, document.header.mode);
    const int64_t canvasWidth = document.header.width;
    const int64_t canvasHeight = document.header.height;
    const uint64_t width = uint64_t(std::max<int64_t>(0, right - left));
    const uint64_t height = uint64_t(std::max<int64_t>(0, bottom - top));
    // Plane rows and columns that land on the canvas.
    const int64_t r0 = Clamp(-top, 0, int64_t(height));
    const int64_t r1 = Clamp(canvasHeight - top, r0, int64_t(height));
    const int64_t x0 = Clamp(-left, 0, int64_t(width));
    const int64_t x1 = Clamp(canvasWidth - left, x0, int64_t(width));
    if (target == LayerTarget::None || r0 == r1 || x0 == x1)
        return S_OK;
    if (width * height > kMaxPlaneSamples)
        return E_FAIL;

    CVxPsdReader& head = rows.Counts();
    head.Seek(channel.offset);
    const uint16_t compression = head.U16();
    if (!head.Ok())
        return E_FAIL;
    const uint64_t rowBytes = width * sizeof(T);
    rows.Start(channel.offset + 2, compression != 0, height);
    if (!rows.Skip(uint64_t(r0), rowBytes))
        return E_FAIL;
    const uint64_t frameStride = uint64_t(canvasWidth) * 4 * sizeof(T);
    for (int64_t r = r0; r < r1; ++r) {
        if (!rows.Next(rowBuffer, rowBytes, size_t(x0) * sizeof(T), size_t(x1 - x0) * sizeof(T)))
            return E_FAIL;
        const uint64_t frameRow = uint64_t(canvasHeight - 1 - (top + r));
        T* pixel = reinterpret_cast<T*>(pixels + frameRow * frameStride) + 4 * (left + x0);
        PlaceLayerRow<T>(rowBuffer, size_t(x1 - x0), pixel, target, channel.id);
    }
    return S_OK;
}

template <class T>
HRESULT DecodeLayerAs(const VxPsdSource& source, const CVxPsdDocument& document,
                      const VxPsdLayerRecord& layer, uint8_t* pixels)
{
    const int64_t canvasWidth = document.header.width;
    const int64_t canvasHeight = document.header.height;
    constexpr T kOpaque = T(sizeof(T) == 1 ? 0xFF : 0xFFFF);
    const uint64_t frameStride = uint64_t(canvasWidth) * 4 * sizeof(T);

    // The layer's rectangle is opaque until a transparency or mask channel says otherwise.
    const int64_t y0 = Clamp(layer.top, 0, canvasHeight);
    const int64_t y1 = Clamp(layer.bottom, y0, canvasHeight);
    const int64_t xa = Clamp(layer.left, 0, canvasWidth);
    const int64_t xb = Clamp(layer.right, xa, canvasWidth);
    for (int64_t y = y0; y < y1; ++y) {
        T* row = reinterpret_cast<T*>(pixels + uint64_t(canvasHeight - 1 - y) * frameStride);
        for (int64_t x = xa; x < xb; ++x)
            row[4 * x + 3] = kOpaque;
    }

    CVxPlaneRows rows(source);
    CVxGlobalBlock rowBuffer(size_t(canvasWidth) * sizeof(T) + 1);
    if (!rows.Ready() || !rowBuffer)
        return E_OUTOFMEMORY;
    for (uint16_t c = 0; c < layer.channelCount; ++c) {
        const VxPsdChannelInfo& channel = layer.channels[c];
        const bool mask = channel.id == kPsdChannelMask;
        VX_RETURN_IF_FAILED(DecodePlane<T>(rows, document, channel, mask ? layer.maskTop : layer.top,
                                           mask ? layer.maskLeft : layer.left,
                                           mask ? layer.maskBottom : layer.bottom,
                                           mask ? layer.maskRight : layer.right, rowBuffer.Bytes(), pixels));
    }
    return S_OK;
}

}  // namespace

VxPsdSource VxPsd_MemorySource(VxPsdMemory* memory)
{
    VxPsdSource source;
    source.read = ReadMemory;
    source.context = memory;
    return source;
}

CVxPsdReader::CVxPsdReader(const VxPsdSource& source)
    : m_source(source), m_buffer(static_cast<uint8_t*>(VxGlobal_Alloc(kReaderBufferBytes)))
{
    m_failed = m_buffer == nullptr;
}

CVxPsdReader::~CVxPsdReader()
{
    VxGlobal_Free(m_buffer);
}

void CVxPsdReader::Seek(uint64_t position)
{
    m_position = position;
    m_failed = m_buffer == nullptr;
}

// Makes wanted bytes from the current position available in the buffer.
bool CVxPsdReader::Fill(size_t wanted)
{
    if (m_position >= m_bufferStart && m_position - m_bufferStart + wanted <= m_bufferBytes)
        return true;
    if (!m_buffer || !m_source.read)
        return false;
    m_bufferStart = m_position;
    m_bufferBytes = m_source.read(m_source.context, m_position, m_buffer, kReaderBufferBytes);
    return wanted <= m_bufferBytes;
}

bool CVxPsdReader::Read(void* out, size_t bytes)
{
    if (m_failed)
        return false;
    if (bytes > kReaderBufferBytes / 2) {
        // Large reads go straight to the caller's memory.
        if (!m_source.read || m_source.read(m_source.context, m_position, static_cast<uint8_t*>(out), bytes) != bytes) {
            m_failed = true;
            return false;
        }
        m_position += bytes;
        return true;
    }
    if (!Fill(bytes)) {
        m_failed = true;
        return false;
    }
    if (bytes)
        std::memcpy(out, m_buffer + (m_position - m_bufferStart), bytes);
    m_position += bytes;
    return true;
}

uint8_t CVxPsdReader::U8()
{
    uint8_t b = 0;
    return Read(&b, 1) ? b : 0;
}

uint16_t CVxPsdReader::U16()
{
    uint8_t b[2];
    return Read(b, 2) ? Swap16(b) : 0;
}

uint32_t CVxPsdReader::U32()
{
    uint8_t b[4];
    return Read(b, 4) ? Swap32(b) : 0;
}

void CVxPsdDocument::Reset()
{
    for (uint32_t i = 0; i < layerCount; ++i)
        FreeChannels(layers[i]);
    VxGlobal_Free(layers);
    layers = nullptr;
    layerCount = 0;
    header = {};
    colorModePosition = layerDataPosition = mergedPosition = 0;
    mergedAlpha = false;
}

HRESULT VxPsd_CheckSignature(const uint8_t* head, uint32_t headBytes)
{
    if (!head || headBytes < kPsdHeaderBytes || std::memcmp(head, "8BPS", 4) != 0)
        return VXE_FILE_READ;
    return S_OK;
}

HRESULT VxPsd_Parse(const VxPsdSource& source, CVxPsdDocument* document)
{
    document->Reset();
    CVxPsdReader r(source);
    if (!r.Ready())
        return E_OUTOFMEMORY;
    uint8_t head[kPsdHeaderBytes];
    if (!r.Read(head, sizeof(head)) || VxPsd_CheckSignature(head, sizeof(head)) != S_OK)
        return E_FAIL;
    VxPsdHeader& h = document->header;
    std::memcpy(h.signature, head, 4);
    h.version = Swap16(head + 4);
    h.channels = Swap16(head + 12);
    h.height = Swap32(head + 14);
    h.width = Swap32(head + 18);
    h.depth = Swap16(head + 22);
    h.mode = Swap16(head + 24);

    // Colour mode data, then image resources: each a length and that many bytes.
    document->colorModePosition = r.Tell();
    for (int section = 0; section < 2; ++section) {
        const uint32_t length = r.U32();
        r.Seek(r.Tell() + length);
    }

    const uint64_t layerSection = r.Tell();
    const uint32_t sectionBytes = r.U32();
    document->mergedPosition = layerSection + 4 + uint64_t(sectionBytes);
    if (sectionBytes != 0) {
        r.U32();  // the layer information length: the records say where they end
        const int16_t stored = int16_t(r.U16());
        document->mergedAlpha = stored < 0;
        const uint32_t count = std::min<uint32_t>(uint32_t(stored < 0 ? -int32_t(stored) : stored), kPsdMaxLayers);
        if (r.Ok())
            VX_RETURN_IF_FAILED(ReadLayerRecords(r, document, count));
    }
    document->layerDataPosition = r.Tell();
    PlaceChannelData(document);
    return S_OK;
}

uint32_t VxPsd_VisibleLayerCount(const CVxPsdDocument& document)
{
    return document.header.channels < 3 ? 1 : document.layerCount;
}

HRESULT VxPsd_ChooseFormat(const CVxPsdDocument& document, VxPsdFrameFormat* format)
{
    const VxPsdHeader& h = document.header;
    *format = {};
    switch (h.mode) {
    case 0: case 7: case 8: case 9:  // bitmap, multichannel, duotone, Lab
        return E_NOTIMPL;
    default:
        break;
    }
    if (h.depth != 8 && h.depth != 16 && h.depth != 32)
        return E_NOTIMPL;
    const uint32_t depthIndex = h.depth == 8 ? 0 : h.depth == 16 ? 1 : 2;
    static constexpr uint32_t kGreyTypes[] = {kVxPixelGrey8, kVxPixelGrey16, kVxPixelGreyFloat};
    static constexpr uint32_t kColourTypes[] = {kVxPixelBgrx32, kVxPixelBgra64, kVxPixelBgraFloat};
    switch (h.mode) {
    case kPsdModeGrey:
        format->pixelType = kGreyTypes[depthIndex];
        format->channelsToDecode = 1;
        break;
    case kPsdModeIndexed:
        if (h.depth != 8)
            return E_NOTIMPL;
        format->pixelType = kVxPixelPalette8;
        format->channelsToDecode = 1;
        break;
    case kPsdModeRgb:
    case kPsdModeCmyk:
        format->pixelType = kColourTypes[depthIndex];
        format->channelsToDecode = h.mode == kPsdModeRgb && h.depth == 8 && !document.mergedAlpha ? 3 : 4;
        format->alphaWanted = h.mode == kPsdModeRgb && (h.depth != 8 || document.mergedAlpha);
        break;
    default:
        break;  // not a mode of the format: pixel type 0, which no frame has
    }
    format->channelsToDecode = std::min<uint32_t>(format->channelsToDecode, h.channels);
    return S_OK;
}

HRESULT VxPsd_ReadPalette(const VxPsdSource& source, const CVxPsdDocument& document, RGBQUAD palette[256])
{
    std::memset(palette, 0, 256 * sizeof(RGBQUAD));
    CVxPsdReader r(source);
    if (!r.Ready())
        return E_OUTOFMEMORY;
    r.Seek(document.colorModePosition);
    const uint32_t length = r.U32();
    // Only the 768 palette bytes are read; entries a shorter section does not hold stay zero.
    uint8_t bytes[kPaletteBytes] = {};
    const uint32_t wanted = std::min(length, kPaletteBytes);
    if (wanted && !r.Read(bytes, wanted))
        return E_FAIL;
    for (uint32_t i = 0; i < 256 && 512 + i < wanted; ++i)
        palette[i] = RGBQUAD{bytes[512 + i], bytes[256 + i], bytes[i], 0xFF};
    return S_OK;
}

HRESULT VxPsd_DecodeImage(const VxPsdSource& source, const CVxPsdDocument& document,
                          const VxPsdFrameFormat& format, void* pixels, uint32_t bytes)
{
    const VxPsdHeader& h = document.header;
    const uint32_t sampleBytes = h.depth / 8u;
    if (sampleBytes != 1 && sampleBytes != 2 && sampleBytes != 4)
        return S_OK;
    const uint64_t stride = VxSize_Stride(BitsPerPixel(format.pixelType), h.width);
    if (!pixels || stride == 0 || stride * h.height > bytes)
        return E_INVALIDARG;
    auto* frame = static_cast<uint8_t*>(pixels);
    const bool colour = format.pixelType == kVxPixelBgrx32 || format.pixelType == kVxPixelBgra64 ||
                        format.pixelType == kVxPixelBgraFloat;

    CVxPlaneRows rows(source);
    CVxGlobalBlock row(size_t(h.width) * sampleBytes);
    if (!rows.Ready() || !row)
        return E_OUTOFMEMORY;
    CVxPsdReader& head = rows.Counts();
    head.Seek(document.mergedPosition);
    const uint16_t compression = head.U16();  // a failed read counts as raw
    // PackBits: one 16-bit count per row of every channel of the document, then the rows.
    rows.Start(document.mergedPosition + 2, compression != 0, uint64_t(h.channels) * h.height);

    if (colour) {
        if (sampleBytes == 1)
            FillOpaque<uint8_t>(frame, stride, h.width, h.height, 0xFF);
        else if (sampleBytes == 2)
            FillOpaque<uint16_t>(frame, stride, h.width, h.height, 0xFFFF);
        else
            FillOpaque<float>(frame, stride, h.width, h.height, 1.0f);
    }
    const uint64_t rowBytes = uint64_t(h.width) * sampleBytes;
    for (uint32_t c = 0; c < format.channelsToDecode; ++c) {
        for (uint32_t y = 0; y < h.height; ++y) {
            if (!rows.Next(row.Bytes(), rowBytes, 0, size_t(rowBytes)))
                return E_FAIL;
            uint8_t* frameRow = frame + uint64_t(h.height - 1 - y) * stride;
            if (!colour)
                CopySamples(row.Bytes(), h.width, sampleBytes, frameRow);
            else if (sampleBytes == 1)
                PutColourRow<uint8_t>(document, c, row.Bytes(), frameRow);
            else if (sampleBytes == 2)
                PutColourRow<uint16_t>(document, c, row.Bytes(), frameRow);
            else
                PutColourRow<float>(document, c, row.Bytes(), frameRow);
        }
    }
    return S_OK;
}

HRESULT VxPsd_DecodeLayer(const VxPsdSource& source, const CVxPsdDocument& document, uint32_t index,
                          void* pixels, uint32_t bytes)
{
    // Indexes beyond the layer count are refused like any index outside 1 to 32767.
    if (index == 0 || index > document.layerCount)
        return E_INVALIDARG;
    if (!pixels)
        return E_POINTER;
    if (document.layerDataPosition == 0)
        return S_OK;
    const uint16_t depth = document.header.depth;
    if (depth == 32)
        return E_FAIL;
    if (depth != 8 && depth != 16)
        return S_OK;
    // The layer frame is canvas-sized at 4 samples per pixel; a smaller buffer (the 1-byte
    // frames of greyscale and indexed documents) is refused, never overrun.
    const uint64_t frameBytes = uint64_t(document.header.width) * document.header.height * 4 * (depth / 8);
    if (frameBytes > bytes)
        return VXE_BUFFER_TOO_SMALL;
    std::memset(pixels, 0, bytes);
    if (frameBytes == 0)
        return S_OK;
    const VxPsdLayerRecord& layer = document.layers[index - 1];
    auto* frame = static_cast<uint8_t*>(pixels);
    return depth == 8 ? DecodeLayerAs<uint8_t>(source, document, layer, frame)
                      : DecodeLayerAs<uint16_t>(source, document, layer, frame);
}

void VxPsd_UnpackBitsWindow(const uint8_t* source, size_t sourceBytes, uint8_t* out, size_t first,
                            size_t count)
{
    const size_t end = first + count;
    size_t position = 0;  // in the unpacked row
    size_t i = 0;
    while (i < sourceBytes && position < end) {
        const uint8_t control = source[i++];
        if (control < 128) {
            const size_t run = std::min<size_t>(control + 1u, sourceBytes - i);
            const size_t from = std::max(position, first);
            const size_t to = std::min(position + run, end);
            if (from < to)
                std::memcpy(out + (from - first), source + i + (from - position), to - from);
            i += run;
            position += control + 1u;
        } else if (control > 128) {
            if (i >= sourceBytes)
                break;
            const size_t from = std::max(position, first);
            const size_t to = std::min(position + 257u - control, end);
            if (from < to)
                std::memset(out + (from - first), source[i], to - from);
            ++i;
            position += 257u - control;
        }
    }
}
