#include "framework/MemoryToken.h"
#include "host/TokenOwner.h"
#include "tests/common/OwnerProcess.h"
#include "tests/common/VxTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

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

// Every place starts zeroed, takes a fill, and reads back what the module's own token class
// delivered: a straight copy, or a local block written back when the mapping is disposed (the
// widening path).
TEST(TokenOwner, EveryPlaceReadsBackWhatTheModuleDelivered)
{
    for (VxHostTokenPlace place : {VxHostTokenPlace::Local, VxHostTokenPlace::ChildMemory,
                                   VxHostTokenPlace::ChildMapping}) {
        auto owner = VxTest_MakeToken(place, 4096);
        ASSERT_TRUE(owner);
        EXPECT_EQ(VxTest_ReadBack(*owner), std::vector<uint8_t>(4096, 0)) << VxHost_TokenPlaceName(place);
        std::string error;
        ASSERT_TRUE(owner->Fill(0xAB, error)) << error;
        std::vector<uint8_t> seen(4096);
        ASSERT_EQ(CMappingOfVxMemoryToken::CopyData(seen.data(), owner->Token(), 4096), S_OK);
        EXPECT_EQ(seen, std::vector<uint8_t>(4096, 0xAB)) << VxHost_TokenPlaceName(place);
        EXPECT_EQ(owner->Token().kind, place == VxHostTokenPlace::ChildMapping ? kVxTokenKindMapping
                                                                               : kVxTokenKindMemory);
        EXPECT_EQ(owner->Token().ownerProcessId == uint32_t(getpid()), place == VxHostTokenPlace::Local);
        const std::vector<uint8_t> copied = CVxOwnerProcess::Pattern(0, 4096);
        HRESULT hr = CMappingOfVxMemoryToken::CopyData(owner->Token(), copied.data(), 4096);
        ASSERT_EQ(hr, S_OK) << VxTest_Describe(hr);
        EXPECT_EQ(VxTest_ReadBack(*owner), copied) << VxHost_TokenPlaceName(place);

        const std::vector<uint8_t> widened = CVxOwnerProcess::Pattern(1, 4096);
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

TEST(TokenOwner, RefusesSizesATokenCannotCarryAndReapsItsChild)
{
    std::string error;
    EXPECT_FALSE(CVxHostTokenOwner::Create(VxHostTokenPlace::Local, 0, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(CVxHostTokenOwner::Create(VxHostTokenPlace::ChildMemory, 0x80000000u, error));
    EXPECT_FALSE(error.empty());

    auto owner = VxTest_MakeToken(VxHostTokenPlace::ChildMapping, 64);
    ASSERT_TRUE(owner);
    const pid_t child = pid_t(owner->Token().ownerProcessId);
    ASSERT_EQ(kill(child, 0), 0);
    owner.reset();
    EXPECT_EQ(kill(child, 0), -1);  // reaped, not a zombie
    EXPECT_EQ(errno, ESRCH);
}

}  // namespace
