// Seeds of TgaFormatFuzz: every image type and depth, colour maps of every entry size, both
// row orders and a right-to-left file.
#include "FuzzSeeds.h"

#include "tests/fixtures/TgaWriter.h"

VX_FUZZ_SEEDS(TgaFormatFuzz)
{
    VxFuzzSeeds seeds;
    for (uint8_t type : {2, 10})
        for (uint8_t depth : {15, 16, 24, 32})
            seeds.push_back(VxTest_WriteTga({.type = type, .depth = depth, .descriptor = uint8_t(depth == 32 ? 0x28 : 0)}));
    for (uint8_t type : {3, 11})
        seeds.push_back(VxTest_WriteTga({.type = type, .depth = 8, .descriptor = 0x10, .idLength = 3}));
    for (uint8_t type : {1, 9})
        for (uint8_t mapBits : {8, 16, 24, 32})
            seeds.push_back(VxTest_WriteTga({.type = type, .depth = uint8_t(mapBits == 16 ? 16 : 8),
                                             .mapBits = mapBits, .mapFirst = 4, .mapLength = 5}));
    return seeds;
}
