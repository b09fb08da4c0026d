// Reading image files through handles: a format decoder's byte source for readers whose decoder
// pulls the file front to back through a { read, context } pair (PNG, JPEG), and reads at an
// offset for readers that take what they need where it lies (bitmap, TARGA).
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

// Reads up to `bytes` of `file` from `offset`; answers how many it read (fewer at the end of the
// file or on an error).
size_t VxFile_ReadAt(HANDLE file, uint64_t offset, void* buffer, size_t bytes);
// The size of an open file; 0 when it cannot be told.
uint64_t VxFile_Size(HANDLE file);
// The file at `path` opened for reading (share read, open existing); empty when it cannot be.
CVxHandle VxFile_OpenForReading(const char16_t* path);
