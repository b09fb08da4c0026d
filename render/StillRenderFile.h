// The render file: what the host hands the module for one output file (its name, stream
// formats, source streams, metadata object, template). The host writes the image itself;
// WriteMeta then writes the metadata beside it as a sidecar with media-manager information.
#pragma once

#include "../plugin/ComObject.h"
#include "../plugin/contracts/VxInterfaces.h"

struct tVXLIST;
class CVxStillRenderFileClass;

constexpr int32_t kVxRenderFileNameChars = 260;  // terminator included
// Stream format records a render file keeps at most: far above any real file's streams, and
// a bound on the copy a host's bad count would ask for.
constexpr uint32_t kVxRenderMaxStreamFormats = 0x10000;

class CVxStillRenderFile final : public CVxComObject<IVxRenderFile> {
public:
    // A render file of owner (no reference taken: the host holds its class objects longer)
    // with a private copy of tmpl, holding one reference, the caller's. E_OUTOFMEMORY, or
    // the template's failure.
    static HRESULT Create(CVxStillRenderFileClass* owner, const VXTEMPLATExV2* tmpl,
                          CVxStillRenderFile** out);

    // IUnknown
    HRESULT VXAPI QueryInterface(REFIID iid, void** out) override;
    ULONG VXAPI Release() override;

    // IVxRenderFile
    HRESULT VXAPI GetRenderFileClass(IVxRenderFileClass** out) override;
    HRESULT VXAPI Close() override;
    HRESULT VXAPI IsOpen() override;
    HRESULT VXAPI Open(uint32_t a, uint32_t b) override;
    HRESULT VXAPI SetFileName(const char16_t* path) override;
    HRESULT VXAPI GetFileName(char16_t* buf, int32_t bufChars) override;
    HRESULT VXAPI GetStreamCount(uint32_t* count) override;
    HRESULT VXAPI GetStreamFormats(VXFILESTREAMFORMATINFOv2* formats, int32_t first,
                                   int32_t count) override;
    HRESULT VXAPI SetStreamFormats(const VXFILESTREAMFORMATINFOv2* formats, uint32_t count) override;
    HRESULT VXAPI AddStream(IUnknown* source) override;
    HRESULT VXAPI SetReadMeta(IVxReadMeta* meta) override;
    HRESULT VXAPI ReservedRenderFile14(uint32_t a, uint32_t b) override;
    HRESULT VXAPI ReservedRenderFile15(uint32_t a) override;
    // Writes the sidecar beside the file named, then its media-manager chunk; the first
    // failure is answered and ends the write.
    HRESULT VXAPI WriteMeta(uint32_t value) override;
    // The same, with target passed on to the sidecar writer as the container to write into.
    HRESULT VXAPI WriteMetaAt(uint32_t target, uint32_t b) override;

    ~CVxStillRenderFile() override;

private:
    explicit CVxStillRenderFile(CVxStillRenderFileClass* owner);
    HRESULT WriteMetaWith(BOOL sidecarWanted, uint32_t target);
    void ReleaseStreams();

    CVxStillRenderFileClass* m_owner;
    char16_t m_fileName[kVxRenderFileNameChars] = {};
    BOOL m_open = FALSE;
    uint32_t m_streamCount = 0;
    tVXLIST* m_streams = nullptr;                     // IUnknown*, one reference each
    VXFILESTREAMFORMATINFOv2* m_formats = nullptr;   // global block of m_formatCount records
    uint32_t m_formatCount = 0;
    IVxReadMeta* m_meta = nullptr;                    // one reference
    VXTEMPLATExV2* m_template = nullptr;              // private copy, never read
};
