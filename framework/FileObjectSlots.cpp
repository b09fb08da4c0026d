#include "FileObjectSlots.h"

#include "../platform/VxStr.h"
#include "../plugin/Language.h"
#include "../plugin/Module.h"

HRESULT VxFileClassLink::SetClassIndex(uint32_t value)
{
    classIndex = value;
    return S_OK;
}

HRESULT VxFileClassLink::GetClassIndex(uint32_t* value) const
{
    if (!value)
        return E_POINTER;
    *value = classIndex;
    return S_OK;
}

HRESULT VxFileClassLink::SetFileIOManager(IUnknown* value)
{
    manager = value;
    if (value) {
        // The user's language, asked with the module's current one preset; a failure keeps it.
        VXLANG* language = VxModule_Language();
        uint32_t languageId = VxLang_GetLCID(language);
        if (SUCCEEDED(static_cast<IVxFileIOManager*>(value)->GetLanguage(&languageId, 0)))
            VxLang_UpdateKernelLCID(language, languageId, 1);
    }
    return S_OK;
}

HRESULT VxFileClassLink::GetFileIOManager(IUnknown** value) const
{
    if (!value)
        return E_POINTER;
    *value = manager;
    if (!manager)
        return E_NOINTERFACE;
    manager->AddRef();
    return S_OK;
}

HRESULT VxFile_SetFileName(char16_t* name, int32_t nameChars, const char16_t* path)
{
    if (!path)
        return E_POINTER;
    VxStr_CopyTruncated(name, nameChars, path);
    return S_OK;
}

HRESULT VxFile_GetFileName(const char16_t* name, char16_t* buf, int32_t bufChars)
{
    if (bufChars < 1)
        return S_OK;
    if (!buf)
        return E_POINTER;
    VxStr_CopyTruncated(buf, bufChars, name);
    return S_OK;
}
