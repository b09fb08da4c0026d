// A format decoder's byte source on an open file handle, for readers whose decoder pulls the
// file front to back through a { read, context } pair (PNG, JPEG).
#pragma once

#include "../platform/VxOwners.h"
#include "../plugin/contracts/VxResults.h"

#include <stddef.h>
#include <stdint.h>

// Reads up to `bytes` from the file handle `context`; a short count means its end or an error.
size_t VxHandle_Read(void* context, uint8_t* buffer, size_t bytes);

// Points `source` at `file` from its first byte; VXE_FILE_READ when the file is not open or
// cannot be rewound.
template <class Source>
HRESULT VxHandle_RewindSource(const CVxHandle& file, Source* source)
{
    if (!file || SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return VXE_FILE_READ;
    source->read = VxHandle_Read;
    source->context = file.Get();
    return S_OK;
}
