#include <gtest/gtest.h>

#include <string>

#include "BackupConfig.h"
#include "Calendar.h"
#include "Clock.h"
#include "CoreTestSupport.h"
#include "DateVariables.h"

class DateVariablesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        config = new BackupConfig();
        config->uniqueId = 42;
        config->runCount = 7;
    }
    void TearDown() override
    {
        SetClockForTesting(nullptr);
        delete config;
    }
    std::string Expand(const std::string &text, const SYSTEMTIME &at, int *result = nullptr)
    {
        SetClockForTesting(&at);
        char buffer[260] = {};
        lstrcpynA(buffer, text.c_str(), sizeof(buffer));
        int expanded = ExpandDateVariables(config, buffer);
        if (result != nullptr)
            *result = expanded;
        return buffer;
    }
    BackupConfig *config;
};

TEST_F(DateVariablesTest, EveryKindForAFixedClock)
{
    SYSTEMTIME t = MakeTime(2026, 3, 8, 9, 5); // a Sunday
    struct Case { const char *text, *expected; };
    const Case cases[] = {
        {"[[HOUR]]", "H09"},
        {"[[DAY_WEEK]]", "SU"},
        {"[[DAY_MONTH]]", "DM08"},
        {"[[DAY_YEAR]]", "DY067"},
        {"[[WEEK_MONTH]]", "WM02"},
        {"[[WEEK_YEAR]]", "WY11"},
        {"[[MONTH]]", "MAR"},
        {"[[YEAR]]", "2026"},
        {"[[DATE]]", "03-08-2026"},
        {"[[TIME]]", "09_05"},
        {"[[DATETIME]]", "03-08-2026 09_05"},
        {"[[UNIQUE]]", "42_7"},
        {"D:\\bk\\[[date]]\\[[Month]]", "D:\\bk\\03-08-2026\\MAR"},
        {"[[YEAR]]-[[YEAR]]", "2026-2026"},
        {"[[DATETIME]] [[DATE]] [[TIME]]", "03-08-2026 09_05 03-08-2026 09_05"},
        {"[[NOPE]] [[YEAR", "[[NOPE]] [[YEAR"},
    };
    for (const Case &c : cases) {
        int result = 0;
        EXPECT_EQ(Expand(c.text, t, &result), c.expected) << c.text;
        EXPECT_EQ(result, 1);
    }
}

TEST_F(DateVariablesTest, WeekdayAndMonthNames)
{
    const char *days[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
    for (int d = 0; d < 7; ++d) {
        SYSTEMTIME t = MakeTime(2026, 3, 1 + d);
        EXPECT_EQ(Expand("[[DAY_WEEK]]", t), days[d]);
    }
    const char *months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    for (int m = 1; m <= 12; ++m)
        EXPECT_EQ(Expand("[[MONTH]]", MakeTime(2025, m, 1)), months[m - 1]);
}

TEST_F(DateVariablesTest, ResultsAtTheLengthLimit)
{
    SYSTEMTIME t = MakeTime(2026, 3, 8, 14, 0);
    int result = 0;
    std::string text = std::string(247, 'a') + "[[HOUR]]"; // 255 characters
    EXPECT_EQ(Expand(text, t, &result).size(), 250u);
    EXPECT_EQ(result, 1);

    config->uniqueId = 123456;
    config->runCount = 7890; // "123456_7890", 11 characters
    text = std::string(249, 'a') + "[[UNIQUE]]"; // 259 characters
    Expand(text, t, &result);
    EXPECT_EQ(result, 0);
    text = std::string(248, 'a') + "[[UNIQUE]]";
    EXPECT_EQ(Expand(text, t, &result).size(), 259u);
    EXPECT_EQ(result, 1);
}

TEST(Calendar, WeekNumbers)
{
    struct Case { SYSTEMTIME t; const char *weekMonth, *weekYear; };
    const Case cases[] = {
        {MakeTime(2026, 3, 1), "WM01", nullptr},
        {MakeTime(2026, 3, 7), "WM01", nullptr},
        {MakeTime(2026, 3, 8), "WM02", nullptr},
        {MakeTime(2028, 12, 31), nullptr, "WY54"},
        {MakeTime(2028, 1, 1), "WM01", "WY01"},
        {MakeTime(2028, 1, 2), "WM02", "WY02"},
        {MakeTime(2026, 1, 31), "WM05", "WY05"},
    };
    for (const Case &c : cases) {
        char value[64];
        if (c.weekMonth != nullptr) {
            FormatDateVariable(nullptr, DateVarWeekMonth, &c.t, value);
            EXPECT_STREQ(value, c.weekMonth) << c.t.wYear << "-" << c.t.wMonth << "-" << c.t.wDay;
        }
        if (c.weekYear != nullptr) {
            FormatDateVariable(nullptr, DateVarWeekYear, &c.t, value);
            EXPECT_STREQ(value, c.weekYear) << c.t.wYear << "-" << c.t.wMonth << "-" << c.t.wDay;
        }
    }
    char value[64] = "junk";
    SYSTEMTIME t = MakeTime(2026, 1, 1);
    FormatDateVariable(nullptr, 12, &t, value);
    EXPECT_STREQ(value, "");
}

TEST(Calendar, DayOfYear)
{
    EXPECT_EQ(GetDayOfYear(12, 31, 2024), 366);
    EXPECT_EQ(GetDayOfYear(3, 1, 2100), 60);
    EXPECT_EQ(GetDayOfYear(3, 1, 2000), 61);
    EXPECT_EQ(GetDayOfYear(1, 1, 2025), 1);
    EXPECT_EQ(GetDayOfYear(12, 31, 2025), 365);
}

TEST(Calendar, WeekdayOfFirstDayMatchesTheSystem)
{
    for (int year : {1900, 1999, 2000, 2024, 2026, 2100}) {
        for (int month = 1; month <= 12; ++month) {
            SYSTEMTIME t = MakeTime(year, month, 1);
            EXPECT_EQ(GetWeekdayOfFirstDay(month, year), t.wDayOfWeek) << year << "-" << month;
        }
    }
}

TEST(Calendar, CompareAndShiftTimes)
{
    SYSTEMTIME a = MakeTime(2026, 3, 8, 10, 0, 0, 5);
    SYSTEMTIME b = a;
    EXPECT_EQ(IsSystemTimeBefore(&a, &b), 0);
    b.wMilliseconds = 6;
    EXPECT_EQ(IsSystemTimeBefore(&a, &b), 1);
    EXPECT_EQ(IsSystemTimeBefore(&b, &a), 0);
    b = a;
    b.wDayOfWeek = (WORD)((a.wDayOfWeek + 3) % 7);
    EXPECT_EQ(IsSystemTimeBefore(&a, &b), 0) << "the day of the week is not compared";
    SYSTEMTIME earlierYear = MakeTime(2025, 12, 31, 23, 59, 59, 999);
    EXPECT_EQ(IsSystemTimeBefore(&earlierYear, &a), 1);

    SYSTEMTIME shifted;
    EXPECT_EQ(AddDaysToSystemTime(&a, &shifted, 24), &shifted);
    EXPECT_EQ(shifted.wMonth, 4);
    EXPECT_EQ(shifted.wDay, 1);
    EXPECT_EQ(shifted.wHour, 10);
    AddDaysToSystemTime(&a, &shifted, -8);
    EXPECT_EQ(shifted.wMonth, 2);
    EXPECT_EQ(shifted.wDay, 28);
}

TEST(Calendar, ShiftOfNoDateOrBeyondTheCalendarFails)
{
    SYSTEMTIME first = MakeTime(1601, 1, 1);
    SYSTEMTIME noDate = MakeTime(2026, 2, 30);
    SYSTEMTIME month13 = MakeTime(2026, 13, 1);
    SYSTEMTIME now = MakeTime(2026, 3, 8, 10, 0);
    struct Case {
        const SYSTEMTIME *time;
        long long days;
        bool shifted;
    };
    const Case cases[] = {
        {&first, 0, true},
        {&first, -1, false},
        {&noDate, 1, false},
        {&month13, 0, false},
        {&now, 10000000, true},  // year 29404
        {&now, 11000000, false},
        {&now, -200000, false},
        {&now, 0x7FFFFFFFFFFFFFFFLL, false},
        {&now, -0x7FFFFFFFFFFFFFFFLL - 1, false},
    };
    for (const Case &c : cases) {
        SYSTEMTIME result;
        memset(&result, 0xAB, sizeof result);
        SYSTEMTIME untouched = result;
        SYSTEMTIME *shifted = AddDaysToSystemTime(c.time, &result, c.days);
        EXPECT_EQ(shifted != nullptr, c.shifted) << c.time->wYear << "-" << c.time->wMonth << " + " << c.days;
        if (!c.shifted) {
            EXPECT_EQ(memcmp(&result, &untouched, sizeof result), 0) << c.days << ": the result was written";
        }
    }
}

TEST(Calendar, TimePicturesLoseTheirSeconds)
{
    struct Case { const char *picture, *expected; };
    const Case cases[] = {
        {"h:mm:ss tt", "h:mm tt"}, {"HH:mm:ss", "HH:mm"}, {"H.mm.ss", "H.mm"},
        {"tt hh:mm:ss", "tt hh:mm"}, {"HH:mm", "HH:mm"},
    };
    for (const Case &c : cases) {
        char picture[99];
        lstrcpyA(picture, c.picture);
        StripSecondsFromTimeFormat(picture);
        EXPECT_STREQ(picture, c.expected) << c.picture;
    }
    char userPicture[99];
    GetTimeFormatWithoutSeconds(userPicture);
    EXPECT_EQ(strchr(userPicture, 's'), nullptr) << userPicture;
    EXPECT_NE(strchr(userPicture, 'm'), nullptr) << userPicture;
}

TEST(Calendar, FormatSystemTimeJoinsDateAndTime)
{
    SYSTEMTIME t = MakeTime(2026, 3, 8, 14, 5, 30);
    char text[80];
    FormatSystemTime(text, sizeof(text), &t);
    std::string s = text;
    EXPECT_NE(s.find(" : "), std::string::npos) << s;
    EXPECT_NE(s.find("2026"), std::string::npos) << s;
    EXPECT_EQ(s.find(":30"), std::string::npos) << "no seconds: " << s;
}
