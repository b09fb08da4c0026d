#include "HandleSource.h"

#include <algorithm>

size_t VxHandle_Read(void* context, uint8_t* buffer, size_t bytes)
{
    size_t done = 0;
    while (done < bytes) {
        const DWORD wanted = DWORD(std::min<size_t>(bytes - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(static_cast<HANDLE>(context), buffer + done, wanted, &got, nullptr) || got == 0)
            break;
        done += got;
    }
    return done;
}

size_t VxFile_ReadAt(HANDLE file, uint64_t offset, void* buffer, size_t bytes)
{
    LONG high = LONG(offset >> 32);
    if (SetFilePointer(file, LONG(offset & 0xFFFFFFFFu), &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != 0)
        return 0;
    return VxHandle_Read(file, static_cast<uint8_t*>(buffer), bytes);
}

uint64_t VxFile_Size(HANDLE file)
{
    DWORD high = 0;
    const DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != 0)
        return 0;
    return uint64_t(high) << 32 | low;
}

CVxHandle VxFile_OpenForReading(const char16_t* path)
{
    return CVxHandle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
}
