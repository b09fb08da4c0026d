// Seeds of PngFormatFuzz: one small file of every colour type and bit depth, with and without
// tRNS, interlaced, with gAMA, and with the image data split over several chunks.
#include "FuzzSeeds.h"

#include "tests/fixtures/PngWriter.h"

VX_FUZZ_SEEDS(PngFormatFuzz)
{
    struct Kind {
        uint8_t colorType;
        std::vector<uint8_t> depths;
    };
    const Kind kinds[] = {{0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}},
                          {4, {8, 16}}, {6, {8, 16}}};
    VxFuzzSeeds seeds;
    for (const Kind& kind : kinds) {
        for (uint8_t depth : kind.depths) {
            VxTestPngOptions options;
            options.width = 7;
            options.height = 5;
            options.colorType = kind.colorType;
            options.bitDepth = depth;
            seeds.push_back(VxTest_WritePng(options));
            options.interlace = true;
            options.dataChunkBytes = 16;
            seeds.push_back(VxTest_WritePng(options));
        }
    }

    VxTestPngOptions keyed;  // RGB with a transparent colour and a gamma
    keyed.transparency = std::vector<uint16_t>{1, 2, 3};
    keyed.gamma = 0.45455;
    seeds.push_back(VxTest_WritePng(keyed));

    VxTestPngOptions palette;  // palette alphas for the first entries
    palette.colorType = 3;
    palette.bitDepth = 4;
    palette.transparency = std::vector<uint16_t>{0, 128, 255};
    seeds.push_back(VxTest_WritePng(palette));

    VxTestPngOptions grey;  // a transparent grey
    grey.colorType = 0;
    grey.bitDepth = 8;
    grey.transparency = std::vector<uint16_t>{7};
    seeds.push_back(VxTest_WritePng(grey));
    return seeds;
}
