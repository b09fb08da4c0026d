// The generic still video stream and its layer interface.
#include "StillReadVideoStream.h"

#include "../platform/VxOwners.h"
#include "../plugin/contracts/VxComPtr.h"
#include "ConvertDib.h"
#include "ImageSize.h"
#include "RowBands.h"
#include "MemoryToken.h"
#include "VideoFormat.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The nearest integer to x - 0.499999985, halves to even: floor(x), except that values within
// 0.000000015 below an integer go up to it, absorbing the error of the division by the rate.
// False when the result is not a 64-bit number.
bool RoundFrameTime(double x, int64_t* out)
{
    const double rounded = std::nearbyint(x - 0.499999985);
    if (!std::isfinite(rounded) || rounded < -9.2e18 || rounded > 9.2e18)
        return false;
    *out = int64_t(rounded);
    return true;
}

constexpr double kTicksPerSecond = 10000000.0;
constexpr uint32_t kLayerStreamFlag = 1;

// A layer stream marks its extension with flag word 1 and clears the words after it.
void MarkLayerExtension(tVXVIDEOEXTENSION& extension)
{
    extension.flags = kLayerStreamFlag;
    std::memset(extension.reserved2, 0, sizeof(extension.reserved2));
}

bool SkipRequested(const uint32_t* flags)
{
    return flags && (*flags & kVxFrameFlagSkip) != 0;
}

// Bands of held rows in a small block of their own, each widened into the host's block as
// soon as it is written, while it is still in the cache.
class CVxWideningBands final : public CVxRowBands {
public:
    CVxWideningBands(uint8_t* destination, const BITMAPINFOHEADER& destinationHeader, const VXBITMAPINFO& source)
        : m_destination(destination), m_destinationHeader(destinationHeader), m_source(source),
          m_sourceStride(VxSize_Stride(source.header.biBitCount, source.header.biWidth)),
          m_destinationStride(VxSize_Stride(32, source.header.biWidth)),
          m_rows(VxSize_Rows(source.header.biHeight)),
          m_maxRows(uint32_t(std::clamp<uint64_t>(kBandBytes / std::max<uint64_t>(m_sourceStride, 1), 1,
                                                  std::max<uint64_t>(m_rows, 1)))),
          m_band(size_t(m_maxRows * m_sourceStride))
    {
    }

    bool Ok() const { return m_band.Get() != nullptr && m_sourceStride > 0; }

    uint32_t MaxRows() const override { return m_maxRows; }

    uint8_t* Band(uint32_t first, uint32_t) override
    {
        m_first = first;
        return m_band.Bytes();
    }

    HRESULT Done(uint32_t first, uint32_t count) override
    {
        if (first < m_first || uint64_t(first) + count > uint64_t(m_first) + m_maxRows ||
            uint64_t(first) + count > m_rows)
            return E_INVALIDARG;
        // The rows as a frame of their own: the widening keeps rows in order whatever the
        // orientation, so a band of count rows goes to the same rows of the destination.
        m_source.header.biHeight = int32_t(count);
        m_destinationHeader.biHeight = int32_t(count);
        return ConvertDibTo32(m_destination + first * m_destinationStride, &m_destinationHeader,
                              m_band.Bytes() + (first - m_first) * m_sourceStride, &m_source);
    }

private:
    static constexpr uint64_t kBandBytes = 128 * 1024;  // held rows per band: well inside L2

    uint8_t* m_destination;
    BITMAPINFOHEADER m_destinationHeader;
    VXBITMAPINFO m_source;
    uint64_t m_sourceStride;
    uint64_t m_destinationStride;
    uint64_t m_rows;
    uint32_t m_maxRows;
    CVxGlobalBlock m_band;
    uint32_t m_first = 0;
};

}  // namespace

CVxStillReadVideoStream::CVxStillReadVideoStream(CVxStillReadFile* owner)
    : CVxComChild(owner), m_cookie(GetCurrentThreadId())
{
}

CVxStillReadVideoStream::~CVxStillReadVideoStream()
{
    if (m_mutex)
        CloseHandle(m_mutex);
}

HRESULT VXAPI CVxStillReadVideoStream::QueryInterface(REFIID iid, void** out)
{
    return VxQueryInterface<IVxReadVideoStream, IVxReadStream, IVxReadLayer>(this, iid, out);
}

HRESULT VXAPI CVxStillReadVideoStream::GetReadFileClass(IVxReadFileClass** out)
{
    if (!m_owner) {
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }
    return m_owner->GetReadFileClass(out);
}

HRESULT VXAPI CVxStillReadVideoStream::GetReadFile(IVxReadFile** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!m_owner)
        return E_NOTIMPL;
    return m_owner->QueryInterface(IID_IVxReadFile, reinterpret_cast<void**>(out));
}

HRESULT VXAPI CVxStillReadVideoStream::GetLinkedStream(void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return S_OK;
}

HRESULT VXAPI CVxStillReadVideoStream::GetStreamInfo(uint32_t* type, uint32_t* number, int32_t* index)
{
    if (type)
        *type = m_info.m_streamType;
    if (number)
        *number = m_info.m_streamNumber;
    if (index)
        *index = m_index;
    return S_OK;
}

HRESULT VXAPI CVxStillReadVideoStream::GetLength(uint64_t* length)
{
    if (!length)
        return E_POINTER;
    *length = m_info.m_length;
    return S_OK;
}

HRESULT VXAPI CVxStillReadVideoStream::GetStartOffset(uint64_t* offset)
{
    if (!offset)
        return E_POINTER;
    *offset = 0;
    return S_OK;
}

HRESULT VXAPI CVxStillReadVideoStream::SetStreamCookie(uint32_t cookie)
{
    m_cookie = cookie;
    return S_OK;
}

HRESULT VXAPI CVxStillReadVideoStream::Close()
{
    CVxMutexLock lock(m_mutex);  // waits for a frame being delivered
    m_open = false;
    return S_OK;
}

HRESULT VXAPI CVxStillReadVideoStream::GetFrameCount(uint64_t* count)
{
    if (!count)
        return E_POINTER;
    *count = m_info.m_frameCount;
    return S_OK;
}

HRESULT VXAPI CVxStillReadVideoStream::GetFormatInfo(VXFILESTREAMFORMATINFOv2* format)
{
    CVxMutexLock lock(m_mutex);
    if (!format)
        return S_OK;
    VxFio_SetStreamFormatInfo(format, &m_info.m_bitmapInfo.header, &m_info.m_extension, 0);
    if (m_index > 0)
        MarkLayerExtension(format->extension.video);
    return S_OK;
}

HRESULT VXAPI CVxStillReadVideoStream::GetFormatInfoAlt(VXFILESTREAMFORMATINFOv2* format)
{
    return GetFormatInfo(format);
}

HRESULT VXAPI CVxStillReadVideoStream::CheckFormat(VXFILESTREAMFORMATINFOv2* format)
{
    if (!format)
        return E_POINTER;
    CVxMutexLock lock(m_mutex);  // taken again inside GetFormatInfo
    const BITMAPINFOHEADER& asked = format->format.video;
    HRESULT value = S_OK;
    const bool empty = format->size == 0 || format->streamType == 0 ||
                       (asked.biWidth == 0 && asked.biHeight == 0 && asked.biCompression == 0);
    if (!empty) {
        const bool same =
            std::memcmp(&asked, &m_info.m_bitmapInfo.header, sizeof(BITMAPINFOHEADER)) == 0 &&
            std::memcmp(&format->extension.video, &m_info.m_extension, sizeof(tVXVIDEOEXTENSION)) == 0;
        value = same ? S_OK : S_FALSE;
    }
    GetFormatInfo(format);  // the caller receives the stream's format in every case
    return value;
}

HRESULT VXAPI CVxStillReadVideoStream::GetFrameBufferSize(uint32_t, uint32_t, uint32_t* flags,
                                                          uint32_t* bytes)
{
    if (!bytes)
        return E_POINTER;
    uint64_t size = 0;
    if (!SkipRequested(flags)) {
        BITMAPINFOHEADER header = m_info.m_bitmapInfo.header;
        if (header.biClrUsed != 0) {
            header.biClrUsed = 0;
            header.biBitCount = 32;
        }
        size = VxVideo_ImageSize(header);
        if (!VxSize_Fits(size))
            size = 0;  // no frame that large can be delivered
    }
    *bytes = uint32_t(size);
    return size < 1 ? E_UNEXPECTED : S_OK;
}

HRESULT VXAPI CVxStillReadVideoStream::GetFrameFormat(uint32_t, uint32_t, uint32_t* flags, VXFRAMEINFO* frame)
{
    if (SkipRequested(flags))
        return S_FALSE;
    if (!frame)
        return S_OK;
    VX_RETURN_IF_FAILED(DescribeFrame(DeliveredHeader(), frame));
    if (m_index > 0)
        MarkLayerExtension(frame->extension);
    return S_OK;
}

HRESULT CVxStillReadVideoStream::DescribeFrame(const BITMAPINFOHEADER& header, VXFRAMEINFO* frame) const
{
    std::memset(frame, 0, sizeof(*frame));
    frame->frameTime = -1;
    frame->scale = 1.0;
    const uint64_t size = VxVideo_ImageSize(header);
    if (!VxSize_Fits(size))
        return E_UNEXPECTED;  // no frame that large can be delivered
    frame->imageBytes = uint32_t(size);
    frame->header = header;
    frame->stride = int32_t(VxSize_Stride(header.biBitCount, header.biWidth));
    frame->extension = m_info.m_extension;
    return S_OK;
}

HRESULT VXAPI CVxStillReadVideoStream::GetFrame(uint32_t frameLo, uint32_t frameHi, uint32_t* flags,
                                                _vxmemorytoken token, VXFRAMEINFO* frame, uint32_t* bytes)
{
    VXFRAMEINFO local;
    VXFRAMEINFO* record = frame ? frame : &local;  // the delivery needs the format either way
    HRESULT hr = GetFrameFormat(frameLo, frameHi, flags, record);
    if (hr != S_OK)
        return hr;
    if (!m_mutex)
        return VXE_FILE_OPEN;

    // Lock order: this stream's mutex, then (inside LoadFrame) the file's.
    CVxMutexLock lock(m_mutex);
    if (!lock.Locked() || !m_open)
        return VXE_FILE_OPEN;
    // Negative frame numbers count as before the end: a still shows its one image for them.
    const int64_t number = int64_t(uint64_t(frameHi) << 32 | frameLo);
    if (number >= int64_t(m_info.m_frameCount))
        return VXE_END_OF_FILE;
    m_frameTime = 0;

    if (m_index <= 0) {
        hr = DeliverInPlace(token, *record, m_info.m_bitmapInfo.header.biBitCount <= 8);
        if (hr == S_OK) {
            record->frameTime = m_frameTime;
        } else if (hr == S_FALSE) {
            void* pixels = nullptr;
            VX_RETURN_IF_FAILED(m_owner->LoadFrame(&pixels));
            // The file mutex is held from here to ReleaseFrame.
            record->frameTime = m_frameTime;
            hr = Deliver(token, *record, pixels);
            m_owner->ReleaseFrame();
        }
    } else {
        CVxComPtr<IVxReadLayer> layer;
        VX_RETURN_IF_FAILED(QueryInterface(IID_IVxReadLayer, layer.OutVoid()));
        void* pixels = nullptr;
        uint32_t reserved = 0;
        BITMAPINFOHEADER* header = nullptr;
        tVXVIDEOEXTENSION* extension = nullptr;
        uint64_t frameTime = 0;
        VX_RETURN_IF_FAILED(layer->LockLayerFrame(uint32_t(m_index) & 0xFFFF, frameLo, frameHi, &pixels,
                                                  &reserved, &header, &extension, &frameTime,
                                                  flags ? *flags : 0, 0));
        record->frameTime = int64_t(frameTime);
        const HRESULT delivered = pixels ? Deliver(token, *record, pixels) : E_FAIL;
        const HRESULT unlocked = layer->UnlockLayerFrame(pixels);
        hr = FAILED(delivered) ? delivered : FAILED(unlocked) ? unlocked : S_OK;
    }
    if (SUCCEEDED(hr) && bytes)
        *bytes = record->imageBytes;
    return hr;
}

HRESULT VXAPI CVxStillReadVideoStream::TimeToFrame(int64_t time, VXFRAMETIME* out)
{
    if (!out)
        return E_POINTER;
    *out = {};
    double rate = 0.0;
    GetFrameRate(&rate);
    if (!(rate > 0.0))
        return E_UNEXPECTED;
    int64_t frame = 0;
    if (!RoundFrameTime(double(time) * 0.0000001 * rate, &frame))
        return E_INVALIDARG;
    return FrameTimes(frame, out);
}

HRESULT VXAPI CVxStillReadVideoStream::FrameToTime(int64_t frame, VXFRAMETIME* out)
{
    if (!out)
        return E_POINTER;
    *out = {};
    double rate = 0.0;
    GetFrameRate(&rate);
    if (!(rate > 0.0))
        return E_UNEXPECTED;
    return FrameTimes(frame, out);
}

HRESULT VXAPI CVxStillReadVideoStream::SetFrameRate(double)
{
    return S_FALSE;
}

HRESULT VXAPI CVxStillReadVideoStream::GetPixelAspect(double* aspect)
{
    if (!aspect)
        return E_POINTER;
    *aspect = 1.0;
    return S_OK;
}

HRESULT VXAPI CVxStillReadVideoStream::GetFrameRate(double* rate)
{
    if (!rate)
        return E_POINTER;
    *rate = m_info.m_frameRate;
    return S_OK;
}

HRESULT VXAPI CVxStillReadVideoStream::GetLayerState()
{
    return S_OK;
}

HRESULT VXAPI CVxStillReadVideoStream::LockLayerFrame(uint32_t, uint32_t, uint32_t, void**, uint32_t*,
                                                      BITMAPINFOHEADER**, tVXVIDEOEXTENSION**,
                                                      uint64_t*, uint32_t, uint32_t)
{
    return VXE_LAYERS_UNSUPPORTED;
}

HRESULT VXAPI CVxStillReadVideoStream::UnlockLayerFrame(void*)
{
    return VXE_LAYERS_UNSUPPORTED;
}

HRESULT VXAPI CVxStillReadVideoStream::GetLayerCount(uint32_t*)
{
    return VXE_LAYERS_UNSUPPORTED;
}

HRESULT VXAPI CVxStillReadVideoStream::GetLayerInfo(uint32_t, void*, uint32_t, uint32_t)
{
    return VXE_LAYERS_UNSUPPORTED;
}

HRESULT CVxStillReadVideoStream::Init(const char16_t*, uint32_t number, const CVxStillFileStreamInfo& info)
{
    // The mutex is made once and kept across reopenings, so that a thread waiting on it never
    // sees its handle vanish.
    if (!m_mutex)
        m_mutex = CreateMutexW(nullptr, FALSE, nullptr);
    if (!m_mutex)
        return VXE_LOW_RESOURCES;
    CVxMutexLock lock(m_mutex);
    m_index = int32_t(number);
    m_frameTime = 0;
    const HRESULT hr = m_info.CopyFrom(info);
    // A description that could not be copied leaves the stream closed.
    m_open = SUCCEEDED(hr);
    return hr;
}

BITMAPINFOHEADER CVxStillReadVideoStream::DeliveredHeader() const
{
    BITMAPINFOHEADER header = m_info.m_bitmapInfo.header;
    if (header.biBitCount < 9) {
        header.biBitCount = 32;
        header.biCompression = BI_RGB;
        header.biClrUsed = 0;
        header.biClrImportant = 0;
        header.biSizeImage = uint32_t(VxVideo_ImageSize(header));
    }
    return header;
}

HRESULT CVxStillReadVideoStream::Deliver(const _vxmemorytoken& token, const VXFRAMEINFO& frame,
                                         const void* pixels)
{
    // The decoded image holds image-bytes bytes; never read beyond them.
    const BITMAPINFOHEADER& source = m_info.m_bitmapInfo.header;
    if (source.biBitCount <= 8) {
        if (VxVideo_ImageSize(source) > m_info.m_imageBytes)
            return E_FAIL;
        CMappingOfVxMemoryToken mapping(token, kVxTokenAccessWrite);
        void* destination = nullptr;
        VX_RETURN_IF_FAILED(mapping.GetPointer(&destination));
        if (mapping.DataSize() < 0 || uint32_t(mapping.DataSize()) < frame.imageBytes)
            return VXE_BUFFER_TOO_SMALL;
        return ConvertDibTo32(destination, &frame.header, pixels, &m_info.m_bitmapInfo);
    }
    // The host was told to provide the frame record's image bytes: exactly those are copied.
    if (frame.imageBytes > m_info.m_imageBytes)
        return E_FAIL;
    return CMappingOfVxMemoryToken::CopyData(token, pixels, LONG(frame.imageBytes));
}

HRESULT CVxStillReadVideoStream::DeliverInPlace(const _vxmemorytoken& token, const VXFRAMEINFO& frame,
                                                bool widened)
{
    if (m_index > 0 || !m_owner || token.ownerProcessId != GetCurrentProcessId())
        return S_FALSE;
    // The conditions under which the pool's path would deliver, or fail only after decoding.
    if (widened ? VxVideo_ImageSize(m_info.m_bitmapInfo.header) > m_info.m_imageBytes
                : frame.imageBytes != m_info.m_imageBytes)
        return S_FALSE;
    CMappingOfVxMemoryToken mapping(token, kVxTokenAccessWrite);  // this process: used in place
    void* destination = nullptr;
    VX_RETURN_IF_FAILED(mapping.GetPointer(&destination));
    if (mapping.DataSize() < 0 || uint32_t(mapping.DataSize()) < frame.imageBytes)
        return VXE_BUFFER_TOO_SMALL;
    if (!widened) {
        const HRESULT hr = m_owner->LoadFrameInPlace(destination, frame.imageBytes);
        return hr == S_FALSE ? S_OK : hr;
    }
    CVxWideningBands bands(static_cast<uint8_t*>(destination), frame.header, m_info.m_bitmapInfo);
    return bands.Ok() ? m_owner->LoadFrameBands(bands) : S_FALSE;
}

HRESULT CVxStillReadVideoStream::FrameTimes(int64_t frame, VXFRAMETIME* out)
{
    double rate = 0.0;
    GetFrameRate(&rate);
    int64_t start = 0;
    int64_t end = 0;
    if (!RoundFrameTime(double(frame) * kTicksPerSecond / rate + 0.00001, &start) ||
        !RoundFrameTime((double(frame) + 1.0) * kTicksPerSecond / rate + 0.00001, &end))
        return E_INVALIDARG;
    out->frame = frame;
    out->start = start;
    out->duration = end - start;
    return S_OK;
}
