// The Windows runtime's conversions, and the bounds of the formatting helpers.
#include <gtest/gtest.h>
#include <string.h>
#include <windows.h>

#include "MsvcrtFormat.h"

TEST(MsvcrtFormat, PrintsWideTextAndSixtyFourBitIntegersAsWindowsDoes)
{
    char buffer[64];
    EXPECT_EQ(FormatText(buffer, sizeof buffer, "%ws|%I64d|%s|%d", L"C:\\wide", (__int64)5000000000LL, "ansi", -7), 26);
    EXPECT_STREQ(buffer, "C:\\wide|5000000000|ansi|-7");
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
}
