// The subset of Win32 that the module calls, under the Win32 names and signatures, so the
// same sources compile against real Win32 later. On Linux:
// - a file, mapping or process HANDLE is a POSIX descriptor cast to a pointer (a process
//   handle is a pidfd); a mutex HANDLE is an object of this layer, told apart by CloseHandle;
// - paths are UTF-16 and converted to UTF-8; CP_ACP is Windows-1252;
// - GetLastError returns a Win32 error number set from errno by the failing call.
#pragma once

#include "../plugin/contracts/VxTypes.h"

#if defined(_WIN32)
#include <windows.h>
#else

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
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* read, void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* written, void* overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite);
BOOL SetEndOfFile(HANDLE file);
BOOL FlushFileBuffers(HANDLE file);
BOOL DeleteFileW(const char16_t* path);
BOOL MoveFileExW(const char16_t* from, const char16_t* to, DWORD flags);
DWORD GetFileAttributesW(const char16_t* path);
BOOL CloseHandle(HANDLE handle);

LONG CompareFileTime(const FILETIME* a, const FILETIME* b);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localTime);
BOOL LocalFileTimeToFileTime(const FILETIME* localTime, FILETIME* fileTime);
void GetSystemTime(SYSTEMTIME* systemTime);
void GetSystemTimeAsFileTime(FILETIME* fileTime);

// Automation dates (days since 1899-12-30, the time of day as the fraction); nonzero on success.
int SystemTimeToVariantTime(SYSTEMTIME* systemTime, DATE* variantTime);
int VariantTimeToSystemTime(DATE variantTime, SYSTEMTIME* systemTime);
}

// Global memory.
constexpr UINT GMEM_FIXED = 0;
constexpr UINT GMEM_MOVEABLE = 2;
constexpr UINT GMEM_ZEROINIT = 0x40;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

extern "C" {
HGLOBAL GlobalAlloc(UINT flags, size_t bytes);
HGLOBAL GlobalReAlloc(HGLOBAL block, size_t bytes, UINT flags);
void* GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);
HGLOBAL GlobalHandle(const void* pointer);
HGLOBAL GlobalFree(HGLOBAL block);
size_t GlobalSize(HGLOBAL block);
}

// Synchronisation: recursive mutexes owned by the waiting thread.
constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED = 0x80;
constexpr DWORD WAIT_TIMEOUT = 0x102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

extern "C" {
HANDLE CreateMutexW(void* security, BOOL initialOwner, const char16_t* name);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL ReleaseMutex(HANDLE mutex);

LONG InterlockedIncrement(volatile LONG* value);
LONG InterlockedDecrement(volatile LONG* value);
LONG InterlockedExchange(volatile LONG* target, LONG value);
LONG InterlockedCompareExchange(volatile LONG* target, LONG exchange, LONG comparand);
LONG InterlockedExchangeAdd(volatile LONG* target, LONG value);

DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();
HANDLE GetCurrentProcess();
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
                        char16_t* wide, int wideChars);
int WideCharToMultiByte(UINT codePage, DWORD flags, const char16_t* wide, int wideChars,
                        char* text, int bytes, const char* defaultChar, BOOL* usedDefault);
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
                          DWORD sizeLow, const char16_t* name);
void* MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                    size_t bytes);
BOOL UnmapViewOfFile(const void* view);
HANDLE OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId);
BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target,
                     DWORD access, BOOL inheritHandle, DWORD options);
BOOL ReadProcessMemory(HANDLE process, const void* base, void* buffer, size_t bytes,
                       size_t* read);
BOOL WriteProcessMemory(HANDLE process, void* base, const void* buffer, size_t bytes,
                        size_t* written);
}

// Libraries.
constexpr DWORD LOAD_WITH_ALTERED_SEARCH_PATH = 8;

extern "C" {
HMODULE LoadLibraryExW(const char16_t* path, HANDLE file, DWORD flags);
void* GetProcAddress(HMODULE module, const char* name);
BOOL FreeLibrary(HMODULE module);
DWORD GetModuleFileNameW(HMODULE module, char16_t* path, DWORD chars);
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
DWORD GetLastError();
void SetLastError(DWORD error);
}

// The Win32 error number for an errno value, and SetLastError of it (for the layer's own
// POSIX calls).
DWORD VxPlatform_Win32ErrorFromErrno(int error);
void VxPlatform_SetLastErrorFromErrno(int error);

// Automation strings: a 32-bit byte length, then the UTF-16 text and a terminator. Exported
// so that a host frees the strings the module hands out with the module's own allocator.
extern "C" {
VX_EXPORT BSTR SysAllocString(const char16_t* text);
VX_EXPORT BSTR SysAllocStringLen(const char16_t* text, UINT chars);
VX_EXPORT UINT SysStringLen(BSTR text);
VX_EXPORT void SysFreeString(BSTR text);
}

#endif  // !_WIN32

// Turns a Win32 error number into a failure HRESULT (0x8007xxxx); 0 gives E_FAIL so a
// failed call never reads as success.
HRESULT VxErrorHandler_TranslateWin32Error(DWORD error);

// The module (load base) that contains address, or null; lets the module find itself.
HMODULE VxPlatform_ModuleOfAddress(const void* address);

