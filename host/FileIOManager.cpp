// The host's file-I/O manager object.
#include "FileIOManager.h"

#include "Text.h"

#include <atomic>

CVxHostFileIOManager::CVxHostFileIOManager(const CVxHostModule& module, uint32_t language)
    : m_module(module), m_language(language)
{
}

CVxHostFileIOManager::~CVxHostFileIOManager()
{
    // Class objects first (they point at the manager), then the information object.
    m_plugins.clear();
    m_pluginInfo.Reset();
}

HRESULT CVxHostFileIOManager::LoadPlugins(const char*& method)
{
    method = "CreateInstance";
    VX_RETURN_IF_FAILED(m_module.CreateInstance(CLSID_VxPluginInfo, m_pluginInfo));
    method = "Initialize";
    VX_RETURN_IF_FAILED(m_pluginInfo->Initialize(0, 0, 0));
    method = "GetPluginCount";
    uint32_t count = 0;
    VX_RETURN_IF_FAILED(m_pluginInfo->GetPluginCount(&count));
    // The table has five or six rows; anything far beyond that is a broken module.
    constexpr uint32_t kMaxPlugins = 64;
    if (count > kMaxPlugins)
        return E_UNEXPECTED;

    method = "GetPluginInfo";
    m_plugins.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        VxHostPlugin& plugin = m_plugins[i];
        plugin.index = i;
        constexpr int32_t kNameChars = 260;
        char16_t name[kNameChars] = {};
        VX_RETURN_IF_FAILED(m_pluginInfo->GetPluginInfo(int32_t(i), &plugin.clsid, name, kNameChars,
                                                        &plugin.kindFlags, &plugin.mediaTypes, 0, 0,
                                                        0, 0, 0, &plugin.extra));
        plugin.name = VxHost_BufferToUtf8(name, kNameChars);
    }
    for (VxHostPlugin& plugin : m_plugins)
        MakeClassObjects(plugin);
    return S_OK;
}

void CVxHostFileIOManager::MakeClassObjects(VxHostPlugin& plugin)
{
    // As a host does: the class object gets the manager (and with it the language) and its
    // index, and tells its class ID, through which the other class object finds it.
    plugin.readerResult = m_module.CreateInstance(plugin.clsid, plugin.reader);
    if (SUCCEEDED(plugin.readerResult) && plugin.reader) {
        plugin.reader->SetFileIOManager(this);
        plugin.reader->SetClassIndex(plugin.index);
        plugin.readerResult = plugin.reader->GetClassID(&plugin.readerClassId);
        if (FAILED(plugin.readerResult))
            plugin.reader.Reset();
    } else if (SUCCEEDED(plugin.readerResult)) {
        plugin.readerResult = E_POINTER;
    }

    plugin.rendererResult = m_module.CreateInstance(plugin.clsid, plugin.renderer);
    if (SUCCEEDED(plugin.rendererResult) && plugin.renderer) {
        plugin.renderer->SetFileIOManager(this);
        plugin.renderer->SetClassIndex(plugin.index);
        plugin.rendererResult = plugin.renderer->GetClassID(&plugin.rendererClassId);
        if (FAILED(plugin.rendererResult))
            plugin.renderer.Reset();
    } else if (SUCCEEDED(plugin.rendererResult)) {
        plugin.rendererResult = E_POINTER;
    }
}

HRESULT CVxHostFileIOManager::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!(iid == IID_IUnknown))
        return E_NOINTERFACE;
    *out = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
}

ULONG CVxHostFileIOManager::AddRef()
{
    return ULONG(++m_refCount);
}

ULONG CVxHostFileIOManager::Release()
{
    return ULONG(--m_refCount);
}

HRESULT CVxHostFileIOManager::GetLanguage(uint32_t* languageId, uint32_t)
{
    if (!languageId)
        return E_POINTER;
    *languageId = m_language;
    return S_OK;
}

// A class ID that no plug-in's class object reports answers "The item was not found.".
HRESULT CVxHostFileIOManager::GetReadFileClass(IVxReadFileClass** out, const GUID* readerClassId)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!readerClassId)
        return E_INVALIDARG;
    for (const VxHostPlugin& plugin : m_plugins) {
        if (plugin.reader && plugin.readerClassId == *readerClassId) {
            plugin.reader->AddRef();
            *out = plugin.reader.Get();
            return S_OK;
        }
    }
    return VXE_NOT_FOUND;
}

HRESULT CVxHostFileIOManager::GetRenderFileClass(IVxRenderFileClass** out,
                                                 const GUID* rendererClassId)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!rendererClassId)
        return E_INVALIDARG;
    for (const VxHostPlugin& plugin : m_plugins) {
        if (plugin.renderer && plugin.rendererClassId == *rendererClassId) {
            plugin.renderer->AddRef();
            *out = plugin.renderer.Get();
            return S_OK;
        }
    }
    return VXE_NOT_FOUND;
}
