// Seeds of PsdFormatFuzz: merged images of every colour mode and depth, raw and PackBits, and
// layered documents with transparency, masks, names and "luni" blocks.
#include "FuzzSeeds.h"

#include "tests/fixtures/PsdWriter.h"

VX_FUZZ_SEEDS(PsdFormatFuzz)
{
    struct Kind {
        uint16_t mode, depth, channels;
    };
    const Kind kinds[] = {{1, 8, 1}, {1, 16, 1}, {1, 32, 1}, {2, 8, 1}, {3, 8, 3}, {3, 8, 4},
                          {3, 16, 4}, {3, 32, 3}, {4, 8, 4}, {4, 16, 5}};
    VxFuzzSeeds seeds;
    for (const Kind& k : kinds)
        for (uint16_t compression : {0, 1}) {
            VxTestPsdOptions o{.mode = k.mode, .depth = k.depth, .channels = k.channels, .width = 6,
                               .height = 3, .compression = compression};
            if (k.mode == 2)
                o.colorModeData.assign(768, 0x40);
            seeds.push_back(VxTest_WritePsd(o));
        }
    for (uint16_t depth : {8, 16}) {
        VxTestPsdLayer plain{.top = 1, .left = -2, .bottom = 3, .right = 4, .name = "plain"};
        for (uint16_t id : {0xFFFF, 0, 1, 2})
            plain.channels.push_back({id, std::vector<uint32_t>(12, 100)});
        VxTestPsdLayer masked{.bottom = 2, .right = 2, .name = "m", .unicodeName = u"masked",
                              .mask = std::vector<int32_t>{0, 0, 1, 2}, .packBits = true};
        for (uint16_t id : {0, 1, 2})
            masked.channels.push_back({id, std::vector<uint32_t>(4, 30)});
        masked.channels.push_back({0xFFFE, std::vector<uint32_t>(2, 128)});
        seeds.push_back(VxTest_WritePsd({.depth = depth, .width = 5, .height = 4, .compression = 1,
                                         .layers = {plain, masked}, .negativeLayerCount = depth == 16}));
    }
    return seeds;
}
