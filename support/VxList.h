// tVXLIST: the growable item list of the library. A list holds pointer-sized entries (pointer
// lists, or heap lists whose items the list owns) or fixed-size records stored inline. Every
// operation is a free function taking the list first and answering a result code, or an index
// where stated (-1 for "none" and for a refused call).
#pragma once

#include "../platform/VxWin32.h"
#include "../plugin/contracts/VxResults.h"

#include <cstddef>
#include <cstdint>

// Create options.
constexpr uint32_t kVxListThreadSafe = 0x80000000u;   // every operation takes the list's lock
constexpr uint32_t kVxListAnyThread = 0x40000000u;    // callers other than the owner thread allowed
constexpr uint32_t kVxListPrivateHeap = 0x10000000u;  // heap-list items from a heap of the list
constexpr uint32_t kVxListUserHeader = 0x00000008u;   // the caller supplies the header storage
constexpr uint32_t kVxListInline = 0x00000004u;       // entries are records of the item size
constexpr uint32_t kVxListHeap = 0x00000002u;         // entries point to items the list owns

constexpr uint32_t kVxListSignature = 0x54525543u;    // "CURT" while the list is alive
constexpr int32_t kVxListGrowMin = 4;
constexpr int32_t kVxListGrowMax = 0x10400;
constexpr int32_t kVxListGrowDefault = 16;

// Compare callback of the sorted searches and the sorts: negative, zero or positive as a is
// below, equal to or above b. Entries are passed as the pointer value for pointer and heap
// lists and as the record's address for inline lists; the key of a search is passed as given.
using VXLISTCOMPARE = int (*)(uint32_t criteria, const void* a, const void* b);

// The list header, fields in the library's order. Its size is that of this struct on the
// platform (84 bytes with 32-bit pointers). The lock is the platform's recursive mutex; heap
// items are zero-filled blocks whose size the list keeps in front of each item, so the private
// heap option changes nothing but the option word.
struct tVXLIST {
    int32_t count;
    uint32_t itemSize;       // bytes per entry: a pointer for pointer and heap lists
    uint8_t* entries;        // zero-filled global block of `allocated` entries
    HANDLE lock;             // thread-safe lists only
    uint32_t signature;
    uint32_t options;
    int32_t userData;
    uint32_t sortCriteria;
    uint32_t ownerThread;
    int32_t allocated;
    int32_t growBy;
    void* pendingItem;       // a heap-list item allocated and not yet inserted
};

// Creates a list. itemSize is rounded up to a multiple of 4 for inline lists and ignored for
// the others; growBy below 1 becomes 16 and is clamped to 4..0x10400; the initial capacity
// (16 when not positive, at least 4) is rounded up to a multiple of growBy. With
// kVxListUserHeader the header lives in `header`, which is zeroed here and never freed.
// kVxListAnyThread is always added. E_FAIL for heap and inline together, E_INVALIDARG for an
// inline record size of 0 or one that does not round up, E_OUTOFMEMORY when memory is out.
HRESULT VxList_CreateExZ(tVXLIST** out, uint32_t itemSize, int32_t capacity, int32_t growBy,
                         uint32_t options, tVXLIST* header = nullptr);

// Frees every heap item, the entries, the lock and (unless user-supplied) the header. A null
// list is accepted.
HRESULT VxList_Destroy(tVXLIST* list);

// Copies n entries from source before index (an index below 0 or at or past the count
// appends). Heap lists accept only source null with n -1, which inserts the pending item.
HRESULT VxList_InsertList(tVXLIST* list, int32_t index, const void* source, int32_t n);

// Heap lists: allocates the pending item (zero-filled). E_FAIL when one is already pending.
HRESULT VxList_AllocItem(tVXLIST* list, uint32_t size, void** item);

// Heap lists: a new item holding a copy of size bytes of data (zeros for null data), inserted
// at index (appended when out of range). The index used, or -1 on failure, goes to outIndex.
HRESULT VxList_AllocAndInsertItem(tVXLIST* list, const void* data, uint32_t size, int32_t index,
                                  int32_t* outIndex);

// Heap lists: resizes the item at index; bytes beyond the old size are zero.
HRESULT VxList_ReAllocItem(tVXLIST* list, int32_t index, uint32_t size);

// Removes n entries from index (n below 0: to the end), freeing heap items; the vacated tail
// is zeroed. With shrink set and more than growBy entries free the array shrinks. index and n
// both below 0 free the pending item instead (E_FAIL when there is none).
HRESULT VxList_DeleteList(tVXLIST* list, int32_t index, int32_t n, BOOL shrink);

// Moves the n entries at from (n below 0: to the end) so that they start at index to of the
// resulting list. E_FAIL when either range leaves the list.
HRESULT VxList_MoveRange(tVXLIST* list, int32_t from, int32_t to, int32_t n);

// Linear search of n entries from start (n below 0: to the end; the range is clipped).
// Pointer and heap entries compare with item by value; inline records compare byte for byte
// with the record item points to. The index, or -1.
int32_t VxList_FindSpecificItemRange(tVXLIST* list, int32_t start, int32_t n, const void* item);

// Binary searches over a range sorted by compare(criteria, key, entry).
int32_t VxList_FindSortedItemRange(tVXLIST* list, const void* key, int32_t start, int32_t n,
                                   VXLISTCOMPARE compare);
int32_t VxList_FindSortedInsertIndexRange(tVXLIST* list, const void* key, int32_t start,
                                          int32_t n, VXLISTCOMPARE compare);

// Sorts ascending: selection of the greatest remaining entry, or a heap sort. Both store the
// criteria first. SortTo inserts every entry of source into target (a pointer or inline list
// of the same entry size) at its sorted position.
HRESULT VxList_Sort(tVXLIST* list, uint32_t criteria, VXLISTCOMPARE compare);
HRESULT VxList_HeapSort(tVXLIST* list, uint32_t criteria, VXLISTCOMPARE compare);
HRESULT VxList_SortTo(tVXLIST* target, tVXLIST* source, uint32_t criteria, VXLISTCOMPARE compare);

// Capacity: grows by n entries (growBy when n is not positive) rounded up to a multiple of
// growBy; shrinks by up to n free entries (all when n is negative) in multiples of growBy,
// keeping at least one entry.
HRESULT VxList_GrowAllocated(tVXLIST* list, int32_t n);
HRESULT VxList_ShrinkAllocated(tVXLIST* list, int32_t n);

// Inline lists: sets the count to n, growing when needed (new records are zero).
HRESULT VxList_ArrayForceItemCount(tVXLIST* list, int32_t n, BOOL shrink);

// Entries. GetItem gives the item pointer of a heap list, the stored value of a pointer list
// and the record's address of an inline list; null for an index out of range.
int32_t VxList_GetCount(tVXLIST* list);
void* VxList_GetItem(tVXLIST* list, int32_t index);

// Accessors. SetThreadOwner with 0 names the calling thread.
int32_t VxList_GetUserData(tVXLIST* list);
HRESULT VxList_SetUserData(tVXLIST* list, int32_t value);
uint32_t VxList_GetCreateOptions(tVXLIST* list);
uint32_t VxList_GetSortCriteria(tVXLIST* list);
uint32_t VxList_GetThreadOwner(tVXLIST* list);
HRESULT VxList_SetThreadOwner(tVXLIST* list, uint32_t threadId);

// The bytes of the item at index, or with index -1 the list's whole memory (header, entries
// and heap items). 0 for an index out of range.
size_t VxList_AllocSize(tVXLIST* list, int32_t index);
BOOL VxList_IsValidIndexSlow(tVXLIST* list, int32_t index);

// IsList accepts a pointer only when size is the header's size, the memory is readable and
// the signature matches; IsListFast tests the signature alone.
BOOL VxList_IsList(const void* pointer, size_t size);
BOOL VxList_IsListFast(const tVXLIST* list);
