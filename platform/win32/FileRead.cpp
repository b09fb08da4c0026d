// Positional reads on Windows: ReadFile at an explicit offset on a synchronous handle.
#include "../VxFileRead.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

struct VxReadOnlyFile {
    HANDLE handle;
};

VxReadOnlyFile* VxFileRead_Open(const char16_t* path, uint64_t* size)
{
    if (!path || !*path || !size)
        return nullptr;
    HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t*>(path), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    LARGE_INTEGER bytes = {};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &bytes)) {
        CloseHandle(handle);
        return nullptr;
    }
    *size = uint64_t(bytes.QuadPart);
    return new VxReadOnlyFile{handle};
}

bool VxFileRead_At(VxReadOnlyFile* file, uint64_t position, void* buffer, size_t count)
{
    auto* at = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const uint64_t offset = position + done;
        OVERLAPPED where = {};
        where.Offset = DWORD(offset);
        where.OffsetHigh = DWORD(offset >> 32);
        const size_t left = count - done;
        const DWORD chunk = DWORD(left < (size_t(1) << 30) ? left : (size_t(1) << 30));
        DWORD got = 0;
        if (!ReadFile(file->handle, at + done, chunk, &got, &where) || got == 0)
            return false;
        done += got;
    }
    return true;
}

void VxFileRead_Close(VxReadOnlyFile* file)
{
    if (file) {
        CloseHandle(file->handle);
        delete file;
    }
}
