// File times (100 ns intervals since 1601-01-01 UTC), system times (calendar fields), local
// time and automation dates. Calendar arithmetic is proleptic Gregorian and exact; fields out
// of range fail with ERROR_INVALID_PARAMETER.
#include "../VxWin32.h"

#include <time.h>

#include <cmath>

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicksPerMillisecond = 10000;
constexpr int64_t kSecondsPerDay = 86400;
// Days from 1970-01-01 to 1601-01-01 and to 1899-12-30 (day 0 of automation dates).
constexpr int64_t kDays1601 = -134774;
constexpr int64_t kDays1899 = -25569;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = unsigned(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + int64_t(dayOfEra) - 719468;
}

void CivilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = unsigned(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shifted = (5 * dayOfYear + 2) / 153;
    *day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    *month = shifted < 10 ? shifted + 3 : shifted - 9;
    *year = int64_t(yearOfEra) + era * 400 + (*month <= 2 ? 1 : 0);
}

unsigned DaysInMonth(unsigned year, unsigned month)
{
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// The date and time fields, checked; the day of the week is not read (as on Win32).
bool ValidFields(const SYSTEMTIME& t, unsigned minYear, unsigned maxYear)
{
    return t.wYear >= minYear && t.wYear <= maxYear && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 &&
           t.wDay <= DaysInMonth(t.wYear, t.wMonth) && t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 &&
           t.wMilliseconds < 1000;
}

void FillDate(int64_t daysSince1970, SYSTEMTIME* t)
{
    int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(daysSince1970, &year, &month, &day);
    t->wYear = WORD(year);
    t->wMonth = WORD(month);
    t->wDay = WORD(day);
    t->wDayOfWeek = WORD(((daysSince1970 % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
}

int64_t TicksOf(const FILETIME& t)
{
    return int64_t((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

FILETIME FileTimeOf(int64_t ticks)
{
    return {DWORD(uint64_t(ticks)), DWORD(uint64_t(ticks) >> 32)};
}

// Seconds east of UTC in force at a moment given in seconds since 1970.
bool LocalOffset(int64_t unixSeconds, int64_t* offset)
{
    const time_t moment = time_t(unixSeconds);
    struct tm fields;
    if (!localtime_r(&moment, &fields))
        return false;
    *offset = fields.tm_gmtoff;
    return true;
}

BOOL Fail()
{
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

int64_t FloorDiv(int64_t a, int64_t b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

// Shifts a file time by seconds, staying within the valid (non-negative) range.
bool Shift(int64_t ticks, int64_t seconds, FILETIME* out)
{
    int64_t shifted = 0;
    if (__builtin_add_overflow(ticks, seconds * kTicksPerSecond, &shifted) || shifted < 0)
        return false;
    *out = FileTimeOf(shifted);
    return true;
}

}  // namespace

extern "C" LONG CompareFileTime(const FILETIME* a, const FILETIME* b)
{
    const uint64_t x = (uint64_t(a->dwHighDateTime) << 32) | a->dwLowDateTime;
    const uint64_t y = (uint64_t(b->dwHighDateTime) << 32) | b->dwLowDateTime;
    return x < y ? -1 : x > y ? 1 : 0;
}

// Times with the top bit set are invalid on Win32 and refused here too.
extern "C" BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime)
{
    if (!fileTime || !systemTime)
        return Fail();
    const int64_t ticks = TicksOf(*fileTime);
    if (ticks < 0)
        return Fail();
    const int64_t milliseconds = ticks / kTicksPerMillisecond;
    const int64_t seconds = milliseconds / 1000;
    const int64_t secondOfDay = seconds % kSecondsPerDay;
    FillDate(kDays1601 + seconds / kSecondsPerDay, systemTime);
    systemTime->wHour = WORD(secondOfDay / 3600);
    systemTime->wMinute = WORD(secondOfDay / 60 % 60);
    systemTime->wSecond = WORD(secondOfDay % 60);
    systemTime->wMilliseconds = WORD(milliseconds % 1000);
    return TRUE;
}

extern "C" BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime)
{
    if (!systemTime || !fileTime || !ValidFields(*systemTime, 1601, 30827))
        return Fail();
    const SYSTEMTIME& t = *systemTime;
    const int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay) - kDays1601;
    const int64_t seconds = days * kSecondsPerDay + t.wHour * 3600 + t.wMinute * 60 + t.wSecond;
    *fileTime = FileTimeOf(seconds * kTicksPerSecond + t.wMilliseconds * kTicksPerMillisecond);
    return TRUE;
}

// Local time uses the zone's offset in force at that moment (daylight saving included), so a
// date in summer converts with the summer offset whatever the season is now.
extern "C" BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localTime)
{
    if (!fileTime || !localTime)
        return Fail();
    const int64_t ticks = TicksOf(*fileTime);
    int64_t offset = 0;
    if (ticks < 0 || !LocalOffset(FloorDiv(ticks, kTicksPerSecond) + kDays1601 * kSecondsPerDay, &offset) ||
        !Shift(ticks, offset, localTime))
        return Fail();
    return TRUE;
}

// The inverse: the offset is the one in force at the resulting UTC moment. A local time that
// a clock change skips or repeats resolves to one of its readings.
extern "C" BOOL LocalFileTimeToFileTime(const FILETIME* localTime, FILETIME* fileTime)
{
    if (!localTime || !fileTime)
        return Fail();
    const int64_t ticks = TicksOf(*localTime);
    const int64_t localSeconds = FloorDiv(ticks, kTicksPerSecond) + kDays1601 * kSecondsPerDay;
    int64_t guess = 0, offset = 0;
    if (ticks < 0 || !LocalOffset(localSeconds, &guess) || !LocalOffset(localSeconds - guess, &offset) ||
        !Shift(ticks, -offset, fileTime))
        return Fail();
    return TRUE;
}

extern "C" void GetSystemTimeAsFileTime(FILETIME* fileTime)
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    *fileTime = FileTimeOf((int64_t(now.tv_sec) - kDays1601 * kSecondsPerDay) * kTicksPerSecond + now.tv_nsec / 100);
}

extern "C" void GetSystemTime(SYSTEMTIME* systemTime)
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    FileTimeToSystemTime(&now, systemTime);
}

// Years 100 to 9999, as OLE automation. Milliseconds are not carried (as on Win32): dates
// are whole seconds.
extern "C" int SystemTimeToVariantTime(SYSTEMTIME* systemTime, DATE* variantTime)
{
    if (!systemTime || !variantTime || !ValidFields(*systemTime, 100, 9999))
        return Fail();
    const SYSTEMTIME& t = *systemTime;
    const auto days = double(DaysFromCivil(t.wYear, t.wMonth, t.wDay) - kDays1899);
    const double fraction = (t.wHour * 3600 + t.wMinute * 60 + t.wSecond) / double(kSecondsPerDay);
    // Before day 0 the fraction still counts forward from the day's start: -1.25 is
    // 1899-12-29 06:00.
    *variantTime = days < 0 ? days - fraction : days + fraction;
    return TRUE;
}

// Rounds to the nearest second.
extern "C" int VariantTimeToSystemTime(DATE variantTime, SYSTEMTIME* systemTime)
{
    constexpr double kFirst = -657434.0;         // 0100-01-01
    constexpr double kLast = 2958465.999988426;  // 9999-12-31 23:59:59
    if (!systemTime || !std::isfinite(variantTime) || variantTime <= kFirst - 1.0 || variantTime > kLast)
        return Fail();
    const double wholeDays = std::trunc(variantTime);
    int64_t day = int64_t(wholeDays);
    int64_t second = std::llround(std::fabs(variantTime - wholeDays) * kSecondsPerDay);
    if (second >= kSecondsPerDay) {
        ++day;
        second -= kSecondsPerDay;
    }
    FillDate(day + kDays1899, systemTime);
    if (systemTime->wYear < 100)
        return Fail();
    systemTime->wHour = WORD(second / 3600);
    systemTime->wMinute = WORD(second / 60 % 60);
    systemTime->wSecond = WORD(second % 60);
    systemTime->wMilliseconds = 0;
    return TRUE;
}
