// The generic reader class object of the still formats.
#include "ReadFileClass.h"

#include "../platform/VxStr.h"
#include "../plugin/Language.h"
#include "../plugin/Module.h"
#include "StillReadFile.h"
#include "VideoFormat.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kStringPluginSuffix = 451;  // " File Format Plug-In"
constexpr uint32_t kStringMakerPrefix = 452;   // "Corvane "

constexpr uint32_t kOpenFlags = 32;  // the flags every caller passes to Open

const char16_t kEmptyText[] = u"";

void WriteUtf16Line(const char16_t* text)
{
    const std::string line = VxStr_ToUtf8(text ? text : u"");
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace

HRESULT VxStill_ShowAboutBox(uint32_t nameStringId)
{
    // Without a window system the About box's contents go to standard error as text.
    const VXLANG* language = VxModule_Language();
    std::u16string title = VxLang_LoadString(language, kStringMakerPrefix);
    title += VxLang_LoadString(language, nameStringId);
    title += VxLang_LoadString(language, kStringPluginSuffix);
    WriteUtf16Line(title.c_str());
    WriteUtf16Line(u"Copyright (C) Corvane. All rights reserved.");
    WriteUtf16Line(u"This software is protected by copyright law and international treaties.");
    WriteUtf16Line(u"Version 10.0 (Build 108)");
    WriteUtf16Line(VxModule_Path().c_str());
    WriteUtf16Line(u"www.corvane.com");
    return S_OK;
}

CVxStillReadFileClass::CVxStillReadFileClass(const VXREADFILECLASSRECORD& record) : m_record(record) {}

HRESULT VXAPI CVxStillReadFileClass::QueryInterface(REFIID iid, void** out)
{
    return VxQueryInterface<IVxReadFileClass>(this, iid, out);
}

HRESULT VXAPI CVxStillReadFileClass::SetClassIndex(uint32_t value)
{
    return m_link.SetClassIndex(value);
}

HRESULT VXAPI CVxStillReadFileClass::GetClassIndex(uint32_t* value)
{
    return m_link.GetClassIndex(value);
}

HRESULT VXAPI CVxStillReadFileClass::SetFileIOManager(IUnknown* manager)
{
    return m_link.SetFileIOManager(manager);
}

HRESULT VXAPI CVxStillReadFileClass::GetFileIOManager(IUnknown** manager)
{
    return m_link.GetFileIOManager(manager);
}

HRESULT VXAPI CVxStillReadFileClass::GetClassID(GUID* classId)
{
    if (!classId)
        return E_POINTER;
    *classId = m_record.readerClassId;
    return S_OK;
}

HRESULT VXAPI CVxStillReadFileClass::GetMediaTypes(uint32_t* mediaTypes)
{
    if (!mediaTypes)
        return E_POINTER;
    *mediaTypes = m_record.mediaTypes;
    return S_OK;
}

HRESULT VXAPI CVxStillReadFileClass::GetClassFlags(uint32_t* flags)
{
    if (!flags)
        return E_POINTER;
    *flags = m_record.classFlags;
    return S_OK;
}

HRESULT VXAPI CVxStillReadFileClass::GetRenderFileClass(IVxRenderFileClass** out)
{
    if (!out)
        return E_POINTER;
    if (!m_link.manager)
        return VXE_NOT_FOUND;
    const GUID rendererClassId = m_record.rendererClassId;
    const HRESULT hr = static_cast<IVxFileIOManager*>(m_link.manager)->GetRenderFileClass(out, &rendererClassId);
    if (FAILED(hr))
        *out = nullptr;
    return hr;
}

HRESULT VXAPI CVxStillReadFileClass::GetInfoText(const uint32_t* ids, uint32_t count, BSTR* texts)
{
    const FILECLASS_INFO_STRING_MAP map[] = {
        {1, reinterpret_cast<uintptr_t>(m_record.shortName)},
        {2, reinterpret_cast<uintptr_t>(m_record.description)},
        {3, reinterpret_cast<uintptr_t>(kEmptyText)},
        {4, reinterpret_cast<uintptr_t>(m_record.extensions)},
        {5, m_record.nameStringId},
        {6, m_record.openStringId},
        {7, reinterpret_cast<uintptr_t>(kEmptyText)},
    };
    return VxFio_FillBstrArrayFromStringResourceMap(VxModule_Language(), ids, count, texts, map,
                                                    uint32_t(std::size(map)), u"");
}

HRESULT VXAPI CVxStillReadFileClass::CheckFileHeader(HANDLE, const uint8_t*, uint32_t, uint32_t)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillReadFileClass::CheckFile(const char16_t* path)
{
    // A file is of this format exactly when the format's open path succeeds on it.
    CVxStillReadFile* file = CreateReadFile(this);
    if (!file)
        return E_OUTOFMEMORY;
    HRESULT hr = file->SetFileName(path);
    if (SUCCEEDED(hr)) {
        hr = file->Open(0, kOpenFlags);
        if (SUCCEEDED(hr))
            file->Close();
    }
    delete file;  // it never had a reference
    return hr;
}

HRESULT VXAPI CVxStillReadFileClass::ReservedClass14(uint32_t)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillReadFileClass::OpenReadFile(IVxReadFile** out, uint32_t, uint32_t,
                                                  const char16_t* path, BOOL openNow)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    CVxStillReadFile* file = CreateReadFile(this);
    if (!file)
        return E_OUTOFMEMORY;
    HRESULT hr = file->QueryInterface(IID_IVxReadFile, reinterpret_cast<void**>(out));
    if (FAILED(hr)) {
        delete file;
        return hr;
    }
    (*out)->SetFileName(path);  // a bad name shows at Open
    if (!openNow)
        return S_OK;
    hr = (*out)->Open(0, kOpenFlags);
    if (FAILED(hr)) {
        (*out)->Release();
        *out = nullptr;
    }
    return hr;
}

HRESULT VXAPI CVxStillReadFileClass::QueryReady()
{
    return S_OK;
}

HRESULT VXAPI CVxStillReadFileClass::ShowAbout(HWND)
{
    return VxStill_ShowAboutBox(m_record.nameStringId);
}

HRESULT VXAPI CVxStillReadFileClass::GetPluginStatus(HRESULT*, BSTR*)
{
    return E_NOTIMPL;  // the class is always usable; nothing is written
}

HRESULT CVxStillReadFileClass::InitClass()
{
    return S_OK;
}

CVxFormatFlagsReadFileClass::CVxFormatFlagsReadFileClass(const VXREADFILECLASSRECORD& record,
                                                         std::atomic<uint32_t>& flags)
    : CVxStillReadFileClass(record), m_formatFlags(flags)
{
    m_formatFlags |= record.classFlags;
}

HRESULT VXAPI CVxFormatFlagsReadFileClass::GetClassFlags(uint32_t* flags)
{
    if (!flags)
        return E_POINTER;
    *flags = m_formatFlags;
    return S_OK;
}

HRESULT VXAPI CVxFormatFlagsReadFileClass::SetFileIOManager(IUnknown* manager)
{
    StoreFileIOManager(manager);
    return S_OK;
}
