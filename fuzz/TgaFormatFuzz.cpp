// TARGA decoding on arbitrary bytes, both ways in: the format over the byte buffer, and the
// reader as a host drives it (the bytes in a file, the class object's CheckFileHeader, then
// OpenReadFile whatever that said, as vxhost does for files it opens by their extension, and
// GetFrame into host memory of exactly the size the stream asked for). Frames above a few
// megabytes are only parsed, not decoded.
#include "formats/tga/TgaFormat.h"
#include "fuzz/FuzzReader.h"
#include "platform/VxOwners.h"
#include "plugin/ClassTable.h"

#include <vector>

namespace {

void DecodeBytes(const uint8_t* data, size_t size)
{
    VxTgaHeader header;
    if (FAILED(VxTga_ParseHeader(data, size, &header)) || FAILED(VxTga_CheckHeader(header)) ||
        VxTga_FrameBytes(header) > kFuzzMaxFrameBytes)
        return;
    std::vector<uint8_t> frame(VxTga_FrameBytes(header));
    int32_t stride = 0;
    VxTga_DecodeImage(data, size, frame.data(), frame.size(), &stride);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DecodeBytes(data, size);
    FuzzReadThroughClass(VxTga_CreateReadFileClass(), data, size,
                         {.tag = "tga", .openWhateverHeaderSays = true, .descriptions = true});
    return 0;
}
