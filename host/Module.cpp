// Loading the module and resolving its exports.
#include "Module.h"

#include "Text.h"

#include <dlfcn.h>
#include <filesystem>
#include <system_error>
#include <type_traits>

std::string CVxHostModule::DefaultPath()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return "vxstills.so";
    return (self.parent_path() / "vxstills.so").string();
}

bool CVxHostModule::Load(const std::string& path, std::string& error)
{
    m_path = path;
    // dlopen searches the library path for a bare name; a module is named by its file.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    m_handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* reason = dlerror();
        error = "cannot load module " + path + ": " + (reason ? reason : "unknown reason");
        return false;
    }
    // Each export is stored through its own pointer type: dlsym gives a data pointer.
    const auto resolve = [&](const char* name, auto& function) {
        void* symbol = dlsym(m_handle, name);
        if (!symbol) {
            error = "module " + path + " does not export " + name;
            return false;
        }
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(symbol);
        return true;
    };
    return resolve("DllGetClassObject", m_getClassObject) &&
           resolve("DllCanUnloadNow", m_canUnloadNow) && resolve("DllInitClasses", m_initClasses) &&
           resolve("StillsBufferPool_Create", m_createPool) &&
           resolve("SysAllocString", m_allocString) &&
           resolve("SysAllocStringLen", m_allocStringLen) &&
           resolve("SysStringLen", m_stringLen) && resolve("SysFreeString", m_freeString);
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
