#include "Calendar.h"

#include <string.h>

#include "MsvcrtFormat.h"

int IsSystemTimeBefore(const SYSTEMTIME *a, const SYSTEMTIME *b)
{
    const WORD left[] = {a->wYear, a->wMonth, a->wDay, a->wHour, a->wMinute, a->wSecond, a->wMilliseconds};
    const WORD right[] = {b->wYear, b->wMonth, b->wDay, b->wHour, b->wMinute, b->wSecond, b->wMilliseconds};
    for (size_t i = 0; i < sizeof(left) / sizeof(left[0]); ++i)
        if (left[i] != right[i])
            return left[i] < right[i] ? 1 : 0;
    return 0;
}

SYSTEMTIME *AddDaysToSystemTime(const SYSTEMTIME *time, SYSTEMTIME *result, long long days)
{
    const long long kTicksPerDay = 864000000000LL;
    const long long kLastTick = 0x7FFFFFFFFFFFFFFFLL;  // file times from 2^63 on are no dates
    FILETIME fileTime;
    if (!SystemTimeToFileTime(time, &fileTime))
        return nullptr;
    long long ticks = (long long)(((unsigned long long)fileTime.dwHighDateTime << 32) | fileTime.dwLowDateTime);
    if (days > 0 ? days > (kLastTick - ticks) / kTicksPerDay : days < -(ticks / kTicksPerDay))
        return nullptr;
    ticks += days * kTicksPerDay;
    fileTime.dwLowDateTime = (DWORD)ticks;
    fileTime.dwHighDateTime = (DWORD)(ticks >> 32);
    SYSTEMTIME shifted;
    if (!FileTimeToSystemTime(&fileTime, &shifted))
        return nullptr;
    *result = shifted;
    return result;
}

static bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int GetDayOfYear(int month, int day, int year)
{
    static const int monthLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int total = day;
    for (int m = 1; m < month && m <= 12; ++m)
        total += (m == 2 && IsLeapYear(year)) ? 29 : monthLengths[m - 1];
    return total;
}

int GetWeekdayOfFirstDay(int month, int year)
{
    // Zeller's congruence for day 1, counted from Sunday; January and February belong to the
    // previous year as months 13 and 14. Integer form of floor(2.6 * (m - 2) - 0.2).
    int m = month < 3 ? month + 12 : month;
    int fullYear = month < 3 ? year - 1 : year;
    int c = fullYear / 100;
    int y = fullYear % 100;
    int weekday = (1 + (13 * (m - 2) - 1) / 5 + y + y / 4 + c / 4 - 2 * c) % 7;
    return weekday < 0 ? weekday + 7 : weekday;
}

int GetWeekNumber(int dayNumber, int firstWeekday)
{
    int x = dayNumber + firstWeekday - 7;
    if (x < 0)
        x = 0;
    return x / 7 + 1 + (x % 7 != 0 ? 1 : 0);
}

void FormatSystemTime(char *out, size_t outSize, const SYSTEMTIME *time)
{
    char date[39] = "";
    char clock[39] = "";
    if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, time, nullptr, date, sizeof(date)) == 0)
        date[0] = '\0';
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, time, nullptr, clock, sizeof(clock)) == 0)
        clock[0] = '\0';
    FormatText(out, outSize, "%s : %s", date, clock);
}

void StripSecondsFromTimeFormat(char *picture)
{
    int lastKept = -1; // position of the last 'H', 'h', 'm' or 't'
    int i = 0;
    while (picture[i] != '\0') {
        char c = picture[i];
        if (c == 'H' || c == 'h' || c == 'm' || c == 't') {
            lastKept = i;
        } else if (c == 's') {
            memmove(picture + lastKept + 1, picture + i + 1, strlen(picture + i + 1) + 1);
            i = lastKept + 1;
            continue;
        }
        ++i;
    }
}

void GetTimeFormatWithoutSeconds(char *out99)
{
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, out99, 99) == 0)
        out99[0] = '\0';
    out99[98] = '\0';
    StripSecondsFromTimeFormat(out99);
}
