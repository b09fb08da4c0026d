// The generic reader class object: names a still format to the host, checks and opens its
// files and leads the host to the format's renderer. Each format derives from it, passes its
// registration record to the constructor and supplies CheckFileHeader and CreateReadFile.
#pragma once

#include "../plugin/ClassTable.h"
#include "../plugin/ComObject.h"
#include "../plugin/contracts/VxInterfaces.h"
#include "FileObjectSlots.h"

#include <atomic>

class CVxStillReadFile;

// The module's About box for a format named by its string resource, shared by the reader and
// renderer class objects.
HRESULT VxStill_ShowAboutBox(uint32_t nameStringId);

// The constant registration record of one format. GetInfoText reads it by position.
struct VXREADFILECLASSRECORD {
    const char16_t* shortName;    // info text 1
    const char16_t* description;  // info text 2
    const char16_t* extensions;   // info text 4: "*.ext" patterns separated by ";"
    uint32_t openStringId;        // info text 6: localized open-command text
    uint32_t nameStringId;        // info text 5: localized format name (also GetFormatName, ShowAbout)
    uint32_t mediaTypes;          // 2 for every still format
    uint32_t classFlags;          // 0, but 64 for the bitmap and TARGA readers
    GUID readerClassId;
    GUID rendererClassId;
};

class CVxStillReadFileClass : public CVxComObject<CVxReadFileClassBase> {
public:
    explicit CVxStillReadFileClass(const VXREADFILECLASSRECORD& record);

    // IUnknown
    HRESULT VXAPI QueryInterface(REFIID iid, void** out) override;

    // IVxReadFileClass
    HRESULT VXAPI SetClassIndex(uint32_t value) override;
    HRESULT VXAPI GetClassIndex(uint32_t* value) override;
    HRESULT VXAPI SetFileIOManager(IUnknown* manager) override;
    HRESULT VXAPI GetFileIOManager(IUnknown** manager) override;
    HRESULT VXAPI GetClassID(GUID* classId) override;
    HRESULT VXAPI GetMediaTypes(uint32_t* mediaTypes) override;
    HRESULT VXAPI GetClassFlags(uint32_t* flags) override;
    HRESULT VXAPI GetRenderFileClass(IVxRenderFileClass** out) override;
    HRESULT VXAPI GetInfoText(const uint32_t* ids, uint32_t count, BSTR* texts) override;
    HRESULT VXAPI CheckFileHeader(HANDLE file, const uint8_t* head, uint32_t headBytes,
                                  uint32_t reserved) override;
    HRESULT VXAPI CheckFile(const char16_t* path) override;
    HRESULT VXAPI ReservedClass14(uint32_t value) override;
    HRESULT VXAPI OpenReadFile(IVxReadFile** out, uint32_t reserved1, uint32_t reserved2,
                               const char16_t* path, BOOL openNow) override;
    HRESULT VXAPI QueryReady() override;
    HRESULT VXAPI ShowAbout(HWND parent) override;
    HRESULT VXAPI GetPluginStatus(HRESULT* status, BSTR* text) override;

    ~CVxStillReadFileClass() override = default;

    // Called by the class factory right after construction; a failure destroys the object.
    HRESULT InitClass() override;
    // The format's open-file object, constructed with owner and reference count 0; null when
    // memory is out.
    virtual CVxStillReadFile* CreateReadFile(CVxStillReadFileClass* owner) = 0;

    const VXREADFILECLASSRECORD& Record() const { return m_record; }

protected:
    // Stores the manager without the language switch of SetFileIOManager.
    void StoreFileIOManager(IUnknown* manager) { m_link.manager = manager; }

private:
    VxFileClassLink m_link{0xFFFFFFFFu};
    const VXREADFILECLASSRECORD m_record;
};

// A reader class object whose class flag word belongs to its format, module-wide: every
// construction ORs the record's class flags into `flags`, GetClassFlags answers that word, and
// SetFileIOManager only stores the manager (the bitmap and TARGA readers).
class CVxFormatFlagsReadFileClass : public CVxStillReadFileClass {
public:
    CVxFormatFlagsReadFileClass(const VXREADFILECLASSRECORD& record, std::atomic<uint32_t>& flags);

    HRESULT VXAPI GetClassFlags(uint32_t* flags) override;
    HRESULT VXAPI SetFileIOManager(IUnknown* manager) override;

private:
    std::atomic<uint32_t>& m_formatFlags;
};
