#include "framework/BufferPool.h"
#include "plugin/contracts/VxComPtr.h"
#include "tests/common/VxTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

// An outer object that only counts what the pool delegates to it.
struct CountingOuter : IUnknown {
    HRESULT VXAPI QueryInterface(REFIID, void** out) override
    {
        ++queries;
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG VXAPI AddRef() override { return ULONG(++references); }
    ULONG VXAPI Release() override { return ULONG(--references); }
    int queries = 0;
    int references = 0;
};

constexpr GUID kUnknownIid = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

CVxComPtr<IVxBufferAccess> NewAccess()
{
    CVxComPtr<IVxBufferPool> pool;
    EXPECT_EQ(StillsBufferPool_Create(nullptr, IID_IVxBufferPool, pool.OutVoid()), S_OK);
    CVxComPtr<IVxBufferAccess> access;
    if (pool) {
        EXPECT_EQ(pool->CreateBufferAccess(&access), S_OK);
    }
    return access;
}

bool AllZero(const void* data, size_t bytes)
{
    const auto* p = static_cast<const uint8_t*>(data);
    return std::all_of(p, p + bytes, [](uint8_t b) { return b == 0; });
}

TEST(BufferPool, CreateChecksItsArguments)
{
    EXPECT_EQ(StillsBufferPool_Create(nullptr, IID_IUnknown, nullptr), E_INVALIDARG);

    CountingOuter outer;
    void* out = &outer;
    HRESULT hr = StillsBufferPool_Create(&outer, IID_IVxBufferPool, &out);
    EXPECT_EQ(hr, CLASS_E_NOAGGREGATION) << VxTest_Describe(hr);
    EXPECT_EQ(out, nullptr);

    out = &outer;
    hr = StillsBufferPool_Create(nullptr, kUnknownIid, &out);
    EXPECT_EQ(hr, E_NOINTERFACE) << VxTest_Describe(hr);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(outer.references, 0);

    // A pool that outlived a failed create would show in the heap's count of bytes in use.
    const size_t before = VxTest_HeapBytesInUse();
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(StillsBufferPool_Create(nullptr, kUnknownIid, &out), E_NOINTERFACE);
    EXPECT_LT(VxTest_HeapBytesInUse(), before + 1000 * sizeof(CVxStillsBufferPool) / 2);
}

TEST(BufferPool, AggregatedPoolDelegatesToTheOuterObject)
{
    CountingOuter outer;
    IUnknown* inner = nullptr;
    ASSERT_EQ(StillsBufferPool_Create(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(outer.references, 0);  // the inner unknown counts for itself

    IVxBufferPool* pool = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IVxBufferPool, reinterpret_cast<void**>(&pool)), S_OK);
    EXPECT_EQ(outer.references, 1);  // handing out the pool adds a reference to the outer object

    void* other = nullptr;
    EXPECT_EQ(pool->QueryInterface(IID_IVxBufferAccess, &other), E_NOINTERFACE);
    EXPECT_EQ(outer.queries, 1);
    pool->AddRef();
    EXPECT_EQ(outer.references, 2);
    pool->Release();
    pool->Release();
    EXPECT_EQ(outer.references, 0);

    CVxComPtr<IVxBufferAccess> access;
    EXPECT_EQ(pool->CreateBufferAccess(&access), S_OK);  // the pool works while inner holds it
    EXPECT_TRUE(access);
    EXPECT_EQ(inner->Release(), 0u);
}

TEST(BufferPool, StandalonePoolAnswersForItself)
{
    IUnknown* unknown = nullptr;
    ASSERT_EQ(StillsBufferPool_Create(nullptr, IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    IVxBufferPool* pool = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IVxBufferPool, reinterpret_cast<void**>(&pool)), S_OK);
    EXPECT_NE(static_cast<void*>(pool), static_cast<void*>(unknown));

    // The pool's own IUnknown slots reach the non-delegating unknown: one count for both.
    IUnknown* again = nullptr;
    ASSERT_EQ(pool->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again, unknown);
    EXPECT_EQ(pool->AddRef(), 4u);
    EXPECT_EQ(pool->Release(), 3u);
    EXPECT_EQ(again->Release(), 2u);
    EXPECT_EQ(pool->Release(), 1u);

    EXPECT_EQ(pool->ReservedPool4(0, 0), E_NOTIMPL);
    EXPECT_EQ(pool->CreateBufferAccess(nullptr), E_INVALIDARG);
    EXPECT_EQ(unknown->Release(), 0u);
}

// S_FALSE tells the caller to decode: this pool never hands out a buffer with contents.
TEST(BufferAccess, AllocBufferAnswersFalseWithAFreshZeroFilledBlock)
{
    CVxComPtr<IVxBufferAccess> access = NewAccess();
    ASSERT_TRUE(access);
    for (const uint32_t bytes : {1u, 1000u, 4u << 20}) {  // heap and mapped blocks
        void* buffer = nullptr;
        HRESULT hr = access->AllocBuffer(0, 0, 0, bytes, 0, 0, &buffer);
        ASSERT_EQ(hr, S_FALSE) << VxTest_Describe(hr);
        ASSERT_NE(buffer, nullptr);
        EXPECT_TRUE(AllZero(buffer, bytes));
        std::memset(buffer, 0xFF, bytes);
        EXPECT_EQ(access->FreeBuffer(0, 0, 0, 0, bytes, buffer), S_OK);

        hr = access->AllocBuffer(0, 0, 0, bytes, 0, 0, &buffer);
        ASSERT_EQ(hr, S_FALSE) << VxTest_Describe(hr);
        EXPECT_TRUE(AllZero(buffer, bytes));  // not a recycled block
        EXPECT_EQ(access->FreeBuffer(0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0, bytes, buffer), S_OK);
    }
    EXPECT_EQ(access->AllocBuffer(0, 0, 0, 16, 0, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(access->FreeBuffer(0, 0, 0, 0, 16, nullptr), S_OK);
    EXPECT_EQ(access->ReservedAccess3(0, 0), E_NOTIMPL);
    EXPECT_EQ(access->ReservedAccess4(0), E_NOTIMPL);
    EXPECT_EQ(access->ReservedAccess7(), E_NOTIMPL);
}

}  // namespace
