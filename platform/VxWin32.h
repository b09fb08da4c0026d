// The subset of Win32 that the module calls, under the Win32 names and signatures with the
// module's own types (char16_t text, fixed-width integers). On Windows each name is bound to
// a thin wrapper over the real call (platform/win32/), so nothing above this layer sees
// <windows.h>. On Linux:
// - a file, mapping or process HANDLE is a POSIX descriptor cast to a pointer (a process
//   handle is a pidfd); a mutex HANDLE is an object of this layer, told apart by CloseHandle;
// - paths are UTF-16 and converted to UTF-8; CP_ACP is Windows-1252;
// - GetLastError returns a Win32 error number set from errno by the failing call.
#pragma once

#include "../plugin/contracts/VxTypes.h"

// On Windows the declarations below name the wrappers in platform/win32/ (symbol
// VxWin32_<name>), which leaves the system's own symbol free for the wrapper to call.
#if defined(_WIN32) && defined(_WIN64)
#define VX_WIN32(name) __asm__("VxWin32_" #name)
#elif defined(_WIN32)
#define VX_WIN32(name) __asm__("_VxWin32_" #name)
#else
#define VX_WIN32(name)
#endif

// Access, sharing and creation of CreateFileW.
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD FILE_SHARE_READ = 1;
constexpr DWORD FILE_SHARE_WRITE = 2;
constexpr DWORD FILE_SHARE_DELETE = 4;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000u;
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFu;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 1;
constexpr DWORD MOVEFILE_WRITE_THROUGH = 8;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

extern "C" {
HANDLE CreateFileW(const char16_t* path, DWORD access, DWORD share, void* security,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile) VX_WIN32(CreateFileW);
BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* read, void* overlapped) VX_WIN32(ReadFile);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* written, void* overlapped) VX_WIN32(WriteFile);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) VX_WIN32(SetFilePointer);
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) VX_WIN32(GetFileSize);
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite) VX_WIN32(GetFileTime);
BOOL SetEndOfFile(HANDLE file) VX_WIN32(SetEndOfFile);
BOOL FlushFileBuffers(HANDLE file) VX_WIN32(FlushFileBuffers);
BOOL DeleteFileW(const char16_t* path) VX_WIN32(DeleteFileW);
BOOL MoveFileExW(const char16_t* from, const char16_t* to, DWORD flags) VX_WIN32(MoveFileExW);
DWORD GetFileAttributesW(const char16_t* path) VX_WIN32(GetFileAttributesW);
BOOL CloseHandle(HANDLE handle) VX_WIN32(CloseHandle);

LONG CompareFileTime(const FILETIME* a, const FILETIME* b) VX_WIN32(CompareFileTime);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime) VX_WIN32(FileTimeToSystemTime);
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime) VX_WIN32(SystemTimeToFileTime);
BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localTime) VX_WIN32(FileTimeToLocalFileTime);
BOOL LocalFileTimeToFileTime(const FILETIME* localTime, FILETIME* fileTime) VX_WIN32(LocalFileTimeToFileTime);
void GetSystemTime(SYSTEMTIME* systemTime) VX_WIN32(GetSystemTime);
void GetSystemTimeAsFileTime(FILETIME* fileTime) VX_WIN32(GetSystemTimeAsFileTime);

// Automation dates (days since 1899-12-30, the time of day as the fraction); nonzero on success.
int SystemTimeToVariantTime(SYSTEMTIME* systemTime, DATE* variantTime) VX_WIN32(SystemTimeToVariantTime);
int VariantTimeToSystemTime(DATE variantTime, SYSTEMTIME* systemTime) VX_WIN32(VariantTimeToSystemTime);
}

// Global memory.
constexpr UINT GMEM_FIXED = 0;
constexpr UINT GMEM_MOVEABLE = 2;
constexpr UINT GMEM_ZEROINIT = 0x40;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

extern "C" {
HGLOBAL GlobalAlloc(UINT flags, size_t bytes) VX_WIN32(GlobalAlloc);
HGLOBAL GlobalReAlloc(HGLOBAL block, size_t bytes, UINT flags) VX_WIN32(GlobalReAlloc);
void* GlobalLock(HGLOBAL block) VX_WIN32(GlobalLock);
BOOL GlobalUnlock(HGLOBAL block) VX_WIN32(GlobalUnlock);
HGLOBAL GlobalHandle(const void* pointer) VX_WIN32(GlobalHandle);
HGLOBAL GlobalFree(HGLOBAL block) VX_WIN32(GlobalFree);
size_t GlobalSize(HGLOBAL block) VX_WIN32(GlobalSize);
}

// Synchronisation: recursive mutexes owned by the waiting thread.
constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED = 0x80;
constexpr DWORD WAIT_TIMEOUT = 0x102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

extern "C" {
HANDLE CreateMutexW(void* security, BOOL initialOwner, const char16_t* name) VX_WIN32(CreateMutexW);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) VX_WIN32(WaitForSingleObject);
BOOL ReleaseMutex(HANDLE mutex) VX_WIN32(ReleaseMutex);

LONG InterlockedIncrement(volatile LONG* value) VX_WIN32(InterlockedIncrement);
LONG InterlockedDecrement(volatile LONG* value) VX_WIN32(InterlockedDecrement);
LONG InterlockedExchange(volatile LONG* target, LONG value) VX_WIN32(InterlockedExchange);
LONG InterlockedCompareExchange(volatile LONG* target, LONG exchange, LONG comparand) VX_WIN32(InterlockedCompareExchange);
LONG InterlockedExchangeAdd(volatile LONG* target, LONG value) VX_WIN32(InterlockedExchangeAdd);

DWORD GetCurrentThreadId() VX_WIN32(GetCurrentThreadId);
DWORD GetCurrentProcessId() VX_WIN32(GetCurrentProcessId);
HANDLE GetCurrentProcess() VX_WIN32(GetCurrentProcess);
}

// ANSI code page text (Windows-1252).
constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;
constexpr DWORD MB_PRECOMPOSED = 0x01;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x08;
constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x400;
constexpr DWORD WC_ERR_INVALID_CHARS = 0x80;

extern "C" {
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes,
                        char16_t* wide, int wideChars) VX_WIN32(MultiByteToWideChar);
int WideCharToMultiByte(UINT codePage, DWORD flags, const char16_t* wide, int wideChars,
                        char* text, int bytes, const char* defaultChar, BOOL* usedDefault) VX_WIN32(WideCharToMultiByte);
}

// File mappings, other processes and their memory.
constexpr DWORD PAGE_READONLY = 2;
constexpr DWORD PAGE_READWRITE = 4;
constexpr DWORD FILE_MAP_WRITE = 2;
constexpr DWORD FILE_MAP_READ = 4;
constexpr DWORD FILE_MAP_ALL_ACCESS = 0xF001F;
constexpr DWORD PROCESS_VM_OPERATION = 0x8;
constexpr DWORD PROCESS_VM_READ = 0x10;
constexpr DWORD PROCESS_VM_WRITE = 0x20;
constexpr DWORD PROCESS_DUP_HANDLE = 0x40;
constexpr DWORD DUPLICATE_CLOSE_SOURCE = 1;
constexpr DWORD DUPLICATE_SAME_ACCESS = 2;

extern "C" {
HANDLE CreateFileMappingW(HANDLE file, void* security, DWORD protect, DWORD sizeHigh,
                          DWORD sizeLow, const char16_t* name) VX_WIN32(CreateFileMappingW);
void* MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                    size_t bytes) VX_WIN32(MapViewOfFile);
BOOL UnmapViewOfFile(const void* view) VX_WIN32(UnmapViewOfFile);
HANDLE OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId) VX_WIN32(OpenProcess);
BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target,
                     DWORD access, BOOL inheritHandle, DWORD options) VX_WIN32(DuplicateHandle);
BOOL ReadProcessMemory(HANDLE process, const void* base, void* buffer, size_t bytes,
                       size_t* read) VX_WIN32(ReadProcessMemory);
BOOL WriteProcessMemory(HANDLE process, void* base, const void* buffer, size_t bytes,
                        size_t* written) VX_WIN32(WriteProcessMemory);
}

// Libraries.
constexpr DWORD LOAD_WITH_ALTERED_SEARCH_PATH = 8;

extern "C" {
HMODULE LoadLibraryExW(const char16_t* path, HANDLE file, DWORD flags) VX_WIN32(LoadLibraryExW);
void* GetProcAddress(HMODULE module, const char* name) VX_WIN32(GetProcAddress);
BOOL FreeLibrary(HMODULE module) VX_WIN32(FreeLibrary);
DWORD GetModuleFileNameW(HMODULE module, char16_t* path, DWORD chars) VX_WIN32(GetModuleFileNameW);
}

// Last error (Win32 numbers).
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_OUTOFMEMORY = 14;
constexpr DWORD ERROR_NOT_SAME_DEVICE = 17;
constexpr DWORD ERROR_WRITE_PROTECT = 19;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_HANDLE_EOF = 38;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_DEV_NOT_EXIST = 55;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_BROKEN_PIPE = 109;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_NEGATIVE_SEEK = 131;
constexpr DWORD ERROR_SEEK_ON_DEVICE = 132;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_NOT_LOCKED = 158;
constexpr DWORD ERROR_BUSY = 170;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_FILE_TOO_LARGE = 223;
constexpr DWORD ERROR_NOT_OWNER = 288;
constexpr DWORD ERROR_PARTIAL_COPY = 299;
constexpr DWORD ERROR_ARITHMETIC_OVERFLOW = 534;
constexpr DWORD ERROR_NOACCESS = 998;
constexpr DWORD ERROR_INVALID_FLAGS = 1004;
constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;
constexpr DWORD ERROR_CANT_RESOLVE_FILENAME = 1921;

extern "C" {
DWORD GetLastError() VX_WIN32(GetLastError);
void SetLastError(DWORD error) VX_WIN32(SetLastError);
}

// The Win32 error number for an errno value, and SetLastError of it (for the layer's own
// POSIX calls).
DWORD VxPlatform_Win32ErrorFromErrno(int error);
void VxPlatform_SetLastErrorFromErrno(int error);

// Automation strings: a 32-bit byte length, then the UTF-16 text and a terminator. On Linux
// the module exports them, so that a host frees the strings the module hands out with the
// module's own allocator; on Windows they are OleAut32's, which module and host share.
#if defined(_WIN32)
#define VX_SYSSTRING_EXPORT
#else
#define VX_SYSSTRING_EXPORT VX_EXPORT
#endif
extern "C" {
VX_SYSSTRING_EXPORT BSTR SysAllocString(const char16_t* text) VX_WIN32(SysAllocString);
VX_SYSSTRING_EXPORT BSTR SysAllocStringLen(const char16_t* text, UINT chars) VX_WIN32(SysAllocStringLen);
VX_SYSSTRING_EXPORT UINT SysStringLen(BSTR text) VX_WIN32(SysStringLen);
VX_SYSSTRING_EXPORT void SysFreeString(BSTR text) VX_WIN32(SysFreeString);
}

#if defined(_WIN32)
extern "C" {
BOOL DisableThreadLibraryCalls(HMODULE module) VX_WIN32(DisableThreadLibraryCalls);
HMODULE GetModuleHandleW(const char16_t* name) VX_WIN32(GetModuleHandleW);
}
#endif

// Turns a Win32 error number into a failure HRESULT (0x8007xxxx); 0 gives E_FAIL so a
// failed call never reads as success.
HRESULT VxErrorHandler_TranslateWin32Error(DWORD error);

// The module (load base) that contains address, or null; lets the module find itself.
HMODULE VxPlatform_ModuleOfAddress(const void* address);

