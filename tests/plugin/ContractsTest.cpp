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

TEST(Contracts, ResultTextsAreTheMessageTable)
{
    EXPECT_STREQ(VxResult_Text(VXE_BUFFER_TOO_SMALL), "Buffer to small.");
    EXPECT_STREQ(VxResult_Text(VXE_END_OF_FILE), "End of File is not an error.");
    EXPECT_EQ(VxTest_Describe(VXE_FILE_READ), "0x8004E008 VXE_FILE_READ");
    EXPECT_EQ(VxResult_Text(HRESULT(0x80001234u)), nullptr);
}

}  // namespace
