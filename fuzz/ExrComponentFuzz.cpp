// The EXR wrapper component on arbitrary bytes, the way the reader drives it: the bytes in a
// file, then open, rewind and read the magic number, the data window, and the pixels into a
// frame of exactly the size the data window gives. The component's code is linked in here
// with OpenEXR. Frames above a few megabytes are only opened, not decoded, to keep runs fast;
// the header checks run on every input.
#include "formats/exr/component/ExrWrapper.h"
#include "platform/VxStr.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

constexpr uint64_t kFuzzMaxFrameBytes = 16u << 20;

struct FuzzFile {
    std::string path;
    std::u16string widePath;
    FuzzFile()
    {
        char pattern[] = "/tmp/vxexrfuzz-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0)
            close(fd);
        path = pattern;
        widePath = VxStr_FromUtf8(path);
    }
    void Write(const uint8_t* data, size_t size) const
    {
        const int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
        if (fd < 0)
            return;
        [[maybe_unused]] const ssize_t written = write(fd, data, size);
        close(fd);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const FuzzFile file;
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
