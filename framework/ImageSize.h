// Sizes of bitmap rows and images, computed in 64 bits so that no 32-bit input can wrap them,
// and checked before they go into the 32-bit fields that carry them.
#pragma once

#include "../plugin/contracts/VxTypes.h"

// The largest image the module hands out: a memory token names its data with a signed 32-bit
// size, so a larger frame could never be delivered.
constexpr uint64_t kVxMaxImageBytes = 0x7FFFFFFFu;

// Bytes of one row: bits × width rounded up to whole 32-bit words. A width below 1 gives 0.
constexpr uint64_t VxSize_Stride(uint32_t bitCount, int64_t width)
{
    if (width < 1)
        return 0;
    return (uint64_t(bitCount) * uint64_t(width) + 31) / 32 * 4;
}

// Rows of an image: its height without the sign (a negative height marks top-down rows).
constexpr uint64_t VxSize_Rows(int64_t height)
{
    return height < 0 ? uint64_t(-height) : uint64_t(height);
}

// Bytes of a whole image of padded rows.
constexpr uint64_t VxSize_Image(uint32_t bitCount, int64_t width, int64_t height)
{
    return VxSize_Stride(bitCount, width) * VxSize_Rows(height);
}

// Whether a size fits the fields that carry image sizes (and can be named by a memory token).
constexpr bool VxSize_Fits(uint64_t bytes)
{
    return bytes <= kVxMaxImageBytes;
}
