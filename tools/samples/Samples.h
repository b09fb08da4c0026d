// Sample images for the demo. A format registers a writer with VX_SAMPLES; vxsamples DIR
// writes every sample as DIR/<name>:
//
//     VX_SAMPLES(Png)
//     {
//         return {{"png-rgb8.png", VxTest_WritePng({.width = 320, .height = 200})}};
//     }
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct VxSample {
    std::string name;
    std::vector<uint8_t> bytes;
};
using VxSamples = std::vector<VxSample>;

struct CVxSampleWriter {
    CVxSampleWriter(const char* format, VxSamples (*write)());
};

#define VX_SAMPLES(format)                                                             \
    static VxSamples VxSamples_##format();                                             \
    static const CVxSampleWriter g_vxSampleWriter_##format(#format, VxSamples_##format); \
    static VxSamples VxSamples_##format()
