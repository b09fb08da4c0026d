// A reproducible, natural-looking test image: smooth colour gradients, soft texture, shapes
// with hard edges, some translucent, and a little sensor noise. Not random noise (which no
// codec compresses) and not flat areas (which every codec skips through), so decoders do the
// work they do on photographs and artwork.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct VxBenchImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint16_t> rgba;  // 16-bit R, G, B, A per pixel, top row first

    const uint16_t* Pixel(uint32_t x, uint32_t y) const
    {
        return rgba.data() + (size_t(y) * width + x) * 4;
    }
};

// The same seed and size give the same pixels on every machine (integer hashing and plain
// double arithmetic; no library random generators). The version names the generator in the
// image cache: raise it whenever the pixels change.
constexpr int kVxBenchImageVersion = 2;
VxBenchImage VxBench_GenerateImage(uint32_t width, uint32_t height, uint64_t seed);

// 16-bit sample to 8 bits, rounded.
inline uint8_t VxBench_To8(uint16_t v)
{
    return uint8_t((uint32_t(v) * 255 + 32767) / 65535);
}

// Luma of a 16-bit pixel (Rec. 601 weights), 16-bit.
inline uint16_t VxBench_Luma16(const uint16_t* p)
{
    return uint16_t((uint32_t(p[0]) * 19595 + uint32_t(p[1]) * 38470 + uint32_t(p[2]) * 7471 + 32768) >> 16);
}
