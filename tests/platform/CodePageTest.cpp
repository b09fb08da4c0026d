#include "platform/VxWin32.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string ToWide(UINT codePage, const std::string& text)
{
    std::u16string wide(text.size() * 2 + 2, u'\0');
    const int count = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), wide.data(), int(wide.size()));
    wide.resize(size_t(count));
    return wide;
}

std::string ToNarrow(UINT codePage, const std::u16string& wide, BOOL* usedDefault = nullptr,
                     const char* defaultChar = nullptr)
{
    std::string text(wide.size() * 4 + 4, '\0');
    const int count = WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), text.data(), int(text.size()),
                                          defaultChar, usedDefault);
    text.resize(size_t(count));
    return text;
}

TEST(CodePage, AnsiRoundTripsEveryByte)
{
    std::string bytes;
    for (int b = 0; b < 256; ++b)
        bytes.push_back(char(b));
    const std::u16string wide = ToWide(CP_ACP, bytes);
    ASSERT_EQ(wide.size(), 256u);
    EXPECT_EQ(wide[0x41], u'A');
    EXPECT_EQ(wide[0x80], u'\u20AC');  // euro sign
    EXPECT_EQ(wide[0x81], u'\u0081');  // undefined: the C1 control of the same number
    EXPECT_EQ(wide[0x8A], u'\u0160');
    EXPECT_EQ(wide[0x9D], u'\u009D');
    EXPECT_EQ(wide[0x9F], u'\u0178');
    EXPECT_EQ(wide[0xA0], u'\u00A0');
    EXPECT_EQ(wide[0xE9], u'\u00E9');
    BOOL usedDefault = TRUE;
    EXPECT_EQ(ToNarrow(CP_ACP, wide, &usedDefault), bytes);
    EXPECT_FALSE(usedDefault);
    EXPECT_EQ(ToWide(1252, bytes), wide);
}

TEST(CodePage, UnmappableCharactersBecomeTheDefault)
{
    BOOL usedDefault = FALSE;
    // A C1 control that 1252 does not carry, a CJK character, a surrogate pair (one character)
    // and a lone surrogate.
    const std::u16string wide = u"a\u0080b\u4E2Dc\U0001F600d\xD800" u"e";
    EXPECT_EQ(ToNarrow(CP_ACP, wide, &usedDefault), "a?b?c?d?e");
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(ToNarrow(CP_ACP, wide, nullptr, "#"), "a#b#c#d#e");
    EXPECT_EQ(ToNarrow(CP_ACP, u"\u20AC\u00FC", &usedDefault), "\x80\xFC");
    EXPECT_FALSE(usedDefault);
}

TEST(CodePage, FollowsTheWin32LengthConventions)
{
    // -1: terminated input, terminator counted and written.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "abc", -1, nullptr, 0), 4);
    char16_t wide[4] = {1, 1, 1, 1};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "abc", -1, wide, 4), 4);
    EXPECT_EQ(std::u16string(wide), u"abc");
    // Explicit lengths convert exactly that many units, terminator or not.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a\0b", 3, wide, 4), 3);
    EXPECT_EQ(wide[1], u'\0');
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"xyz", -1, nullptr, 0, nullptr, nullptr), 4);

    // Too small an output fails and leaves the buffer alone.
    char narrow[3] = {'-', '-', '-'};
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"xyz", -1, narrow, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(narrow[0], '-');
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 3), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"xyz", 3, narrow, 3, nullptr, nullptr), 3);
}

// Called with the conversion's result: the last error is still the conversion's.
void ExpectFailure(int result, DWORD error, int line)
{
    EXPECT_EQ(result, 0) << "line " << line;
    EXPECT_EQ(GetLastError(), error) << "line " << line;
}

TEST(CodePage, RefusesBadArguments)
{
    char16_t wide[8];
    char narrow[8];
    ExpectFailure(MultiByteToWideChar(CP_ACP, 0, "abc", 0, wide, 8), ERROR_INVALID_PARAMETER, __LINE__);
    ExpectFailure(MultiByteToWideChar(CP_ACP, 0, "abc", -2, wide, 8), ERROR_INVALID_PARAMETER, __LINE__);
    ExpectFailure(MultiByteToWideChar(CP_ACP, 0, nullptr, 3, wide, 8), ERROR_INVALID_PARAMETER, __LINE__);
    ExpectFailure(MultiByteToWideChar(CP_ACP, 0, "abc", 3, nullptr, 8), ERROR_INVALID_PARAMETER, __LINE__);
    ExpectFailure(MultiByteToWideChar(CP_ACP, 0, "abc", 3, wide, -1), ERROR_INVALID_PARAMETER, __LINE__);
    ExpectFailure(MultiByteToWideChar(437, 0, "abc", 3, wide, 8), ERROR_INVALID_PARAMETER, __LINE__);
    ExpectFailure(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "abc", 3, wide, 8), ERROR_INVALID_FLAGS, __LINE__);
    ExpectFailure(WideCharToMultiByte(CP_ACP, 0, u"abc", 0, narrow, 8, nullptr, nullptr), ERROR_INVALID_PARAMETER,
                  __LINE__);
    ExpectFailure(WideCharToMultiByte(CP_ACP, 0, u"abc", 3, nullptr, 8, nullptr, nullptr), ERROR_INVALID_PARAMETER,
                  __LINE__);
    ExpectFailure(WideCharToMultiByte(CP_ACP, 0x10, u"abc", 3, narrow, 8, nullptr, nullptr), ERROR_INVALID_FLAGS,
                  __LINE__);
    ExpectFailure(WideCharToMultiByte(CP_UTF8, 0, u"abc", 3, narrow, 8, "?", nullptr), ERROR_INVALID_PARAMETER,
                  __LINE__);
}

TEST(CodePage, Utf8ReplacesEachInvalidSequenceOnce)
{
    EXPECT_EQ(ToWide(CP_UTF8, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), u"A\u00E9\u20AC\U0001F600");
    // A stray continuation byte, an overlong slash, an encoded surrogate, a sequence cut short
    // before an ASCII byte, and a lead byte at the end.
    EXPECT_EQ(ToWide(CP_UTF8, "\x80" "a" "\xC0\xAF" "b" "\xED\xA0\x80" "c" "\xE2\x82" "d" "\xF0"),
              u"\uFFFDa\uFFFD\uFFFDb\uFFFD\uFFFD\uFFFDc\uFFFDd\uFFFD");
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", 2, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);

    EXPECT_EQ(ToNarrow(CP_UTF8, u"\u00E9\U0001F600"), "\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(ToNarrow(CP_UTF8, u"a\xDC00"), "a\xEF\xBF\xBD");
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, u"a\xDC00", 2, nullptr, 0, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
}

}  // namespace
