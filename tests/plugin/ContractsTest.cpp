#include "plugin/contracts/VxIdentifiers.h"
#include "tests/common/VxTest.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Index of a member function in its slot table under the Itanium ABI.
template <class F>
int VxTest_Slot(F method)
{
    struct Ptm { uintptr_t ptr; ptrdiff_t adj; } raw;
    static_assert(sizeof(method) == sizeof(raw));
    std::memcpy(&raw, &method, sizeof raw);
    return int((raw.ptr - 1) / sizeof(void*));
}

TEST(Contracts, SlotOrderMatchesTheHostTables)
{
    EXPECT_EQ(VxTest_Slot(&IVxReadFileClass::GetPluginStatus), 18);
    EXPECT_EQ(VxTest_Slot(&IVxReadFile::GetStream), 20);
    EXPECT_EQ(VxTest_Slot(&IVxReadFile::ReservedFile23), 23);
    EXPECT_EQ(VxTest_Slot(&IVxReadVideoStream::GetFrame), 17);
    EXPECT_EQ(VxTest_Slot(&IVxReadVideoStream::GetFrameRate), 22);
    EXPECT_EQ(VxTest_Slot(&IVxReadLayer::GetLayerInfo), 7);
    EXPECT_EQ(VxTest_Slot(&IVxReadMeta::GetSummaryStream), 7);
    EXPECT_EQ(VxTest_Slot(&IVxReadMediaMgrMeta::GetMediaMgrInfo), 4);
    EXPECT_EQ(VxTest_Slot(&IVxRenderFileClass::GetPluginStatus), 26);
    EXPECT_EQ(VxTest_Slot(&IVxRenderMetaSupport2::GetMetaTypes), 5);
    EXPECT_EQ(VxTest_Slot(&IVxRenderFile::WriteMetaAt), 17);
    EXPECT_EQ(VxTest_Slot(&IVxUnsharedFIOPluginInfo::GetPluginInfo), 5);
    EXPECT_EQ(VxTest_Slot(&IVxBufferAccess::ReservedAccess7), 7);
    EXPECT_EQ(VxTest_Slot(&IVxFileIOManager::GetRenderFileClass), 15);
    EXPECT_EQ(VxTest_Slot(&IStream::Clone), 13);
}

}  // namespace
