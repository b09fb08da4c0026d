// Bitmap decoding on arbitrary bytes, both ways in: the format over the byte buffer (header,
// then the stored bytes or the expansion), and the reader as a host drives it (the bytes in a
// file, the class object's CheckFileHeader, then OpenReadFile whatever that said, as vxhost does
// for files it opens by their extension, and GetFrame into host memory of exactly the size the
// stream asked for). Frames above a few megabytes are only parsed, not decoded.
#include "formats/dib/DibFormat.h"
#include "fuzz/FuzzReader.h"
#include "platform/VxOwners.h"
#include "plugin/ClassTable.h"

namespace {

void DecodeBytes(const uint8_t* data, size_t size)
{
    VxDibImage image;
    if (FAILED(VxDib_ParseHeader(data, size, size, &image)) || image.deliveredBytes > kFuzzMaxFrameBytes)
        return;
    CVxGlobalBlock frame;
    VxDib_DecodeBytes(data, size, &image, &frame);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DecodeBytes(data, size);
    FuzzReadThroughClass(VxDib_CreateReadFileClass(), data, size,
                         {.tag = "dib", .openWhateverHeaderSays = true, .descriptions = true});
    return 0;
}
