// The metadata object of an open still file: summary fields and media-manager properties read
// from the sidecar beside the image, handed to the host field by field or as list streams.
#pragma once

#include "../plugin/contracts/VxInterfaces.h"
#include "../plugin/contracts/VxRecords.h"
#include "../plugin/ComObject.h"

struct tVXLIST;
class CVxSharedList;
class CVxSummaryStream;
class CVxMediaMgrStream;

// The open file owns and destroys this object. Its references are forwarded to the file and
// Release never frees it (CVxComChild). It has no lock: the file's host calls come from one
// thread at a time; the lists themselves are thread-safe.
class CVxStillReadMeta : public CVxComChild<IVxReadFile, IVxReadMeta, IVxReadMediaMgrMeta> {
public:
    explicit CVxStillReadMeta(IVxReadFile* owner);
    ~CVxStillReadMeta() override;

    // IUnknown: both interfaces share one count, forwarded to the owning file.
    HRESULT VXAPI QueryInterface(REFIID iid, void** out) override;

    // IVxReadMeta
    HRESULT VXAPI ReservedMeta3(uint32_t value) override;
    HRESULT VXAPI ReservedMeta4(uint32_t value) override;
    HRESULT VXAPI ReservedMeta5(uint32_t value) override;
    HRESULT VXAPI GetSummaryText(uint32_t id, char16_t* buf, int32_t bufChars) override;
    HRESULT VXAPI GetSummaryStream(IStream** out) override;

    // IVxReadMediaMgrMeta
    HRESULT VXAPI GetMediaMgrStream(IStream** out) override;
    HRESULT VXAPI GetMediaMgrInfo(VXMEDIAMGRINFO* out) override;

    // Builds the summary list from the sidecar. An override calls this first, then adds its
    // own records to GetSummaryList(). Every path of this class goes through the virtual slot.
    virtual HRESULT LoadSummary();

    // The summary list (a thread-safe heap list of summary records); null until LoadSummary
    // has made it.
    tVXLIST* GetSummaryList() const;

    // Drops every list and stream; the next request reads the sidecar again. The owning file
    // calls it on Close; the destructor calls it too.
    void Reset();

protected:
    // Fills the property list from the sidecar once; shared by both media-manager calls.
    HRESULT LoadMediaMgr();

    // Summary and property lists are shared with the streams made over them, so a stream the
    // host keeps after Reset or after this object died still reads a live list.
    tVXLIST* m_extraLists[2] = {nullptr, nullptr};  // never filled here; Reset deletes them
    CVxSharedList* m_summaryList = nullptr;
    CVxSummaryStream* m_summaryStream = nullptr;      // one reference held
    CVxMediaMgrStream* m_mediaMgrStream = nullptr;    // one reference held
    CVxSharedList* m_propertyList = nullptr;
    VXMEDIAMGRINFO m_mediaMgrInfo = {};
    uint32_t m_mediaMgrFound = 0;
};
