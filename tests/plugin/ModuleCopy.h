// A private copy of the built module in a fresh folder, loaded the way a host loads it, with or
// without the stand-in EXR component beside it. Each copy is a file of its own, so the loader
// maps it separately, with its own module state, from every other copy and from this program.
#pragma once

#include "plugin/contracts/VxComPtr.h"
#include "plugin/contracts/VxExports.h"
#include "tests/common/VxTest.h"

#include <dlfcn.h>

#include <filesystem>
#include <string>

// The entry points of the module's objects linked into the test program itself.
extern "C" {
HRESULT VXAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out);
HRESULT VXAPI DllCanUnloadNow();
HRESULT VXAPI DllInitClasses(uint32_t value);
}

class CVxModuleCopy {
public:
    enum class Component { Missing, Beside };

    explicit CVxModuleCopy(Component component) : m_folder(m_dir.Root())
    {
        if (m_dir.Root().empty())
            return;
        std::error_code error;  // a failed copy shows as dlopen's error
        std::filesystem::copy_file(std::filesystem::path(VxTest_BuildDir()) / "vxstills.so", ModulePath(), error);
        if (component == Component::Beside)
            std::filesystem::copy_file(TestComponent(), ComponentPath(), error);
        m_handle = dlopen(ModulePath().c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!m_handle)
            m_error = dlerror();
    }
    CVxModuleCopy(const CVxModuleCopy&) = delete;
    CVxModuleCopy& operator=(const CVxModuleCopy&) = delete;
    ~CVxModuleCopy()
    {
        if (m_handle)
            dlclose(m_handle);
    }

    // The stand-in component the tests put beside module copies.
    static std::filesystem::path TestComponent()
    {
        return std::filesystem::path(VxTest_BuildDir()) / "testcomponent" / "OpenExr.so";
    }

    void* Handle() const { return m_handle; }
    const std::string& Error() const { return m_error; }
    std::filesystem::path ModulePath() const { return m_folder / "vxstills.so"; }
    std::filesystem::path ComponentPath() const { return m_folder / "OpenExr.so"; }

    template <class Function>
    Function Symbol(const char* name) const
    {
        return m_handle ? reinterpret_cast<Function>(dlsym(m_handle, name)) : nullptr;
    }

    // What a host does: DllGetClassObject for the information CLSID, then CreateInstance.
    HRESULT CreatePluginInfo(CVxComPtr<IVxUnsharedFIOPluginInfo>& info) const
    {
        const auto getClassObject = Symbol<PFN_DllGetClassObject>("DllGetClassObject");
        if (!getClassObject)
            return E_FAIL;
        CVxComPtr<IClassFactory> factory;
        VX_RETURN_IF_FAILED(getClassObject(CLSID_VxPluginInfo, IID_IClassFactory, factory.OutVoid()));
        return factory->CreateInstance(nullptr, IID_IVxUnsharedFIOPluginInfo, info.OutVoid());
    }

    // Whether this copy's component is mapped into the process now.
    bool ComponentLoaded() const
    {
        void* handle = dlopen(ComponentPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (handle)
            dlclose(handle);
        return handle != nullptr;
    }

private:
    CVxTempDir m_dir;
    std::filesystem::path m_folder;
    void* m_handle = nullptr;
    std::string m_error;
};
