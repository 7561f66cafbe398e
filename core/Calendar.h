// SYSTEMTIME comparison and arithmetic, day and week numbers, and date texts in the user's format.
#pragma once
#include <windows.h>
#include <stddef.h>

int IsSystemTimeBefore(const SYSTEMTIME *a, const SYSTEMTIME *b);
// The time shifted by a number of days into result; null (result untouched) when the time is
// no real date or the shifted one lies outside what a SYSTEMTIME can hold.
SYSTEMTIME *AddDaysToSystemTime(const SYSTEMTIME *time, SYSTEMTIME *result, long long days);
int GetDayOfYear(int month, int day, int year);
int GetWeekdayOfFirstDay(int month, int year);
// Week number with weeks starting on Sunday and week 1 holding day 1; firstWeekday is the
// weekday of day 1.
int GetWeekNumber(int dayNumber, int firstWeekday);
void FormatSystemTime(char *out, size_t outSize, const SYSTEMTIME *time);
void GetTimeFormatWithoutSeconds(char *out99);
// Removes seconds from a time-format picture in place (h:mm:ss tt becomes h:mm tt).
void StripSecondsFromTimeFormat(char *picture);
