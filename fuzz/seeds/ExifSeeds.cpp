// Seeds of ExifFuzz: TIFF blocks in both byte orders with every tag the reader takes, and a
// JPEG whose EXIF segment follows an XMP one.
#include "FuzzSeeds.h"

#include "tests/fixtures/JpegWriter.h"

VX_FUZZ_SEEDS(ExifFuzz)
{
    VxFuzzSeeds seeds;
    for (bool be : {false, true})
        seeds.push_back(VxTest_WriteTiff(
            be,
            {VxTest_TiffAscii(271, "Can"), VxTest_TiffAscii(272, "Model"), VxTest_TiffAscii(306, "2024:02:29 13:45:10"),
             VxTest_TiffAscii(315, "Artist"), VxTest_TiffAscii(33432, "(c)")},
            {VxTest_TiffAscii(36867, "2024:01:01 00:00:00"), VxTest_TiffShort(be, 37385, 1)}));
    seeds.push_back(VxTest_WriteJpeg(
        {.width = 8, .height = 8,
         .segments = {{0xE1, {'h', 't', 't', 'p', 0}},
                      {0xE1, VxTest_ExifPayload(VxTest_WriteTiff(true, {VxTest_TiffAscii(271, "Maker")}))}}}));
    return seeds;
}
