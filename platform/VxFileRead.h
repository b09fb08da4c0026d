// Positional reads of a file opened read-only, for code that runs beside the module rather
// than in it (the EXR component). A read at an offset moves no shared file position, so
// several readers of one file never disturb each other.
#pragma once

#include <cstddef>
#include <cstdint>

struct VxReadOnlyFile;

// Opens a regular file by its UTF-16 path and gives its size; null when it is not one or
// cannot be opened.
VxReadOnlyFile* VxFileRead_Open(const char16_t* path, uint64_t* size);
// Reads count bytes at position; false when the file ends first or cannot be read.
bool VxFileRead_At(VxReadOnlyFile* file, uint64_t position, void* buffer, size_t count);
void VxFileRead_Close(VxReadOnlyFile* file);
