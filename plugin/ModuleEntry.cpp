// Module entry: process attach and detach, the module-wide state, the exported entry points.
// Attach and detach run from DllMain on Windows, from the module's ELF constructor and
// destructor on Linux.
#include "Module.h"

#include "../framework/BufferPool.h"
#include "../platform/VxStr.h"
#include "../platform/VxWin32.h"
#include "ClassFactory.h"
#include "Language.h"
#include "contracts/VxExports.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

#include <filesystem>
#include <string>
#include <type_traits>
#include <utility>

namespace {

// Module state. Written only by attach and detach, which the loader serialises against every
// other call into the module. All of it is constant-initialised, so attach does not depend on
// the order in which the module's static initialisers run.
HINSTANCE g_instance = nullptr;
VXLANG* g_language = nullptr;
IUnknown* g_poolUnknown = nullptr;
IVxBufferPool* g_pool = nullptr;
// The module file's absolute path, taken on attach: a relative load path only means something
// against the working directory of that moment.
constexpr size_t kPathChars = 4096;
char16_t g_path[kPathChars] = {};

// Starting and stopping the maker's general library. On Linux its only state is the string
// table, which VxLang_Open and VxLang_Close look after, so both are trivial.
HRESULT VxKernel_EarlyInitialize(HINSTANCE /*module*/, uint32_t /*reserved*/)
{
    return S_OK;
}

HRESULT VxKernel_LateTerminate(HINSTANCE /*module*/, uint32_t /*reserved*/)
{
    return S_OK;
}

#if defined(_WIN32)
// The loader's own record of the module's file, always a full path.
std::u16string FindModulePath()
{
    std::u16string path(kPathChars, u'\0');
    const DWORD length = GetModuleFileNameW(g_instance, path.data(), DWORD(path.size()));
    if (length == 0 || length >= path.size())
        return {};
    path.resize(length);
    return path;
}
#else
// dladdr names the file as the loader was given it, made absolute here. For a program that
// links the module's objects itself (the tests) it gives argv[0], which may be a bare name
// found on PATH: the kernel's link to the program is used then.
std::u16string FindModulePath()
{
    Dl_info info = {};
    std::string path;
    if (dladdr(reinterpret_cast<const void*>(&FindModulePath), &info) && info.dli_fname)
        path = info.dli_fname;
    if (path.find('/') == std::string::npos) {
        std::error_code error;
        path = std::filesystem::read_symlink("/proc/self/exe", error).string();
    }
    if (path.empty())
        return {};
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (!error)
        path = absolute.lexically_normal().string();
    return VxStr_FromUtf8(path);
}
#endif

// A path that does not fit, or no memory to find it with, leaves the path empty: the module
// then works without its EXR component.
void RecordModulePath()
{
    g_path[0] = 0;
    try {
        const std::u16string path = FindModulePath();
        if (path.size() < kPathChars)
            VxStr_CopyTruncated(g_path, kPathChars, path.c_str());
    } catch (...) {
    }
}

// Each step that fails ends the attach; the module stays loaded and later objects run without
// a language (texts empty) or without a pool (opening a file fails).
void ProcessAttach(HINSTANCE instance)
{
    g_instance = instance;
    g_language = nullptr;
    g_poolUnknown = nullptr;
    g_pool = nullptr;
    RecordModulePath();

    if (FAILED(VxKernel_EarlyInitialize(instance, 0)))
        return;
    VXLANG* language = nullptr;
    if (FAILED(VxLang_Open(&language, instance, 0, 0)))
        return;
    g_language = language;

    VxBufferPool_Start(&g_poolUnknown, &g_pool);  // StillsBufferPool_Create, then IVxBufferPool
#if defined(_WIN32)
    DisableThreadLibraryCalls(instance);  // the module keeps no per-thread state
#endif
}

// At process exit this runs after the static destructors of the module, so nothing released
// here may depend on an object with a destructor.
void ProcessDetach()
{
    VxBufferPool_Stop(&g_poolUnknown, &g_pool);  // the pool interface first, then its unknown
    if (VXLANG* language = std::exchange(g_language, nullptr))
        VxLang_Close(language);
    VxKernel_LateTerminate(g_instance, 0);
    g_instance = nullptr;
}

#if !defined(_WIN32)
__attribute__((constructor)) void OnModuleLoad()
{
    ProcessAttach(VxPlatform_ModuleOfAddress(reinterpret_cast<const void*>(&OnModuleLoad)));
}

__attribute__((destructor)) void OnModuleUnload()
{
    ProcessDetach();
}
#endif

}  // namespace

#if defined(_WIN32)
namespace {

// A program that links the module's objects itself (the tests) gets no DllMain call: there
// attach runs as the program starts and detach as it ends. In the DLL, DllMain does both.
struct CProgramEntry {
    bool attached = false;
    CProgramEntry()
    {
        const HMODULE self = VxPlatform_ModuleOfAddress(reinterpret_cast<const void*>(&FindModulePath));
        if (self && self == GetModuleHandleW(nullptr)) {
            ProcessAttach(self);
            attached = true;
        }
    }
    ~CProgramEntry()
    {
        if (attached)
            ProcessDetach();
    }
} g_programEntry;

}  // namespace

// The loader's notifications. At process exit (reserved non-null) the process is going away
// and other threads are gone: detach still releases the pool and the language table, which
// hold nothing outside the process.
extern "C" BOOL __stdcall DllMain(HINSTANCE instance, DWORD reason, void* /*reserved*/)
{
    constexpr DWORD kProcessDetach = 0, kProcessAttach = 1;
    if (reason == kProcessAttach)
        ProcessAttach(instance);
    else if (reason == kProcessDetach)
        ProcessDetach();
    return TRUE;
}
#endif

HINSTANCE VxModule_Instance()
{
    return g_instance;
}

IVxBufferPool* VxModule_Pool()
{
    return g_pool;
}

VXLANG* VxModule_Language()
{
    return g_language;
}

std::u16string VxModule_Path()
{
    return g_path;
}

std::u16string VxModule_Directory()
{
    const std::u16string path = g_path;
    const size_t separator = path.find_last_of(u"/\\");
    return separator == std::u16string::npos ? std::u16string() : path.substr(0, separator);
}

// The class identifier is not checked here: a factory for an unknown CLSID answers
// E_NOINTERFACE from CreateInstance.
extern "C" VX_EXPORT HRESULT VXAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!(iid == IID_IUnknown || iid == IID_IClassFactory))
        return E_NOINTERFACE;
    CClassFactory* factory = new CClassFactory(clsid);
    if (!factory)
        return E_OUTOFMEMORY;
    return factory->QueryInterface(iid, out);  // count 0 -> 1
}

extern "C" VX_EXPORT HRESULT VXAPI DllCanUnloadNow()
{
    return S_FALSE;  // the module never asks to be unloaded
}

extern "C" VX_EXPORT HRESULT VXAPI DllInitClasses(uint32_t /*value*/)
{
    return S_OK;
}

static_assert(std::is_same_v<decltype(&DllGetClassObject), PFN_DllGetClassObject>);
static_assert(std::is_same_v<decltype(&DllCanUnloadNow), PFN_DllCanUnloadNow>);
static_assert(std::is_same_v<decltype(&DllInitClasses), PFN_DllInitClasses>);
