// The host's system calls on Windows.
#include "../System.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <filesystem>
#include <io.h>
#include <stdio.h>

namespace {

std::string MessageOf(DWORD error)
{
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length && text ? std::string(text, length) : "error " + std::to_string(error);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}

// Paths arrive as UTF-8 on the command line's terms.
std::wstring Wide(const std::string& text)
{
    return std::filesystem::u8path(text).wstring();
}

}  // namespace

const char* VxHostSystem_ModuleFileName()
{
    return "vxstills.dll";
}

std::string VxHostSystem_ProgramDirectory()
{
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, DWORD(std::size(path)));
    if (length == 0 || length >= std::size(path))
        return {};
    const std::u8string directory = std::filesystem::path(path).parent_path().u8string();
    return std::string(directory.begin(), directory.end());
}

void* VxHostSystem_LoadLibrary(const std::string& path, std::string& error)
{
    // A path with a directory loads that file and finds its dependencies beside it.
    HMODULE library = LoadLibraryExW(Wide(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!library)
        error = MessageOf(GetLastError());
    return reinterpret_cast<void*>(library);
}

void* VxHostSystem_Symbol(void* library, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void* VxHostSystem_StringLibrary(void* /*module*/, std::string& error)
{
    HMODULE library = LoadLibraryW(L"oleaut32.dll");
    if (!library)
        error = "oleaut32.dll: " + MessageOf(GetLastError());
    return reinterpret_cast<void*>(library);
}

bool VxHostSystem_OpenRead(const std::string& path, void*& file, std::string& error)
{
    HANDLE handle = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = MessageOf(GetLastError());
        return false;
    }
    file = handle;
    return true;
}

int64_t VxHostSystem_ReadHead(void* file, uint8_t* buffer, size_t bytes, std::string& error)
{
    OVERLAPPED at = {};  // offset 0, leaves the file pointer where it is
    DWORD count = 0;
    if (!ReadFile(static_cast<HANDLE>(file), buffer, DWORD(bytes), &count, &at) &&
        GetLastError() != ERROR_HANDLE_EOF) {
        error = MessageOf(GetLastError());
        return -1;
    }
    return count;
}

void VxHostSystem_Close(void* file)
{
    CloseHandle(static_cast<HANDLE>(file));
}

bool VxHostSystem_StandardErrorIsTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}

uint32_t VxHostSystem_ProcessId()
{
    return GetCurrentProcessId();
}
