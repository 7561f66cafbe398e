#include <gtest/gtest.h>

#include <string>

#include "BackupConfig.h"
#include "DisplayFormats.h"
#include "TextConversion.h"
#include "TextHelpers.h"

TEST(TextEdits, InsertAndDeleteInPlace)
{
    char text[32] = "bc";
    PrependChar(text, 'a');
    EXPECT_STREQ(text, "abc");
    PrependString(text, "xy");
    EXPECT_STREQ(text, "xyabc");
    DeleteFirstChar(text + 2);
    EXPECT_STREQ(text, "xybc");
    DeleteFirstChar(text + 3);
    EXPECT_STREQ(text, "xyb");
}

TEST(TextEdits, ReplaceAllDoesNotRescanItsReplacement)
{
    struct Case { const char *text, *search, *replacement, *expected; };
    const Case cases[] = {
        {"a.b.c", ".", "..", "a..b..c"},
        {"aaa", "a", "aa", "aaaaaa"},
        {"abcabc", "abc", "", ""},
        {"xabx", "ab", "ABAB", "xABABx"},
        {"ab", "abc", "z", "ab"},
    };
    for (const Case &c : cases) {
        char text[64];
        lstrcpyA(text, c.text);
        ReplaceAll(text, c.search, c.replacement);
        EXPECT_STREQ(text, c.expected) << c.text;
    }
}

TEST(TextEdits, TrimBothEnds)
{
    char text[32] = "\t\r\n  word \t\r\n";
    TrimLeadingWhitespace(text);
    EXPECT_STREQ(text, "word \t\r\n");
    TrimTrailingWhitespace(text);
    EXPECT_STREQ(text, "word");
    char blank[8] = " \t ";
    TrimLeadingWhitespace(blank);
    EXPECT_STREQ(blank, "");
}

TEST(TextSearch, FindNoCaseIgnoresCaseAndEmptySearch)
{
    const char *text = "C:\\Backup\\[[date]]\\x";
    EXPECT_EQ(FindNoCase(text, "[[DATE]]"), text + 10);
    EXPECT_EQ(FindNoCase(text, ""), nullptr);
    EXPECT_EQ(FindNoCase(text, "[[TIME]]"), nullptr);
    EXPECT_EQ(FindNoCase("ab", "abc"), nullptr);
    const wchar_t *wide = L"d:\\Data\\FILE.txt";
    EXPECT_EQ(FindNoCaseW(wide, L"file"), wide + 8);
    EXPECT_EQ(FindNoCaseW(wide, L""), nullptr);
}

TEST(FileNames, ValidityAtTheLimits)
{
    EXPECT_EQ(IsValidFileName(""), 0);
    EXPECT_EQ(IsValidFileName(std::string(260, 'a').c_str()), 1);
    EXPECT_EQ(IsValidFileName(std::string(261, 'a').c_str()), 0);
    for (char c : std::string("\\/:*?\"<>|")) {
        std::string name = std::string("ab") + c + "cd";
        EXPECT_EQ(IsValidFileName(name.c_str()), 0) << c;
    }
    EXPECT_EQ(IsValidFileName("report 2024.zip"), 1);
}

TEST(FileNames, SanitizeDeletesForbiddenCharactersAndStaysBounded)
{
    char out[16];
    SanitizeFileName(out, sizeof(out), "a:b/c*d");
    EXPECT_STREQ(out, "abcd");
    SanitizeFileName(out, sizeof(out), "::??**");
    EXPECT_STREQ(out, "");
    SanitizeFileName(out, 5, "abcdefgh");
    EXPECT_STREQ(out, "abcd");
    wchar_t wide[16];
    SanitizeFileNameW(wide, 16, L"a<b>c|d\"");
    EXPECT_STREQ(wide, L"abcd");
}

TEST(Passwords, ScrambleTwiceGivesTheTextBack)
{
    char text[32] = "Secret pass 123";
    EXPECT_EQ(ScramblePassword(text), 15);
    EXPECT_STRNE(text, "Secret pass 123");
    EXPECT_EQ((unsigned char)text[0], (unsigned char)('S' ^ 0xA7));
    ScramblePassword(text);
    EXPECT_STREQ(text, "Secret pass 123");
}

TEST(Passwords, KeyCharacterEndsTheScrambledText)
{
    char text[8] = {'a', (char)0xA7, 'b', 0};
    ScramblePassword(text);
    ScramblePassword(text);
    EXPECT_STREQ(text, "a");
}

TEST(Passwords, OnlyPasswordsWithoutTheKeyByteSurviveScrambling)
{
    EXPECT_EQ(CanScramblePassword(""), 1);
    EXPECT_EQ(CanScramblePassword("Caf\xE9 \x80 \x93quoted\x94"), 1);
    EXPECT_EQ(CanScramblePassword("Section \xA7 5"), 0);
    EXPECT_EQ(CanScramblePassword("\xA7"), 0);
}

TEST(DisplayFormats, ByteSizes)
{
    struct Case { double bytes; const char *expected; };
    const Case cases[] = {
        {0, "0 bytes"}, {512, "512 bytes"}, {1023, "1023 bytes"}, {1024, "1.00 KB"},
        {1536, "1.50 KB"}, {1048575, "1024.00 KB"}, {1048576, "1.00 MB"},
        {1073741823, "1024.00 MB"}, {1073741824, "1.00 GB"}, {5.5 * 1073741824.0, "5.50 GB"},
    };
    for (const Case &c : cases) {
        char out[32];
        FormatByteSize(out, sizeof(out), c.bytes);
        EXPECT_STREQ(out, c.expected) << c.bytes;
    }
}

TEST(DisplayFormats, Thousands)
{
    struct Case { int value; const char *expected; };
    const Case cases[] = {
        {0, "0"}, {999, "999"}, {1000, "1,000"}, {-100, "-100"}, {-999, "-999"},
        {-1000, "-1,000"}, {-12345, "-12,345"}, {1234567, "1,234,567"},
        {2147483647, "2,147,483,647"}, {(-2147483647 - 1), "-2,147,483,648"},
    };
    for (const Case &c : cases) {
        char out[15];
        FormatThousands(out, sizeof(out), c.value);
        EXPECT_STREQ(out, c.expected) << c.value;
    }
}

TEST(DisplayFormats, ConfigTotalsMarkUnmeasuredSources)
{
    SourceItem sources[2] = {};
    sources[0].sizeKnown = 1;
    sources[0].totalBytes = 1024;
    sources[0].fileCount = 1000;
    sources[1].sizeKnown = 0;
    sources[1].totalBytes = 512;
    sources[1].fileCount = 234;
    BackupConfig *config = new BackupConfig();
    config->sources = sources;
    config->sourceCount = 2;
    char size[32], count[32];
    EXPECT_EQ(FormatConfigTotals(config, size, sizeof(size), count, sizeof(count)), 0);
    EXPECT_STREQ(size, "1.50 KB...");
    EXPECT_STREQ(count, "1,234...");
    sources[1].sizeKnown = 1;
    EXPECT_EQ(FormatConfigTotals(config, size, sizeof(size), count, sizeof(count)), 1);
    EXPECT_STREQ(size, "1.50 KB");
    EXPECT_STREQ(count, "1,234");
    // A buffer too small for the marker keeps a terminated text.
    char tiny[8];
    sources[1].sizeKnown = 0;
    FormatConfigTotals(config, tiny, sizeof(tiny), count, sizeof(count));
    EXPECT_LT(strlen(tiny), sizeof(tiny));
    delete config;
}

TEST(TextConversion, RoundTripAndBounds)
{
    wchar_t *wide = AnsiToWideAlloc("Caf\xe9 backup");
    ASSERT_NE(wide, nullptr);
    EXPECT_STREQ(wide, L"Caf\u00e9 backup");
    char *ansi = WideToAnsiAlloc(wide);
    ASSERT_NE(ansi, nullptr);
    EXPECT_STREQ(ansi, "Caf\xe9 backup");
    free(wide);
    free(ansi);

    // A text longer than the 1,024-character buffer is cut and terminated, never overrun.
    std::string longText(3000, 'x');
    std::wstring guard(1100, L'#');
    AnsiToWideBuffer(&guard[0], longText.c_str());
    EXPECT_EQ(wcslen(guard.c_str()), 1023u);
    EXPECT_EQ(guard[1024], L'#');

    char small[6];
    small[5] = '!';
    WideToAnsiBuffer(small, 5, L"abcdefgh");
    EXPECT_STREQ(small, "abcd");
    EXPECT_EQ(small[5], '!');
}
