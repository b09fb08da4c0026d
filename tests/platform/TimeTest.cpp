#include "platform/VxWin32.h"
#include "tests/common/VxTest.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

uint64_t Ticks(const FILETIME& t)
{
    return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

FILETIME FileTime(uint64_t ticks)
{
    return {DWORD(ticks), DWORD(ticks >> 32)};
}

SYSTEMTIME Fields(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0)
{
    return {WORD(year), WORD(month), 0, WORD(day), WORD(hour), WORD(minute), WORD(second), WORD(ms)};
}

TEST(SystemTime, EpochAndKnownDatesConvertExactly)
{
    FILETIME ft{1, 1};
    SYSTEMTIME start = Fields(1601, 1, 1);
    ASSERT_TRUE(SystemTimeToFileTime(&start, &ft));
    EXPECT_EQ(Ticks(ft), 0u);
    SYSTEMTIME back{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wDayOfWeek, 1);  // a Monday

    // 2000-02-29 12:34:56.789 is Unix time 951827696.
    SYSTEMTIME leap = Fields(2000, 2, 29, 12, 34, 56, 789);
    ASSERT_TRUE(SystemTimeToFileTime(&leap, &ft));
    EXPECT_EQ(Ticks(ft), (951827696ull + 11644473600ull) * 10000000ull + 7890000ull);
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wDayOfWeek, 2);  // a Tuesday
    EXPECT_EQ(back.wMilliseconds, 789);
}

TEST(SystemTime, RoundTripsAcrossTheWholeRange)
{
    // Steps of a prime number of minutes visit every month, leap day and time of day.
    const uint64_t last = 0x7FFFFFFFFFFFFFFFull;
    const uint64_t step = 7919ull * 60 * 10000000 * 97 + 1234567;
    for (uint64_t ticks = 0; ticks < last - step; ticks += step) {
        const FILETIME ft = FileTime(ticks - ticks % 10000);  // whole milliseconds
        SYSTEMTIME fields{};
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &fields)) << ticks;
        FILETIME back{};
        ASSERT_TRUE(SystemTimeToFileTime(&fields, &back)) << fields.wYear << "-" << fields.wMonth;
        ASSERT_EQ(Ticks(back), Ticks(ft));
    }
    SYSTEMTIME fields{};
    const FILETIME maxTime = FileTime(last);
    ASSERT_TRUE(FileTimeToSystemTime(&maxTime, &fields));
    EXPECT_EQ(fields.wYear, 30828);
}

TEST(SystemTime, FieldsOutOfRangeAreRefused)
{
    const SYSTEMTIME bad[] = {
        Fields(1600, 12, 31), Fields(30828, 1, 1),       Fields(2020, 0, 1),         Fields(2020, 13, 1),
        Fields(2020, 1, 0),   Fields(2021, 2, 29),       Fields(1900, 2, 29),        Fields(2020, 4, 31),
        Fields(2020, 1, 1, 24), Fields(2020, 1, 1, 0, 60), Fields(2020, 1, 1, 0, 0, 60), Fields(2020, 1, 1, 0, 0, 0, 1000),
    };
    for (const SYSTEMTIME& t : bad) {
        FILETIME ft{};
        SetLastError(0);
        EXPECT_FALSE(SystemTimeToFileTime(&t, &ft)) << t.wYear << "-" << t.wMonth << "-" << t.wDay;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    SYSTEMTIME leapDay = Fields(2000, 2, 29);
    FILETIME ft{};
    EXPECT_TRUE(SystemTimeToFileTime(&leapDay, &ft));
    const FILETIME topBit = FileTime(0x8000000000000000ull);
    SYSTEMTIME out{};
    EXPECT_FALSE(FileTimeToSystemTime(&topBit, &out));
}

TEST(FileTime, CompareOrdersByBothWords)
{
    const FILETIME a = FileTime(0x00000001FFFFFFFFull), b = FileTime(0x0000000200000000ull);
    EXPECT_EQ(CompareFileTime(&a, &b), -1);
    EXPECT_EQ(CompareFileTime(&b, &a), 1);
    EXPECT_EQ(CompareFileTime(&a, &a), 0);
}

TEST(FileTime, LocalTimeUsesTheOffsetOfThatDate)
{
    CVxTestTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const uint64_t hour = 3600ull * 10000000;
    SYSTEMTIME winter = Fields(2021, 1, 15, 12), summer = Fields(2021, 7, 15, 12);
    FILETIME utc{}, local{}, back{};
    for (const auto& [fields, offset] : {std::pair(winter, 1ull), std::pair(summer, 2ull)}) {
        ASSERT_TRUE(SystemTimeToFileTime(&fields, &utc));
        ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
        EXPECT_EQ(Ticks(local), Ticks(utc) + offset * hour) << fields.wMonth;
        ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
        EXPECT_EQ(Ticks(back), Ticks(utc)) << fields.wMonth;
    }
}

TEST(FileTime, SystemTimeIsNow)
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const uint64_t expected = (uint64_t(time(nullptr)) + 11644473600ull) * 10000000ull;
    EXPECT_LT(std::llabs(int64_t(Ticks(now) - expected)), 60ll * 10000000);
    SYSTEMTIME fields{};
    GetSystemTime(&fields);
    EXPECT_GE(fields.wYear, 2024);
}

TEST(VariantTime, CountsDaysFrom1899)
{
    const struct {
        SYSTEMTIME fields;
        DATE date;
    } cases[] = {
        {Fields(1899, 12, 30), 0.0},
        {Fields(1900, 1, 1), 2.0},
        {Fields(1899, 12, 29, 6), -1.25},  // the fraction counts forward from the day's start
        {Fields(2000, 1, 1, 12), 36526.5},
        {Fields(100, 1, 1), -657434.0},
        {Fields(9999, 12, 31), 2958465.0},
    };
    for (const auto& c : cases) {
        SYSTEMTIME fields = c.fields;
        DATE date = 99;
        ASSERT_TRUE(SystemTimeToVariantTime(&fields, &date)) << c.date;
        EXPECT_DOUBLE_EQ(date, c.date);
        SYSTEMTIME back{};
        ASSERT_TRUE(VariantTimeToSystemTime(c.date, &back)) << c.date;
        back.wDayOfWeek = 0;
        EXPECT_EQ(std::memcmp(&back, &fields, sizeof back), 0) << c.date;
    }
}

TEST(VariantTime, RoundsToSecondsAndRefusesTheOutOfRange)
{
    SYSTEMTIME fields{};
    // 23:59:59.6 on 2020-12-31 rounds into the next year.
    ASSERT_TRUE(VariantTimeToSystemTime(44196.0 + 86399.6 / 86400, &fields));
    EXPECT_EQ(fields.wYear, 2021);
    EXPECT_EQ(fields.wHour, 0);
    EXPECT_EQ(fields.wMilliseconds, 0);
    EXPECT_FALSE(VariantTimeToSystemTime(NAN, &fields));
    EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &fields));
    EXPECT_FALSE(VariantTimeToSystemTime(-657435.0, &fields));
    SYSTEMTIME early = Fields(99, 12, 31);
    DATE date = 0;
    EXPECT_FALSE(SystemTimeToVariantTime(&early, &date));
    SYSTEMTIME badMonth = Fields(2020, 13, 1);
    EXPECT_FALSE(SystemTimeToVariantTime(&badMonth, &date));
}

}  // namespace
