// Seeds of JpegFormatFuzz: small grey, colour and progressive files, one without JFIF, one
// with restart-free low quality, and one carrying an EXIF block.
#include "FuzzSeeds.h"

#include "tests/fixtures/JpegWriter.h"

VX_FUZZ_SEEDS(JpegFormatFuzz)
{
    VxFuzzSeeds seeds;
    for (int components : {1, 3})
        for (bool progressive : {false, true})
            seeds.push_back(VxTest_WriteJpeg({.width = 19, .height = 11, .components = components,
                                              .progressive = progressive}));
    seeds.push_back(VxTest_WriteJpeg({.width = 8, .height = 8, .quality = 20, .jfif = false}));
    seeds.push_back(VxTest_WriteJpeg(
        {.segments = {{0xE1, VxTest_ExifPayload(VxTest_WriteTiff(false, {VxTest_TiffAscii(271, "Maker")}))}}}));
    return seeds;
}
