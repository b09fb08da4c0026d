// The library's item lists.
#include "VxList.h"

#include "../platform/VxFault.h"
#include "../platform/VxOwners.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kListKinds = kVxListHeap | kVxListInline;
constexpr size_t kStackMoveBytes = 512;   // MoveRange buffers up to this size live on the stack

// A heap item is a zero-filled block headed by its size; the list hands out the bytes after it.
struct HeapItemHead {
    size_t size;
    size_t reserved;   // keeps the item 16-byte aligned
};

void* HeapItem_Alloc(size_t size)
{
    if (VxFault_AllocationFails())
        return nullptr;
    auto* head = static_cast<HeapItemHead*>(std::calloc(1, sizeof(HeapItemHead) + size));
    if (!head)
        return nullptr;
    head->size = size;
    return head + 1;
}

HeapItemHead* HeapItem_Head(void* item)
{
    return static_cast<HeapItemHead*>(item) - 1;
}

void HeapItem_Free(void* item)
{
    if (item)
        std::free(HeapItem_Head(item));
}

size_t HeapItem_Size(void* item)
{
    return item ? HeapItem_Head(item)->size : 0;
}

void* HeapItem_Resize(void* item, size_t size)
{
    HeapItemHead* head = HeapItem_Head(item);
    const size_t old = head->size;
    auto* grown = static_cast<HeapItemHead*>(std::realloc(head, sizeof(HeapItemHead) + size));
    if (!grown)
        return nullptr;
    if (size > old)
        std::memset(reinterpret_cast<uint8_t*>(grown + 1) + old, 0, size - old);
    grown->size = size;
    return grown + 1;
}

bool IsHeap(const tVXLIST* list)
{
    return (list->options & kVxListHeap) != 0;
}

bool IsInline(const tVXLIST* list)
{
    return (list->options & kVxListInline) != 0;
}

uint8_t* EntryAt(tVXLIST* list, int32_t index)
{
    return list->entries + size_t(index) * list->itemSize;
}

void* PointerAt(tVXLIST* list, int32_t index)
{
    void* value;
    std::memcpy(&value, EntryAt(list, index), sizeof value);
    return value;
}

// What callbacks and GetItem see of an entry: the stored pointer, or the record's address.
void* EntryValue(tVXLIST* list, int32_t index)
{
    return IsInline(list) ? EntryAt(list, index) : PointerAt(list, index);
}

// count rounded up to a multiple of quantum, or -1 when that no longer fits an entry count.
int64_t RoundUp(int64_t count, int32_t quantum)
{
    const int64_t rounded = (count + quantum - 1) / quantum * quantum;
    return rounded <= INT32_MAX ? rounded : -1;
}

// The entry array is replaced by a new zero-filled block of `capacity` entries; the list is
// untouched when memory is out.
HRESULT Reallocate(tVXLIST* list, int32_t capacity)
{
    const uint64_t bytes = uint64_t(capacity) * list->itemSize;
    if (capacity < 1 || bytes > uint64_t(INT32_MAX) * 4)
        return E_OUTOFMEMORY;
    auto* entries = static_cast<uint8_t*>(VxGlobal_Alloc(size_t(bytes)));
    if (!entries)
        return E_OUTOFMEMORY;
    if (list->count > 0)
        std::memcpy(entries, list->entries, size_t(list->count) * list->itemSize);
    VxGlobal_Free(list->entries);
    list->entries = entries;
    list->allocated = capacity;
    return S_OK;
}

HRESULT Grow(tVXLIST* list, int32_t n)
{
    const int64_t capacity = RoundUp(int64_t(list->allocated) + (n > 0 ? n : list->growBy), list->growBy);
    return capacity < 0 ? E_OUTOFMEMORY : Reallocate(list, int32_t(capacity));
}

// Makes room for `more` entries beyond the count.
HRESULT Reserve(tVXLIST* list, int64_t more)
{
    const int64_t needed = int64_t(list->count) + more;
    if (needed > INT32_MAX)
        return E_OUTOFMEMORY;
    if (needed <= list->allocated)
        return S_OK;
    return Grow(list, int32_t(needed - list->allocated));
}

HRESULT Shrink(tVXLIST* list, int32_t n)
{
    const int32_t unused = list->allocated - list->count;
    int32_t drop = (n < 0 ? unused : std::min(n, unused)) / list->growBy * list->growBy;
    while (drop > 0 && list->allocated - drop < 1)
        drop -= list->growBy;
    return drop > 0 ? Reallocate(list, list->allocated - drop) : S_OK;
}

void ShrinkAfterDelete(tVXLIST* list, BOOL shrink)
{
    // A failed shrink keeps the larger array: the deletion itself has happened.
    if (shrink && list->allocated - list->count > list->growBy)
        Shrink(list, -1);
}

// Opens up n zeroed entries before index (already clamped to 0..count); room must exist.
void OpenGap(tVXLIST* list, int32_t index, int32_t n)
{
    uint8_t* at = EntryAt(list, index);
    std::memmove(at + size_t(n) * list->itemSize, at, size_t(list->count - index) * list->itemSize);
    std::memset(at, 0, size_t(n) * list->itemSize);
    list->count += n;
}

void CloseGap(tVXLIST* list, int32_t index, int32_t n)
{
    uint8_t* at = EntryAt(list, index);
    const size_t tail = size_t(list->count - index - n) * list->itemSize;
    std::memmove(at, at + size_t(n) * list->itemSize, tail);
    std::memset(at + tail, 0, size_t(n) * list->itemSize);
    list->count -= n;
}

int32_t ClampInsertIndex(const tVXLIST* list, int32_t index)
{
    return index < 0 || index > list->count ? list->count : index;
}

// Clips a search range to the list: start below 0 becomes 0, n below 0 or too long runs to
// the end. Gives the end index.
int32_t ClipRange(const tVXLIST* list, int32_t& start, int32_t n)
{
    start = std::clamp(start, 0, list->count);
    const int32_t left = list->count - start;
    return start + (n < 0 || n > left ? left : n);
}

void SwapEntries(tVXLIST* list, int32_t a, int32_t b)
{
    if (a != b)
        std::swap_ranges(EntryAt(list, a), EntryAt(list, a) + list->itemSize, EntryAt(list, b));
}

int Compare(tVXLIST* list, VXLISTCOMPARE compare, int32_t a, int32_t b)
{
    return compare(list->sortCriteria, EntryValue(list, a), EntryValue(list, b));
}

// One operation on a list: checks it is alive, takes its lock when it is thread-safe and
// refuses callers other than the owner thread on lists that allow only the owner.
class CVxListCall {
public:
    explicit CVxListCall(tVXLIST* list)
        : m_list(VxList_IsListFast(list) ? list : nullptr),
          m_lock(m_list && (m_list->options & kVxListThreadSafe) ? m_list->lock : nullptr)
    {
    }
    bool Allowed() const
    {
        return m_list && ((m_list->options & (kVxListThreadSafe | kVxListAnyThread)) != 0 ||
                          m_list->ownerThread == GetCurrentThreadId());
    }
    // E_INVALIDARG for no list, E_FAIL for a foreign thread, S_OK to go on.
    HRESULT Check() const
    {
        if (!m_list)
            return E_INVALIDARG;
        return Allowed() ? S_OK : E_FAIL;
    }

private:
    tVXLIST* m_list;
    CVxMutexLock m_lock;
};

}  // namespace

HRESULT VxList_CreateExZ(tVXLIST** out, uint32_t itemSize, int32_t capacity, int32_t growBy,
                         uint32_t options, tVXLIST* header)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if ((options & kListKinds) == kListKinds)
        return E_FAIL;
    if (options & kVxListInline) {
        if (itemSize == 0 || itemSize > UINT32_MAX - 3)
            return E_INVALIDARG;
        itemSize = (itemSize + 3) & ~3u;
    } else {
        itemSize = sizeof(void*);
    }
    if ((options & kVxListUserHeader) && !header)
        return E_POINTER;

    growBy = std::clamp(growBy < 1 ? kVxListGrowDefault : growBy, kVxListGrowMin, kVxListGrowMax);
    const int64_t initial = RoundUp(std::max(capacity < 1 ? kVxListGrowDefault : capacity, 4), growBy);
    if (initial < 0)
        return E_OUTOFMEMORY;

    tVXLIST* list = header;
    if (options & kVxListUserHeader)
        std::memset(list, 0, sizeof *list);
    else if (!(list = static_cast<tVXLIST*>(VxGlobal_Alloc(sizeof(tVXLIST)))))
        return E_OUTOFMEMORY;
    list->itemSize = itemSize;
    list->options = options | kVxListAnyThread;
    list->ownerThread = GetCurrentThreadId();
    list->growBy = growBy;
    list->lock = INVALID_HANDLE_VALUE;

    HRESULT hr = Reallocate(list, int32_t(initial));
    if (SUCCEEDED(hr) && (options & kVxListThreadSafe)) {
        list->lock = CreateMutexW(nullptr, FALSE, nullptr);
        if (!CVxHandle::IsValid(list->lock))
            hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        VxGlobal_Free(list->entries);
        if (options & kVxListUserHeader)
            std::memset(list, 0, sizeof *list);
        else
            VxGlobal_Free(list);
        return hr;
    }
    list->signature = kVxListSignature;
    *out = list;
    return S_OK;
}

HRESULT VxList_Destroy(tVXLIST* list)
{
    if (!list)
        return S_OK;
    HANDLE lock = INVALID_HANDLE_VALUE;
    {
        CVxListCall call(list);
        VX_RETURN_IF_FAILED(call.Check());
        if (IsHeap(list)) {
            for (int32_t i = 0; i < list->count; ++i)
                HeapItem_Free(PointerAt(list, i));
            HeapItem_Free(list->pendingItem);
        }
        VxGlobal_Free(list->entries);
        list->entries = nullptr;
        list->count = 0;
        list->allocated = 0;
        list->pendingItem = nullptr;
        list->signature = 0;
        lock = list->lock;
    }
    if (CVxHandle::IsValid(lock))
        CloseHandle(lock);
    if (list->options & kVxListUserHeader)
        list->lock = nullptr;
    else
        VxGlobal_Free(list);
    return S_OK;
}

HRESULT VxList_InsertList(tVXLIST* list, int32_t index, const void* source, int32_t n)
{
    CVxListCall call(list);
    VX_RETURN_IF_FAILED(call.Check());
    if (IsHeap(list)) {
        if (source || n != -1 || !list->pendingItem)
            return E_FAIL;
        VX_RETURN_IF_FAILED(Reserve(list, 1));
        index = ClampInsertIndex(list, index);
        OpenGap(list, index, 1);
        std::memcpy(EntryAt(list, index), &list->pendingItem, sizeof(void*));
        list->pendingItem = nullptr;
        return S_OK;
    }
    if (n < 0)
        return E_FAIL;
    if (n == 0)
        return S_OK;
    if (!source)
        return E_INVALIDARG;

    // A source inside the list's own array would move when the array grows: copy it first.
    const size_t bytes = size_t(n) * list->itemSize;
    const auto* from = static_cast<const uint8_t*>(source);
    CVxGlobalBlock copy;
    const uint8_t* arrayEnd = list->entries + size_t(list->allocated) * list->itemSize;
    if (from < arrayEnd && from + bytes > list->entries) {
        copy = CVxGlobalBlock(bytes);
        if (!copy)
            return E_OUTOFMEMORY;
        std::memcpy(copy.Get(), from, bytes);
        from = copy.Bytes();
    }
    VX_RETURN_IF_FAILED(Reserve(list, n));
    index = ClampInsertIndex(list, index);
    OpenGap(list, index, n);
    std::memcpy(EntryAt(list, index), from, bytes);
    return S_OK;
}

HRESULT VxList_AllocItem(tVXLIST* list, uint32_t size, void** item)
{
    if (!item)
        return E_POINTER;
    *item = nullptr;
    CVxListCall call(list);
    VX_RETURN_IF_FAILED(call.Check());
    if (!IsHeap(list) || list->pendingItem)
        return E_FAIL;
    list->pendingItem = HeapItem_Alloc(size);
    if (!list->pendingItem)
        return E_OUTOFMEMORY;
    *item = list->pendingItem;
    return S_OK;
}

HRESULT VxList_AllocAndInsertItem(tVXLIST* list, const void* data, uint32_t size, int32_t index,
                                  int32_t* outIndex)
{
    if (outIndex)
        *outIndex = -1;
    CVxListCall call(list);
    VX_RETURN_IF_FAILED(call.Check());
    if (!IsHeap(list))
        return E_FAIL;
    void* item = HeapItem_Alloc(size);
    if (!item)
        return E_OUTOFMEMORY;
    if (data && size)
        std::memcpy(item, data, size);
    const HRESULT hr = Reserve(list, 1);
    if (FAILED(hr)) {
        HeapItem_Free(item);
        return hr;
    }
    index = ClampInsertIndex(list, index);
    OpenGap(list, index, 1);
    std::memcpy(EntryAt(list, index), &item, sizeof item);
    if (outIndex)
        *outIndex = index;
    return S_OK;
}

HRESULT VxList_ReAllocItem(tVXLIST* list, int32_t index, uint32_t size)
{
    CVxListCall call(list);
    VX_RETURN_IF_FAILED(call.Check());
    if (!IsHeap(list) || index < 0 || index >= list->count)
        return E_FAIL;
    void* item = PointerAt(list, index);
    void* resized = item ? HeapItem_Resize(item, size) : HeapItem_Alloc(size);
    if (!resized)
        return E_OUTOFMEMORY;
    std::memcpy(EntryAt(list, index), &resized, sizeof resized);
    return S_OK;
}

HRESULT VxList_DeleteList(tVXLIST* list, int32_t index, int32_t n, BOOL shrink)
{
    CVxListCall call(list);
    VX_RETURN_IF_FAILED(call.Check());
    if (index < 0 && n < 0) {
        if (!list->pendingItem)
            return E_FAIL;
        HeapItem_Free(std::exchange(list->pendingItem, nullptr));
        return S_OK;
    }
    if (index < 0 || index > list->count)
        return E_FAIL;
    const int32_t left = list->count - index;
    if (n < 0 || n > left)
        n = left;
    if (n == 0)
        return S_OK;
    if (IsHeap(list)) {
        for (int32_t i = index; i < index + n; ++i)
            HeapItem_Free(PointerAt(list, i));
    }
    CloseGap(list, index, n);
    ShrinkAfterDelete(list, shrink);
    return S_OK;
}

HRESULT VxList_MoveRange(tVXLIST* list, int32_t from, int32_t to, int32_t n)
{
    CVxListCall call(list);
    VX_RETURN_IF_FAILED(call.Check());
    if (from < 0 || from > list->count || to < 0)
        return E_FAIL;
    if (n < 0)
        n = list->count - from;
    if (n > list->count - from || to > list->count - n)
        return E_FAIL;
    if (n == 0 || from == to)
        return S_OK;

    const size_t bytes = size_t(n) * list->itemSize;
    uint8_t stackBuffer[kStackMoveBytes];
    CVxGlobalBlock heapBuffer;
    uint8_t* buffer = stackBuffer;
    if (bytes > sizeof stackBuffer) {
        heapBuffer = CVxGlobalBlock(bytes);
        if (!heapBuffer)
            return E_OUTOFMEMORY;
        buffer = heapBuffer.Bytes();
    }
    std::memcpy(buffer, EntryAt(list, from), bytes);
    // Shift the entries between the two places over the block's old place, then drop it in.
    if (to < from)
        std::memmove(EntryAt(list, to + n), EntryAt(list, to), size_t(from - to) * list->itemSize);
    else
        std::memmove(EntryAt(list, from), EntryAt(list, from + n), size_t(to - from) * list->itemSize);
    std::memcpy(EntryAt(list, to), buffer, bytes);
    return S_OK;
}

int32_t VxList_FindSpecificItemRange(tVXLIST* list, int32_t start, int32_t n, const void* item)
{
    CVxListCall call(list);
    if (!call.Allowed())
        return -1;
    const int32_t end = ClipRange(list, start, n);
    for (int32_t i = start; i < end; ++i) {
        const bool equal = IsInline(list) ? item && std::memcmp(EntryAt(list, i), item, list->itemSize) == 0
                                          : PointerAt(list, i) == item;
        if (equal)
            return i;
    }
    return -1;
}

int32_t VxList_FindSortedItemRange(tVXLIST* list, const void* key, int32_t start, int32_t n,
                                   VXLISTCOMPARE compare)
{
    CVxListCall call(list);
    if (!call.Allowed() || !compare)
        return -1;
    int32_t low = start;
    int32_t high = ClipRange(list, low, n);
    while (low < high) {
        const int32_t middle = low + (high - low) / 2;
        const int order = compare(list->sortCriteria, key, EntryValue(list, middle));
        if (order == 0)
            return middle;
        if (order < 0)
            high = middle;
        else
            low = middle + 1;
    }
    return -1;
}

// The insert index lies after any entries equal to the key, so equal keys keep their order.
int32_t VxList_FindSortedInsertIndexRange(tVXLIST* list, const void* key, int32_t start,
                                          int32_t n, VXLISTCOMPARE compare)
{
    CVxListCall call(list);
    if (!call.Allowed() || !compare)
        return -1;
    int32_t low = start;
    int32_t high = ClipRange(list, low, n);
    while (low < high) {
        const int32_t middle = low + (high - low) / 2;
        if (compare(list->sortCriteria, key, EntryValue(list, middle)) < 0)
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

HRESULT VxList_Sort(tVXLIST* list, uint32_t criteria, VXLISTCOMPARE compare)
{
    CVxListCall call(list);
    VX_RETURN_IF_FAILED(call.Check());
    if (!compare)
        return E_INVALIDARG;
    list->sortCriteria = criteria;
    for (int32_t end = list->count - 1; end > 0; --end) {
        int32_t greatest = 0;
        for (int32_t i = 1; i <= end; ++i) {
            if (Compare(list, compare, i, greatest) >= 0)
                greatest = i;
        }
        SwapEntries(list, greatest, end);
    }
    return S_OK;
}

HRESULT VxList_HeapSort(tVXLIST* list, uint32_t criteria, VXLISTCOMPARE compare)
{
    CVxListCall call(list);
    VX_RETURN_IF_FAILED(call.Check());
    if (!compare)
        return E_INVALIDARG;
    list->sortCriteria = criteria;
    auto siftDown = [&](int32_t root, int32_t size) {
        for (;;) {
            int32_t child = 2 * root + 1;
            if (child >= size)
                return;
            if (child + 1 < size && Compare(list, compare, child + 1, child) > 0)
                ++child;
            if (Compare(list, compare, child, root) <= 0)
                return;
            SwapEntries(list, root, child);
            root = child;
        }
    };
    for (int32_t i = list->count / 2 - 1; i >= 0; --i)
        siftDown(i, list->count);
    for (int32_t end = list->count - 1; end > 0; --end) {
        SwapEntries(list, 0, end);
        siftDown(0, end);
    }
    return S_OK;
}

// The source's entries are copied out under its lock and inserted under the target's, so the
// two locks are never held together.
HRESULT VxList_SortTo(tVXLIST* target, tVXLIST* source, uint32_t criteria, VXLISTCOMPARE compare)
{
    if (!compare)
        return E_INVALIDARG;
    CVxGlobalBlock entries;
    int32_t count = 0;
    {
        CVxListCall call(source);
        VX_RETURN_IF_FAILED(call.Check());
        if (!VxList_IsListFast(target) || IsHeap(target) || target->itemSize != source->itemSize)
            return E_FAIL;
        count = source->count;
        if (count == 0)
            return S_OK;
        entries = CVxGlobalBlock(size_t(count) * source->itemSize);
        if (!entries)
            return E_OUTOFMEMORY;
        std::memcpy(entries.Get(), source->entries, entries.Size());
    }
    CVxListCall call(target);
    VX_RETURN_IF_FAILED(call.Check());
    VX_RETURN_IF_FAILED(Reserve(target, count));
    target->sortCriteria = criteria;
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* entry = entries.Bytes() + size_t(i) * target->itemSize;
        void* value;
        if (IsInline(target))
            value = const_cast<uint8_t*>(entry);
        else
            std::memcpy(&value, entry, sizeof value);
        const int32_t at = VxList_FindSortedInsertIndexRange(target, value, 0, -1, compare);
        OpenGap(target, at, 1);
        std::memcpy(EntryAt(target, at), entry, target->itemSize);
    }
    return S_OK;
}

HRESULT VxList_GrowAllocated(tVXLIST* list, int32_t n)
{
    CVxListCall call(list);
    VX_RETURN_IF_FAILED(call.Check());
    return Grow(list, n);
}

HRESULT VxList_ShrinkAllocated(tVXLIST* list, int32_t n)
{
    CVxListCall call(list);
    VX_RETURN_IF_FAILED(call.Check());
    return Shrink(list, n);
}

HRESULT VxList_ArrayForceItemCount(tVXLIST* list, int32_t n, BOOL shrink)
{
    CVxListCall call(list);
    VX_RETURN_IF_FAILED(call.Check());
    if (!IsInline(list) || n < 0)
        return E_FAIL;
    if (n > list->count) {
        VX_RETURN_IF_FAILED(Reserve(list, int64_t(n) - list->count));
        list->count = n;   // the records beyond the old count are zero
    } else {
        CloseGap(list, n, list->count - n);
        ShrinkAfterDelete(list, shrink);
    }
    return S_OK;
}

int32_t VxList_GetCount(tVXLIST* list)
{
    CVxListCall call(list);
    return call.Allowed() ? list->count : 0;
}

void* VxList_GetItem(tVXLIST* list, int32_t index)
{
    CVxListCall call(list);
    if (!call.Allowed() || index < 0 || index >= list->count)
        return nullptr;
    return EntryValue(list, index);
}

int32_t VxList_GetUserData(tVXLIST* list)
{
    if (!VxList_IsListFast(list))
        return 0;
    return std::atomic_ref<int32_t>(list->userData).load();
}

HRESULT VxList_SetUserData(tVXLIST* list, int32_t value)
{
    if (!VxList_IsListFast(list))
        return E_INVALIDARG;
    std::atomic_ref<int32_t>(list->userData).store(value);
    return S_OK;
}

uint32_t VxList_GetCreateOptions(tVXLIST* list)
{
    return VxList_IsListFast(list) ? list->options : 0;
}

uint32_t VxList_GetSortCriteria(tVXLIST* list)
{
    return VxList_IsListFast(list) ? list->sortCriteria : 0;
}

uint32_t VxList_GetThreadOwner(tVXLIST* list)
{
    return VxList_IsListFast(list) ? list->ownerThread : 0;
}

HRESULT VxList_SetThreadOwner(tVXLIST* list, uint32_t threadId)
{
    CVxListCall call(list);
    VX_RETURN_IF_FAILED(call.Check());
    list->ownerThread = threadId ? threadId : GetCurrentThreadId();
    return S_OK;
}

size_t VxList_AllocSize(tVXLIST* list, int32_t index)
{
    CVxListCall call(list);
    if (!call.Allowed())
        return 0;
    if (index == -1) {
        size_t total = sizeof(tVXLIST) + size_t(list->allocated) * list->itemSize;
        if (IsHeap(list)) {
            for (int32_t i = 0; i < list->count; ++i)
                total += HeapItem_Size(PointerAt(list, i));
            total += HeapItem_Size(list->pendingItem);
        }
        return total;
    }
    if (index < 0 || index >= list->count)
        return 0;
    return IsHeap(list) ? HeapItem_Size(PointerAt(list, index)) : list->itemSize;
}

BOOL VxList_IsValidIndexSlow(tVXLIST* list, int32_t index)
{
    CVxListCall call(list);
    return call.Allowed() && index >= 0 && index < list->count;
}

// Readability is tested by copying the header through the process-memory call, which fails
// instead of faulting on an address that is not mapped.
BOOL VxList_IsList(const void* pointer, size_t size)
{
    if (!pointer || size != sizeof(tVXLIST))
        return FALSE;
    tVXLIST copy;
    size_t read = 0;
    if (!ReadProcessMemory(GetCurrentProcess(), pointer, &copy, sizeof copy, &read) || read != sizeof copy)
        return FALSE;
    return copy.signature == kVxListSignature;
}

BOOL VxList_IsListFast(const tVXLIST* list)
{
    return list && list->signature == kVxListSignature;
}
