#include "framework/MemoryToken.h"
#include "tests/common/OwnerProcess.h"
#include "tests/common/VxTest.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cstring>
#include <vector>

namespace {

constexpr HRESULT kPartialCopy = HRESULT(0x80070000u | ERROR_PARTIAL_COPY);

_vxmemorytoken LocalToken(void* base, uint32_t offset, int32_t size, uint32_t kind = kVxTokenKindMemory)
{
    _vxmemorytoken token = VxTest_LocalToken(base, size, kind);
    token.memoryHandle = 0xDEAD;  // never used for tokens of this process
    token.dataOffset = offset;
    return token;
}

std::vector<uint8_t> Bytes(const void* data, size_t bytes)
{
    const auto* p = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(p, p + bytes);
}

::testing::AssertionResult IsInvalid(const CMappingOfVxMemoryToken& mapping)
{
    void* pointer = &pointer;
    const HRESULT hr = mapping.GetPointer(&pointer);
    if (hr != E_FAIL || pointer != nullptr || mapping.Pointer() != nullptr || mapping.DataSize() != -1)
        return ::testing::AssertionFailure() << "GetPointer " << VxTest_Describe(hr) << ", DataSize "
                                             << mapping.DataSize();
    return ::testing::AssertionSuccess();
}

bool IsOpen(uint64_t handle)
{
    return fcntl(int(handle), F_GETFD) >= 0;
}

TEST(MemoryToken, LocalTokensThatNameNothingAreInvalid)
{
    uint8_t block[16];
    EXPECT_TRUE(IsInvalid(CMappingOfVxMemoryToken(LocalToken(block, 0, -1), 6)));
    _vxmemorytoken wrapping = LocalToken(block, 0x100, 16);
    wrapping.baseAddress = ~uint64_t(0) - 0x80;  // base + offset runs past the address space
    EXPECT_TRUE(IsInvalid(CMappingOfVxMemoryToken(wrapping, 6)));
    CMappingOfVxMemoryToken mapping(wrapping, 6);
    EXPECT_EQ(mapping.GetPointer(nullptr), E_POINTER);
}

// Memory of another process is copied in (unless only to be written, when it starts zeroed)
// and copied back when the mapping closes (unless only read).
TEST(MemoryToken, CopiesAnotherProcessesMemoryInAndBack)
{
    CVxOwnerProcess owner(1000);
    ASSERT_TRUE(owner.Ok());
    std::vector<uint8_t> expected = CVxOwnerProcess::Pattern(0, 1000);
    for (const ULONG flags : {6u, 0u, 4u, 2u}) {  // no bit set counts as both; 4 reads, 2 writes only
        CMappingOfVxMemoryToken mapping(owner.MemoryToken(100, 50), flags);
        auto* data = static_cast<uint8_t*>(mapping.Pointer());
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(mapping.DataSize(), 50);
        const std::vector<uint8_t> seen(expected.begin() + 100, expected.begin() + 150);
        EXPECT_EQ(Bytes(data, 50), flags == kVxTokenAccessWrite ? std::vector<uint8_t>(50, 0) : seen);
        data[0] = data[49] = uint8_t(flags + 1);
        EXPECT_EQ(owner.Block(), expected) << "nothing reaches the owner before the close";
        mapping.Close();
        EXPECT_EQ(mapping.Pointer(), nullptr);

        if (flags == kVxTokenAccessWrite)
            std::fill(expected.begin() + 100, expected.begin() + 150, 0);
        if (flags != kVxTokenAccessRead)
            expected[100] = expected[149] = uint8_t(flags + 1);
        EXPECT_EQ(owner.Block(), expected) << "flags " << flags;
    }
}

TEST(MemoryToken, MapsAnotherProcessesMappingInPlace)
{
    CVxOwnerProcess owner(10000);
    ASSERT_TRUE(owner.Ok());
    CMappingOfVxMemoryToken mapping(owner.MappingToken(5000, 4000), kVxTokenAccessRead | kVxTokenAccessWrite);
    auto* data = static_cast<uint8_t*>(mapping.Pointer());
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(mapping.DataSize(), 4000);
    EXPECT_EQ(Bytes(data, 4000), CVxOwnerProcess::Pattern(5000, 4000));
    data[3999] = 0;
    EXPECT_EQ(owner.Mapping()[8999], 0);  // shared pages: visible before Dispose
    mapping.Dispose();
    EXPECT_EQ(mapping.Pointer(), nullptr);
}

TEST(MemoryToken, UnreachableTokensOfAnotherProcessAreInvalid)
{
    CVxOwnerProcess owner(4096);
    ASSERT_TRUE(owner.Ok());
    _vxmemorytoken tooLong = owner.MappingToken(4000, 100);  // beyond the end of the mapping
    _vxmemorytoken notOpen = owner.MappingToken(0, 16);
    notOpen.memoryHandle = 900;
    _vxmemorytoken hugeHandle = owner.MappingToken(0, 16);
    hugeHandle.memoryHandle = uint64_t(1) << 40;
    _vxmemorytoken intoGuard = owner.MemoryToken(4000, 100);  // reaches the guard page
    _vxmemorytoken negative = owner.MemoryToken(0, -5);
    _vxmemorytoken otherKind = owner.MemoryToken(0, 16);
    otherKind.kind = 2;
    for (const _vxmemorytoken& token : {tooLong, notOpen, hugeHandle, intoGuard, negative, otherKind})
        EXPECT_TRUE(IsInvalid(CMappingOfVxMemoryToken(token, kVxTokenAccessRead)))
            << "kind " << token.kind << ", offset " << token.dataOffset << ", size " << token.dataSize;
    EXPECT_EQ(owner.Block(), CVxOwnerProcess::Pattern(0, 4096));

    // Copies fail with the system's error.
    std::vector<uint8_t> bytes(200);
    HRESULT hr = CMappingOfVxMemoryToken::CopyData(bytes.data(), intoGuard, 100);
    EXPECT_EQ(hr, kPartialCopy) << VxTest_Describe(hr);
    hr = CMappingOfVxMemoryToken::CopyData(intoGuard, bytes.data(), 100);
    EXPECT_EQ(hr, kPartialCopy) << VxTest_Describe(hr);
    hr = CMappingOfVxMemoryToken::CopyData(bytes.data(), notOpen, 16);
    EXPECT_EQ(hr, HRESULT(0x80070000u | ERROR_INVALID_HANDLE)) << VxTest_Describe(hr);
    EXPECT_TRUE(FAILED(CMappingOfVxMemoryToken::CopyData(tooLong, bytes.data(), 100)));
}

// The owner dies while a delivery holds its memory: the mapped view stays writable, the copy
// back to the gone process fails quietly, and nothing crashes. Its tokens are invalid from then
// on, but memory only to be written needs nothing from the owner until Dispose.
TEST(MemoryToken, OwnerDyingDuringADeliveryEndsItCleanly)
{
    CVxOwnerProcess owner(8192);
    ASSERT_TRUE(owner.Ok());
    CMappingOfVxMemoryToken copied(owner.MemoryToken(0, 4096), kVxTokenAccessRead | kVxTokenAccessWrite);
    CMappingOfVxMemoryToken mapped(owner.MappingToken(0, 8192), kVxTokenAccessRead | kVxTokenAccessWrite);
    ASSERT_NE(copied.Pointer(), nullptr);
    ASSERT_NE(mapped.Pointer(), nullptr);
    owner.Exit();
    std::memset(copied.Pointer(), 1, 4096);
    std::memset(mapped.Pointer(), 2, 8192);
    copied.Dispose();
    mapped.Dispose();
    EXPECT_EQ(copied.Pointer(), nullptr);
    EXPECT_EQ(mapped.Pointer(), nullptr);

    EXPECT_TRUE(IsInvalid(CMappingOfVxMemoryToken(owner.MemoryToken(0, 256), kVxTokenAccessRead)));
    EXPECT_TRUE(IsInvalid(CMappingOfVxMemoryToken(owner.MappingToken(0, 256), kVxTokenAccessWrite)));
    CMappingOfVxMemoryToken writeOnly(owner.MemoryToken(0, 256), kVxTokenAccessWrite);
    EXPECT_NE(writeOnly.Pointer(), nullptr);
    writeOnly.Dispose();
    uint8_t bytes[256];
    for (const _vxmemorytoken& token : {owner.MemoryToken(0, 256), owner.MappingToken(0, 256)}) {
        EXPECT_TRUE(FAILED(CMappingOfVxMemoryToken::CopyData(bytes, token, 256))) << token.kind;
        EXPECT_TRUE(FAILED(CMappingOfVxMemoryToken::CopyData(token, bytes, 256))) << token.kind;
    }
}

// Copies out need room for the whole data and copy exactly it; copies in need a token as large
// as the source. Local, copied and mapped tokens alike.
TEST(MemoryToken, CopiesCheckSizesBothWays)
{
    CVxOwnerProcess owner(600);
    ASSERT_TRUE(owner.Ok());
    std::vector<uint8_t> local = CVxOwnerProcess::Pattern(0, 600);
    const std::vector<uint8_t> source(300, 0x42);
    const _vxmemorytoken tokens[] = {LocalToken(local.data(), 100, 300), owner.MemoryToken(100, 300),
                                     owner.MappingToken(100, 300)};
    for (const _vxmemorytoken& token : tokens) {
        std::vector<uint8_t> out(310, 0xEE);
        HRESULT hr = CMappingOfVxMemoryToken::CopyData(out.data(), token, 299);
        EXPECT_EQ(hr, VXE_BUFFER_TOO_SMALL) << VxTest_Describe(hr);
        EXPECT_EQ(out, std::vector<uint8_t>(310, 0xEE));
        hr = CMappingOfVxMemoryToken::CopyData(out.data(), token, 310);
        ASSERT_EQ(hr, S_OK) << "kind " << token.kind << ": " << VxTest_Describe(hr);
        EXPECT_EQ(Bytes(out.data(), 300), CVxOwnerProcess::Pattern(100, 300));
        EXPECT_EQ(Bytes(out.data() + 300, 10), std::vector<uint8_t>(10, 0xEE));

        hr = CMappingOfVxMemoryToken::CopyData(token, source.data(), 301);
        EXPECT_EQ(hr, VXE_BUFFER_TOO_SMALL) << VxTest_Describe(hr);
        hr = CMappingOfVxMemoryToken::CopyData(token, source.data(), 290);
        EXPECT_EQ(hr, S_OK) << "kind " << token.kind << ": " << VxTest_Describe(hr);
    }
    std::vector<uint8_t> expected = CVxOwnerProcess::Pattern(0, 600);
    std::fill(expected.begin() + 100, expected.begin() + 390, 0x42);
    EXPECT_EQ(owner.Block(), expected);
    EXPECT_EQ(owner.Mapping(), expected);
    EXPECT_EQ(local, expected);

    EXPECT_EQ(CMappingOfVxMemoryToken::CopyData(nullptr, tokens[0], 300), E_POINTER);
    EXPECT_EQ(CMappingOfVxMemoryToken::CopyData(local.data(), LocalToken(local.data(), 0, -1), 300), E_INVALIDARG);
    EXPECT_EQ(CMappingOfVxMemoryToken::CopyData(tokens[0], nullptr, 10), E_POINTER);
    EXPECT_EQ(CMappingOfVxMemoryToken::CopyData(tokens[0], source.data(), -1), E_INVALIDARG);
}

TEST(OutOfProcessMemoryToken, HandsOutReachableTokensUnchangedOnly)
{
    CVxOwnerProcess owner(512);
    ASSERT_TRUE(owner.Ok());
    std::vector<uint8_t> local = CVxOwnerProcess::Pattern(0, 64);
    _vxmemorytoken tokens[] = {LocalToken(local.data(), 0, 64), owner.MappingToken(0, 512), owner.MemoryToken(0, 512)};
    for (_vxmemorytoken& token : tokens) {
        _vxmemorytoken out{};
        {
            COutOfProcessMemoryToken wrapper(token, 6, 0);
            ASSERT_EQ(wrapper.GetMemoryToken(out), S_OK);
        }
        EXPECT_EQ(std::memcmp(&out, &token, sizeof token), 0);
    }
    EXPECT_EQ(local, CVxOwnerProcess::Pattern(0, 64));
    EXPECT_EQ(owner.Mapping(), CVxOwnerProcess::Pattern(0, 512));
    EXPECT_EQ(owner.Block(), CVxOwnerProcess::Pattern(0, 512));

    // Another process's memory of a kind not reachable from here, and a negative size, fail.
    _vxmemorytoken foreign = owner.MemoryToken(0, 64);
    foreign.kind = 9;
    _vxmemorytoken negative = LocalToken(local.data(), 0, -8, 9);
    for (_vxmemorytoken* token : {&foreign, &negative}) {
        COutOfProcessMemoryToken wrapper(*token, 6, 0);
        _vxmemorytoken out{};
        out.kind = 77;
        EXPECT_EQ(wrapper.GetMemoryToken(out), E_FAIL);
        EXPECT_EQ(out.kind, 77u);
    }
}

// Memory of a kind other processes cannot reach travels through a mapping: another process
// reads and rewrites it there, and destruction copies the result back.
TEST(OutOfProcessMemoryToken, OtherKindsTravelThroughAMappingAndBack)
{
    std::vector<uint8_t> local = CVxOwnerProcess::Pattern(0, 3000);
    _vxmemorytoken token = LocalToken(local.data(), 500, 2000, 9);
    _vxmemorytoken shared{};
    {
        COutOfProcessMemoryToken wrapper(token, kVxTokenAccessRead | kVxTokenAccessWrite, 0);
        ASSERT_EQ(wrapper.GetMemoryToken(shared), S_OK);
        EXPECT_EQ(shared.kind, kVxTokenKindMapping);
        EXPECT_EQ(shared.ownerProcessId, GetCurrentProcessId());
        EXPECT_EQ(shared.dataSize, 2000);
        EXPECT_EQ(shared.dataOffset, 0u);

        const int result = VxTest_RunInChild([shared] {
            std::vector<uint8_t> seen(2000);
            if (CMappingOfVxMemoryToken::CopyData(seen.data(), shared, 2000) != S_OK)
                return 1;
            if (seen != CVxOwnerProcess::Pattern(500, 2000))
                return 2;
            const std::vector<uint8_t> answer(2000, 0x3C);
            return CMappingOfVxMemoryToken::CopyData(shared, answer.data(), 2000) == S_OK ? 0 : 3;
        });
        ASSERT_EQ(result, 0);
        EXPECT_EQ(local[500], CVxOwnerProcess::Pattern(500));  // nothing back before destruction
    }
    std::vector<uint8_t> expected = CVxOwnerProcess::Pattern(0, 3000);
    std::fill(expected.begin() + 500, expected.begin() + 2500, 0x3C);
    EXPECT_EQ(local, expected);
    EXPECT_FALSE(IsOpen(shared.memoryHandle));
}

// Read-only memory is copied in and never back; write-only memory starts zeroed and is copied back.
TEST(OutOfProcessMemoryToken, CopiesOnlyInTheDirectionsAsked)
{
    std::vector<uint8_t> local(100, 0x11);
    for (const ULONG flags : {kVxTokenAccessRead, kVxTokenAccessWrite}) {
        const std::vector<uint8_t> seen = flags == kVxTokenAccessRead ? local : std::vector<uint8_t>(100, 0);
        {
            _vxmemorytoken token = LocalToken(local.data(), 0, 100, 9);
            COutOfProcessMemoryToken wrapper(token, flags, 0);
            _vxmemorytoken shared{};
            ASSERT_EQ(wrapper.GetMemoryToken(shared), S_OK);
            CMappingOfVxMemoryToken view(shared, kVxTokenAccessWrite);
            ASSERT_NE(view.Pointer(), nullptr);
            EXPECT_EQ(Bytes(view.Pointer(), 100), seen);
            static_cast<uint8_t*>(view.Pointer())[99] = 0x33;
        }
        std::vector<uint8_t> expected = seen;
        if (flags == kVxTokenAccessWrite)
            expected[99] = 0x33;
        EXPECT_EQ(local, expected) << "flags " << flags;
    }
}

TEST(MappingMemoryToken, CreatesAndClosesOnlyAMappingOfThisProcess)
{
    _vxmemorytoken token;
    std::memset(&token, 0xAB, sizeof token);
    ASSERT_EQ(CreateMappingMemoryToken(&token, 5000, TRUE), S_OK);
    EXPECT_EQ(token.kind, kVxTokenKindMapping);
    EXPECT_EQ(token.ownerProcessId, GetCurrentProcessId());
    EXPECT_EQ(token.dataSize, 5000);
    EXPECT_EQ(token.mappedSize, 5000u);
    EXPECT_EQ(token.dataOffset, 0u);
    EXPECT_EQ(token.reserved, 0u);
    ASSERT_TRUE(IsOpen(token.memoryHandle));
    auto* view = reinterpret_cast<uint8_t*>(uintptr_t(token.baseAddress));
    EXPECT_EQ(Bytes(view, 5000), std::vector<uint8_t>(5000, 0));
    view[4999] = 1;

    // A copy of another kind, or naming a descriptor of another process, is refused but cleared.
    const _vxmemorytoken cleared{};
    for (const auto& [kind, owner] : {std::pair(kVxTokenKindMemory, token.ownerProcessId),
                                      std::pair(token.kind, token.ownerProcessId + 1)}) {
        _vxmemorytoken other = token;
        other.kind = kind;
        other.ownerProcessId = owner;
        EXPECT_EQ(CloseMappingMemoryToken(&other), E_INVALIDARG);
        EXPECT_EQ(std::memcmp(&other, &cleared, sizeof other), 0);
    }
    const uint64_t handle = token.memoryHandle;
    ASSERT_TRUE(IsOpen(handle));
    EXPECT_EQ(CloseMappingMemoryToken(&token), S_OK);
    EXPECT_FALSE(IsOpen(handle));
    EXPECT_EQ(std::memcmp(&token, &cleared, sizeof token), 0);

    EXPECT_EQ(CreateMappingMemoryToken(&token, 0x80000000u, FALSE), E_INVALIDARG);  // no signed size
}

}  // namespace
