// The generic open still file.
#include "StillReadFile.h"

#include "../platform/VxOwners.h"
#include "../platform/VxStr.h"
#include "../plugin/Language.h"
#include "../plugin/Module.h"
#include "../plugin/contracts/VxComPtr.h"
#include "FileObjectSlots.h"
#include "ReadFileClass.h"
#include "StillReadMeta.h"
#include "StillReadVideoStream.h"
#include "VideoFormat.h"

#include <cstring>
#include <new>

namespace {

constexpr uint32_t kStringUncompressed = 435;
constexpr uint32_t kFilePropertyContext = 4;
constexpr uint32_t kAttribsChars = 260;
constexpr int32_t kFileNameChars = 260;
// Stream tables are sized in 32 bits, like every allocation the host's formats ask for.
constexpr uint64_t kMaxTableBytes = 0xFFFFFFFFu;

}  // namespace

CVxStillReadFile::CVxStillReadFile(CVxStillReadFileClass* owner)
    : m_owner(owner), m_mutex(CreateMutexW(nullptr, FALSE, nullptr))
{
}

CVxStillReadFile::~CVxStillReadFile()
{
    DestroyStreams();
    delete m_meta.exchange(nullptr);
    // Frames left held by their caller: give each back once and free the mutex with it.
    while (m_heldCount > 0) {
        void* pixels = m_heldFrames[--m_heldCount];
        if (m_access)
            m_access->FreeBuffer(0, 0, 0, 0, 0, pixels);
        ReleaseMutex(m_mutex);
    }
    if (m_access)
        m_access->Release();
    if (m_mutex)
        CloseHandle(m_mutex);
}

HRESULT VXAPI CVxStillReadFile::QueryInterface(REFIID iid, void** out)
{
    return VxQueryInterface<IVxReadFile>(this, iid, out);
}

HRESULT VXAPI CVxStillReadFile::GetReadFileClass(IVxReadFileClass** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!m_owner)
        return E_NOTIMPL;
    m_owner->AddRef();
    *out = m_owner;
    return S_OK;
}

HRESULT VXAPI CVxStillReadFile::GetFormatName(char16_t* buf, int32_t bufChars, uint32_t kind)
{
    if (!buf && bufChars > 0)
        return E_POINTER;
    VxStr_CopyTruncated(buf, bufChars, u"");
    if (kind != 1)
        return S_FALSE;
    CVxComPtr<IVxReadFileClass> owner;
    VX_RETURN_IF_FAILED(GetReadFileClass(&owner));
    VxStr_CopyTruncated(buf, bufChars, VxLang_LoadString(VxModule_Language(), m_owner->Record().nameStringId));
    return S_OK;
}

HRESULT VXAPI CVxStillReadFile::GetDescription(char16_t* buf, int32_t bufChars, uint32_t, uint32_t kind)
{
    if (!buf && bufChars > 0)
        return E_POINTER;
    VxStr_CopyTruncated(buf, bufChars, u"");
    if (kind == 1) {
        const char16_t* text = m_info.m_compression[0]
                                   ? m_info.m_compression
                                   : VxLang_LoadString(VxModule_Language(), kStringUncompressed);
        VxStr_CopyTruncated(buf, bufChars, text);
        return S_OK;
    }
    if (kind == 2) {
        char16_t attributes[kAttribsChars] = {};
        VxVideo_GetAttribsText(&m_info.m_bitmapInfo.header, attributes, kAttribsChars);
        VxStr_CopyTruncated(buf, bufChars, attributes);
        return S_OK;
    }
    return S_FALSE;
}

HRESULT VXAPI CVxStillReadFile::SetFileProperty(uint32_t, uint32_t, uint32_t)
{
    return S_FALSE;
}

HRESULT VXAPI CVxStillReadFile::GetFileProperty(void* buf, uint32_t bufBytes, uint32_t context,
                                                uint32_t propertyId)
{
    if (propertyId != kFilePropertyContext || !buf || bufBytes < 8)
        return S_FALSE;
    const uint32_t words[2] = {0, context == 0 ? 1u : 0u};
    std::memcpy(buf, words, sizeof(words));
    return S_OK;
}

HRESULT VXAPI CVxStillReadFile::GetAssociatedFile(IVxReadFile**)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillReadFile::Close()
{
    if (CVxStillReadMeta* meta = m_meta.load())
        meta->Reset();
    if (IsOpen() != S_OK)
        return S_OK;
    if (m_streams) {
        // Each stream waits for a frame it is delivering; none takes the file mutex afterwards.
        const uint32_t count = StreamCountNoLoad();
        for (uint32_t i = 0; i < count && i < m_streamCount; ++i)
            if (m_streams[i].m_stream)
                m_streams[i].m_stream->Close();
    }
    CVxMutexLock lock(m_mutex);  // a layer request of another thread may still hold the decoder
    const HRESULT hr = CloseImageFile();
    m_open = false;
    return hr;
}

HRESULT VXAPI CVxStillReadFile::IsOpen()
{
    return m_open ? S_OK : S_FALSE;
}

HRESULT VXAPI CVxStillReadFile::Open(uint32_t mode, uint32_t flags)
{
    if (IsOpen() == S_OK)
        return S_OK;
    char16_t path[kFileNameChars];
    std::memcpy(path, m_fileName, sizeof(path));
    if (m_onDemand)
        return OpenOnDemand(path, mode, flags);

    FILETIME lastWrite = {};
    {
        CVxHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file)
            return VXE_FILE_READ;
        GetFileTime(file.Get(), nullptr, nullptr, &lastWrite);
    }

    {
        // Open and Close are not meant to overlap frame requests; the file mutex still keeps a
        // late layer request of another thread away from the buffer access and the decoder.
        CVxMutexLock lock(m_mutex);
        // Buffers a caching pool keeps for the older content of the file must not be reused.
        if (std::memcmp(&lastWrite, &m_lastWrite, sizeof(FILETIME)) != 0 && m_access) {
            m_access->Release();
            m_access = nullptr;
        }
        if (!m_access) {
            IVxBufferPool* pool = VxModule_Pool();
            CVxComPtr<IVxBufferAccess> access;
            if (!pool || FAILED(pool->CreateBufferAccess(&access)) || !access)
                return E_FAIL;
            m_access = access.Detach();
        }
        VX_RETURN_IF_FAILED(OpenImageFile(path, mode, flags));
    }

    uint32_t count = 0;
    GetStreamCount(&count);
    const HRESULT hr = CreateStreams(count);
    if (FAILED(hr)) {
        CVxMutexLock lock(m_mutex);
        CloseImageFile();
        return hr;
    }
    m_lastWrite = lastWrite;
    m_open = true;
    return hr;
}

HRESULT VXAPI CVxStillReadFile::SetFileName(const char16_t* path)
{
    return VxFile_SetFileName(m_fileName, kFileNameChars, path);
}

HRESULT VXAPI CVxStillReadFile::GetFileName(char16_t* buf, int32_t bufChars)
{
    return VxFile_GetFileName(m_fileName, buf, bufChars);
}

HRESULT VXAPI CVxStillReadFile::GetLength(uint64_t* length)
{
    if (!length)
        return E_POINTER;
    if (m_onDemand)
        VX_RETURN_IF_FAILED(LoadInfo());
    *length = m_info.m_length;
    return S_OK;
}

HRESULT VXAPI CVxStillReadFile::GetStreamCount(uint32_t* count)
{
    if (!count)
        return E_POINTER;
    if (m_onDemand)
        VX_RETURN_IF_FAILED(LoadInfo());
    *count = StreamCountNoLoad();
    return S_OK;
}

uint32_t CVxStillReadFile::StreamCountNoLoad()
{
    uint32_t layers = 1;
    GetLayerCount(&layers);
    // The low 16 bits as a signed count: two or more layers add the composite stream.
    const int16_t c = int16_t(layers & 0xFFFF);
    const int32_t streams = c > 1 ? c + 1 : c == 0 ? 1 : c;
    return uint32_t(streams);
}

HRESULT VXAPI CVxStillReadFile::GetClassMediaTypes(uint32_t* mediaTypes)
{
    if (!mediaTypes)
        return E_POINTER;
    if (!m_owner)
        return E_NOTIMPL;
    m_owner->GetMediaTypes(mediaTypes);
    return S_OK;
}

HRESULT VXAPI CVxStillReadFile::GetStreamFormats(VXFILESTREAMFORMATINFOv2* formats, int32_t first,
                                                 int32_t count)
{
    const uint32_t n = StreamCountNoLoad();
    if (first < 0 || count < 0 || int64_t(first) + count > int64_t(n))
        return E_INVALIDARG;
    if (!formats && count > 0)
        return E_POINTER;
    if (m_onDemand)
        VX_RETURN_IF_FAILED(LoadInfo());
    HRESULT created = S_OK;
    if (!m_streams) {
        created = CreateStreams(n);  // its failure does not stop the call when a table results
        if (!m_streams)
            return E_INVALIDARG;
    }
    for (int32_t i = first; i - first < count && uint32_t(i) < m_streamCount; ++i) {
        CVxStillReadVideoStream* stream = m_streams[i].m_stream;
        if (!stream)
            return FAILED(created) ? created : E_OUTOFMEMORY;  // never made: no description
        uint32_t type = 0;
        stream->GetStreamInfo(&type, nullptr, nullptr);
        VxFio_FillStreamFormatInfo(static_cast<IVxReadVideoStream*>(stream), type, &formats[i - first]);
    }
    return created;
}

HRESULT VXAPI CVxStillReadFile::GetStreamType(int32_t index, uint32_t* type, uint32_t* number)
{
    if (m_onDemand) {
        if (index != 0)
            return E_INVALIDARG;
        if (type)
            *type = kVxStreamTypeVideo;
        if (number)
            *number = 0;
        return S_OK;
    }
    const uint32_t n = StreamCountNoLoad();
    if (index < 0 || uint32_t(index) >= n)
        return E_INVALIDARG;
    if (!m_streams)
        VX_RETURN_IF_FAILED(CreateStreams(n));
    CVxStillReadVideoStream* stream = StreamAt(uint32_t(index));
    if (!stream)
        return E_INVALIDARG;
    stream->GetStreamInfo(type, number, nullptr);
    return S_OK;
}

HRESULT VXAPI CVxStillReadFile::FindStream(int32_t nth, uint32_t type, int32_t* index)
{
    if (!index)
        return E_POINTER;
    if (m_onDemand) {
        if (nth != 0 || type != kVxStreamTypeVideo)
            return E_INVALIDARG;
        *index = 0;
        return S_OK;
    }
    const uint32_t n = StreamCountNoLoad();
    if (nth < 0 || uint32_t(nth) >= n)
        return E_INVALIDARG;
    if (!m_streams)
        VX_RETURN_IF_FAILED(CreateStreams(n));
    int32_t seen = 0;
    for (uint32_t i = 0; i < n && i < m_streamCount; ++i) {
        CVxStillReadVideoStream* stream = m_streams[i].m_stream;
        uint32_t streamType = 0;
        if (stream)
            stream->GetStreamInfo(&streamType, nullptr, nullptr);
        if (stream && streamType == type && ++seen == nth + 1) {
            *index = int32_t(i);
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

HRESULT VXAPI CVxStillReadFile::GetStream(IVxReadStream** out, int32_t type, int32_t nthOrIndex,
                                          uint32_t, uint32_t)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    int32_t index = nthOrIndex;
    if (m_onDemand) {
        if (type != -1)
            VX_RETURN_IF_FAILED(FindStream(nthOrIndex, uint32_t(type), &index));
        if (index != 0)
            return E_INVALIDARG;
        VX_RETURN_IF_FAILED(LoadInfo());
    }
    // A file never opened has no streams to give: that is a bad index like any other.
    if (!m_streams)
        return E_INVALIDARG;
    if (type != -1 && !m_onDemand)
        VX_RETURN_IF_FAILED(FindStream(nthOrIndex, uint32_t(type), &index));
    const uint32_t n = StreamCountNoLoad();
    if (index < 0 || uint32_t(index) >= n)
        return E_INVALIDARG;
    CVxStillReadVideoStream* stream = StreamAt(uint32_t(index));
    if (!stream)
        return E_INVALIDARG;
    return stream->QueryInterface(IID_IVxReadVideoStream, reinterpret_cast<void**>(out));
}

HRESULT VXAPI CVxStillReadFile::CheckStream(int32_t index, uint32_t, void* mustBeNonNull)
{
    if (!mustBeNonNull)
        return E_POINTER;
    const uint32_t n = StreamCountNoLoad();
    if (index < 0 || uint32_t(index) >= n)
        return E_INVALIDARG;
    if (m_onDemand)
        VX_RETURN_IF_FAILED(LoadInfo());
    if (!m_streams)
        return E_INVALIDARG;
    CVxStillReadVideoStream* stream = StreamAt(uint32_t(index));
    if (!stream)
        return E_INVALIDARG;
    uint32_t type = 0;
    stream->GetStreamInfo(&type, nullptr, nullptr);
    if (type != kVxStreamTypeVideo)
        return S_OK;
    CVxComPtr<IVxReadVideoStream> video;
    return stream->QueryInterface(IID_IVxReadVideoStream, video.OutVoid());
}

HRESULT VXAPI CVxStillReadFile::GetReadMeta(IVxReadMeta** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    CVxStillReadMeta* meta = m_meta.load();
    if (!meta) {
        // Made on first request; of two threads asking at once, the first one's object stays.
        CVxStillReadMeta* made = CreateReadMeta(this);
        if (!made)
            return E_OUTOFMEMORY;
        if (m_meta.compare_exchange_strong(meta, made))
            meta = made;
        else
            delete made;
    }
    return meta->QueryInterface(IID_IVxReadMeta, reinterpret_cast<void**>(out));
}

HRESULT VXAPI CVxStillReadFile::ReservedFile23(void** out, uint32_t, uint32_t)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

HRESULT CVxStillReadFile::LoadFrame(void** pixels)
{
    return LoadFrameWith(pixels, false);
}

HRESULT CVxStillReadFile::CloseImageFile()
{
    return S_OK;
}

HRESULT CVxStillReadFile::GetLayerCount(uint32_t*)
{
    return VXE_LAYERS_UNSUPPORTED;
}

HRESULT CVxStillReadFile::GetLayerInfo(uint32_t, void*, uint32_t, uint32_t)
{
    return VXE_LAYERS_UNSUPPORTED;
}

HRESULT CVxStillReadFile::DecodeLayer(uint32_t, void*, uint32_t)
{
    return VXE_LAYERS_UNSUPPORTED;
}

CVxStillReadMeta* CVxStillReadFile::CreateReadMeta(CVxStillReadFile* owner)
{
    return new CVxStillReadMeta(owner);
}

CVxStillReadVideoStream* CVxStillReadFile::CreateReadVideoStream(CVxStillReadFile* owner)
{
    return new CVxStillReadVideoStream(owner);
}

HRESULT CVxStillReadFile::DecodeImageInPlace(void* pixels, uint32_t bytes)
{
    if (!pixels)
        return E_POINTER;
    std::memset(pixels, 0, bytes);
    return DecodeImage(pixels, bytes);
}

HRESULT CVxStillReadFile::LoadFrameInPlace(void* pixels, uint32_t bytes)
{
    if (!pixels)
        return E_POINTER;
    if (m_onDemand)
        VX_RETURN_IF_FAILED(LoadInfo());
    if (!m_streams)
        return E_FAIL;
    CVxMutexLock lock(m_mutex);
    // The same conditions as a frame through the pool: an open file with its access object.
    if (!lock.Locked() || !m_access)
        return E_FAIL;
    if (bytes != FrameBytes())
        return E_INVALIDARG;
    return DecodeImageInPlace(pixels, bytes);
}

HRESULT CVxStillReadFile::DecodeImageBands(CVxRowBands&)
{
    return S_FALSE;
}

HRESULT CVxStillReadFile::LoadFrameBands(CVxRowBands& bands)
{
    if (m_onDemand)
        VX_RETURN_IF_FAILED(LoadInfo());
    if (!m_streams)
        return E_FAIL;
    CVxMutexLock lock(m_mutex);
    if (!lock.Locked() || !m_access)
        return E_FAIL;
    return DecodeImageBands(bands);
}

HRESULT CVxStillReadFile::LoadFrameWith(void** pixels, bool forceDecode)
{
    return TakeFrameBuffer(pixels, forceDecode, kCompositeImage);
}

HRESULT CVxStillReadFile::LoadLayerFrame(uint32_t layer, void** pixels)
{
    return TakeFrameBuffer(pixels, false, int64_t(layer));
}

HRESULT CVxStillReadFile::TakeFrameBuffer(void** pixels, bool forceDecode, int64_t layer)
{
    if (!pixels)
        return E_POINTER;
    *pixels = nullptr;
    if (m_onDemand)
        VX_RETURN_IF_FAILED(LoadInfo());
    if (!m_streams)
        return E_FAIL;
    // Taken here, given back by ReleaseFrame after the caller has copied the pixels (or below
    // on failure).
    if (WaitForSingleObject(m_mutex, INFINITE) != WAIT_OBJECT_0)
        return E_FAIL;
    if (!m_access) {
        ReleaseMutex(m_mutex);
        return E_FAIL;
    }
    // Held frames belong to this thread (the mutex is recursive): a further one gets its own
    // buffer, up to a bound that a runaway caller reaches as a shortage of resources.
    if (m_heldCount == kMaxHeldFrames) {
        ReleaseMutex(m_mutex);
        return VXE_LOW_RESOURCES;
    }
    const uint32_t bytes = FrameBytes();
    void* buffer = nullptr;
    HRESULT hr = m_access->AllocBuffer(0, 0, 0, bytes, 0, 0, &buffer);
    if (FAILED(hr) || !buffer) {
        ReleaseMutex(m_mutex);
        return FAILED(hr) ? hr : E_OUTOFMEMORY;
    }
    // S_FALSE: a fresh buffer; S_OK: the pool kept this content from an earlier decode.
    if (hr == S_FALSE || (hr == S_OK && forceDecode)) {
        hr = layer == kCompositeImage ? DecodeImage(buffer, bytes) : DecodeLayer(uint32_t(layer), buffer, bytes);
        if (FAILED(hr)) {
            m_access->FreeBuffer(0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0, bytes, buffer);
            ReleaseMutex(m_mutex);
            return hr;
        }
    }
    m_heldFrames[m_heldCount++] = buffer;
    *pixels = buffer;
    return hr;
}

void CVxStillReadFile::ReleaseFrame()
{
    // Waiting first makes the test safe from any thread: a thread that holds the frame
    // re-enters at once; any other finds no buffer once the holder has given it back.
    if (WaitForSingleObject(m_mutex, INFINITE) != WAIT_OBJECT_0)
        return;
    if (m_heldCount > 0)
        ReleaseHeld(m_heldCount - 1);
    ReleaseMutex(m_mutex);
}

void CVxStillReadFile::ReleaseFrame(const void* pixels)
{
    if (!pixels || WaitForSingleObject(m_mutex, INFINITE) != WAIT_OBJECT_0)
        return;
    for (uint32_t slot = m_heldCount; slot-- > 0;) {
        if (m_heldFrames[slot] == pixels) {
            ReleaseHeld(slot);
            break;
        }
    }
    ReleaseMutex(m_mutex);
}

void CVxStillReadFile::ReleaseHeld(uint32_t slot)
{
    m_access->FreeBuffer(0, 0, 0, 0, FrameBytes(), m_heldFrames[slot]);
    for (uint32_t i = slot; i + 1 < m_heldCount; ++i)
        m_heldFrames[i] = m_heldFrames[i + 1];
    m_heldFrames[--m_heldCount] = nullptr;
    ReleaseMutex(m_mutex);  // the hold taken by LoadFrame or LoadLayerFrame
}

CVxStillReadVideoStream* CVxStillReadFile::StreamAt(uint32_t index) const
{
    return m_streams && index < m_streamCount ? m_streams[index].m_stream : nullptr;
}

uint32_t CVxStillReadFile::FrameBytes() const
{
    return m_streams && m_streamCount > 0 ? m_streams[0].m_info.m_imageBytes : 0;
}

HRESULT CVxStillReadFile::CreateStreams(uint32_t count)
{
    if (m_streams && m_streamCount != count)
        return E_INVALIDARG;  // the stream count changed between opens
    if (!m_streams) {
        const uint64_t bytes = uint64_t(count) * sizeof(CVxStillFileStreamData);
        void* block = bytes <= kMaxTableBytes ? VxGlobal_Alloc(size_t(bytes ? bytes : 1)) : nullptr;
        if (!block)
            return E_OUTOFMEMORY;
        auto* table = static_cast<CVxStillFileStreamData*>(block);
        for (uint32_t i = 0; i < count; ++i)
            new (&table[i]) CVxStillFileStreamData();
        m_streams = table;
        m_streamCount = count;
    }

    HRESULT hr;
    {
        CVxMutexLock lock(m_mutex);  // the decoder state is the file's, as in DecodeImage
        hr = ReadImageInfo(&m_info);
    }
    if (FAILED(hr) || count < 1)
        return hr;
    return InitStreams(count);
}

HRESULT CVxStillReadFile::InitStreams(uint32_t count)
{
    // Every stream describes the same image; a number above 0 makes a layer stream. The
    // answer is the first stream's failure, else the last stream's result.
    HRESULT result = S_OK;
    for (uint32_t i = 0; i < count; ++i) {
        CVxStillFileStreamData& element = m_streams[i];
        HRESULT step = element.m_info.CopyFrom(m_info);
        element.m_info.m_streamType = kVxStreamTypeVideo;
        element.m_info.m_streamNumber = i;
        if (SUCCEEDED(step) && !element.m_stream)
            element.m_stream = CreateReadVideoStream(this);
        if (SUCCEEDED(step))
            step = element.m_stream ? element.m_stream->Init(m_fileName, i, element.m_info) : E_OUTOFMEMORY;
        if (SUCCEEDED(result))
            result = step;
    }
    return result;
}

void CVxStillReadFile::DestroyStreams()
{
    if (!m_streams)
        return;
    for (uint32_t i = 0; i < m_streamCount; ++i)
        m_streams[i].~CVxStillFileStreamData();
    VxGlobal_Free(m_streams);
    m_streams = nullptr;
    m_streamCount = 0;
}

HRESULT CVxStillReadFile::LoadInfo()
{
    if (m_infoLoaded)
        return S_OK;
    // The time a reopen compares with, taken before the header is read so that a change made
    // while it is read shows at the next reopen.
    FILETIME lastWrite = {};
    {
        CVxHandle file(CreateFileW(m_fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (file)
            GetFileTime(file.Get(), nullptr, nullptr, &lastWrite);
    }
    VX_RETURN_IF_FAILED(CreateStreams(StreamCountNoLoad()));
    m_lastWrite = lastWrite;
    m_infoLoaded = true;
    return S_OK;
}

HRESULT CVxStillReadFile::TakeBufferAccess()
{
    if (m_access) {
        m_access->Release();
        m_access = nullptr;
    }
    IVxBufferPool* pool = VxModule_Pool();
    CVxComPtr<IVxBufferAccess> access;
    if (!pool || FAILED(pool->CreateBufferAccess(&access)) || !access)
        return E_FAIL;
    m_access = access.Detach();
    return S_OK;
}

HRESULT CVxStillReadFile::OpenOnDemand(const char16_t* path, uint32_t mode, uint32_t flags)
{
    VX_RETURN_IF_FAILED(OpenImageFile(path, mode, flags));
    HRESULT hr = S_OK;
    if (m_infoLoaded) {
        FILETIME lastWrite = {};
        {
            CVxHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            if (!file) {
                hr = VxErrorHandler_TranslateWin32Error(GetLastError());
                CloseImageFile();
                return hr;
            }
            GetFileTime(file.Get(), nullptr, nullptr, &lastWrite);
        }
        if (std::memcmp(&lastWrite, &m_lastWrite, sizeof(FILETIME)) != 0) {
            // Changed on disk: the header is read again (the file counts as open from here,
            // also when that fails), and buffers a caching pool kept for the old content are
            // not reused.
            m_open = true;
            m_infoLoaded = false;
            VX_RETURN_IF_FAILED(LoadInfo());
            CVxMutexLock lock(m_mutex);
            VX_RETURN_IF_FAILED(TakeBufferAccess());
        }
    } else {
        CVxMutexLock lock(m_mutex);
        VX_RETURN_IF_FAILED(TakeBufferAccess());
    }
    m_open = true;
    // Streams closed by Close are active again.
    if (m_infoLoaded && m_streams)
        hr = InitStreams(m_streamCount);
    return hr;
}
