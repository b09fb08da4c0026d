// Loads the EXR wrapper component from the module's own directory and counts its uses.
#include "ExrComponent.h"

#include "../platform/VxLibraryFile.h"
#include "../platform/VxWin32.h"
#include "Module.h"
#include "contracts/VxResults.h"

#include <mutex>
#include <string>

namespace {

constexpr const char16_t* kComponentFile = VX_LIBRARY_FILE("OpenExr");

// One lock over the load state: information objects and EXR reader classes take and drop
// uses from any thread, and a load racing an unload must not leave a stale handle.
std::mutex g_lock;
HMODULE g_component = nullptr;  // set exactly while loaded
bool g_attempted = false;       // a load was tried; cleared when the last use is dropped
int32_t g_uses = 0;
VxExrExports g_exports = {};

template <class Function>
void LookUp(Function& function, const char* name)
{
    function = reinterpret_cast<Function>(GetProcAddress(g_component, name));
}

void LookUpExports()
{
    LookUp(g_exports.OpenFile, "OPENEXR_OpenFile");
    LookUp(g_exports.SetSeek, "OPENEXR_SetSeek");
    LookUp(g_exports.Read, "OPENEXR_Read");
    LookUp(g_exports.GetDataWindow, "OPENEXR_GetDataWindow");
    LookUp(g_exports.ReadPixels, "OPENEXR_ReadPixels");
    LookUp(g_exports.CloseFile, "OPENEXR_CloseFile");
    LookUp(g_exports.IsComplete, "OPENEXR_IsComplete");
    LookUp(g_exports.VxSaveDiskExrDib, "OPENEXR_VxSaveDiskExrDib");
}

// The first load tries once; a component that was missing then is not looked for again until
// every use has been dropped. Building the path is the only step that can throw (out of memory).
HRESULT FirstLoad()
{
    g_attempted = true;
    try {
        if (VxModule_Path().empty())
            return VXE_FILE_OPEN;  // the module could not find itself, so neither its component
        const std::u16string path = VxModule_Directory() + kComponentFile;
        // Linux has no activation contexts; the altered search path lets the component find
        // its own dependencies beside it on Windows.
        g_component = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    } catch (...) {
        return E_UNEXPECTED;
    }
    if (!g_component)
        return VXE_FILE_OPEN;
    LookUpExports();  // a missing export stays null and makes its callers fail
    g_uses = 1;
    return S_OK;
}

}  // namespace

HRESULT VxExr_Load()
{
    std::lock_guard lock(g_lock);
    if (!g_attempted)
        return FirstLoad();
    if (!g_component)
        return VXE_FILE_OPEN;
    ++g_uses;
    return S_OK;
}

void VxExr_Unload()
{
    std::lock_guard lock(g_lock);
    if (!g_component || --g_uses > 0)
        return;
    FreeLibrary(g_component);
    g_component = nullptr;
    g_exports = {};
    g_attempted = false;  // the next load tries again
    g_uses = 0;
}

bool VxExr_IsAvailable()
{
    std::lock_guard lock(g_lock);
    return g_component != nullptr;
}

const VxExrExports* VxExr_Exports()
{
    std::lock_guard lock(g_lock);
    return g_component ? &g_exports : nullptr;
}
