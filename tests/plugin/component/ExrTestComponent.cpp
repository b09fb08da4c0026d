// A stand-in EXR component for the module's loader tests: it has all eight entry points and
// reads no images. Built as OpenExr.so in a folder of its own so it never hides the real one.
#include <cstdint>

#define VX_TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
constexpr int32_t kCannotOpen = 1;
constexpr int32_t kFailed = -1;
}  // namespace

VX_TEST_EXPORT int32_t OPENEXR_OpenFile(const char16_t*, void** context, void** image)
{
    if (context)
        *context = nullptr;
    if (image)
        *image = nullptr;
    return kCannotOpen;
}

VX_TEST_EXPORT int32_t OPENEXR_SetSeek(void*, int64_t) { return kFailed; }
VX_TEST_EXPORT int32_t OPENEXR_Read(void*, void*, int32_t) { return kFailed; }
VX_TEST_EXPORT int32_t OPENEXR_GetDataWindow(void*, void*, int32_t*, int32_t*, double*, int32_t) { return kFailed; }
VX_TEST_EXPORT int32_t OPENEXR_ReadPixels(void*, void*, int32_t, double*) { return kFailed; }
VX_TEST_EXPORT int32_t OPENEXR_CloseFile(void*) { return 0; }
VX_TEST_EXPORT int32_t OPENEXR_IsComplete(void*) { return 0; }
VX_TEST_EXPORT int32_t OPENEXR_VxSaveDiskExrDib(void*) { return kFailed; }
