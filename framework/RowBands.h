// Rows of a frame in the layout its decoder holds, handed over band by band: whoever delivers
// them (widening them into a host's block) reads each band while it is still in the cache,
// instead of reading a whole decoded frame back from memory.
#pragma once

#include "../plugin/contracts/VxResults.h"

#include <stdint.h>

class CVxRowBands {
public:
    // The most rows one band holds; at least 1.
    virtual uint32_t MaxRows() const = 0;
    // Storage for frame rows first to first + count - 1 (count at most MaxRows) in the held
    // layout: row first + i starts i held strides after the pointer. Its content is undefined.
    virtual uint8_t* Band(uint32_t first, uint32_t count) = 0;
    // Rows first to first + count - 1, inside the band asked for last, are written: they are
    // delivered now. A failure stops the decode with that result.
    virtual HRESULT Done(uint32_t first, uint32_t count) = 0;

protected:
    ~CVxRowBands() = default;
};
