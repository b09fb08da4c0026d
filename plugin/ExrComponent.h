// Loads the EXR wrapper component (OpenExr.so beside the module) and counts its uses.
#pragma once

#include "contracts/VxTypes.h"

// Entry points of the component; a missing one stays null and makes its callers fail.
struct VxExrExports {
    int32_t (*OpenFile)(const char16_t* path, void** context, void** image);
    int32_t (*SetSeek)(void* image, int64_t position);
    int32_t (*Read)(void* image, void* buffer, int32_t bytes);
    int32_t (*GetDataWindow)(void* image, void* context, int32_t* width, int32_t* height,
                             double* pixelAspect, int32_t zero);
    int32_t (*ReadPixels)(void* frame, void* image, int32_t width, double* pixelAspect);
    int32_t (*CloseFile)(void* image);
    void* IsComplete;
    void* VxSaveDiskExrDib;
};

// Takes one use: loads on the first call (VXE_FILE_OPEN when the component is missing).
HRESULT VxExr_Load();
// Drops one use: unloads at zero, so the next load tries again.
void VxExr_Unload();
// Whether the component is loaded now.
bool VxExr_IsAvailable();
// The entry points while loaded, else null.
const VxExrExports* VxExr_Exports();
