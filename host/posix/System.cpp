// The host's system calls on Linux.
#include "../System.h"

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

const char* VxHostSystem_ModuleFileName()
{
    return "vxstills.so";
}

std::string VxHostSystem_ProgramDirectory()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.parent_path().string();
}

void* VxHostSystem_LoadLibrary(const std::string& path, std::string& error)
{
    // dlopen searches the library path for a bare name; a module is named by its file.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* reason = dlerror();
        error = reason ? reason : "unknown reason";
    }
    return library;
}

void* VxHostSystem_Symbol(void* library, const char* name)
{
    return dlsym(library, name);
}

void* VxHostSystem_StringLibrary(void* module, std::string& /*error*/)
{
    return module;
}

bool VxHostSystem_OpenRead(const std::string& path, void*& file, std::string& error)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    file = reinterpret_cast<void*>(intptr_t(fd));
    return true;
}

int64_t VxHostSystem_ReadHead(void* file, uint8_t* buffer, size_t bytes, std::string& error)
{
    ssize_t count = 0;
    do {
        count = pread(int(intptr_t(file)), buffer, bytes, 0);
    } while (count < 0 && errno == EINTR);
    if (count < 0)
        error = std::strerror(errno);
    return count;
}

void VxHostSystem_Close(void* file)
{
    close(int(intptr_t(file)));
}

std::string VxHostSystem_ErrorText(uint32_t error)
{
    return std::strerror(int(error));
}

bool VxHostSystem_StandardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

uint32_t VxHostSystem_ProcessId()
{
    return uint32_t(getpid());
}
