#include "framework/MemoryToken.h"
#include "host/TokenOwner.h"
#include "tests/common/VxTest.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

std::vector<uint8_t> VxTest_Pattern(size_t bytes, uint8_t seed)
{
    std::vector<uint8_t> pattern(bytes);
    for (size_t i = 0; i < bytes; ++i)
        pattern[i] = uint8_t(i * 31 + seed);
    return pattern;
}

std::unique_ptr<CVxHostTokenOwner> VxTest_MakeToken(VxHostTokenPlace place, uint32_t bytes)
{
    std::string error;
    std::unique_ptr<CVxHostTokenOwner> owner = CVxHostTokenOwner::Create(place, bytes, error);
    EXPECT_TRUE(owner) << error;
    return owner;
}

std::vector<uint8_t> VxTest_ReadBack(const CVxHostTokenOwner& owner)
{
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(owner.ReadBack(bytes, error)) << error;
    return bytes;
}

// Writes into a kind-0 token's data the way another process reaches it.
bool VxTest_WriteProcessMemory(const _vxmemorytoken& token, const std::vector<uint8_t>& bytes)
{
    iovec local = {const_cast<uint8_t*>(bytes.data()), bytes.size()};
    iovec remote = {reinterpret_cast<void*>(token.baseAddress + token.dataOffset), bytes.size()};
    return process_vm_writev(pid_t(token.ownerProcessId), &local, 1, &remote, 1, 0) ==
           ssize_t(bytes.size());
}

// The descriptor of a kind-1 token duplicated into this process, as the module duplicates it.
int VxTest_DuplicateMapping(const _vxmemorytoken& token)
{
    const int pidfd = int(syscall(SYS_pidfd_open, pid_t(token.ownerProcessId), 0));
    if (pidfd >= 0) {
        const int fd = int(syscall(SYS_pidfd_getfd, pidfd, int(token.memoryHandle), 0));
        close(pidfd);
        if (fd >= 0)
            return fd;
    }
    const std::string path = "/proc/" + std::to_string(token.ownerProcessId) + "/fd/" +
                             std::to_string(int(token.memoryHandle));
    return open(path.c_str(), O_RDWR | O_CLOEXEC);
}

TEST(TokenOwner, LocalTokenNamesMemoryOfThisProcess)
{
    auto owner = VxTest_MakeToken(VxHostTokenPlace::Local, 1000);
    ASSERT_TRUE(owner);
    const _vxmemorytoken& token = owner->Token();
    EXPECT_EQ(token.kind, kVxTokenKindMemory);
    EXPECT_EQ(token.ownerProcessId, uint32_t(getpid()));
    EXPECT_EQ(token.dataSize, 1000);
    EXPECT_EQ(VxTest_ReadBack(*owner), std::vector<uint8_t>(1000, 0));

    const std::vector<uint8_t> pattern = VxTest_Pattern(1000, 5);
    std::memcpy(reinterpret_cast<void*>(token.baseAddress + token.dataOffset), pattern.data(), 1000);
    EXPECT_EQ(VxTest_ReadBack(*owner), pattern);
}

TEST(TokenOwner, ChildMemoryRoundTrip)
{
    constexpr uint32_t kBytes = 3 * 4096 + 7;
    auto owner = VxTest_MakeToken(VxHostTokenPlace::ChildMemory, kBytes);
    ASSERT_TRUE(owner);
    const _vxmemorytoken token = owner->Token();
    EXPECT_EQ(token.kind, kVxTokenKindMemory);
    EXPECT_NE(token.ownerProcessId, uint32_t(getpid()));
    EXPECT_EQ(token.dataSize, int32_t(kBytes));
    EXPECT_EQ(VxTest_ReadBack(*owner), std::vector<uint8_t>(kBytes, 0));

    const std::vector<uint8_t> pattern = VxTest_Pattern(kBytes, 9);
    ASSERT_TRUE(VxTest_WriteProcessMemory(token, pattern)) << std::strerror(errno);
    EXPECT_EQ(VxTest_ReadBack(*owner), pattern);
}

TEST(TokenOwner, ChildMappingRoundTrip)
{
    constexpr uint32_t kBytes = 5000;
    auto owner = VxTest_MakeToken(VxHostTokenPlace::ChildMapping, kBytes);
    ASSERT_TRUE(owner);
    const _vxmemorytoken token = owner->Token();
    EXPECT_EQ(token.kind, kVxTokenKindMapping);
    EXPECT_NE(token.ownerProcessId, uint32_t(getpid()));

    const int fd = VxTest_DuplicateMapping(token);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    const size_t length = size_t(token.dataOffset) + kBytes;
    void* view = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    ASSERT_NE(view, MAP_FAILED);
    const std::vector<uint8_t> pattern = VxTest_Pattern(kBytes, 17);
    std::memcpy(static_cast<uint8_t*>(view) + token.dataOffset, pattern.data(), kBytes);
    munmap(view, length);
    EXPECT_EQ(VxTest_ReadBack(*owner), pattern);
}

TEST(TokenOwner, FillReachesTheBytesTheTokenNames)
{
    for (VxHostTokenPlace place : {VxHostTokenPlace::Local, VxHostTokenPlace::ChildMemory,
                                   VxHostTokenPlace::ChildMapping}) {
        auto owner = VxTest_MakeToken(place, 300);
        ASSERT_TRUE(owner);
        std::string error;
        ASSERT_TRUE(owner->Fill(0xAB, error)) << error;
        std::vector<uint8_t> seen(300);
        ASSERT_EQ(CMappingOfVxMemoryToken::CopyData(seen.data(), owner->Token(), 300), S_OK)
            << VxHost_TokenPlaceName(place);
        EXPECT_EQ(seen, std::vector<uint8_t>(300, 0xAB)) << VxHost_TokenPlaceName(place);
    }
}

// The module's own token class is what GetFrame delivers through: a straight copy, or a local
// block written back when the mapping is disposed (the widening path).
TEST(TokenOwner, ModuleDeliveriesArriveInTheChild)
{
    for (VxHostTokenPlace place : {VxHostTokenPlace::ChildMemory, VxHostTokenPlace::ChildMapping}) {
        auto owner = VxTest_MakeToken(place, 4096);
        ASSERT_TRUE(owner);
        const std::vector<uint8_t> copied = VxTest_Pattern(4096, 1);
        HRESULT hr = CMappingOfVxMemoryToken::CopyData(owner->Token(), copied.data(), 4096);
        ASSERT_EQ(hr, S_OK) << VxTest_Describe(hr);
        EXPECT_EQ(VxTest_ReadBack(*owner), copied) << VxHost_TokenPlaceName(place);

        const std::vector<uint8_t> widened = VxTest_Pattern(4096, 2);
        {
            CMappingOfVxMemoryToken mapping(owner->Token(), kVxTokenAccessWrite);
            void* pointer = nullptr;
            hr = mapping.GetPointer(&pointer);
            ASSERT_EQ(hr, S_OK) << VxTest_Describe(hr);
            std::memcpy(pointer, widened.data(), 4096);
        }
        EXPECT_EQ(VxTest_ReadBack(*owner), widened) << VxHost_TokenPlaceName(place);
    }
}

TEST(TokenOwner, ChildIsReapedWithItsOwner)
{
    auto owner = VxTest_MakeToken(VxHostTokenPlace::ChildMapping, 64);
    ASSERT_TRUE(owner);
    const pid_t child = pid_t(owner->Token().ownerProcessId);
    ASSERT_EQ(kill(child, 0), 0);
    owner.reset();
    EXPECT_EQ(kill(child, 0), -1);  // reaped, not a zombie
    EXPECT_EQ(errno, ESRCH);
}

TEST(TokenOwner, RefusesSizesATokenCannotCarry)
{
    std::string error;
    EXPECT_FALSE(CVxHostTokenOwner::Create(VxHostTokenPlace::Local, 0, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(CVxHostTokenOwner::Create(VxHostTokenPlace::ChildMemory, 0x80000000u, error));
    EXPECT_FALSE(error.empty());
}

TEST(TokenOwner, ParsesPlaceNames)
{
    VxHostTokenPlace place;
    ASSERT_TRUE(VxHost_ParseTokenPlace("kind1", place));
    EXPECT_EQ(place, VxHostTokenPlace::ChildMapping);
    EXPECT_STREQ(VxHost_TokenPlaceName(place), "kind1");
    EXPECT_FALSE(VxHost_ParseTokenPlace("kind2", place));
    EXPECT_FALSE(VxHost_ParseTokenPlace("", place));
}

}  // namespace
