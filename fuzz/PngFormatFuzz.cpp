// PNG decoding on arbitrary bytes, both ways in: the format's own entry on the byte buffer,
// and the reader as a host drives it (the bytes in a file, the class object's
// CheckFileHeader and OpenReadFile, then GetFrame of the stream into host memory of exactly
// the size the stream asked for). Frames above a few megabytes are only parsed, not decoded,
// to keep runs fast; the size checks themselves run on every input.
#include "formats/png/PngFormat.h"
#include "fuzz/FuzzReader.h"
#include "plugin/ClassTable.h"

#include <vector>

namespace {

void DecodeBytes(const uint8_t* data, size_t size)
{
    CVxPngDecoder decoder;
    VxPngImage image;
    VxPngMemory memory{data, size, 0};
    if (FAILED(decoder.ReadInfo(VxPng_MemorySource(&memory), &image)) ||
        image.imageBytes > kFuzzMaxFrameBytes)
        return;
    std::vector<uint8_t> frame(image.imageBytes);
    memory.position = 0;
    decoder.Decode(VxPng_MemorySource(&memory), image, frame.data(), image.imageBytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DecodeBytes(data, size);
    FuzzReadThroughClass(VxPng_CreateReadFileClass(), data, size, {.tag = "png"});
    return 0;
}
