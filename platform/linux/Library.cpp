// Libraries. An HMODULE is a load base, as on Win32: what LoadLibraryExW returns and what
// VxPlatform_ModuleOfAddress finds for an address are the same kind of value, and both work
// with GetProcAddress and GetModuleFileNameW. Libraries this layer loaded are kept in a
// registry with their dlopen handles and load counts; FreeLibrary accepts only those.
#include "../Internal.h"
#include "../VxStr.h"

#include <dlfcn.h>
#include <link.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <mutex>
#include <new>
#include <unordered_map>

namespace {

struct LoadedLibrary {
    void* handle = nullptr;
    uint32_t loads = 0;
};

struct LibraryRegistry {
    std::mutex lock;
    std::unordered_map<HMODULE, LoadedLibrary> libraries;
};

// Never destroyed: libraries may still be freed while the module's statics are torn down. It
// is built in the module's own storage, and the table gives its memory back whenever it
// empties, so an unloaded module leaves nothing of it on the heap.
LibraryRegistry& Registry()
{
    alignas(LibraryRegistry) static unsigned char storage[sizeof(LibraryRegistry)];
    static LibraryRegistry* const registry = new (storage) LibraryRegistry;
    return *registry;
}

void* RegisteredHandle(HMODULE module)
{
    LibraryRegistry& registry = Registry();
    std::lock_guard lock(registry.lock);
    const auto found = registry.libraries.find(module);
    return found != registry.libraries.end() ? found->second.handle : nullptr;
}

// The load base of a dlopen handle: the start of the object that holds its dynamic section.
HMODULE BaseOfHandle(void* handle)
{
    struct link_map* map = nullptr;
    Dl_info info;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !dladdr(map->l_ld, &info))
        return nullptr;
    return info.dli_fbase;
}

struct ObjectSearch {
    const void* base;
    std::string name;
    bool found;
};

// The start of an object's first loaded page, which is what dladdr reports as its base.
int VisitObject(struct dl_phdr_info* info, size_t, void* data)
{
    auto* search = static_cast<ObjectSearch*>(data);
    const uintptr_t pageMask = ~(uintptr_t(sysconf(_SC_PAGESIZE)) - 1);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        if (info->dlpi_phdr[i].p_type != PT_LOAD)
            continue;
        const uintptr_t start = (info->dlpi_addr + info->dlpi_phdr[i].p_vaddr) & pageMask;
        if (reinterpret_cast<const void*>(start) != search->base)
            return 0;
        search->name = info->dlpi_name ? info->dlpi_name : "";
        search->found = true;
        return 1;
    }
    return 0;
}

// The file of the object loaded at base (null: the program), as an absolute path.
bool ObjectPath(HMODULE module, std::string* path)
{
    ObjectSearch search{module, {}, false};
    try {
        if (!module)
            search.found = true;  // the program: its name below
        else
            dl_iterate_phdr(VisitObject, &search);
        if (!search.found)
            return false;
        char resolved[PATH_MAX];
        if (search.name.empty()) {
            const ssize_t length = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
            if (length <= 0)
                return false;
            path->assign(resolved, size_t(length));
        } else if (search.name[0] != '/' && realpath(search.name.c_str(), resolved)) {
            path->assign(resolved);
        } else {
            *path = search.name;
        }
        return true;
    } catch (...) {
        return false;
    }
}

// The load base of the program itself.
HMODULE ProgramBase()
{
    void* program = dlopen(nullptr, RTLD_NOW);
    const HMODULE base = program ? BaseOfHandle(program) : nullptr;
    if (program)
        dlclose(program);
    return base;
}

}  // namespace

HMODULE VxPlatform_ModuleOfAddress(const void* address)
{
    Dl_info info;
    if (!address || !dladdr(address, &info))
        return nullptr;
    return info.dli_fbase;
}

// Loads with every symbol bound now and kept local to the library. A path with a slash is
// loaded from exactly there, so the altered search path changes nothing; a bare name is
// looked up the system's way.
extern "C" HMODULE LoadLibraryExW(const char16_t* path, HANDLE file, DWORD flags)
{
    if (file || (flags & ~LOAD_WITH_ALTERED_SEARCH_PATH) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string name;
    if (!VxPath_ToUtf8(path, &name))
        return nullptr;
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    const HMODULE base = handle ? BaseOfHandle(handle) : nullptr;
    if (!base) {
        if (handle)
            dlclose(handle);
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    LibraryRegistry& registry = Registry();
    try {
        std::lock_guard lock(registry.lock);
        LoadedLibrary& loaded = registry.libraries[base];
        loaded.handle = handle;
        ++loaded.loads;
    } catch (...) {
        dlclose(handle);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return base;
}

// A name below 0x10000 is a Win32 export ordinal, which an ELF object does not have. For a
// module that this layer did not load (the module itself, found by address) the symbol is
// looked up through a temporary reference, which keeps it loaded during the look-up.
extern "C" void* GetProcAddress(HMODULE module, const char* name)
{
    if (!module || !name) {
        SetLastError(!module ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (uintptr_t(name) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* address = nullptr;
    if (void* loaded = RegisteredHandle(module)) {
        address = dlsym(loaded, name);
    } else {
        std::string path;
        void* pinned = nullptr;
        if (module == ProgramBase())
            pinned = dlopen(nullptr, RTLD_NOW);  // the program is known by no file name
        else if (ObjectPath(module, &path))
            pinned = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!pinned) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        address = dlsym(pinned, name);
        dlclose(pinned);
    }
    if (!address)
        SetLastError(ERROR_PROC_NOT_FOUND);
    return address;
}

extern "C" BOOL FreeLibrary(HMODULE module)
{
    void* handle = nullptr;
    {
        LibraryRegistry& registry = Registry();
        std::lock_guard lock(registry.lock);
        const auto found = registry.libraries.find(module);
        if (found == registry.libraries.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        handle = found->second.handle;
        if (--found->second.loads == 0) {
            registry.libraries.erase(found);
            if (registry.libraries.empty())
                decltype(registry.libraries)().swap(registry.libraries);
        }
    }
    // Unloaded outside the lock: the library's finalisers may call back into this layer.
    dlclose(handle);
    return TRUE;
}

// Null names the program. A path longer than the buffer is cut, terminated, and answered
// with the buffer size and ERROR_INSUFFICIENT_BUFFER (Win32 semantics).
extern "C" DWORD GetModuleFileNameW(HMODULE module, char16_t* path, DWORD chars)
{
    if (!path && chars > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string name;
    std::u16string wide;
    try {
        if (!ObjectPath(module, &name)) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        wide = VxStr_FromUtf8(name);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (chars == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const size_t copied = VxStr_CopyTruncated(path, chars, wide.c_str());
    if (copied < wide.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return chars;
    }
    SetLastError(ERROR_SUCCESS);
    return DWORD(copied);
}
