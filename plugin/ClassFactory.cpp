// The class factory: makes reader and renderer class objects and the plug-in information object.
#include "ClassFactory.h"

#include "PluginInfo.h"

#include <atomic>

namespace {

// Changed by LockServer only. The module never asks to be unloaded, so the count has no effect.
std::atomic<int32_t> g_lockCount = 0;

HRESULT CreateReader(VxReadFileClassCreator create, void** out)
{
    if (!create)
        return E_NOINTERFACE;
    CVxReadFileClassBase* object = create();
    if (!object)
        return E_OUTOFMEMORY;
    HRESULT hr = object->InitClass();
    if (SUCCEEDED(hr))
        hr = object->QueryInterface(IID_IVxReadFileClass, out);  // count 0 -> 1
    if (FAILED(hr))
        delete object;  // still count 0: nobody else holds it
    return hr;
}

HRESULT CreateRenderer(VxRenderFileClassCreator create, void** out)
{
    if (!create)
        return E_NOINTERFACE;
    IVxRenderFileClass* object = create();
    if (!object)
        return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(IID_IVxRenderFileClass, out);
    object->Release();  // the creator's reference; on failure this destroys the object
    return hr;
}

}  // namespace

HRESULT VxClassRow_CreateInstance(const VxClassRow& row, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == IID_IVxReadFileClass)
        return CreateReader(row.createReader, out);
    if (iid == IID_IVxRenderFileClass)
        return CreateRenderer(row.createRenderer, out);
    return E_NOINTERFACE;
}

HRESULT VXAPI CClassFactory::QueryInterface(REFIID iid, void** out)
{
    return VxQueryInterface<IClassFactory>(this, iid, out);
}

// The outer object is ignored: no class of the module is aggregated through the factory.
HRESULT VXAPI CClassFactory::CreateInstance(IUnknown* /*outer*/, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;

    // Every row is visited; plug-in CLSIDs are unique, so at most one matches.
    HRESULT result = E_NOINTERFACE;
    for (const VxClassRow& row : kVxClassTable)
        if (m_clsid == *row.pluginClsid)
            result = VxClassRow_CreateInstance(row, iid, out);
    if (result != E_NOINTERFACE)
        return result;

    if (m_clsid == *kVxDibClasses.pluginClsid)
        return VxClassRow_CreateInstance(kVxDibClasses, iid, out);
    if (m_clsid == *kVxTgaClasses.pluginClsid)
        return VxClassRow_CreateInstance(kVxTgaClasses, iid, out);
    if (m_clsid == CLSID_VxPluginInfo && (iid == IID_IVxUnsharedFIOPluginInfo || iid == IID_IUnknown))
        return CVxUnsharedFIOPluginInfo::CreateInstance(iid, out);
    return E_NOINTERFACE;
}

HRESULT VXAPI CClassFactory::LockServer(BOOL lock)
{
    if (lock)
        ++g_lockCount;
    else
        --g_lockCount;
    return S_OK;
}

int32_t CClassFactory::LockCount()
{
    return g_lockCount.load();
}
