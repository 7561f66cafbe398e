// Paths for the file API: made absolute, with the long-path prefix only where needed.
#include <windows.h>
#include <gtest/gtest.h>

#include "PathText.h"

TEST(LongPath, ShortPathsStayPlainAndLongOnesGetThePrefix)
{
    std::wstring result;
    ASSERT_TRUE(MakeFilePath(L"C:\\data\\a.txt", &result));
    EXPECT_EQ(result, L"C:\\data\\a.txt");

    std::wstring deep = L"C:\\" + std::wstring(300, L'x') + L"\\a.txt";
    ASSERT_TRUE(MakeFilePath(deep, &result));
    EXPECT_EQ(result, L"\\\\?\\" + deep);

    std::wstring share = L"\\\\srv\\data\\" + std::wstring(300, L'y');
    ASSERT_TRUE(MakeFilePath(share, &result));
    EXPECT_EQ(result, L"\\\\?\\UNC\\srv\\data\\" + std::wstring(300, L'y'));

    ASSERT_TRUE(MakeFilePath(L"\\\\?\\C:\\already", &result));
    EXPECT_EQ(result, L"\\\\?\\C:\\already");
}

TEST(LongPath, RelativePathsResolveAgainstTheCurrentFolder)
{
    wchar_t current[MAX_PATH] = L"";
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, current), 0u);
    std::wstring expected = current;
    if (expected.back() != L'\\')
        expected += L'\\';
    std::wstring result;
    ASSERT_TRUE(MakeFilePath(L"Docs\\a.txt", &result));
    EXPECT_EQ(result, expected + L"Docs\\a.txt");
}

TEST(AnsiText, RoundTripsThroughWideToUtf8)
{
    std::wstring wide;
    ASSERT_TRUE(ConvertAnsiToWide("plain", &wide));
    EXPECT_EQ(wide, L"plain");
    std::string utf8;
    ASSERT_TRUE(ConvertWideToUtf8(L"\u00e9\u20ac", &utf8));
    EXPECT_EQ(utf8, "\xc3\xa9\xe2\x82\xac");
    ASSERT_TRUE(ConvertAnsiToWide("", &wide));
    EXPECT_TRUE(wide.empty());
}
