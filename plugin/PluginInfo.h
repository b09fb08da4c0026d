// The plug-in information object: tells the host which plug-ins the module holds.
#pragma once

#include "ComObject.h"

// Written out by hand rather than on CVxComObject: every AddRef takes a use of the EXR
// component and every Release drops one, before the count changes, so the EXR plug-in is
// offered exactly while some information object (or EXR reader class) keeps the component in.
class CVxUnsharedFIOPluginInfo final : public IVxUnsharedFIOPluginInfo, public CVxGlobalObject {
public:
    // Makes an object and answers its QueryInterface (count 0 -> 1); E_OUTOFMEMORY when
    // memory is out. Nothing is left allocated on failure.
    static HRESULT CreateInstance(REFIID iid, void** out);

    HRESULT VXAPI QueryInterface(REFIID iid, void** out) override;
    ULONG VXAPI AddRef() override;
    ULONG VXAPI Release() override;
    HRESULT VXAPI Initialize(uint32_t a, uint32_t b, uint32_t c) override;
    HRESULT VXAPI GetPluginCount(uint32_t* count) override;
    HRESULT VXAPI GetPluginInfo(int32_t index, GUID* clsid, char16_t* name, int32_t nameChars,
                                uint32_t* kindFlags, uint32_t* mediaTypes, uint32_t r1,
                                uint32_t r2, uint32_t r3, uint32_t r4, uint32_t r5,
                                uint32_t* extra) override;

private:
    CVxUnsharedFIOPluginInfo() = default;
    ~CVxUnsharedFIOPluginInfo() = default;

    std::atomic<int32_t> m_refCount = 0;  // QueryInterface gives the first reference
};
