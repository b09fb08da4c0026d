// Seeds of ExrComponentFuzz: small files of every compression the library writes, half, float
// and unsigned, tiled, luminance, luminance with chroma, and an offset data window.
#include "FuzzSeeds.h"

#include "tests/fixtures/ExrWriter.h"

VX_FUZZ_SEEDS(ExrComponentFuzz)
{
    VxFuzzSeeds seeds;
    for (int compression = 0; compression <= 9; ++compression) {
        seeds.push_back(VxTest_WriteExr({.width = 9, .height = 5, .compression = compression}));
        seeds.push_back(VxTest_WriteExr({.width = 9, .height = 5, .type = VxTestExrType::Float,
                                         .compression = compression}));
    }
    seeds.push_back(VxTest_WriteExr({.type = VxTestExrType::Uint, .compression = 1}));
    seeds.push_back(VxTest_WriteExr({.width = 7, .height = 6, .compression = 4, .tileSize = 4}));
    seeds.push_back(VxTest_WriteExr({.channels = VxTestExrChannels::Luminance}));
    seeds.push_back(VxTest_WriteExr({.width = 6, .height = 4, .channels = VxTestExrChannels::LuminanceChroma}));
    seeds.push_back(VxTest_WriteExr({.originX = -2, .originY = 3, .channels = VxTestExrChannels::Rgb}));
    return seeds;
}
