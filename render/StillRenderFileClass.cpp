// The generic renderer class object of the still formats.
#include "StillRenderFileClass.h"

#include "../framework/VideoFormat.h"
#include "../plugin/Language.h"
#include "../plugin/Module.h"
#include "RenderTemplate.h"
#include "StillRenderFile.h"

namespace {

constexpr uint32_t kTemplateKindNone = 2;  // GetTemplateData: no template data of this kind
constexpr uint32_t kTemplateInfoFlags = 2;

const char16_t kEmptyText[] = u"";

}  // namespace

CVxStillRenderFileClass::CVxStillRenderFileClass(const VXRENDERFILECLASSRECORD& record)
    : m_record(record)
{
    m_refCount = 1;
}

HRESULT VXAPI CVxStillRenderFileClass::QueryInterface(REFIID iid, void** out)
{
    return VxQueryInterface<IVxRenderFileClass, IVxRenderMetaSupport, IVxRenderMetaSupport2>(this, iid, out);
}

HRESULT VXAPI CVxStillRenderFileClass::SetClassIndex(uint32_t value)
{
    return m_link.SetClassIndex(value);
}

HRESULT VXAPI CVxStillRenderFileClass::GetClassIndex(uint32_t* value)
{
    return m_link.GetClassIndex(value);
}

HRESULT VXAPI CVxStillRenderFileClass::SetFileIOManager(IUnknown* manager)
{
    return m_link.SetFileIOManager(manager);
}

HRESULT VXAPI CVxStillRenderFileClass::GetFileIOManager(IUnknown** manager)
{
    return m_link.GetFileIOManager(manager);
}

HRESULT VXAPI CVxStillRenderFileClass::GetClassID(GUID* classId)
{
    if (!classId)
        return E_POINTER;
    *classId = m_record.rendererClassId;
    return S_OK;
}

HRESULT VXAPI CVxStillRenderFileClass::GetMediaTypes(uint32_t* mediaTypes)
{
    if (!mediaTypes)
        return E_POINTER;
    *mediaTypes = 0;
    return S_OK;
}

HRESULT VXAPI CVxStillRenderFileClass::GetClassFlags(uint32_t* flags)
{
    if (!flags)
        return E_POINTER;
    *flags = kVxRenderClassFlags;
    return S_OK;
}

HRESULT VXAPI CVxStillRenderFileClass::GetReadFileClass(IVxReadFileClass** out)
{
    if (!m_link.manager)
        return E_NOINTERFACE;
    const GUID readerClassId = m_record.readerClassId;
    return static_cast<IVxFileIOManager*>(m_link.manager)->GetReadFileClass(out, &readerClassId);
}

HRESULT VXAPI CVxStillRenderFileClass::GetInfoText(const uint32_t* ids, uint32_t count, BSTR* texts)
{
    const FILECLASS_INFO_STRING_MAP map[] = {
        {1, reinterpret_cast<uintptr_t>(u"Still")},
        {2, reinterpret_cast<uintptr_t>(u"Still Image")},
        {3, reinterpret_cast<uintptr_t>(kEmptyText)},
        {4, reinterpret_cast<uintptr_t>(kEmptyText)},
        {5, reinterpret_cast<uintptr_t>(kEmptyText)},
        {6, reinterpret_cast<uintptr_t>(kEmptyText)},
        {7, reinterpret_cast<uintptr_t>(kEmptyText)},
    };
    return VxFio_FillBstrArrayFromStringResourceMap(VxModule_Language(), ids, count, texts, map,
                                                    uint32_t(std::size(map)), u"");
}

HRESULT VXAPI CVxStillRenderFileClass::ReservedRender12(uint32_t, uint32_t, uint32_t)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillRenderFileClass::CreateRenderFile(IVxRenderFile** out, const char16_t* path,
                                                        uint32_t, uint32_t, const VXTEMPLATExV2* tmpl)
{
    if (!out)
        return E_OUTOFMEMORY;
    *out = nullptr;
    CVxStillRenderFile* file = nullptr;
    VX_RETURN_IF_FAILED(CVxStillRenderFile::Create(this, tmpl, &file));
    HRESULT hr = file->SetFileName(path);
    if (SUCCEEDED(hr))
        hr = file->QueryInterface(IID_IVxRenderFile, reinterpret_cast<void**>(out));
    file->Release();  // the construction reference: the caller's, when given, is the only one
    return hr;
}

HRESULT VXAPI CVxStillRenderFileClass::ReservedRender14(uint32_t* out)
{
    if (out)
        *out = 0;
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillRenderFileClass::ReservedRender15(uint32_t, uint32_t)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillRenderFileClass::ReservedRender16(uint32_t, uint32_t* out)
{
    if (out)
        *out = 0xFFFFFFFFu;
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillRenderFileClass::ReservedRender17(uint32_t, uint32_t, uint32_t* out)
{
    if (out)
        *out = 0;
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillRenderFileClass::ReservedRender18(uint32_t* out, uint32_t, uint32_t)
{
    if (!out)
        return E_POINTER;
    *out = 0;
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillRenderFileClass::GetTemplateData(void** out, uint32_t, uint32_t, int32_t kind)
{
    if (kind == int32_t(kTemplateKindNone))
        return S_FALSE;
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillRenderFileClass::GetTemplateInfo(const VXTEMPLATExV2* tmpl, char16_t* buf,
                                                       uint32_t bufChars, int32_t kind)
{
    return VxFio_GetTemplateInfo(tmpl, kTemplateInfoFlags, buf, bufChars, kind);
}

HRESULT VXAPI CVxStillRenderFileClass::GetRenderLimits(uint32_t* a, uint32_t* b, uint32_t* c)
{
    for (uint32_t* out : {a, b, c})
        if (out)
            *out = 0;
    return S_OK;
}

HRESULT VXAPI CVxStillRenderFileClass::ReservedRender22(uint32_t, uint32_t* out)
{
    if (out)
        *out = 0;
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillRenderFileClass::ReservedRender23(uint32_t)
{
    return S_FALSE;
}

HRESULT VXAPI CVxStillRenderFileClass::ReservedRender24()
{
    return S_FALSE;
}

HRESULT VXAPI CVxStillRenderFileClass::ShowAbout(HWND)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillRenderFileClass::GetPluginStatus(HRESULT*, BSTR*)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillRenderFileClass::BeginMetaSupport()
{
    return S_OK;
}

HRESULT VXAPI CVxStillRenderFileClass::SupportsMetaType(uint32_t, uint32_t)
{
    return S_FALSE;
}

HRESULT VXAPI CVxStillRenderFileClass::GetMetaTypes(uint32_t* a, uint32_t* b)
{
    if (a)
        *a = 0;
    if (b)
        *b = kVxRenderMetaKinds;
    return S_OK;
}
