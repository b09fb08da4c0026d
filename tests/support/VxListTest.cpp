#include "support/VxList.h"
#include "tests/common/VxTest.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace {

// Owns a list for one test.
struct TestList {
    tVXLIST* list = nullptr;
    TestList(uint32_t itemSize, int32_t capacity, int32_t growBy, uint32_t options)
    {
        const HRESULT hr = VxList_CreateExZ(&list, itemSize, capacity, growBy, options);
        EXPECT_EQ(hr, S_OK) << VxTest_Describe(hr);
    }
    ~TestList() { VxList_Destroy(list); }
    operator tVXLIST*() const { return list; }
};

std::vector<int32_t> Ints(tVXLIST* list)
{
    std::vector<int32_t> values;
    for (int32_t i = 0; i < VxList_GetCount(list); ++i)
        values.push_back(*static_cast<int32_t*>(VxList_GetItem(list, i)));
    return values;
}

void Append(tVXLIST* list, std::vector<int32_t> values)
{
    ASSERT_EQ(VxList_InsertList(list, -1, values.data(), int32_t(values.size())), S_OK);
}

int CompareInts(uint32_t criteria, const void* a, const void* b)
{
    const int32_t x = *static_cast<const int32_t*>(a), y = *static_cast<const int32_t*>(b);
    return criteria == 1 ? (y > x) - (y < x) : (x > y) - (x < y);   // criteria 1: descending
}

}  // namespace

TEST(VxList, InsertsAndDeletesWithClamping)
{
    tVXLIST* refused = nullptr;
    EXPECT_EQ(VxList_CreateExZ(&refused, 4, -1, -1, kVxListHeap | kVxListInline), E_FAIL);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(VxList_Destroy(nullptr), S_OK);
    TestList list(4, -1, -1, kVxListInline);
    Append(list, {1, 2, 3});
    const int32_t four = 4;
    ASSERT_EQ(VxList_InsertList(list, 99, &four, 1), S_OK);
    ASSERT_EQ(VxList_InsertList(list, 0, &four, 1), S_OK);
    EXPECT_EQ(Ints(list), (std::vector<int32_t>{4, 1, 2, 3, 4}));
    EXPECT_EQ(VxList_InsertList(list, 0, &four, -2), E_FAIL);

    EXPECT_EQ(VxList_DeleteList(list, 6, 1, FALSE), E_FAIL);
    EXPECT_EQ(VxList_DeleteList(list, 5, 0, FALSE), S_OK);
    ASSERT_EQ(VxList_DeleteList(list, 2, -1, FALSE), S_OK);
    EXPECT_EQ(Ints(list), (std::vector<int32_t>{4, 1}));
    const auto* entries = reinterpret_cast<const int32_t*>(list.list->entries);
    EXPECT_EQ(std::vector<int32_t>(entries + 2, entries + 5), (std::vector<int32_t>{0, 0, 0}))
        << "vacated entries are zeroed";

    Append(list, {5, 6, 7, 8});   // 4 1 5 6 7 8
    ASSERT_EQ(VxList_MoveRange(list, 0, 3, 2), S_OK);
    EXPECT_EQ(Ints(list), (std::vector<int32_t>{5, 6, 7, 4, 1, 8}));
    ASSERT_EQ(VxList_MoveRange(list, 4, 1, -1), S_OK);
    EXPECT_EQ(Ints(list), (std::vector<int32_t>{5, 1, 8, 6, 7, 4}));
    EXPECT_EQ(VxList_MoveRange(list, 4, 0, 3), E_FAIL);
    EXPECT_EQ(VxList_MoveRange(list, 0, 5, 2), E_FAIL);
}

TEST(VxList, MovesLargeRecordsThroughGlobalMemory)
{
    TestList list(100, -1, -1, kVxListInline);   // 6 records of 100 bytes exceed the stack buffer
    for (uint8_t i = 0; i < 8; ++i) {
        std::vector<uint8_t> record(100, i);
        ASSERT_EQ(VxList_InsertList(list, -1, record.data(), 1), S_OK);
    }
    ASSERT_EQ(VxList_MoveRange(list, 2, 0, 6), S_OK);
    std::vector<uint8_t> firsts;
    for (int32_t i = 0; i < 8; ++i)
        firsts.push_back(static_cast<uint8_t*>(VxList_GetItem(list, i))[99]);
    EXPECT_EQ(firsts, (std::vector<uint8_t>{2, 3, 4, 5, 6, 7, 0, 1}));
}

TEST(VxList, HeapListInsertsOnlyItsPendingItem)
{
    TestList list(4, -1, -1, kVxListHeap);
    const int32_t data = 5;
    EXPECT_EQ(VxList_InsertList(list, 0, &data, 1), E_FAIL);
    EXPECT_EQ(VxList_InsertList(list, 0, nullptr, -1), E_FAIL) << "nothing pending";

    void* item = nullptr;
    ASSERT_EQ(VxList_AllocItem(list, 6, &item), S_OK);
    void* second = nullptr;
    EXPECT_EQ(VxList_AllocItem(list, 6, &second), E_FAIL) << "one item is already pending";
    ASSERT_EQ(VxList_InsertList(list, 0, nullptr, -1), S_OK);
    EXPECT_EQ(VxList_GetItem(list, 0), item);
    EXPECT_EQ(VxList_AllocSize(list, 0), 6u);

    int32_t index = -2;
    ASSERT_EQ(VxList_AllocAndInsertItem(list, &data, sizeof data, 0, &index), S_OK);
    EXPECT_EQ(index, 0);
    ASSERT_EQ(VxList_ReAllocItem(list, 0, 4000), S_OK);
    const auto* grown = static_cast<const uint8_t*>(VxList_GetItem(list, 0));
    EXPECT_EQ(*reinterpret_cast<const int32_t*>(grown), 5);
    EXPECT_TRUE(std::all_of(grown + 4, grown + 4000, [](uint8_t b) { return b == 0; }));

    ASSERT_EQ(VxList_AllocItem(list, 8, &item), S_OK);
    EXPECT_EQ(VxList_DeleteList(list, -1, -1, FALSE), S_OK) << "frees the pending item";
    EXPECT_EQ(VxList_DeleteList(list, -1, -1, FALSE), E_FAIL);
    EXPECT_EQ(VxList_AllocSize(list, -1), sizeof(tVXLIST) + 16 * sizeof(void*) + 4000 + 6);

    TestList inlineList(4, -1, -1, kVxListInline);
    EXPECT_EQ(VxList_AllocItem(inlineList, 4, &item), E_FAIL);
    EXPECT_EQ(VxList_AllocAndInsertItem(inlineList, &data, 4, 0, &index), E_FAIL);
    EXPECT_EQ(index, -1);
}

TEST(VxList, SortsAndSearches)
{
    TestList list(4, -1, -1, kVxListInline);
    Append(list, {5, 3, 9, 1, 3, 7});
    ASSERT_EQ(VxList_Sort(list, 0, CompareInts), S_OK);
    EXPECT_EQ(Ints(list), (std::vector<int32_t>{1, 3, 3, 5, 7, 9}));
    ASSERT_EQ(VxList_HeapSort(list, 1, CompareInts), S_OK);
    EXPECT_EQ(Ints(list), (std::vector<int32_t>{9, 7, 5, 3, 3, 1}));
    EXPECT_EQ(VxList_GetSortCriteria(list), 1u);

    const int32_t seven = 7, four = 4;
    EXPECT_EQ(VxList_FindSortedItemRange(list, &seven, 0, -1, CompareInts), 1);
    EXPECT_EQ(VxList_FindSortedItemRange(list, &four, 0, -1, CompareInts), -1);
    EXPECT_EQ(VxList_FindSortedInsertIndexRange(list, &four, 0, -1, CompareInts), 3);
    EXPECT_EQ(VxList_FindSortedItemRange(list, &seven, 2, 99, CompareInts), -1) << "the range is clipped";
    EXPECT_EQ(VxList_FindSpecificItemRange(list, 0, -1, &seven), 1);
    EXPECT_EQ(VxList_FindSpecificItemRange(list, 2, -1, &seven), -1);

    TestList sorted(4, -1, -1, kVxListInline);
    Append(sorted, {4, 8});
    VxList_HeapSort(sorted, 1, CompareInts);
    ASSERT_EQ(VxList_SortTo(sorted, list, 1, CompareInts), S_OK);
    EXPECT_EQ(Ints(sorted), (std::vector<int32_t>{9, 8, 7, 5, 4, 3, 3, 1}));
}

TEST(VxList, PointerListsCompareByValue)
{
    int a = 0, b = 0, c = 0;
    void* pointers[] = {&c, &a, &b};
    TestList list(4, -1, -1, 0);
    const auto byAddress = [](uint32_t, const void* x, const void* y) { return (x > y) - (x < y); };
    ASSERT_EQ(VxList_InsertList(list, -1, pointers, 3), S_OK);
    ASSERT_EQ(VxList_Sort(list, 0, byAddress), S_OK);
    std::vector<void*> expected = {&a, &b, &c};
    std::sort(expected.begin(), expected.end());
    for (int32_t i = 0; i < 3; ++i)
        EXPECT_EQ(VxList_GetItem(list, i), expected[size_t(i)]);
    EXPECT_EQ(VxList_FindSpecificItemRange(list, 0, -1, expected[2]), 2);
    EXPECT_EQ(VxList_FindSortedItemRange(list, expected[1], 0, -1, byAddress), 1);
    EXPECT_EQ(VxList_ArrayForceItemCount(list, 5, FALSE), E_FAIL) << "inline lists only";
}

TEST(VxList, ForcedCountsGiveZeroRecords)
{
    TestList list(4, 4, 4, kVxListInline);
    Append(list, {1, 2, 3});
    ASSERT_EQ(VxList_ArrayForceItemCount(list, 1, FALSE), S_OK);
    ASSERT_EQ(VxList_ArrayForceItemCount(list, 10, FALSE), S_OK);
    std::vector<int32_t> expected(10, 0);
    expected[0] = 1;
    EXPECT_EQ(Ints(list), expected);
    EXPECT_EQ(list.list->allocated, 12);
}

TEST(VxList, RecognisesLiveListsOnly)
{
    TestList list(4, -1, -1, kVxListHeap);
    EXPECT_TRUE(VxList_IsList(list.list, sizeof(tVXLIST)));
    EXPECT_FALSE(VxList_IsList(list.list, 84 + 1));
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(page, MAP_FAILED);
    EXPECT_FALSE(VxList_IsList(page, sizeof(tVXLIST))) << "unreadable memory is no list";
    munmap(page, 4096);

    tVXLIST header;
    tVXLIST* own = nullptr;
    ASSERT_EQ(VxList_CreateExZ(&own, 4, -1, -1, kVxListUserHeader, &header), S_OK);
    EXPECT_EQ(own, &header);
    ASSERT_EQ(VxList_Destroy(own), S_OK);
    EXPECT_FALSE(VxList_IsListFast(&header));
    EXPECT_EQ(VxList_InsertList(&header, 0, nullptr, 0), E_INVALIDARG) << "a destroyed list";
}

TEST(VxList, ThreadSafeListSerialisesConcurrentInserts)
{
    TestList list(4, -1, -1, kVxListThreadSafe | kVxListHeap);
    constexpr int kThreads = 4, kEach = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                const int32_t value = t * kEach + i;
                VxList_AllocAndInsertItem(list, &value, sizeof value, (i % 3) ? -1 : 0, nullptr);
                if (i % 100 == 0)
                    VxList_GetItem(list, VxList_GetCount(list) - 1);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    std::vector<int32_t> values = Ints(list);
    std::sort(values.begin(), values.end());
    ASSERT_EQ(values.size(), size_t(kThreads * kEach));
    for (int32_t i = 0; i < kThreads * kEach; ++i)
        ASSERT_EQ(values[size_t(i)], i);
}
