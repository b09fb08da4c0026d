// The loaded plug-in module: dlopen or LoadLibrary, the exported entry points of the binary contract, and
// class objects made through DllGetClassObject -> IClassFactory::CreateInstance. The host
// reaches the module through nothing else.
#pragma once

#include "../plugin/contracts/VxComPtr.h"
#include "../plugin/contracts/VxExports.h"

#include <string>

class CVxHostModule {
public:
    CVxHostModule() = default;
    CVxHostModule(const CVxHostModule&) = delete;
    CVxHostModule& operator=(const CVxHostModule&) = delete;
    // The module stays loaded until the process ends: it never agrees to be unloaded
    // (DllCanUnloadNow), and its objects may be released as late as static destruction.
    ~CVxHostModule() = default;

    // vxstills.so (vxstills.dll) in the directory of the running vxhost binary.
    static std::string DefaultPath();

    // Loads the module and resolves every export; false with a message when the file cannot
    // be loaded or lacks an export.
    bool Load(const std::string& path, std::string& error);
    const std::string& Path() const { return m_path; }

    HRESULT GetClassFactory(const GUID& clsid, CVxComPtr<IClassFactory>& factory) const;
    // The object of clsid asked for Interface through the module's class factory.
    template <class Interface>
    HRESULT CreateInstance(const GUID& clsid, CVxComPtr<Interface>& out) const
    {
        CVxComPtr<IClassFactory> factory;
        VX_RETURN_IF_FAILED(GetClassFactory(clsid, factory));
        return factory->CreateInstance(nullptr, VxIidOf<Interface>(), out.OutVoid());
    }

    // Strings the module hands out are freed with the module's own allocator.
    void FreeString(BSTR text) const;
    uint32_t StringLength(BSTR text) const;

private:
    std::string m_path;
    void* m_handle = nullptr;
    PFN_DllGetClassObject m_getClassObject = nullptr;
    PFN_DllCanUnloadNow m_canUnloadNow = nullptr;
    PFN_DllInitClasses m_initClasses = nullptr;
    PFN_StillsBufferPool_Create m_createPool = nullptr;
    PFN_SysAllocString m_allocString = nullptr;
    PFN_SysAllocStringLen m_allocStringLen = nullptr;
    PFN_SysStringLen m_stringLen = nullptr;
    PFN_SysFreeString m_freeString = nullptr;
};

// Owner of one BSTR handed out by the module: freed with the module's SysFreeString.
class CVxHostBstr {
public:
    explicit CVxHostBstr(const CVxHostModule& module) : m_module(&module) {}
    CVxHostBstr(const CVxHostBstr&) = delete;
    CVxHostBstr& operator=(const CVxHostBstr&) = delete;
    ~CVxHostBstr() { m_module->FreeString(m_text); }

    BSTR* operator&() { return &m_text; }
    BSTR Get() const { return m_text; }
    // UTF-8 text of the string (empty for null), embedded characters up to its length.
    std::string Utf8() const;

private:
    const CVxHostModule* m_module;
    BSTR m_text = nullptr;
};
