// The EXR wrapper component: OpenExr.so, loaded by the module at run time, reads OpenEXR files
// with the OpenEXR library and hands out frames of B, G, R, A 32-bit floats, bottom row first.
// Every entry point catches everything: no exception leaves the component.
#pragma once

#include "../../../plugin/contracts/VxTypes.h"

#include <cstdint>

#define VX_EXR_EXPORT extern "C" VX_EXPORT

// Opens the file at path (UTF-16) and reads its header. 0 on success; the context and the
// image are then the same object, freed by OPENEXR_CloseFile. Refused (non-zero, both null):
// no such file, not a single-part flat OpenEXR image, no colour channel, a frame that could
// not be handed out (more than 2^31 - 1 bytes) or a chunk table longer than the file.
VX_EXR_EXPORT int32_t OPENEXR_OpenFile(const char16_t* path, void** context, void** image);
// Sets the position of OPENEXR_Read. 0, or -1 without an image or for a negative position.
VX_EXR_EXPORT int32_t OPENEXR_SetSeek(void* image, int64_t position);
// Copies the next bytes of the file. 0 only when all bytes were there.
VX_EXR_EXPORT int32_t OPENEXR_Read(void* image, void* buffer, int32_t bytes);
// The data window's size and the pixel aspect ratio. 0, or -1 without an image.
VX_EXR_EXPORT int32_t OPENEXR_GetDataWindow(void* image, void* context, int32_t* width,
                                            int32_t* height, double* pixelAspect, int32_t option);
// Writes width × height pixels of the data window into frame (16 × width × height bytes):
// half, float and unsigned channels as floats, a luminance image as grey, a missing alpha as
// 1.0, a missing colour channel as 0. 0 on success; width must be the data window's.
VX_EXR_EXPORT int32_t OPENEXR_ReadPixels(void* frame, void* image, int32_t width, double* pixelAspect);
// Closes the file and frees the image; null is allowed.
VX_EXR_EXPORT int32_t OPENEXR_CloseFile(void* image);
// Kept for the module's table of entry points; the module never calls them.
VX_EXR_EXPORT int32_t OPENEXR_IsComplete(void* image);
VX_EXR_EXPORT int32_t OPENEXR_VxSaveDiskExrDib(void* image);
