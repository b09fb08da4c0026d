#include "platform/VxOwners.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr size_t kLarge = size_t(8) << 20;  // mapped, like a frame buffer

bool AllZero(const void* data, size_t size)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::all_of(bytes, bytes + size, [](uint8_t b) { return b == 0; });
}

TEST(GlobalMemory, SmallAndLargeBlocksStartZeroed)
{
    for (const size_t size : {size_t(0), size_t(1), size_t(100), size_t(1) << 20, kLarge}) {
        // Dirty a block of the same size first, so a reused one would show.
        void* dirty = VxGlobal_Alloc(size);
        ASSERT_NE(dirty, nullptr) << size;
        std::memset(dirty, 0xA5, size);
        VxGlobal_Free(dirty);

        CVxGlobalBlock block(size);
        ASSERT_TRUE(block) << size;
        EXPECT_TRUE(AllZero(block.Get(), size)) << size;
        EXPECT_EQ(GlobalSize(GlobalHandle(block.Get())), size);
    }
}

TEST(GlobalMemory, BlocksAreAlignedForWideLoads)
{
    CVxGlobalBlock small(24), large(kLarge);
    EXPECT_EQ(uintptr_t(small.Get()) % 16, 0u);
    EXPECT_EQ(uintptr_t(large.Get()) % 64, 0u);
}

TEST(GlobalMemory, HandlesLockAndFreeOnlyLiveBlocks)
{
    HGLOBAL block = GlobalAlloc(GHND, 40);
    ASSERT_NE(block, nullptr);
    void* data = GlobalLock(block);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(GlobalHandle(data), block);
    EXPECT_NE(GlobalLock(block), nullptr);
    EXPECT_TRUE(GlobalUnlock(block));  // still locked once
    SetLastError(ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_EQ(GetLastError(), ERROR_NOT_LOCKED);
    EXPECT_EQ(GlobalFree(block), nullptr);

    // Pointers that are no live block are refused.
    block = GlobalAlloc(GPTR, 64);
    ASSERT_NE(block, nullptr);
    int onStack = 0;
    EXPECT_EQ(GlobalHandle(&onStack), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GlobalHandle(static_cast<uint8_t*>(block) + 16), nullptr);  // inside a block
    EXPECT_EQ(GlobalSize(&onStack), 0u);
    EXPECT_EQ(GlobalLock(&onStack), nullptr);
    EXPECT_EQ(GlobalFree(block), nullptr);
    // A second free is refused, not a double free.
    EXPECT_EQ(GlobalFree(block), block);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GlobalHandle(block), nullptr);
    EXPECT_EQ(GlobalFree(nullptr), nullptr);

    // Many live blocks share lookup buckets: each is still found, and freed, in any order.
    std::vector<HGLOBAL> many(4096);
    for (HGLOBAL& b : many)
        b = GlobalAlloc(GPTR, 32);
    for (HGLOBAL b : many) {
        EXPECT_EQ(GlobalHandle(b), b);
        EXPECT_EQ(GlobalFree(b), nullptr);
    }
}

TEST(GlobalMemory, AbsurdSizesFailWithoutAllocating)
{
    for (const size_t size : {SIZE_MAX, SIZE_MAX / 2, size_t(5) << 30}) {
        SetLastError(0);
        EXPECT_EQ(GlobalAlloc(GPTR, size), nullptr) << size;
        EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    }
    HGLOBAL block = GlobalAlloc(GPTR, 8);
    std::memcpy(block, "content", 8);
    EXPECT_EQ(GlobalReAlloc(block, SIZE_MAX, GMEM_MOVEABLE), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_STREQ(static_cast<const char*>(block), "content");  // the old block is intact
    EXPECT_EQ(GlobalSize(block), 8u);
    GlobalFree(block);
}

TEST(GlobalMemory, ReAllocKeepsContentAndZeroesGrowthAcrossKinds)
{
    HGLOBAL block = GlobalAlloc(GPTR, 100);
    std::memset(block, 7, 100);
    // Heap to heap, heap to mapped, mapped to mapped, mapped to heap.
    size_t kept = 100;
    for (const size_t size : {size_t(5000), kLarge, kLarge * 2, size_t(3000), size_t(10)}) {
        HGLOBAL grown = GlobalReAlloc(block, size, GMEM_MOVEABLE | GMEM_ZEROINIT);
        ASSERT_NE(grown, nullptr) << size;
        block = grown;
        const auto* bytes = static_cast<const uint8_t*>(block);
        const size_t same = std::min(kept, size);
        for (size_t i = 0; i < same; ++i)
            ASSERT_EQ(bytes[i], 7) << size << " at " << i;
        EXPECT_TRUE(AllZero(bytes + same, size - same)) << size;
        EXPECT_EQ(GlobalSize(block), size);
        EXPECT_EQ(GlobalHandle(block), block);
        std::memset(block, 7, size);
        kept = size;
    }
    EXPECT_EQ(GlobalFree(block), nullptr);
    EXPECT_EQ(GlobalReAlloc(block, 10, 0), nullptr);  // freed
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(GlobalMemory, ThreadsAllocateAndFreeTogether)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            std::vector<void*> blocks;
            for (int i = 0; i < 2000; ++i) {
                void* p = VxGlobal_Alloc(size_t(16 + (i * 37 + t) % 700));
                ASSERT_NE(p, nullptr);
                static_cast<uint8_t*>(p)[0] = uint8_t(t);
                blocks.push_back(p);
                if (i % 3 == 0) {
                    VxGlobal_Free(blocks.front());
                    blocks.erase(blocks.begin());
                }
            }
            for (void* p : blocks) {
                ASSERT_EQ(static_cast<uint8_t*>(p)[0], uint8_t(t));
                VxGlobal_Free(p);
            }
        });
    for (std::thread& t : threads)
        t.join();
}

}  // namespace
