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

std::string VxHostSystem_ErrorText(uint32_t error)
{
    std::string text = MessageOf(error);
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

bool VxHostSystem_StandardErrorIsTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}

uint32_t VxHostSystem_ProcessId()
{
    return GetCurrentProcessId();
}

bool VxHostSystem_StartChild(const std::string& program, const std::string& arguments,
                             VxHostChild& child, std::string& error)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE childIn = nullptr, toChild = nullptr, fromChild = nullptr, childOut = nullptr;
    if (!CreatePipe(&childIn, &toChild, &inherit, 0)) {
        error = "CreatePipe: " + MessageOf(GetLastError());
        return false;
    }
    if (!CreatePipe(&fromChild, &childOut, &inherit, 0)) {
        error = "CreatePipe: " + MessageOf(GetLastError());
        CloseHandle(childIn);
        CloseHandle(toChild);
        return false;
    }
    // Only the child's ends are inherited.
    SetHandleInformation(toChild, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(fromChild, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn;
    startup.hStdOutput = childOut;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info = {};
    std::wstring line = Wide(arguments);
    const BOOL started = CreateProcessW(Wide(program).c_str(), line.data(), nullptr, nullptr, TRUE,
                                        0, nullptr, nullptr, &startup, &info);
    CloseHandle(childIn);
    CloseHandle(childOut);
    if (!started) {
        error = "cannot start " + program + ": " + MessageOf(GetLastError());
        CloseHandle(toChild);
        CloseHandle(fromChild);
        return false;
    }
    CloseHandle(info.hThread);
    child.process = info.hProcess;
    child.toChild = toChild;
    child.fromChild = fromChild;
    child.id = info.dwProcessId;
    return true;
}

void VxHostSystem_EndChild(VxHostChild& child)
{
    for (void** pipe : {&child.toChild, &child.fromChild}) {
        if (*pipe)
            CloseHandle(static_cast<HANDLE>(*pipe));
        *pipe = nullptr;
    }
    if (child.process) {
        WaitForSingleObject(static_cast<HANDLE>(child.process), INFINITE);
        CloseHandle(static_cast<HANDLE>(child.process));
        child.process = nullptr;
    }
}

bool VxHostSystem_WriteAll(void* pipe, const void* data, size_t bytes)
{
    const auto* at = static_cast<const uint8_t*>(data);
    while (bytes > 0) {
        DWORD done = 0;
        const DWORD chunk = DWORD(bytes < (1u << 30) ? bytes : (1u << 30));
        if (!WriteFile(static_cast<HANDLE>(pipe), at, chunk, &done, nullptr) || done == 0)
            return false;
        at += done;
        bytes -= done;
    }
    return true;
}

bool VxHostSystem_ReadAll(void* pipe, void* data, size_t bytes)
{
    auto* at = static_cast<uint8_t*>(data);
    while (bytes > 0) {
        DWORD done = 0;
        const DWORD chunk = DWORD(bytes < (1u << 30) ? bytes : (1u << 30));
        if (!ReadFile(static_cast<HANDLE>(pipe), at, chunk, &done, nullptr) || done == 0)
            return false;
        at += done;
        bytes -= done;
    }
    return true;
}

void* VxHostSystem_StandardInput()
{
    return GetStdHandle(STD_INPUT_HANDLE);
}

void* VxHostSystem_StandardOutput()
{
    return GetStdHandle(STD_OUTPUT_HANDLE);
}

bool VxHostSystem_AllocateShared(bool mapping, size_t bytes, uint8_t*& data,
                                 uint64_t& mappingHandle, std::string& error)
{
    mappingHandle = ~uint64_t(0);
    if (!mapping) {
        data = static_cast<uint8_t*>(VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (!data)
            error = "VirtualAlloc: " + MessageOf(GetLastError());
        return data != nullptr;
    }
    const uint64_t size = bytes;
    HANDLE section = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                        DWORD(size >> 32), DWORD(size), nullptr);
    if (!section) {
        error = "CreateFileMappingW: " + MessageOf(GetLastError());
        return false;
    }
    data = static_cast<uint8_t*>(MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, bytes));
    if (!data) {
        error = "MapViewOfFile: " + MessageOf(GetLastError());
        CloseHandle(section);
        return false;
    }
    mappingHandle = uint64_t(int64_t(reinterpret_cast<intptr_t>(section)));  // sign-extended
    return true;
}
