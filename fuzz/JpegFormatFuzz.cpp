// JPEG decoding on arbitrary bytes, both ways in: the format's own entry on the byte buffer,
// and the reader as a host drives it (the bytes in a file, the class object's CheckFileHeader
// and OpenReadFile, GetFrame of the stream into host memory of exactly the size the stream
// asked for, then the metadata object, which reads the file's EXIF block). Frames above a few
// megabytes are only parsed, not decoded, to keep runs fast; the size checks run on every input.
#include "formats/jpeg/JpegFormat.h"
#include "fuzz/FuzzReader.h"
#include "plugin/ClassTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    VxJpegImage image;
    CVxGlobalBlock frame;
    VxJpeg_DecodeBytes(data, size, kFuzzMaxFrameBytes, &image, &frame);
    FuzzReadThroughClass(VxJpg_CreateReadFileClass(), data, size,
                         {.tag = "jpeg", .metadata = true});
    return 0;
}
