// Seed corpora of the fuzz targets. Each fuzz/<Name>Fuzz.cpp may have a seed writer
// fuzz/seeds/<Name>Seeds.cpp that returns good inputs made by the test suite's fixture writers:
//
//     VX_FUZZ_SEEDS(TgaFormatFuzz)
//     {
//         return {VxTest_WriteTga({.width = 3, .height = 2}), VxTest_WriteTga({.rle = true})};
//     }
//
// vxfuzzseeds DIR writes them as DIR/<Name>Fuzz/seed-<n>; a target without a writer starts from
// an empty corpus.
#pragma once

#include <cstdint>
#include <vector>

using VxFuzzSeeds = std::vector<std::vector<uint8_t>>;

// Registers one target's seed writer; used through VX_FUZZ_SEEDS.
struct CVxFuzzSeedWriter {
    CVxFuzzSeedWriter(const char* target, VxFuzzSeeds (*write)());
};

#define VX_FUZZ_SEEDS(target)                                                               \
    static VxFuzzSeeds VxFuzzSeeds_##target();                                              \
    static const CVxFuzzSeedWriter g_vxFuzzSeedWriter_##target(#target, VxFuzzSeeds_##target); \
    static VxFuzzSeeds VxFuzzSeeds_##target()
