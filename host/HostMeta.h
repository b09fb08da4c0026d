// The host's own metadata object, handed to a render file when the host writes metadata that
// no open file holds (vxhost tag): summary fields and media-manager properties kept in host
// memory and delivered as the streams a module's metadata object delivers.
#pragma once

#include "FileIOManager.h"

#include <atomic>
#include <string>
#include <vector>

// One summary record: its field code and data (UTF-16 text with terminator for text fields).
struct VxHostSummaryRecord {
    uint32_t code = 0;
    std::vector<uint8_t> data;
};

class CVxHostMeta final : public IVxReadMeta, public IVxReadMediaMgrMeta {
public:
    // Made with one reference, the caller's.
    CVxHostMeta() = default;
    CVxHostMeta(const CVxHostMeta&) = delete;
    CVxHostMeta& operator=(const CVxHostMeta&) = delete;

    // Copies the summary and media-manager properties of a module's metadata object. A
    // stream that breaks off (or announces more than it holds) gives VXE_FILE_READ.
    HRESULT CopyFrom(IVxReadMeta* meta);
    // Sets a text field, replacing one with the same code; empty text removes it.
    void SetText(uint32_t code, const std::u16string& text);
    const std::vector<VxHostSummaryRecord>& Records() const { return m_records; }

    HRESULT VXAPI QueryInterface(REFIID iid, void** out) override;
    ULONG VXAPI AddRef() override;
    ULONG VXAPI Release() override;
    HRESULT VXAPI ReservedMeta3(uint32_t) override { return E_NOTIMPL; }
    HRESULT VXAPI ReservedMeta4(uint32_t) override { return E_NOTIMPL; }
    HRESULT VXAPI ReservedMeta5(uint32_t) override { return E_NOTIMPL; }
    HRESULT VXAPI GetSummaryText(uint32_t id, char16_t* buf, int32_t bufChars) override;
    HRESULT VXAPI GetSummaryStream(IStream** out) override;
    HRESULT VXAPI GetMediaMgrStream(IStream** out) override;
    HRESULT VXAPI GetMediaMgrInfo(VXMEDIAMGRINFO* out) override;

private:
    ~CVxHostMeta() = default;

    std::atomic<int32_t> m_refCount = 1;
    std::vector<VxHostSummaryRecord> m_records;
    bool m_hasMediaMgr = false;
    VXMEDIAMGRINFO m_mediaMgrInfo = {};
    std::vector<uint8_t> m_mediaMgrStream;  // list header and properties, as delivered
};

// A read-only IStream over bytes the stream owns, with one reference, the caller's.
IStream* VxHost_CreateMemoryStream(std::vector<uint8_t> bytes);

// Reads a whole stream from its start, up to maxBytes; E_OUTOFMEMORY past that.
HRESULT VxHost_ReadWholeStream(IStream* stream, std::vector<uint8_t>& bytes, size_t maxBytes);

// Writes meta beside path through renderer's render file: CreateRenderFile, Open, the stream
// formats and source stream when given, SetReadMeta, WriteMeta, Close. On failure method names
// the call that failed.
HRESULT VxHost_WriteMetaBeside(IVxRenderFileClass* renderer, const std::string& path,
                               IVxReadMeta* meta, IVxReadFile* source, const char*& method);
