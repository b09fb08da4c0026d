// The render file of the still formats.
#include "StillRenderFile.h"

#include "../framework/FileObjectSlots.h"
#include "../platform/VxOwners.h"
#include "../platform/VxStr.h"
#include "../support/Sidecar.h"
#include "../support/VxList.h"
#include "RenderTemplate.h"
#include "StillRenderFileClass.h"

#include <cstring>
#include <utility>

namespace {

constexpr uint32_t kStreamListOptions = kVxListAnyThread;  // a list of pointers

}  // namespace

HRESULT CVxStillRenderFile::Create(CVxStillRenderFileClass* owner, const VXTEMPLATExV2* tmpl,
                                   CVxStillRenderFile** out)
{
    *out = nullptr;
    CVxStillRenderFile* file = new CVxStillRenderFile(owner);
    if (!file)
        return E_OUTOFMEMORY;
    const HRESULT hr = VxFio_SetTemplate(&file->m_template, tmpl, kVxTemplateCopy);
    if (FAILED(hr)) {
        file->Release();
        return hr;
    }
    *out = file;
    return S_OK;
}

CVxStillRenderFile::CVxStillRenderFile(CVxStillRenderFileClass* owner) : m_owner(owner)
{
    m_refCount = 1;
}

CVxStillRenderFile::~CVxStillRenderFile()
{
    VxFio_FreeTemplate(&m_template);
}

HRESULT VXAPI CVxStillRenderFile::QueryInterface(REFIID iid, void** out)
{
    return VxQueryInterface<IVxRenderFile>(this, iid, out);
}

ULONG VXAPI CVxStillRenderFile::Release()
{
    const int32_t count = --m_refCount;
    if (count == 0) {
        Close();
        VxList_Destroy(m_streams);
        m_streams = nullptr;
        delete this;
    }
    return ULONG(count);
}

HRESULT VXAPI CVxStillRenderFile::GetRenderFileClass(IVxRenderFileClass** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!m_owner)
        return E_NOTIMPL;
    return m_owner->QueryInterface(IID_IVxRenderFileClass, reinterpret_cast<void**>(out));
}

void CVxStillRenderFile::ReleaseStreams()
{
    // Each stream leaves the list before it is released, so a stream that calls back while
    // it dies finds the list without it.
    for (int32_t last = VxList_GetCount(m_streams) - 1; last >= 0; --last) {
        IUnknown* stream = static_cast<IUnknown*>(VxList_GetItem(m_streams, last));
        VxList_DeleteList(m_streams, last, 1, FALSE);
        if (stream)
            stream->Release();
    }
}

HRESULT VXAPI CVxStillRenderFile::Close()
{
    ReleaseStreams();
    m_streamCount = 0;
    if (IVxReadMeta* meta = std::exchange(m_meta, nullptr))
        meta->Release();
    VxGlobal_Free(std::exchange(m_formats, nullptr));
    m_formatCount = 0;
    m_open = FALSE;
    return S_OK;
}

HRESULT VXAPI CVxStillRenderFile::IsOpen()
{
    return m_open ? S_OK : S_FALSE;
}

HRESULT VXAPI CVxStillRenderFile::Open(uint32_t, uint32_t)
{
    m_open = TRUE;
    return S_OK;
}

HRESULT VXAPI CVxStillRenderFile::SetFileName(const char16_t* path)
{
    return VxFile_SetFileName(m_fileName, kVxRenderFileNameChars, path);
}

HRESULT VXAPI CVxStillRenderFile::GetFileName(char16_t* buf, int32_t bufChars)
{
    return VxFile_GetFileName(m_fileName, buf, bufChars);
}

HRESULT VXAPI CVxStillRenderFile::GetStreamCount(uint32_t* count)
{
    if (!count)
        return E_POINTER;
    *count = m_streamCount;
    return S_OK;
}

HRESULT VXAPI CVxStillRenderFile::GetStreamFormats(VXFILESTREAMFORMATINFOv2* formats, int32_t first,
                                                   int32_t count)
{
    if (first < 0 || count < 0 || uint32_t(first) >= m_formatCount ||
        uint32_t(count) > m_formatCount - uint32_t(first))
        return E_INVALIDARG;
    if (count == 0)
        return S_OK;
    if (!formats)
        return E_POINTER;
    std::memcpy(formats, m_formats + first, size_t(count) * sizeof(VXFILESTREAMFORMATINFOv2));
    return S_OK;
}

HRESULT VXAPI CVxStillRenderFile::SetStreamFormats(const VXFILESTREAMFORMATINFOv2* formats, uint32_t count)
{
    if (count > kVxRenderMaxStreamFormats)
        return E_INVALIDARG;
    if (count > 0 && !formats)
        return E_POINTER;
    VXFILESTREAMFORMATINFOv2* copy = nullptr;
    if (count > 0) {
        copy = static_cast<VXFILESTREAMFORMATINFOv2*>(
            VxGlobal_Alloc(size_t(count) * sizeof(VXFILESTREAMFORMATINFOv2)));
        if (!copy)
            return E_OUTOFMEMORY;
        std::memcpy(copy, formats, size_t(count) * sizeof(VXFILESTREAMFORMATINFOv2));
    }
    VxGlobal_Free(m_formats);
    m_formats = copy;
    m_formatCount = count;
    return S_OK;
}

HRESULT VXAPI CVxStillRenderFile::AddStream(IUnknown* source)
{
    if (!source)
        return E_POINTER;
    if (!m_streams)
        VX_RETURN_IF_FAILED(VxList_CreateExZ(&m_streams, sizeof(IUnknown*), -1, -1, kStreamListOptions));
    const HRESULT hr = VxList_InsertList(m_streams, -1, &source, 1);
    if (FAILED(hr))
        return hr;
    source->AddRef();
    ++m_streamCount;
    return hr;
}

HRESULT VXAPI CVxStillRenderFile::SetReadMeta(IVxReadMeta* meta)
{
    if (meta)
        meta->AddRef();
    if (IVxReadMeta* old = std::exchange(m_meta, meta))
        old->Release();
    return S_OK;
}

HRESULT VXAPI CVxStillRenderFile::ReservedRenderFile14(uint32_t, uint32_t)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillRenderFile::ReservedRenderFile15(uint32_t)
{
    return E_NOTIMPL;
}

HRESULT CVxStillRenderFile::WriteMetaWith(BOOL sidecarWanted, uint32_t target)
{
    VX_RETURN_IF_FAILED(VxFMMeta_openAndWriteMetaStreamEx(m_fileName, sidecarWanted,
                                                          reinterpret_cast<void*>(uintptr_t(target)),
                                                          m_meta, 0, kVxRenderMetaKinds));
    return MediaMgrRiff_openAndWriteInfo(m_fileName, m_meta, TRUE);
}

HRESULT VXAPI CVxStillRenderFile::WriteMeta(uint32_t)
{
    return WriteMetaWith(TRUE, 0);
}

HRESULT VXAPI CVxStillRenderFile::WriteMetaAt(uint32_t target, uint32_t)
{
    return WriteMetaWith(FALSE, target);
}
