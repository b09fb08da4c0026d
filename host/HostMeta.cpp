// The host's metadata object and the render-file sequence that writes metadata beside a file.
#include "HostMeta.h"

#include "Text.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kListHeaderBytes = 12;
constexpr uint32_t kListKind = 100;
// Metadata streams are small; more than this is a module gone wrong.
constexpr size_t kMaxMetaBytes = 64u << 20;

uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void Put32(std::vector<uint8_t>& bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(uint8_t(value >> (8 * i)));
}

class CVxHostMemoryStream final : public IStream {
public:
    explicit CVxHostMemoryStream(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}

    HRESULT VXAPI QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IStream)
            return E_NOINTERFACE;
        AddRef();
        *out = static_cast<IStream*>(this);
        return S_OK;
    }
    ULONG VXAPI AddRef() override { return ULONG(++m_refCount); }
    ULONG VXAPI Release() override
    {
        const int32_t count = --m_refCount;
        if (count == 0)
            delete this;
        return ULONG(count);
    }
    // Like a file stream: S_FALSE when fewer bytes than asked remain.
    HRESULT VXAPI Read(void* data, ULONG bytes, ULONG* read) override
    {
        const size_t n = std::min<size_t>(bytes, m_bytes.size() - m_at);
        if (n)
            std::memcpy(data, m_bytes.data() + m_at, n);
        m_at += n;
        if (read)
            *read = ULONG(n);
        return n == bytes ? S_OK : S_FALSE;
    }
    HRESULT VXAPI Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT VXAPI Seek(int64_t move, DWORD origin, uint64_t* newPosition) override
    {
        const int64_t base = origin == STREAM_SEEK_SET   ? 0
                             : origin == STREAM_SEEK_CUR ? int64_t(m_at)
                             : origin == STREAM_SEEK_END ? int64_t(m_bytes.size())
                                                         : -1;
        if (base < 0 || (move < 0 && -move > base) || base + move > int64_t(m_bytes.size()))
            return E_INVALIDARG;
        m_at = size_t(base + move);
        if (newPosition)
            *newPosition = m_at;
        return S_OK;
    }
    HRESULT VXAPI SetSize(uint64_t) override { return E_NOTIMPL; }
    HRESULT VXAPI CopyTo(IStream*, uint64_t, uint64_t*, uint64_t*) override { return E_NOTIMPL; }
    HRESULT VXAPI Commit(DWORD) override { return S_OK; }
    HRESULT VXAPI Revert() override { return E_NOTIMPL; }
    HRESULT VXAPI LockRegion(uint64_t, uint64_t, DWORD) override { return E_NOTIMPL; }
    HRESULT VXAPI UnlockRegion(uint64_t, uint64_t, DWORD) override { return E_NOTIMPL; }
    HRESULT VXAPI Stat(void*, DWORD) override { return E_NOTIMPL; }
    HRESULT VXAPI Clone(IStream**) override { return E_NOTIMPL; }

private:
    std::atomic<int32_t> m_refCount = 1;
    std::vector<uint8_t> m_bytes;
    size_t m_at = 0;
};

}  // namespace

IStream* VxHost_CreateMemoryStream(std::vector<uint8_t> bytes)
{
    return new CVxHostMemoryStream(std::move(bytes));
}

HRESULT VxHost_ReadWholeStream(IStream* stream, std::vector<uint8_t>& bytes, size_t maxBytes)
{
    bytes.clear();
    VX_RETURN_IF_FAILED(stream->Seek(0, STREAM_SEEK_SET, nullptr));
    constexpr ULONG kChunk = 64 * 1024;
    std::vector<uint8_t> chunk(kChunk);
    for (;;) {
        ULONG got = 0;
        const HRESULT hr = stream->Read(chunk.data(), kChunk, &got);
        got = std::min(got, kChunk);
        if (bytes.size() + got > maxBytes)
            return E_OUTOFMEMORY;
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
        if (hr != S_OK || got < kChunk)
            return S_OK;
    }
}

HRESULT CVxHostMeta::CopyFrom(IVxReadMeta* meta)
{
    CVxComPtr<IStream> summary;
    std::vector<uint8_t> bytes;
    if (meta->GetSummaryStream(&summary) == S_OK && summary)
        VX_RETURN_IF_FAILED(VxHost_ReadWholeStream(summary.Get(), bytes, kMaxMetaBytes));
    // List header (12, 100, count), then records: header size, code, data bytes, data.
    if (bytes.size() >= kListHeaderBytes) {
        const uint32_t count = Le32(&bytes[8]);
        size_t at = kListHeaderBytes;
        for (uint32_t i = 0; i < count; ++i) {
            if (bytes.size() - at < kListHeaderBytes)
                return VXE_FILE_READ;
            const uint32_t headerBytes = Le32(&bytes[at]);
            const uint32_t dataBytes = Le32(&bytes[at + 8]);
            if (headerBytes < kListHeaderBytes || headerBytes > bytes.size() - at ||
                dataBytes > bytes.size() - at - headerBytes)
                return VXE_FILE_READ;
            VxHostSummaryRecord record;
            record.code = Le32(&bytes[at + 4]);
            const auto data = bytes.begin() + long(at + headerBytes);
            record.data.assign(data, data + dataBytes);
            m_records.push_back(std::move(record));
            at += headerBytes + size_t(dataBytes);
        }
    }

    CVxComPtr<IVxReadMediaMgrMeta> media;
    if (FAILED(meta->QueryInterface(IID_IVxReadMediaMgrMeta, media.OutVoid())) || !media ||
        media->GetMediaMgrInfo(&m_mediaMgrInfo) != S_OK)
        return S_OK;
    CVxComPtr<IStream> properties;
    if (media->GetMediaMgrStream(&properties) != S_OK || !properties)
        return S_OK;
    VX_RETURN_IF_FAILED(VxHost_ReadWholeStream(properties.Get(), m_mediaMgrStream, kMaxMetaBytes));
    m_hasMediaMgr = true;
    return S_OK;
}

void CVxHostMeta::SetText(uint32_t code, const std::u16string& text)
{
    std::erase_if(m_records, [code](const VxHostSummaryRecord& r) { return r.code == code; });
    if (text.empty())
        return;
    VxHostSummaryRecord record;
    record.code = code;
    for (char16_t c : text) {
        record.data.push_back(uint8_t(c));
        record.data.push_back(uint8_t(c >> 8));
    }
    record.data.insert(record.data.end(), {0, 0});
    m_records.push_back(std::move(record));
}

HRESULT VXAPI CVxHostMeta::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IVxReadMeta)
        *out = static_cast<IVxReadMeta*>(this);
    else if (iid == IID_IVxReadMediaMgrMeta)
        *out = static_cast<IVxReadMediaMgrMeta*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG VXAPI CVxHostMeta::AddRef()
{
    return ULONG(++m_refCount);
}

ULONG VXAPI CVxHostMeta::Release()
{
    const int32_t count = --m_refCount;
    if (count == 0)
        delete this;
    return ULONG(count);
}

HRESULT VXAPI CVxHostMeta::GetSummaryText(uint32_t id, char16_t* buf, int32_t bufChars)
{
    for (const VxHostSummaryRecord& record : m_records) {
        if (record.code != id)
            continue;
        if (bufChars < 1)
            return S_OK;
        if (!buf)
            return E_POINTER;
        const size_t chars = std::min(record.data.size() / 2, size_t(bufChars) - 1);
        for (size_t i = 0; i < chars; ++i)
            buf[i] = char16_t(record.data[2 * i] | record.data[2 * i + 1] << 8);
        buf[chars] = 0;
        return S_OK;
    }
    return VXE_SUMMARY_ITEM_MISSING;
}

HRESULT VXAPI CVxHostMeta::GetSummaryStream(IStream** out)
{
    if (!out)
        return E_POINTER;
    std::vector<uint8_t> bytes;
    Put32(bytes, kListHeaderBytes);
    Put32(bytes, kListKind);
    Put32(bytes, uint32_t(m_records.size()));
    for (const VxHostSummaryRecord& record : m_records) {
        Put32(bytes, kListHeaderBytes);
        Put32(bytes, record.code);
        Put32(bytes, uint32_t(record.data.size()));
        bytes.insert(bytes.end(), record.data.begin(), record.data.end());
    }
    *out = VxHost_CreateMemoryStream(std::move(bytes));
    return S_OK;
}

HRESULT VXAPI CVxHostMeta::GetMediaMgrStream(IStream** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!m_hasMediaMgr)
        return S_FALSE;
    *out = VxHost_CreateMemoryStream(m_mediaMgrStream);
    return S_OK;
}

HRESULT VXAPI CVxHostMeta::GetMediaMgrInfo(VXMEDIAMGRINFO* out)
{
    if (!out)
        return E_POINTER;
    if (!m_hasMediaMgr)
        return S_FALSE;
    *out = m_mediaMgrInfo;
    return S_OK;
}

HRESULT VxHost_WriteMetaBeside(IVxRenderFileClass* renderer, const std::string& path,
                               IVxReadMeta* meta, IVxReadFile* source, const char*& method)
{
    const std::u16string widePath = VxHost_ToUtf16(path);
    CVxComPtr<IVxRenderFile> file;
    method = "CreateRenderFile";
    VX_RETURN_IF_FAILED(renderer->CreateRenderFile(&file, widePath.c_str(), 0, 0, nullptr));
    method = "Open";
    VX_RETURN_IF_FAILED(file->Open(0, 0));
    // What the host rendered from: the source's stream formats and its video stream.
    uint32_t streams = 0;
    if (source && SUCCEEDED(source->GetStreamCount(&streams)) && streams > 0) {
        std::vector<VXFILESTREAMFORMATINFOv2> formats(streams);
        for (VXFILESTREAMFORMATINFOv2& format : formats)
            format.size = sizeof format;
        if (SUCCEEDED(source->GetStreamFormats(formats.data(), 0, int32_t(streams)))) {
            method = "SetStreamFormats";
            VX_RETURN_IF_FAILED(file->SetStreamFormats(formats.data(), streams));
        }
        CVxComPtr<IVxReadStream> stream;
        if (SUCCEEDED(source->GetStream(&stream, -1, 0, 0, 0)) && stream) {
            method = "AddStream";
            VX_RETURN_IF_FAILED(file->AddStream(stream.Get()));
        }
    }
    method = "SetReadMeta";
    VX_RETURN_IF_FAILED(file->SetReadMeta(meta));
    method = "WriteMeta";
    const HRESULT hr = file->WriteMeta(0);
    file->Close();
    return hr;
}
