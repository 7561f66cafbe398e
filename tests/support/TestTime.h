// Local times for tests, with the weekday a real clock would give them.
#pragma once
#include <windows.h>

inline SYSTEMTIME MakeTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                           int milliseconds = 0)
{
    SYSTEMTIME t = {};
    t.wYear = (WORD)year;
    t.wMonth = (WORD)month;
    t.wDay = (WORD)day;
    t.wHour = (WORD)hour;
    t.wMinute = (WORD)minute;
    t.wSecond = (WORD)second;
    t.wMilliseconds = (WORD)milliseconds;
    // Day of the week through the file-time round trip.
    FILETIME ft;
    if (SystemTimeToFileTime(&t, &ft))
        FileTimeToSystemTime(&ft, &t);
    return t;
}
