// The metadata object of an open still file.
#include "StillReadMeta.h"

CVxStillReadMeta::CVxStillReadMeta(IVxReadFile* owner) : CVxComChild(owner) {}

CVxStillReadMeta::~CVxStillReadMeta()
{
    Reset();
}

HRESULT VXAPI CVxStillReadMeta::QueryInterface(REFIID iid, void** out)
{
    return VxQueryInterface<IVxReadMeta, IVxReadMediaMgrMeta>(this, iid, out);
}

HRESULT VXAPI CVxStillReadMeta::ReservedMeta3(uint32_t)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillReadMeta::ReservedMeta4(uint32_t)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillReadMeta::ReservedMeta5(uint32_t)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillReadMeta::GetSummaryText(uint32_t, char16_t* buf, int32_t bufChars)
{
    if (buf && bufChars > 0)
        buf[0] = 0;
    return VXE_SUMMARY_ITEM_MISSING;
}

HRESULT VXAPI CVxStillReadMeta::GetSummaryStream(IStream** out)
{
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillReadMeta::GetMediaMgrStream(IStream** out)
{
    if (out)
        *out = nullptr;
    return S_FALSE;
}

HRESULT VXAPI CVxStillReadMeta::GetMediaMgrInfo(VXMEDIAMGRINFO*)
{
    return E_FAIL;
}

HRESULT CVxStillReadMeta::LoadSummary()
{
    return S_OK;
}

HRESULT CVxStillReadMeta::LoadMediaMgr()
{
    return E_FAIL;
}

void CVxStillReadMeta::Reset() {}
