// The renderer class object of a still format: publishes the format as an output target to the
// host, leads it to the format's reader class, and makes render files. Every format shares this
// implementation; a format class sets its identifiers and the string of its About box.
#pragma once

#include "../framework/FileObjectSlots.h"
#include "../plugin/ComObject.h"
#include "../plugin/contracts/VxInterfaces.h"

// What tells one format's renderer from another's, besides its About box.
struct VXRENDERFILECLASSRECORD {
    GUID rendererClassId;  // GetClassID
    GUID readerClassId;    // asked of the host by GetReadFileClass
};

// Metadata kinds the render file writes: the summary list (1) and media-manager
// information (0x2000).
constexpr uint32_t kVxRenderMetaKinds = 0x2001;
// The renderer's class flag word.
constexpr uint32_t kVxRenderClassFlags = 2;

class CVxStillRenderFileClass : public CVxComObject<IVxRenderFileClass, IVxRenderMetaSupport2> {
public:
    // Starts with one reference, the creator's.
    explicit CVxStillRenderFileClass(const VXRENDERFILECLASSRECORD& record);

    // IUnknown (both interfaces)
    HRESULT VXAPI QueryInterface(REFIID iid, void** out) override;

    // IVxRenderFileClass
    HRESULT VXAPI SetClassIndex(uint32_t value) override;
    HRESULT VXAPI GetClassIndex(uint32_t* value) override;
    HRESULT VXAPI SetFileIOManager(IUnknown* manager) override;
    HRESULT VXAPI GetFileIOManager(IUnknown** manager) override;
    HRESULT VXAPI GetClassID(GUID* classId) override;
    HRESULT VXAPI GetMediaTypes(uint32_t* mediaTypes) override;
    HRESULT VXAPI GetClassFlags(uint32_t* flags) override;
    HRESULT VXAPI GetReadFileClass(IVxReadFileClass** out) override;
    HRESULT VXAPI GetInfoText(const uint32_t* ids, uint32_t count, BSTR* texts) override;
    HRESULT VXAPI ReservedRender12(uint32_t a, uint32_t b, uint32_t c) override;
    HRESULT VXAPI CreateRenderFile(IVxRenderFile** out, const char16_t* path, uint32_t a,
                                   uint32_t b, const VXTEMPLATExV2* tmpl) override;
    HRESULT VXAPI ReservedRender14(uint32_t* out) override;
    HRESULT VXAPI ReservedRender15(uint32_t a, uint32_t b) override;
    HRESULT VXAPI ReservedRender16(uint32_t a, uint32_t* out) override;
    HRESULT VXAPI ReservedRender17(uint32_t a, uint32_t b, uint32_t* out) override;
    HRESULT VXAPI ReservedRender18(uint32_t* out, uint32_t a, uint32_t b) override;
    HRESULT VXAPI GetTemplateData(void** out, uint32_t a, uint32_t b, int32_t kind) override;
    HRESULT VXAPI GetTemplateInfo(const VXTEMPLATExV2* tmpl, char16_t* buf, uint32_t bufChars,
                                  int32_t kind) override;
    HRESULT VXAPI GetRenderLimits(uint32_t* a, uint32_t* b, uint32_t* c) override;
    HRESULT VXAPI ReservedRender22(uint32_t a, uint32_t* out) override;
    HRESULT VXAPI ReservedRender23(uint32_t a) override;
    HRESULT VXAPI ReservedRender24() override;
    // The generic class names no format: E_NOTIMPL. Each format class shows its box.
    HRESULT VXAPI ShowAbout(HWND parent) override;
    HRESULT VXAPI GetPluginStatus(HRESULT* status, BSTR* text) override;

    // IVxRenderMetaSupport2
    HRESULT VXAPI BeginMetaSupport() override;
    HRESULT VXAPI SupportsMetaType(uint32_t a, uint32_t b) override;
    HRESULT VXAPI GetMetaTypes(uint32_t* a, uint32_t* b) override;

    ~CVxStillRenderFileClass() override = default;

    const VXRENDERFILECLASSRECORD& Record() const { return m_record; }

private:
    VxFileClassLink m_link{0};
    const VXRENDERFILECLASSRECORD m_record;
};

// The six formats' renderer classes: each only names its identifiers and About string.
class CVxDibRenderFileClass final : public CVxStillRenderFileClass {
public:
    CVxDibRenderFileClass();
    HRESULT VXAPI ShowAbout(HWND parent) override;
};
class CVxJpgRenderFileClass final : public CVxStillRenderFileClass {
public:
    CVxJpgRenderFileClass();
    HRESULT VXAPI ShowAbout(HWND parent) override;
};
class CVxPngRenderFileClass final : public CVxStillRenderFileClass {
public:
    CVxPngRenderFileClass();
    HRESULT VXAPI ShowAbout(HWND parent) override;
};
class CVxPsdRenderFileClass final : public CVxStillRenderFileClass {
public:
    CVxPsdRenderFileClass();
    HRESULT VXAPI ShowAbout(HWND parent) override;
};
class CVxExrRenderFileClass final : public CVxStillRenderFileClass {
public:
    CVxExrRenderFileClass();
    HRESULT VXAPI ShowAbout(HWND parent) override;
};
class CVxTgaRenderFileClass final : public CVxStillRenderFileClass {
public:
    CVxTgaRenderFileClass();
    HRESULT VXAPI ShowAbout(HWND parent) override;
};
