// The Windows runtime's conversions, and the bounds of the formatting helpers.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <windows.h>

#include "MsvcrtFormat.h"

TEST(MsvcrtFormat, PrintsWideTextAndSixtyFourBitIntegersAsWindowsDoes)
{
    char buffer[64];
    EXPECT_EQ(FormatText(buffer, sizeof buffer, "%ws|%I64d|%s|%d", L"C:\\wide", (__int64)5000000000LL, "ansi", -7), 26);
    EXPECT_STREQ(buffer, "C:\\wide|5000000000|ansi|-7");
}

// Wide names in ANSI text: what the code page lacks becomes '?', and the line still stands.
TEST(MsvcrtFormat, ConvertsTextOfTheOtherWidthThroughTheAnsiCodePage)
{
    ASSERT_EQ(GetACP(), 1252u);
    struct {
        const char *format;
        const wchar_t *text;
        const char *expected;
    } cases[] = {
        {"[%ws]", L"Report \u2013 Bob\u2019s \u20ac.txt", "[Report \x96 Bob\x92s \x80.txt]"},
        {"[%ws]", L"\u041e\u0442\u0447\u0451\u0442 \u5831\u544a.txt", "[????? ??.txt]"},
        {"[%ws]", nullptr, "[(null)]"},
    };
    char buffer[128];
    for (const auto &c : cases) {
        EXPECT_EQ(FormatText(buffer, sizeof buffer, c.format, c.text), (int)strlen(c.expected)) << c.format;
        EXPECT_STREQ(buffer, c.expected);
    }
    // Width and precision as msvcrt applies them; numbers still go through msvcrt itself.
    const wchar_t *ete = L"\u00e9t\u00e9";
    FormatText(buffer, sizeof buffer, "[%S|%ls|%7ws|%-4ws|%.2ws]", ete, ete, ete, ete, ete);
    EXPECT_STREQ(buffer, "[\xe9t\xe9|\xe9t\xe9|    \xe9t\xe9|\xe9t\xe9 |\xe9t]");
    FormatText(buffer, sizeof buffer, "%lc%C|%c|%5.1f|%-3d|%+d|%08lX|%u|%%|%I64u|%.*lf|%s", (wint_t)0x20ac,
               (wint_t)0x0416, 'x', 2.5, 7, 3, 0xBEEFul, 4000000000u, (unsigned long long)18000000000ULL, 2,
               1.5, (const char *)nullptr);
    EXPECT_STREQ(buffer, "\x80?|x|  2.5|7  |+3|0000BEEF|4000000000|%|18000000000|1.50|(null)");
    wchar_t wide[64];
    EXPECT_EQ(FormatTextW(wide, 64, L"%S\\%ws|%hs|%C", "D:\\B\x80ro", L"\u5831", "\x96", 'a'), 13);
    EXPECT_STREQ(wide, L"D:\\B\u20acro\\\u5831|\u2013|a");
}

TEST(MsvcrtFormat, TruncatesAndTerminatesWhatDoesNotFit)
{
    char buffer[8];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(FormatText(buffer, sizeof buffer, "%s", "12345678"), -1);
    EXPECT_STREQ(buffer, "1234567");
    // Exactly full: the terminator would not fit, so it is a truncation too.
    EXPECT_EQ(FormatText(buffer, sizeof buffer, "%s", "1234567"), 7);
    EXPECT_EQ(FormatText(buffer, 1, "%s", "a"), -1);
    EXPECT_STREQ(buffer, "");
    wchar_t wide[4];
    EXPECT_EQ(FormatTextW(wide, 4, L"%s", L"abcd"), -1);
    EXPECT_STREQ(wide, L"abc");
}

TEST(MsvcrtFormat, WritesStreamLinesInTheSameDialect)
{
    char path[MAX_PATH], dir[MAX_PATH];
    ASSERT_NE(GetTempPathA(sizeof dir, dir), 0u);
    ASSERT_NE(GetTempFileNameA(dir, "fmt", 0, path), 0u);
    FILE *stream = fopen(path, "w");
    ASSERT_NE(stream, nullptr);
    EXPECT_GT(WriteText(stream, "%ws %I64d\n", L"line", (__int64)-1), 0);
    fclose(stream);
    stream = fopen(path, "rb");
    ASSERT_NE(stream, nullptr);
    char text[32] = "";
    size_t n = fread(text, 1, sizeof text - 1, stream);
    fclose(stream);
    DeleteFileA(path);
    EXPECT_EQ(std::string(text, n), "line -1\r\n");
    EXPECT_EQ(WriteText(nullptr, "%d", 1), -1);

    // A line longer than any buffer of the writer is still written whole.
    std::wstring longName(5000, L'\u0416');
    stream = fopen(path, "wb");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(WriteText(stream, "<%ws>", longName.c_str()), 5002);
    fclose(stream);
    stream = fopen(path, "rb");
    std::string back(6000, '\0');
    back.resize(fread(&back[0], 1, back.size(), stream));
    fclose(stream);
    DeleteFileA(path);
    EXPECT_EQ(back, "<" + std::string(5000, '?') + ">");
}
