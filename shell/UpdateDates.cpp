// Calendar rules of the update check: the stored date of the last check and when the next is due.
#include "UpdateCheck.h"

#include "GlobalSettings.h"

namespace {

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int month, int year)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeapYear(year))
        return 29;
    return days[month - 1];
}

// Year, then month, then day.
bool IsOnOrBefore(int month, int day, int year, const SYSTEMTIME *today)
{
    if (year != today->wYear)
        return year < today->wYear;
    if (month != today->wMonth)
        return month < today->wMonth;
    return day <= today->wDay;
}

}  // namespace

int IsValidDate(int month, int day, int year)
{
    if (year >= 0 && year < 100)
        year += year >= 50 ? 1900 : 2000;
    if (year <= 0 || day <= 0 || month < 1 || month > 12)
        return 0;
    return day <= DaysInMonth(month, year) ? 1 : 0;
}

void GetNextDay(int month, int day, int year, int *nextMonth, int *nextDay, int *nextYear)
{
    *nextMonth = month;
    *nextDay = day + 1;
    *nextYear = year;
    if (month >= 1 && month <= 12 && day < DaysInMonth(month, year))
        return;
    *nextDay = 1;
    if (month >= 12) {
        *nextMonth = 1;
        *nextYear = year + 1;
    } else {
        *nextMonth = month + 1;
    }
}

int IsUpdateCheckDue(int frequency, const SYSTEMTIME *today)
{
    int month = ReadSettingInt("misc", "cnv_month", 1);
    int day = ReadSettingInt("misc", "cnv_day", 1);
    int year = ReadSettingInt("misc", "cnv_year", 2023);
    if (!IsValidDate(month, day, year)) {
        month = 1;
        day = 1;
        year = 2023;
    }
    // Once the date has passed today's year, more days cannot make it due.
    for (int i = 0; i < frequency && year <= today->wYear; ++i)
        GetNextDay(month, day, year, &month, &day, &year);
    return IsOnOrBefore(month, day, year, today) ? 1 : 0;
}
