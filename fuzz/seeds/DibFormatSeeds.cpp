// Seeds of DibFormatFuzz: every stored layout and header version, bit fields of other masks,
// 2-bit indices, top-down rows and run-length streams of both kinds with every escape.
#include "FuzzSeeds.h"

#include "tests/fixtures/DibWriter.h"

VX_FUZZ_SEEDS(DibFormatFuzz)
{
    VxFuzzSeeds seeds;
    for (uint16_t bits : {1, 2, 4, 8, 16, 24, 32})
        for (uint32_t headerSize : {12u, 40u, 124u})
            seeds.push_back(VxTest_WriteDib({.width = 7, .height = headerSize == 12 ? 3 : -3, .bits = bits,
                                             .headerSize = headerSize}));
    seeds.push_back(VxTest_WriteDib({.bits = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x1F}}));
    seeds.push_back(VxTest_WriteDib({.bits = 32, .compression = 3, .headerSize = 108,
                                     .masks = {0x3FF00000, 0xFFC00, 0x3FF}}));
    seeds.push_back(VxTest_WriteDib({.width = 6, .height = 3, .bits = 8, .compression = 1,
                                     .pixels = {3, 1, 0, 3, 4, 5, 6, 0, 0, 0, 0, 2, 2, 1, 9, 7, 0, 1}}));
    seeds.push_back(VxTest_WriteDib({.width = 7, .height = 2, .bits = 4, .compression = 2,
                                     .pixels = {3, 0x12, 0, 3, 0x34, 0xF0, 0, 0, 4, 0x56, 0, 1}}));
    return seeds;
}
