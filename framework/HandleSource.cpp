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
