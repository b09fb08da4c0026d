#include "platform/VxStr.h"
#include "platform/VxWin32.h"
#include "tests/common/VxTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <future>

namespace {

TEST(SysString, KeepsTheByteLengthBeforeTheText)
{
    BSTR text = SysAllocString(u"frame");
    ASSERT_NE(text, nullptr);
    uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const uint8_t*>(text) - 4, 4);
    EXPECT_EQ(prefix, 10u);
    EXPECT_EQ(SysStringLen(text), 5u);
    EXPECT_EQ(text[5], u'\0');
    EXPECT_EQ(std::u16string(text), u"frame");
    SysFreeString(text);

    // Explicit lengths keep embedded terminators; null text gives zeroed characters.
    BSTR embedded = SysAllocStringLen(u"a\0b", 3);
    EXPECT_EQ(SysStringLen(embedded), 3u);
    EXPECT_EQ(embedded[2], u'b');
    SysFreeString(embedded);
    BSTR zeroed = SysAllocStringLen(nullptr, 4);
    ASSERT_NE(zeroed, nullptr);
    EXPECT_EQ(SysStringLen(zeroed), 4u);
    for (int i = 0; i <= 4; ++i)
        EXPECT_EQ(zeroed[i], 0);
    SysFreeString(zeroed);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);  // the byte length would not fit
    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);
}

TEST(VxStr, CopiesAreCutToTheCapacityAndTerminated)
{
    char16_t buf[4] = {9, 9, 9, 9};
    EXPECT_EQ(VxStr_CopyTruncated(buf, 4, u"abcdef"), 3u);
    EXPECT_EQ(std::u16string(buf), u"abc");
    EXPECT_EQ(VxStr_CopyTruncated(buf, 1, u"abc"), 0u);
    EXPECT_EQ(buf[0], 0);
    buf[0] = 9;
    EXPECT_EQ(VxStr_CopyTruncated(buf, 0, u"abc"), 0u);
    EXPECT_EQ(VxStr_CopyTruncated(buf, -5, u"abc"), 0u);
    EXPECT_EQ(buf[0], 9);  // nothing written
    EXPECT_EQ(VxStr_CopyTruncated(buf, 4, nullptr), 0u);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(VxStr_CopyTruncated(nullptr, 4, u"abc"), 0u);
    EXPECT_EQ(VxStr_Length(u"abc"), 3u);
    EXPECT_EQ(VxStr_Length(nullptr), 0u);
}

TEST(VxStr, FileNamePartFollowsEitherSeparator)
{
    EXPECT_EQ(std::u16string(VxStr_FileNamePart(u"/images/a.png")), u"a.png");
    EXPECT_EQ(std::u16string(VxStr_FileNamePart(u"C:\\images\\b.jpg")), u"b.jpg");
    EXPECT_EQ(std::u16string(VxStr_FileNamePart(u"mixed\\dir/c.tga")), u"c.tga");
    EXPECT_EQ(std::u16string(VxStr_FileNamePart(u"plain")), u"plain");
    EXPECT_EQ(std::u16string(VxStr_FileNamePart(u"dir/")), u"");
    EXPECT_EQ(std::u16string(VxStr_FileNamePart(nullptr)), u"");
}

TEST(Win32Error, TranslatesToAFailureCode)
{
    EXPECT_EQ(VxErrorHandler_TranslateWin32Error(ERROR_SUCCESS), E_FAIL);
    EXPECT_EQ(VxErrorHandler_TranslateWin32Error(ERROR_NOT_ENOUGH_MEMORY), E_OUTOFMEMORY);
    EXPECT_EQ(VxErrorHandler_TranslateWin32Error(ERROR_OUTOFMEMORY), E_OUTOFMEMORY);
    EXPECT_EQ(VxErrorHandler_TranslateWin32Error(ERROR_FILE_NOT_FOUND), HRESULT(0x80070002u))
        << VxTest_Describe(VxErrorHandler_TranslateWin32Error(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(VxErrorHandler_TranslateWin32Error(ERROR_ACCESS_DENIED), HRESULT(0x80070005u));
    EXPECT_EQ(VxErrorHandler_TranslateWin32Error(0x12345), HRESULT(0x80072345u));
    EXPECT_TRUE(FAILED(VxErrorHandler_TranslateWin32Error(0x10000)));  // low word 0: still a failure
}

TEST(Win32Error, LastErrorBelongsToTheThread)
{
    SetLastError(ERROR_DISK_FULL);
    const DWORD other = std::async(std::launch::async, [] {
                            const DWORD initial = GetLastError();
                            SetLastError(ERROR_ACCESS_DENIED);
                            return initial;
                        }).get();
    EXPECT_EQ(other, ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    EXPECT_EQ(VxPlatform_Win32ErrorFromErrno(ENOSPC), ERROR_DISK_FULL);
}

}  // namespace
