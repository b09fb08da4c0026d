// TARGA headers and pixel decoding.
#include "TgaFormat.h"

#include "../../framework/ImageSize.h"
#include "../../platform/VxOwners.h"
#include "../../support/ByteReader.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsMapped(uint8_t type)
{
    return type == kTgaTypeMapped || type == kTgaTypeRleMapped;
}

bool IsAcceptedDepth(uint8_t bits)
{
    return bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

// Bytes of one stored value of a depth; 0 for depths the format does not define.
uint32_t ValueBytes(uint8_t bits)
{
    return bits == 8 ? 1 : bits == 15 || bits == 16 ? 2 : bits == 24 ? 3 : bits == 32 ? 4 : 0;
}

// Pixels as little-endian words of blue, green, red, alpha bytes.
uint32_t Bgra(uint32_t b, uint32_t g, uint32_t r, uint32_t a)
{
    return b | g << 8 | r << 16 | a << 24;
}

// A 5-bit channel widened to 8 bits.
uint32_t Widen5(uint32_t x)
{
    return (x << 3) | (x >> 2);
}

// One value of a depth as a pixel, and its colour map index (8 and 16 bits only).
uint32_t ReadValue(CVxByteReader& r, uint8_t bits, uint32_t* index)
{
    *index = 0;
    switch (bits) {
    case 8: {
        const uint32_t v = r.U8();
        *index = v;
        return Bgra(v, v, v, 0);
    }
    case 15:
    case 16: {
        const uint32_t w = r.U16LE();  // bit 15 ignored
        *index = w;
        return Bgra(Widen5(w & 31), Widen5((w >> 5) & 31), Widen5((w >> 10) & 31), 0);
    }
    case 24: {
        const uint32_t b = r.U8(), g = r.U8(), red = r.U8();
        return Bgra(b, g, red, 0);
    }
    default: {
        const uint32_t b = r.U8(), g = r.U8(), red = r.U8(), a = r.U8();
        return Bgra(b, g, red, a);
    }
    }
}

// The pixels of the image data in file order, raw or in run-length packets that run on
// across rows. A depth the format does not define reads nothing and repeats the last pixel.
class CVxTgaPixels {
public:
    CVxTgaPixels(const CVxByteReader& data, const VxTgaHeader& header, const uint32_t* map)
        : m_data(data), m_depth(header.pixelDepth), m_defined(ValueBytes(header.pixelDepth) != 0),
          m_rle(header.imageType >= kTgaTypeRleMapped), m_map(map)
    {
    }

    uint32_t Next()
    {
        if (!m_rle) {
            Read();
        } else if (m_left == 0) {
            const uint8_t packet = m_data.U8();
            m_run = (packet & 0x80) != 0;
            m_left = packet & 0x7F;
            Read();
        } else {
            --m_left;
            if (!m_run)
                Read();
        }
        return m_pixel;
    }
    bool Ok() const { return m_data.Ok(); }

private:
    void Read()
    {
        if (!m_defined)
            return;
        uint32_t index = 0;
        const uint32_t value = ReadValue(m_data, m_depth, &index);
        m_pixel = !m_map ? value : index < kTgaColorMapEntries ? m_map[index] : 0;
        if (!m_data.Ok())
            m_pixel = 0;
    }

    CVxByteReader m_data;
    uint8_t m_depth;
    bool m_defined;
    bool m_rle;
    const uint32_t* m_map;  // colour-mapped images: the table, else null
    uint32_t m_left = 0;
    bool m_run = false;
    uint32_t m_pixel = 0;
};

// Run-length true-colour pixels of the frame's own size (24 and 32 bits): run packets repeat
// their value and raw packets are copied, a row piece at a time. A packet cut by the end of
// the data places the whole pixels it holds.
void DecodeRleRows(CVxByteReader r, const VxTgaHeader& h, uint8_t* frame, uint32_t stride)
{
    const uint32_t bytes = h.pixelDepth / 8;
    uint32_t x = 0;
    uint32_t y = 0;
    while (y < h.height) {
        const uint8_t packet = r.U8();
        uint8_t value[4];
        const bool run = (packet & 0x80) != 0;
        if (run)
            r.Bytes(value, bytes);
        if (!r.Ok())
            return;
        for (uint32_t count = (packet & 0x7Fu) + 1; count > 0 && y < h.height;) {
            const uint32_t n = std::min(count, uint32_t(h.width) - x);
            uint8_t* out = frame + size_t(y) * stride + size_t(x) * bytes;
            if (run) {
                for (uint32_t i = 0; i < n; ++i)
                    std::memcpy(out + size_t(i) * bytes, value, bytes);
            } else {
                const size_t whole = std::min<size_t>(n, r.Remaining() / bytes);
                std::memcpy(out, r.Current(), whole * bytes);
                r.Skip(whole * bytes);
                if (whole < n)
                    return;
            }
            count -= n;
            x += n;
            if (x == h.width) {
                x = 0;
                ++y;
            }
        }
    }
}

void MirrorRows(const VxTgaHeader& h, uint8_t* frame, uint32_t stride)
{
    const uint32_t bytes = VxTga_FrameBits(h) / 8;
    for (uint32_t y = 0; y < h.height; ++y) {
        uint8_t* row = frame + size_t(y) * stride;
        for (uint32_t left = 0, right = h.width - 1u; left < right; ++left, --right)
            std::swap_ranges(row + left * bytes, row + (left + 1) * bytes, row + right * bytes);
    }
}

}  // namespace

HRESULT VxTga_ParseHeader(const uint8_t* data, size_t size, VxTgaHeader* header)
{
    if (!header)
        return E_POINTER;
    *header = {};
    CVxByteReader r(data, size);
    VxTgaHeader& h = *header;
    h.idLength = r.U8();
    h.colorMapType = r.U8();
    h.imageType = r.U8();
    h.colorMapFirst = r.U16LE();
    h.colorMapLength = r.U16LE();
    h.colorMapEntryBits = r.U8();
    h.xOrigin = r.U16LE();
    h.yOrigin = r.U16LE();
    h.width = r.U16LE();
    h.height = r.U16LE();
    h.pixelDepth = r.U8();
    h.descriptor = r.U8();
    if (!r.Ok())
        return VXE_CORRUPT;
    h.alphaBits = h.descriptor & 15;
    h.rightToLeft = (h.descriptor & 0x10) != 0;
    h.topToBottom = (h.descriptor & 0x20) != 0;
    h.interleave = uint8_t(h.descriptor >> 6);
    return S_OK;
}

HRESULT VxTga_CheckHeader(const VxTgaHeader& h)
{
    const uint8_t type = h.imageType;
    if (type != 1 && type != 2 && type != 3 && type != 9 && type != 10 && type != 11)
        return VXE_CORRUPT;
    if (IsMapped(type) && (h.colorMapType != 1 || !IsAcceptedDepth(h.colorMapEntryBits)))
        return VXE_CORRUPT;
    if (!IsMapped(type) && !IsAcceptedDepth(h.pixelDepth))
        return VXE_CORRUPT;
    if (h.width < 1 || h.width > kTgaMaxSide || h.height < 1 || h.height > kTgaMaxSide)
        return VXE_CORRUPT;
    // A colour map whose range does not fit the table is refused: its entries could be neither
    // read nor placed, and the pixels would then be taken from the map's bytes.
    if (h.colorMapType != 0 && uint32_t(h.colorMapFirst) + h.colorMapLength + 1 >= kTgaColorMapEntries + 1)
        return VXE_CORRUPT;
    return S_OK;
}

bool VxTga_IsRawFrame(const VxTgaHeader& h, uint64_t* offset)
{
    if (h.imageType != kTgaTypeTrueColor || (h.pixelDepth != 24 && h.pixelDepth != 32) || h.rightToLeft)
        return false;
    if (offset)
        *offset = kTgaHeaderBytes + h.idLength +
                  (h.colorMapType ? uint64_t(h.colorMapLength) * ((h.colorMapEntryBits + 7u) / 8) : 0);
    return true;
}

void VxTga_PadRows(const VxTgaHeader& h, uint8_t* frame, size_t bytesRead)
{
    const size_t rowBytes = size_t(h.width) * (VxTga_FrameBits(h) / 8);
    const size_t stride = VxTga_FrameStride(h);
    if (stride == rowBytes)
        return;
    // Last row first: a row moves forward onto bytes no row still to move reads, and its
    // padding, which held bytes of the rows after it, is cleared.
    const size_t rows = std::min<size_t>(h.height, (bytesRead + rowBytes - 1) / rowBytes);
    for (size_t y = rows; y-- > 0;) {
        if (y > 0)
            std::memmove(frame + y * stride, frame + y * rowBytes, std::min(rowBytes, bytesRead - y * rowBytes));
        std::memset(frame + y * stride + rowBytes, 0, stride - rowBytes);
    }
}

uint32_t VxTga_FrameBits(const VxTgaHeader& h)
{
    return h.pixelDepth == 32 ? 32 : 24;
}

uint32_t VxTga_FrameStride(const VxTgaHeader& h)
{
    return uint32_t(VxSize_Stride(VxTga_FrameBits(h), h.width));
}

uint32_t VxTga_FrameBytes(const VxTgaHeader& h)
{
    return VxTga_FrameStride(h) * h.height;  // at most 8192 × 32 bits × 8192: 256 MiB
}

HRESULT VxTga_DecodeImage(const uint8_t* data, size_t size, uint8_t* frame, size_t frameBytes,
                          int32_t* stride)
{
    VxTgaHeader h;
    VX_RETURN_IF_FAILED(VxTga_ParseHeader(data, size, &h));
    VX_RETURN_IF_FAILED(VxTga_CheckHeader(h));
    const uint32_t rowStride = VxTga_FrameStride(h);
    if (!frame || frameBytes < VxTga_FrameBytes(h))
        return E_INVALIDARG;
    if (stride)
        *stride = h.topToBottom ? -int32_t(rowStride) : int32_t(rowStride);

    CVxByteReader r(data, size);
    r.Skip(kTgaHeaderBytes + h.idLength);
    // The colour map, read into the table at its own indexes; entries past the end of the file
    // stay black. Entries of a size the format does not define are skipped by their bytes.
    CVxGlobalBlock mapBlock;
    const uint32_t* map = nullptr;
    if (h.colorMapType != 0) {
        const uint32_t entryBytes = (h.colorMapEntryBits + 7u) / 8;
        if (IsMapped(h.imageType)) {
            mapBlock = CVxGlobalBlock(kTgaColorMapEntries * sizeof(uint32_t));
            if (!mapBlock.Get())
                return E_OUTOFMEMORY;
            auto* table = static_cast<uint32_t*>(mapBlock.Get());
            CVxByteReader entries = r;
            for (uint32_t i = 0; i < h.colorMapLength && entries.Ok(); ++i) {
                uint32_t unused = 0;
                const uint32_t entry = ReadValue(entries, h.colorMapEntryBits, &unused);
                if (entries.Ok())
                    table[h.colorMapFirst + i] = entry;
            }
            map = table;
        }
        r.Skip(size_t(entryBytes) * h.colorMapLength);
    }

    const uint32_t pixelBytes = VxTga_FrameBits(h) / 8;
    uint64_t rawOffset = 0;
    if (VxTga_IsRawFrame(h, &rawOffset)) {
        const size_t rowBytes = size_t(h.width) * pixelBytes;
        const size_t take = rawOffset < size ? std::min(rowBytes * h.height, size - size_t(rawOffset)) : 0;
        std::memcpy(frame, data + rawOffset, take);
        VxTga_PadRows(h, frame, take);
    } else if (h.imageType == kTgaTypeRleTrueColor && (h.pixelDepth == 24 || h.pixelDepth == 32)) {
        if (r.Ok())
            DecodeRleRows(r, h, frame, rowStride);
    } else {
        CVxTgaPixels pixels(r.Ok() ? r : CVxByteReader(), h, map);
        for (uint32_t y = 0; y < h.height && pixels.Ok(); ++y) {
            uint8_t* out = frame + size_t(y) * rowStride;
            for (uint32_t x = 0; x < h.width; ++x, out += pixelBytes) {
                const uint32_t pixel = pixels.Next();
                if (!pixels.Ok())
                    break;
                std::memcpy(out, &pixel, pixelBytes);  // little-endian: B, G, R (, A)
            }
        }
    }
    if (h.rightToLeft)
        MirrorRows(h, frame, rowStride);
    return S_OK;
}
