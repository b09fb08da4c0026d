// The EXR wrapper component on arbitrary bytes, the way the reader drives it: the bytes in a
// file, then open, rewind and read the magic number, the data window, and the pixels into a
// frame of exactly the size the data window gives. The component's code is linked in here
// with OpenEXR. Frames above a few megabytes are only opened, not decoded, to keep runs fast;
// the header checks run on every input.
#include "formats/exr/component/ExrWrapper.h"
#include "fuzz/FuzzReader.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const FuzzFile file("exr");
    file.Write(data, size);
    void* context = nullptr;
    void* image = nullptr;
    if (OPENEXR_OpenFile(file.widePath.c_str(), &context, &image) != 0)
        return 0;
    uint8_t magic[4];
    OPENEXR_SetSeek(image, 0);
    OPENEXR_Read(image, magic, sizeof magic);
    int32_t width = 0, height = 0;
    double aspect = 0.0;
    if (OPENEXR_GetDataWindow(image, context, &width, &height, &aspect, 0) >= 0 &&
        uint64_t(width) * uint64_t(height) * 16 <= kFuzzMaxFrameBytes) {
        std::vector<float> frame(size_t(width) * size_t(height) * 4);
        OPENEXR_ReadPixels(frame.data(), image, width, &aspect);
    }
    OPENEXR_CloseFile(image);
    return 0;
}
