// The host's file-I/O manager: the object the module's class objects talk to. It reports the
// user's language and finds the reader or renderer class object of a format by its class ID.
// It also holds the plug-in table and the class objects the host made from it.
#pragma once

#include "Module.h"

#include <atomic>
#include <string>
#include <vector>

// One row of the module's plug-in table and the two class objects made for it.
struct VxHostPlugin {
    uint32_t index = 0;
    GUID clsid = {};
    std::string name;
    uint32_t kindFlags = 0;
    uint32_t mediaTypes = 0;
    uint32_t extra = 0;

    CVxComPtr<IVxReadFileClass> reader;   // null when it could not be made
    HRESULT readerResult = E_FAIL;        // result of making it
    GUID readerClassId = {};              // GetClassID of the reader, when made

    CVxComPtr<IVxRenderFileClass> renderer;
    HRESULT rendererResult = E_FAIL;
    GUID rendererClassId = {};
};

class CVxHostFileIOManager final : public IVxFileIOManager {
public:
    CVxHostFileIOManager(const CVxHostModule& module, uint32_t language);
    CVxHostFileIOManager(const CVxHostFileIOManager&) = delete;
    CVxHostFileIOManager& operator=(const CVxHostFileIOManager&) = delete;
    ~CVxHostFileIOManager();

    // Reads the plug-in table through the plug-in information object and makes each plug-in's
    // reader and renderer class objects (a class object that cannot be made is recorded with
    // its result, not a failure). On failure, method names the call that failed.
    HRESULT LoadPlugins(const char*& method);
    const std::vector<VxHostPlugin>& Plugins() const { return m_plugins; }
    uint32_t Language() const { return m_language; }
    const CVxHostModule& Module() const { return m_module; }

    // IUnknown. The host owns the manager: the count is kept for the module's sake, but the
    // manager outlives every class object and is never deleted through Release.
    HRESULT VXAPI QueryInterface(REFIID iid, void** out) override;
    ULONG VXAPI AddRef() override;
    ULONG VXAPI Release() override;

    HRESULT VXAPI GetLanguage(uint32_t* languageId, uint32_t reserved) override;
    HRESULT VXAPI HostReserved4() override { return E_NOTIMPL; }
    HRESULT VXAPI HostReserved5() override { return E_NOTIMPL; }
    HRESULT VXAPI HostReserved6() override { return E_NOTIMPL; }
    HRESULT VXAPI HostReserved7() override { return E_NOTIMPL; }
    HRESULT VXAPI HostReserved8() override { return E_NOTIMPL; }
    HRESULT VXAPI HostReserved9() override { return E_NOTIMPL; }
    HRESULT VXAPI HostReserved10() override { return E_NOTIMPL; }
    HRESULT VXAPI HostReserved11() override { return E_NOTIMPL; }
    HRESULT VXAPI HostReserved12() override { return E_NOTIMPL; }
    HRESULT VXAPI HostReserved13() override { return E_NOTIMPL; }
    HRESULT VXAPI GetReadFileClass(IVxReadFileClass** out, const GUID* readerClassId) override;
    HRESULT VXAPI GetRenderFileClass(IVxRenderFileClass** out, const GUID* rendererClassId) override;

private:
    void MakeClassObjects(VxHostPlugin& plugin);

    const CVxHostModule& m_module;
    const uint32_t m_language;
    std::atomic<int32_t> m_refCount = 0;
    CVxComPtr<IVxUnsharedFIOPluginInfo> m_pluginInfo;  // held for the session: it keeps the
                                                       // optional EXR component loaded
    std::vector<VxHostPlugin> m_plugins;
};
