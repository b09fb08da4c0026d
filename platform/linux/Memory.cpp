// Global memory. A block is data behind a small header; the handle of a block is its data
// pointer (GMEM_MOVEABLE blocks are fixed too: nothing here ever moves a locked block behind
// its user's back). Small blocks come from calloc. Large ones (frame buffers) are mapped and
// populated in one call, which hands over zero pages faulted in at once: first touches of a
// calloc'd 72 MB frame would otherwise cost more than decoding the image into it. Their data
// starts on a 2 MiB boundary and asks for transparent huge pages: a frame on 4 KiB pages spends
// a quarter of its decode time in TLB misses, and populating huge pages is several times faster.
//
// Every live block is in a registry keyed by its data pointer, so a pointer that is not a live
// block (a double free, a stray pointer) is refused with ERROR_INVALID_HANDLE without being
// read. The registry is intrusive (the header holds the chain link) and allocates nothing, so
// registering can neither fail nor throw.
#include "../VxFault.h"
#include "../VxWin32.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14; older kernels answer EINVAL
#endif

namespace {

// Blocks from this size on are mapped rather than taken from the heap.
constexpr size_t kMappedThreshold = size_t(1) << 20;
// The module keeps every size in 32 bits; anything larger is a corrupt size, refused before
// the system is asked for it.
constexpr size_t kMaxBlockBytes = 0xFFFFFFFFu;
// Data offsets: heap blocks keep calloc's 16-byte alignment; mapped blocks keep their header in
// the page before the data, which starts on a huge-page boundary.
constexpr size_t kHeapOffset = 32;
constexpr size_t kPageBytes = 4096;
constexpr size_t kMappedOffset = kPageBytes;
constexpr size_t kHugePageBytes = size_t(2) << 20;

struct BlockHeader {
    BlockHeader* next;  // registry chain
    size_t size;        // bytes asked for
    size_t mapped;      // length of the mapping, 0 for a heap block
    uint32_t locks;
};
static_assert(sizeof(BlockHeader) == kHeapOffset);

void* DataOf(BlockHeader* header)
{
    return reinterpret_cast<uint8_t*>(header) + sizeof(BlockHeader);
}

// 64 independently locked shards of 256 chains each.
constexpr int kShardBits = 6;
constexpr int kBucketBits = 8;

struct Shard {
    std::mutex lock;
    BlockHeader* buckets[1 << kBucketBits] = {};
};
Shard g_shards[1 << kShardBits];

struct Slot {
    Shard& shard;
    BlockHeader** bucket;
};

Slot SlotOf(const void* data)
{
    const uint64_t hash = (uint64_t(uintptr_t(data)) >> 4) * 0x9E3779B97F4A7C15ull;
    const auto index = unsigned(hash >> (64 - kShardBits - kBucketBits));
    Shard& shard = g_shards[index >> kBucketBits];
    return {shard, &shard.buckets[index & ((1u << kBucketBits) - 1)]};
}

// Finds the live block of data; the caller holds the slot's shard lock.
BlockHeader* FindLocked(const Slot& slot, const void* data)
{
    for (BlockHeader* h = *slot.bucket; h; h = h->next)
        if (DataOf(h) == data)
            return h;
    return nullptr;
}

void Register(BlockHeader* header)
{
    const Slot slot = SlotOf(DataOf(header));
    std::lock_guard guard(slot.shard.lock);
    header->next = *slot.bucket;
    *slot.bucket = header;
}

// Takes the block of data out of the registry; null when data is not a live block.
BlockHeader* Unregister(const void* data)
{
    const Slot slot = SlotOf(data);
    std::lock_guard guard(slot.shard.lock);
    for (BlockHeader** link = slot.bucket; *link; link = &(*link)->next) {
        if (DataOf(*link) == data) {
            BlockHeader* header = *link;
            *link = header->next;
            header->next = nullptr;
            return header;
        }
    }
    return nullptr;
}

// Runs f on the live block of data under its shard lock; false when there is none.
template <class F>
bool WithBlock(const void* data, F f)
{
    if (!data)
        return false;
    const Slot slot = SlotOf(data);
    std::lock_guard guard(slot.shard.lock);
    BlockHeader* header = FindLocked(slot, data);
    if (header)
        f(*header);
    return header != nullptr;
}

// Maps kMappedOffset + bytes of zeroed memory whose data part starts on a huge-page boundary,
// populated before it is handed out. Returns the mapping's start and its length in *mapped.
uint8_t* MapAligned(size_t bytes, size_t* mapped)
{
    const size_t length = (kMappedOffset + bytes + kPageBytes - 1) & ~(kPageBytes - 1);
    const size_t reserved = length + kHugePageBytes;
    void* raw = mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    // Trim the reservation to the aligned block: data on the boundary, header page before it.
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t data = (start + kMappedOffset + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    uint8_t* base = reinterpret_cast<uint8_t*>(data - kMappedOffset);
    if (base > static_cast<uint8_t*>(raw))
        munmap(raw, size_t(base - static_cast<uint8_t*>(raw)));
    uint8_t* end = base + length;
    uint8_t* reservedEnd = static_cast<uint8_t*>(raw) + reserved;
    if (reservedEnd > end)
        munmap(end, size_t(reservedEnd - end));
    madvise(base + kMappedOffset, length - kMappedOffset, MADV_HUGEPAGE);
    if (madvise(base, length, MADV_POPULATE_WRITE) != 0) {
        // Kernels before 5.14: touch one byte a page, which faults in the same zero pages.
        for (size_t offset = 0; offset < length; offset += kPageBytes)
            static_cast<volatile uint8_t*>(base)[offset] = 0;
    }
    *mapped = length;
    return base;
}

// Allocates zeroed storage for bytes of data; the header is filled and not yet registered.
BlockHeader* AllocateStorage(size_t bytes)
{
    BlockHeader* header = nullptr;
    size_t mapped = 0;
    if (VxFault_AllocationFails())
        return nullptr;
    if (bytes >= kMappedThreshold) {
        uint8_t* base = MapAligned(bytes, &mapped);
        if (!base)
            return nullptr;
        header = reinterpret_cast<BlockHeader*>(base + kMappedOffset - kHeapOffset);
    } else {
        header = static_cast<BlockHeader*>(std::calloc(1, kHeapOffset + std::max<size_t>(bytes, 1)));
        if (!header)
            return nullptr;
    }
    *header = {nullptr, bytes, mapped, 0};
    return header;
}

void ReleaseStorage(BlockHeader* header)
{
    if (header->mapped)
        munmap(reinterpret_cast<uint8_t*>(header) + kHeapOffset - kMappedOffset, header->mapped);
    else
        std::free(header);
}

HGLOBAL OutOfMemory()
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

HGLOBAL InvalidHandle()
{
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

}  // namespace

// Every block starts zeroed, GMEM_ZEROINIT or not: it costs next to nothing with calloc and
// fresh mappings, and no stale bytes can reach a file or the host.
extern "C" HGLOBAL GlobalAlloc(UINT /*flags*/, size_t bytes)
{
    if (bytes > kMaxBlockBytes)
        return OutOfMemory();
    BlockHeader* header = AllocateStorage(bytes);
    if (!header)
        return OutOfMemory();
    Register(header);
    return DataOf(header);
}

// The content is kept up to the smaller size and growth is zeroed (as for GlobalAlloc, with
// or without GMEM_ZEROINIT). The block may move whatever the flags say. On failure the old
// block stays valid.
extern "C" HGLOBAL GlobalReAlloc(HGLOBAL block, size_t bytes, UINT /*flags*/)
{
    if (!block)
        return InvalidHandle();
    if (bytes > kMaxBlockBytes) {
        if (!WithBlock(block, [](BlockHeader&) {}))
            return InvalidHandle();
        return OutOfMemory();
    }
    BlockHeader* old = Unregister(block);
    if (!old)
        return InvalidHandle();
    const size_t oldSize = old->size;

    BlockHeader* moved = nullptr;
    if (!old->mapped && bytes < kMappedThreshold) {
        moved = static_cast<BlockHeader*>(std::realloc(old, kHeapOffset + std::max<size_t>(bytes, 1)));
        if (moved) {
            if (bytes > oldSize)
                std::memset(static_cast<uint8_t*>(DataOf(moved)) + oldSize, 0, bytes - oldSize);
            moved->size = bytes;
        }
    } else {
        moved = AllocateStorage(bytes);
        if (moved) {
            std::memcpy(DataOf(moved), DataOf(old), std::min(oldSize, bytes));
            moved->locks = old->locks;
            ReleaseStorage(old);
        }
    }
    if (!moved) {
        Register(old);
        return OutOfMemory();
    }
    Register(moved);
    return DataOf(moved);
}

extern "C" void* GlobalLock(HGLOBAL block)
{
    if (!WithBlock(block, [](BlockHeader& h) { h.locks += h.locks < UINT32_MAX ? 1 : 0; }))
        return InvalidHandle();
    return block;
}

// TRUE while the block stays locked; FALSE with ERROR_SUCCESS when this unlock was the last,
// FALSE with ERROR_NOT_LOCKED when it was not locked at all.
extern "C" BOOL GlobalUnlock(HGLOBAL block)
{
    DWORD error = ERROR_SUCCESS;
    BOOL stillLocked = FALSE;
    const bool found = WithBlock(block, [&](BlockHeader& h) {
        if (h.locks == 0)
            error = ERROR_NOT_LOCKED;
        else
            stillLocked = --h.locks > 0 ? TRUE : FALSE;
    });
    if (!found)
        error = ERROR_INVALID_HANDLE;
    if (!stillLocked)
        SetLastError(error);
    return stillLocked;
}

extern "C" HGLOBAL GlobalHandle(const void* pointer)
{
    if (!WithBlock(pointer, [](BlockHeader&) {}))
        return InvalidHandle();
    return const_cast<void*>(pointer);
}

// Null on success (and for a null block); the block itself when it is not a live block.
extern "C" HGLOBAL GlobalFree(HGLOBAL block)
{
    if (!block)
        return nullptr;
    BlockHeader* header = Unregister(block);
    if (!header) {
        SetLastError(ERROR_INVALID_HANDLE);
        return block;
    }
    ReleaseStorage(header);
    return nullptr;
}

extern "C" size_t GlobalSize(HGLOBAL block)
{
    size_t size = 0;
    if (!WithBlock(block, [&](BlockHeader& h) { size = h.size; })) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return size;
}
