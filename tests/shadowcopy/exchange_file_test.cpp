// The exchange-file rules shared by kv64dll and kv64wrap, and the derived file names.
#include <windows.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string>
#include <thread>

#include "CheckedFile.h"
#include "ExchangeFile.h"
#include "ExchangePaths.h"
#include "ShadowTestSupport.h"

namespace {

struct NumberCase {
    const char *text;
    int expected;
};

TEST(ExchangeNumber, ReadsSignAndLeadingDigits)
{
    const NumberCase cases[] = {
        {"0", 0},       {"1", 1},     {"-1", -1},   {"+7", 7},      {"17abc", 17},
        {"abc", 0},     {"", 0},      {"-", 0},     {" 42", 42},    {"123456789", 123456789},
        {"-2147483648", -2147483647 - 1}, {"99999999999", 2147483647},
    };
    for (const NumberCase &c : cases)
        EXPECT_EQ(ParseExchangeNumber(c.text), c.expected) << "\"" << c.text << "\"";
}

struct FileCase {
    const char *content;  // null: no file
    bool written;
    int number;
};

TEST(ExchangeFile, CountsOnlyAFirstLineWithTextAsWritten)
{
    std::string folder = MakeTempFolder("vss-exchange");
    const FileCase cases[] = {
        {nullptr, false, 0},  {"", false, 0},        {"\n", false, 0},      {"\r\n", false, 0},
        {"0\n", true, 0},     {"1\r\n", true, 1},    {"-3", true, -3},      {"12345678901\n", true, 123456789},
        {"x\n", true, 0},     {"\n5\n", false, 0},
    };
    int index = 0;
    for (const FileCase &c : cases) {
        std::string path = folder + "case" + std::to_string(index++) + ".txt";
        if (c.content != nullptr) {
            ASSERT_TRUE(WriteWholeFile(path, c.content));
        }
        int number = 12345;
        EXPECT_EQ(ReadExchangeNumber(path.c_str(), &number), c.written) << path;
        if (c.written) {
            EXPECT_EQ(number, c.number) << path;
        }
    }
}

TEST(ExchangeFile, FileStillOpenForWritingReadsAsNotYetWritten)
{
    std::string path = MakeTempFolder("vss-exchange-open") + "VSScom2.txt";
    FILE *writer = fopen(path.c_str(), "w");
    ASSERT_NE(writer, nullptr);
    fputs("0\n", writer);
    fflush(writer);
    int number = 0;
    EXPECT_FALSE(ReadExchangeNumber(path.c_str(), &number));
    fclose(writer);
    EXPECT_TRUE(ReadExchangeNumber(path.c_str(), &number));
}

TEST(ExchangeFile, WriterTruncatesAndWritesOneLineInTextMode)
{
    std::string path = MakeTempFolder("vss-exchange-write") + "VSScom3.txt";
    ASSERT_TRUE(WriteWholeFile(path, "old content that is longer\n"));
    FileCheck check;
    ASSERT_TRUE(WriteExchangeNumber(path.c_str(), 1, &check));
    EXPECT_EQ(ReadWholeFile(path), "1\r\n");
    EXPECT_FALSE(WriteExchangeNumber("C:\\no such folder\\VSScom3.txt", 1, &check));
}

TEST(ExchangeFile, WriterWaitsForAReaderThatHoldsTheFile)
{
    std::string path = MakeTempFolder("vss-exchange-busy") + "VSScom3.txt";
    ASSERT_TRUE(WriteWholeFile(path, ""));
    // The other side's poll, held open for longer than a read takes.
    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    std::thread closer([reader] {
        Sleep(150);
        CloseHandle(reader);
    });
    FileCheck check;
    EXPECT_TRUE(WriteExchangeNumber(path.c_str(), 1, &check));
    closer.join();
    EXPECT_EQ(ReadWholeFile(path), "1\r\n");
}

struct PathCase {
    const char *logPath;
    const char *fileName;
    bool derived;
    const char *expected;
};

TEST(ExchangePaths, ReplaceFromTheFirstLogNameToTheEnd)
{
    const PathCase cases[] = {
        {"C:\\Data\\VSSLog.txt", "VSScom1.txt", true, "C:\\Data\\VSScom1.txt"},
        {"C:\\VSSLog.txt\\VSSLog.txt", "VSSLog1.txt", true, "C:\\VSSLog1.txt"},
        {"C:\\Data\\VSSLog.txt.bak", "VSScom2.txt", true, "C:\\Data\\VSScom2.txt"},
        {"C:\\Data\\vsslog.txt", "VSScom2.txt", false, ""},  // the match is case-sensitive
        {"C:\\Data\\Log.txt", "VSScom3.txt", false, ""},
        {"", "VSScom3.txt", false, ""},
    };
    for (const PathCase &c : cases) {
        char out[260] = "";
        EXPECT_EQ(DeriveExchangePath(c.logPath, c.fileName, out, sizeof out), c.derived) << c.logPath;
        if (c.derived) {
            EXPECT_STREQ(out, c.expected);
        }
    }
}

TEST(ExchangePaths, RefusesAResultThatDoesNotFit)
{
    char out[20];
    EXPECT_TRUE(DeriveExchangePath("C:\\D\\VSSLog.txt", "VSScom1.txt", out, 17));
    EXPECT_FALSE(DeriveExchangePath("C:\\D\\VSSLog.txt", "VSScom1.txt", out, 16));
}

}  // namespace
