// Loading the module and resolving its exports (the SysAllocString family from OleAut32 on
// Windows, where the module does not export it).
#include "Module.h"

#include "System.h"
#include "Text.h"

#include <type_traits>

std::string CVxHostModule::DefaultPath()
{
    const std::string directory = VxHostSystem_ProgramDirectory();
    const std::string name = VxHostSystem_ModuleFileName();
    return directory.empty() ? name : directory + "/" + name;
}

bool CVxHostModule::Load(const std::string& path, std::string& error)
{
    m_path = path;
    std::string reason;
    m_handle = VxHostSystem_LoadLibrary(path, reason);
    if (!m_handle) {
        error = "cannot load module " + path + ": " + (reason.empty() ? "unknown reason" : reason);
        return false;
    }
    void* strings = VxHostSystem_StringLibrary(m_handle, reason);
    if (!strings) {
        error = reason;
        return false;
    }
    // Each export is stored through its own pointer type: the look-up gives a data pointer.
    const auto resolve = [&](void* library, const char* name, auto& function) {
        void* symbol = VxHostSystem_Symbol(library, name);
        if (!symbol) {
            error = "module " + path + " does not export " + name;
            return false;
        }
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(symbol);
        return true;
    };
    return resolve(m_handle, "DllGetClassObject", m_getClassObject) &&
           resolve(m_handle, "DllCanUnloadNow", m_canUnloadNow) &&
           resolve(m_handle, "DllInitClasses", m_initClasses) &&
           resolve(m_handle, "StillsBufferPool_Create", m_createPool) &&
           resolve(strings, "SysAllocString", m_allocString) &&
           resolve(strings, "SysAllocStringLen", m_allocStringLen) &&
           resolve(strings, "SysStringLen", m_stringLen) &&
           resolve(strings, "SysFreeString", m_freeString);
}

HRESULT CVxHostModule::GetClassFactory(const GUID& clsid, CVxComPtr<IClassFactory>& factory) const
{
    return m_getClassObject(clsid, IID_IClassFactory, factory.OutVoid());
}

void CVxHostModule::FreeString(BSTR text) const
{
    if (text && m_freeString)
        m_freeString(text);
}

uint32_t CVxHostModule::StringLength(BSTR text) const
{
    return text && m_stringLen ? m_stringLen(text) : 0;
}

std::string CVxHostBstr::Utf8() const
{
    if (!m_text)
        return {};
    return VxHost_ToUtf8(std::u16string_view(m_text, m_module->StringLength(m_text)));
}
