// The metadata object of an open still file.
#include "StillReadMeta.h"

#include "../support/Sidecar.h"
#include "../support/VxList.h"
#include "ListStream.h"

#include <algorithm>
#include <cstring>

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

HRESULT VXAPI CVxStillReadMeta::GetSummaryText(uint32_t id, char16_t* buf, int32_t bufChars)
{
    if (buf && bufChars > 0)
        buf[0] = 0;
    if (!m_summaryList && (FAILED(LoadSummary()) || !m_summaryList))
        return VXE_NOT_FOUND;
    tVXLIST* list = m_summaryList->List();
    const int32_t count = VxList_GetCount(list);
    for (int32_t i = 0; i < count; ++i) {
        const auto* record = static_cast<const uint8_t*>(VxList_GetItem(list, i));
        const size_t size = VxList_AllocSize(list, i);
        VXSUMMARYRECORD head;
        if (!record || size < sizeof head)
            continue;
        std::memcpy(&head, record, sizeof head);
        if (head.fieldCode != id)
            continue;
        if (bufChars < 1)
            return S_OK;
        if (!buf)
            return E_POINTER;
        // The text is cut to the buffer and to the record; it ends at its own terminator.
        const size_t dataBytes = head.headerSize <= size ? std::min<size_t>(head.dataBytes, size - head.headerSize) : 0;
        const size_t chars = std::min<size_t>(dataBytes / sizeof(char16_t), size_t(bufChars) - 1);
        if (chars)
            std::memcpy(buf, record + head.headerSize, chars * sizeof(char16_t));
        buf[chars] = 0;
        return S_OK;
    }
    return VXE_SUMMARY_ITEM_MISSING;
}

HRESULT VXAPI CVxStillReadMeta::GetSummaryStream(IStream** out)
{
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    if (!m_summaryList) {
        const HRESULT hr = LoadSummary();
        if (FAILED(hr) && !m_summaryStream)
            return hr;
    }
    if (!m_summaryStream && m_summaryList) {
        m_summaryStream = new CVxSummaryStream(m_summaryList);
        if (!m_summaryStream)
            return E_OUTOFMEMORY;
        m_summaryStream->AddRef();
    }
    if (!m_summaryStream)
        return VXE_NOT_FOUND;
    // One stream for every caller: its read position is shared.
    return m_summaryStream->QueryInterface(IID_IStream, reinterpret_cast<void**>(out));
}

HRESULT VXAPI CVxStillReadMeta::GetMediaMgrStream(IStream** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    const HRESULT hr = LoadMediaMgr();
    if (!m_mediaMgrFound)
        return S_FALSE;
    if (SUCCEEDED(hr) && !m_mediaMgrStream) {
        m_mediaMgrStream = new CVxMediaMgrStream(m_propertyList);
        if (!m_mediaMgrStream)
            return E_OUTOFMEMORY;
        m_mediaMgrStream->AddRef();
    }
    if (m_mediaMgrStream)
        m_mediaMgrStream->QueryInterface(IID_IStream, reinterpret_cast<void**>(out));
    return S_OK;
}

HRESULT VXAPI CVxStillReadMeta::GetMediaMgrInfo(VXMEDIAMGRINFO* out)
{
    if (!out)
        return E_POINTER;
    VX_RETURN_IF_FAILED(LoadMediaMgr());
    if (!m_mediaMgrFound)
        return S_FALSE;
    *out = m_mediaMgrInfo;
    return S_OK;
}

tVXLIST* CVxStillReadMeta::GetSummaryList() const
{
    return m_summaryList ? m_summaryList->List() : nullptr;
}

// A missing or unreadable sidecar is no error: the summary list then stays empty.
HRESULT CVxStillReadMeta::LoadSummary()
{
    if (m_summaryList)
        return S_OK;
    char16_t name[kVxSidecarPathChars] = {};
    VX_RETURN_IF_FAILED(m_owner->GetFileName(name, kVxSidecarPathChars));
    VX_RETURN_IF_FAILED(CVxSharedList::Create(&m_summaryList));
    HANDLE sidecar = INVALID_HANDLE_VALUE;
    if (SUCCEEDED(VxFMMeta_OpenMetaFile(name, &sidecar))) {
        CVxHandle file(sidecar);
        VxFMMeta_fillSummaryFromFileEx(file.Get(), m_summaryList->List(), nullptr);
    }
    return S_OK;
}

// Without a sidecar nothing is kept, so every call looks for one again.
HRESULT CVxStillReadMeta::LoadMediaMgr()
{
    if (m_propertyList)
        return S_OK;
    char16_t name[kVxSidecarPathChars] = {};
    VX_RETURN_IF_FAILED(m_owner->GetFileName(name, kVxSidecarPathChars));
    HANDLE sidecar = INVALID_HANDLE_VALUE;
    VX_RETURN_IF_FAILED(VxFMMeta_OpenMetaFile(name, &sidecar));
    CVxHandle file(sidecar);
    VX_RETURN_IF_FAILED(CVxSharedList::Create(&m_propertyList));
    return MediaMgrRiff_LoadPropertyInfo(file.Get(), &m_mediaMgrInfo, m_propertyList->List(), &m_mediaMgrFound);
}

void CVxStillReadMeta::Reset()
{
    for (tVXLIST*& list : m_extraLists) {
        if (list) {
            VxList_DeleteList(list, 0, -1, TRUE);
            VxList_Destroy(std::exchange(list, nullptr));
        }
    }
    if (m_summaryList) {
        if (m_summaryStream)
            std::exchange(m_summaryStream, nullptr)->Release();
        std::exchange(m_summaryList, nullptr)->Release();
    }
    if (m_propertyList) {
        if (m_mediaMgrStream)
            std::exchange(m_mediaMgrStream, nullptr)->Release();
        std::exchange(m_propertyList, nullptr)->Release();
    }
    m_mediaMgrInfo = {};
    m_mediaMgrFound = 0;
}
