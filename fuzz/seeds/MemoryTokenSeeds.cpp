// Seeds of MemoryTokenFuzz: a 40-byte token, then the mode byte, the access flags and a 32-bit
// copy size. Tokens of both kinds, owned here, by the scratch child (block, mapping or both)
// and by no process, with sizes inside, at and beyond the buffers and negative.
#include "FuzzSeeds.h"

#include "plugin/contracts/VxRecords.h"

#include <cstring>

namespace {

std::vector<uint8_t> Seed(uint32_t kind, int32_t dataSize, uint32_t dataOffset, uint8_t mode, uint8_t flags, int32_t cb)
{
    _vxmemorytoken token{};
    token.kind = kind;
    token.dataSize = dataSize;
    token.mappedSize = uint32_t(dataSize > 0 ? dataSize : 0) + dataOffset;
    token.dataOffset = dataOffset;
    std::vector<uint8_t> bytes(sizeof token + 6);
    std::memcpy(bytes.data(), &token, sizeof token);
    bytes[40] = mode;
    bytes[41] = flags;
    std::memcpy(&bytes[42], &cb, sizeof cb);
    return bytes;
}

}  // namespace

VX_FUZZ_SEEDS(MemoryTokenFuzz)
{
    VxFuzzSeeds seeds;
    for (uint32_t kind : {kVxTokenKindMemory, kVxTokenKindMapping}) {
        for (uint8_t flags : {1, 2, 3}) {
            seeds.push_back(Seed(kind, 256, 0, 0, flags, 256));          // this process
            seeds.push_back(Seed(kind, 4096, 0, 0x40, flags, 4096));     // ... closed early
            seeds.push_back(Seed(kind, 100, 16, 0x31, flags, 100));      // child: block and mapping
            seeds.push_back(Seed(kind, 4096, 0, 0x11, flags, 2048));     // child: block only
            seeds.push_back(Seed(kind, 512, 64, 0x21, flags, 512));      // child: mapping only
            seeds.push_back(Seed(kind, 64, 0, 2, flags, 64));            // no such process
        }
        seeds.push_back(Seed(kind, -1, 0, 0, 3, 16));                     // negative data size
        seeds.push_back(Seed(kind, 16, 0, 1, 3, -1));                     // negative copy size
    }
    return seeds;
}
