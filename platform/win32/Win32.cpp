// The Win32 subset on Windows: each VxWin32_<name> is the symbol that VxWin32.h binds <name>
// to, and passes the call to the system. Only the spelling of the types differs (char16_t
// for WCHAR, fixed-width integers for the Win32 ones): the values and their layout are the
// same, so every wrapper is a plain forward. This file sees <windows.h>; nothing else does.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <oleauto.h>

#include <cstdint>

namespace {

const wchar_t* Wide(const char16_t* text)
{
    return reinterpret_cast<const wchar_t*>(text);
}

wchar_t* Wide(char16_t* text)
{
    return reinterpret_cast<wchar_t*>(text);
}

}  // namespace

#define VX_FORWARD extern "C"

// Files.
VX_FORWARD HANDLE VxWin32_CreateFileW(const char16_t* path, DWORD access, DWORD share, void* security,
                                      DWORD disposition, DWORD flags, HANDLE templateFile)
{
    return CreateFileW(Wide(path), access, share, static_cast<SECURITY_ATTRIBUTES*>(security),
                       disposition, flags, templateFile);
}
VX_FORWARD BOOL VxWin32_ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* read, void* overlapped)
{
    return ReadFile(file, buffer, bytes, read, static_cast<OVERLAPPED*>(overlapped));
}
VX_FORWARD BOOL VxWin32_WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* written,
                                  void* overlapped)
{
    return WriteFile(file, buffer, bytes, written, static_cast<OVERLAPPED*>(overlapped));
}
VX_FORWARD DWORD VxWin32_SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method)
{
    return SetFilePointer(file, distance, distanceHigh, method);
}
VX_FORWARD DWORD VxWin32_GetFileSize(HANDLE file, DWORD* sizeHigh)
{
    return GetFileSize(file, sizeHigh);
}
VX_FORWARD BOOL VxWin32_GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess,
                                    FILETIME* lastWrite)
{
    return GetFileTime(file, creation, lastAccess, lastWrite);
}
VX_FORWARD BOOL VxWin32_SetEndOfFile(HANDLE file)
{
    return SetEndOfFile(file);
}
VX_FORWARD BOOL VxWin32_FlushFileBuffers(HANDLE file)
{
    return FlushFileBuffers(file);
}
VX_FORWARD BOOL VxWin32_DeleteFileW(const char16_t* path)
{
    return DeleteFileW(Wide(path));
}
VX_FORWARD BOOL VxWin32_MoveFileExW(const char16_t* from, const char16_t* to, DWORD flags)
{
    return MoveFileExW(Wide(from), Wide(to), flags);
}
VX_FORWARD DWORD VxWin32_GetFileAttributesW(const char16_t* path)
{
    return GetFileAttributesW(Wide(path));
}
VX_FORWARD BOOL VxWin32_CloseHandle(HANDLE handle)
{
    return CloseHandle(handle);
}

// Times.
VX_FORWARD LONG VxWin32_CompareFileTime(const FILETIME* a, const FILETIME* b)
{
    return CompareFileTime(a, b);
}
VX_FORWARD BOOL VxWin32_FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime)
{
    return FileTimeToSystemTime(fileTime, systemTime);
}
VX_FORWARD BOOL VxWin32_SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime)
{
    return SystemTimeToFileTime(systemTime, fileTime);
}
VX_FORWARD BOOL VxWin32_FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localTime)
{
    return FileTimeToLocalFileTime(fileTime, localTime);
}
VX_FORWARD BOOL VxWin32_LocalFileTimeToFileTime(const FILETIME* localTime, FILETIME* fileTime)
{
    return LocalFileTimeToFileTime(localTime, fileTime);
}
VX_FORWARD void VxWin32_GetSystemTime(SYSTEMTIME* systemTime)
{
    GetSystemTime(systemTime);
}
VX_FORWARD void VxWin32_GetSystemTimeAsFileTime(FILETIME* fileTime)
{
    GetSystemTimeAsFileTime(fileTime);
}
VX_FORWARD int VxWin32_SystemTimeToVariantTime(SYSTEMTIME* systemTime, DATE* variantTime)
{
    return SystemTimeToVariantTime(systemTime, variantTime);
}
VX_FORWARD int VxWin32_VariantTimeToSystemTime(DATE variantTime, SYSTEMTIME* systemTime)
{
    return VariantTimeToSystemTime(variantTime, systemTime);
}

// Global memory.
VX_FORWARD HGLOBAL VxWin32_GlobalAlloc(UINT flags, size_t bytes)
{
    return GlobalAlloc(flags, bytes);
}
VX_FORWARD HGLOBAL VxWin32_GlobalReAlloc(HGLOBAL block, size_t bytes, UINT flags)
{
    return GlobalReAlloc(block, bytes, flags);
}
VX_FORWARD void* VxWin32_GlobalLock(HGLOBAL block)
{
    return GlobalLock(block);
}
VX_FORWARD BOOL VxWin32_GlobalUnlock(HGLOBAL block)
{
    return GlobalUnlock(block);
}
VX_FORWARD HGLOBAL VxWin32_GlobalHandle(const void* pointer)
{
    return GlobalHandle(pointer);
}
VX_FORWARD HGLOBAL VxWin32_GlobalFree(HGLOBAL block)
{
    return GlobalFree(block);
}
VX_FORWARD size_t VxWin32_GlobalSize(HGLOBAL block)
{
    return GlobalSize(block);
}

// Synchronisation and identity. The module's LONG is int32_t, the system's long: both 32 bits.
VX_FORWARD HANDLE VxWin32_CreateMutexW(void* security, BOOL initialOwner, const char16_t* name)
{
    return CreateMutexW(static_cast<SECURITY_ATTRIBUTES*>(security), initialOwner, Wide(name));
}
VX_FORWARD DWORD VxWin32_WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    return WaitForSingleObject(handle, milliseconds);
}
VX_FORWARD BOOL VxWin32_ReleaseMutex(HANDLE mutex)
{
    return ReleaseMutex(mutex);
}
static_assert(sizeof(LONG) == sizeof(int32_t));
VX_FORWARD LONG VxWin32_InterlockedIncrement(volatile LONG* value)
{
    return InterlockedIncrement(value);
}
VX_FORWARD LONG VxWin32_InterlockedDecrement(volatile LONG* value)
{
    return InterlockedDecrement(value);
}
VX_FORWARD LONG VxWin32_InterlockedExchange(volatile LONG* target, LONG value)
{
    return InterlockedExchange(target, value);
}
VX_FORWARD LONG VxWin32_InterlockedCompareExchange(volatile LONG* target, LONG exchange, LONG comparand)
{
    return InterlockedCompareExchange(target, exchange, comparand);
}
VX_FORWARD LONG VxWin32_InterlockedExchangeAdd(volatile LONG* target, LONG value)
{
    return InterlockedExchangeAdd(target, value);
}
VX_FORWARD DWORD VxWin32_GetCurrentThreadId()
{
    return GetCurrentThreadId();
}
VX_FORWARD DWORD VxWin32_GetCurrentProcessId()
{
    return GetCurrentProcessId();
}
VX_FORWARD HANDLE VxWin32_GetCurrentProcess()
{
    return GetCurrentProcess();
}

// Text in the system's ANSI code page.
VX_FORWARD int VxWin32_MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes,
                                           char16_t* wide, int wideChars)
{
    return MultiByteToWideChar(codePage, flags, text, bytes, Wide(wide), wideChars);
}
VX_FORWARD int VxWin32_WideCharToMultiByte(UINT codePage, DWORD flags, const char16_t* wide,
                                           int wideChars, char* text, int bytes,
                                           const char* defaultChar, BOOL* usedDefault)
{
    return WideCharToMultiByte(codePage, flags, Wide(wide), wideChars, text, bytes, defaultChar,
                               usedDefault);
}

// Mappings, processes and their memory.
VX_FORWARD HANDLE VxWin32_CreateFileMappingW(HANDLE file, void* security, DWORD protect,
                                             DWORD sizeHigh, DWORD sizeLow, const char16_t* name)
{
    return CreateFileMappingW(file, static_cast<SECURITY_ATTRIBUTES*>(security), protect, sizeHigh,
                              sizeLow, Wide(name));
}
VX_FORWARD void* VxWin32_MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh,
                                       DWORD offsetLow, size_t bytes)
{
    return MapViewOfFile(mapping, access, offsetHigh, offsetLow, bytes);
}
VX_FORWARD BOOL VxWin32_UnmapViewOfFile(const void* view)
{
    return UnmapViewOfFile(view);
}
VX_FORWARD HANDLE VxWin32_OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId)
{
    return OpenProcess(access, inheritHandle, processId);
}
VX_FORWARD BOOL VxWin32_DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess,
                                        HANDLE* target, DWORD access, BOOL inheritHandle,
                                        DWORD options)
{
    return DuplicateHandle(sourceProcess, source, targetProcess, target, access, inheritHandle,
                           options);
}
VX_FORWARD BOOL VxWin32_ReadProcessMemory(HANDLE process, const void* base, void* buffer,
                                          size_t bytes, size_t* read)
{
    SIZE_T done = 0;
    const BOOL ok = ReadProcessMemory(process, base, buffer, bytes, &done);
    if (read)
        *read = done;
    return ok;
}
VX_FORWARD BOOL VxWin32_WriteProcessMemory(HANDLE process, void* base, const void* buffer,
                                           size_t bytes, size_t* written)
{
    SIZE_T done = 0;
    const BOOL ok = WriteProcessMemory(process, base, buffer, bytes, &done);
    if (written)
        *written = done;
    return ok;
}

// Libraries.
VX_FORWARD HMODULE VxWin32_LoadLibraryExW(const char16_t* path, HANDLE file, DWORD flags)
{
    return LoadLibraryExW(Wide(path), file, flags);
}
VX_FORWARD void* VxWin32_GetProcAddress(HMODULE module, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(module, name));
}
VX_FORWARD BOOL VxWin32_FreeLibrary(HMODULE module)
{
    return FreeLibrary(module);
}
VX_FORWARD DWORD VxWin32_GetModuleFileNameW(HMODULE module, char16_t* path, DWORD chars)
{
    return GetModuleFileNameW(module, Wide(path), chars);
}
VX_FORWARD BOOL VxWin32_DisableThreadLibraryCalls(HMODULE module)
{
    return DisableThreadLibraryCalls(module);
}
VX_FORWARD HMODULE VxWin32_GetModuleHandleW(const char16_t* name)
{
    return GetModuleHandleW(Wide(name));
}

// The module that holds an address, without taking a reference on it.
HMODULE VxPlatform_ModuleOfAddress(const void* address)
{
    HMODULE module = nullptr;
    if (!address || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                            GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                        static_cast<const wchar_t*>(address), &module))
        return nullptr;
    return module;
}

// Last error.
VX_FORWARD DWORD VxWin32_GetLastError()
{
    return GetLastError();
}
VX_FORWARD void VxWin32_SetLastError(DWORD error)
{
    SetLastError(error);
}

// Automation strings: OleAut32's, which module and host share.
VX_FORWARD BSTR VxWin32_SysAllocString(const char16_t* text)
{
    return SysAllocString(Wide(text));
}
VX_FORWARD BSTR VxWin32_SysAllocStringLen(const char16_t* text, UINT chars)
{
    return SysAllocStringLen(Wide(text), chars);
}
VX_FORWARD UINT VxWin32_SysStringLen(BSTR text)
{
    return SysStringLen(text);
}
VX_FORWARD void VxWin32_SysFreeString(BSTR text)
{
    SysFreeString(text);
}
