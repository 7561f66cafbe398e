// The rules the mirror copy is built on: where a path lands, the length checks, the exclusion
// match, the change test and the extension filter.
#include <gtest/gtest.h>

#include <string>

#include "Exclusion.h"
#include "ExtensionFilter.h"
#include "FileChange.h"
#include "FolderHelpers.h"
#include "JobTestSupport.h"
#include "MirrorPath.h"

namespace {

std::wstring Mirror(const char *root, const wchar_t *source)
{
    wchar_t out[kWidePathChars];
    if (!BuildMirrorPath(root, source, nullptr, 0, out, kWidePathChars, 0))
        return L"<failed>";
    return out;
}

TEST(BuildMirrorPath, DriveLetterLosesItsColon)
{
    EXPECT_EQ(Mirror("E:\\Bk\\Job\\", L"D:\\Data\\a.txt"), L"E:\\Bk\\Job\\D\\Data\\");
}

TEST(BuildMirrorPath, ShareKeepsServerAndShare)
{
    EXPECT_EQ(Mirror("E:\\Bk\\", L"\\\\server\\share\\a\\b.txt"), L"E:\\Bk\\server\\share\\a\\");
}

TEST(BuildMirrorPath, ForbiddenCharactersAreRemovedAndEmptyComponentsVanish)
{
    EXPECT_EQ(Mirror("E:\\", L"D:\\a*b\\??\\c\\f"), L"E:\\D\\ab\\c\\");
}

TEST(BuildMirrorPath, WideNamesStayWide)
{
    EXPECT_EQ(Mirror("E:\\", L"D:\\\u03a9mega\\\u4e2d\\x"), L"E:\\D\\\u03a9mega\\\u4e2d\\");
}

TEST(BuildMirrorPath, TooLongFailsWithLogLine)
{
    std::string root = "E:\\" + std::string(500, 'r') + "\\";
    std::wstring tooLong = L"D:\\" + std::wstring(518, L'a') + L"\\x";  // 504 + 2 + 519 = 1025 characters
    std::wstring within = L"D:\\" + std::wstring(516, L'a') + L"\\x"; // 1023
    wchar_t out[kWidePathChars];
    ScratchFolder folder;
    FILE *log = _wfopen((folder.Wide() + L"log.txt").c_str(), L"wt");
    EXPECT_EQ(BuildMirrorPath(root.c_str(), tooLong.c_str(), log, 0, out, kWidePathChars, 0), 0);
    EXPECT_EQ(BuildMirrorPath(root.c_str(), within.c_str(), log, 0, out, kWidePathChars, 0), 1);
    fclose(log);
    std::string text = ReadTextFile(folder.Wide() + L"log.txt");
    EXPECT_EQ(text.rfind("WARNING: Directory path too long: " + root + "D\\" + std::string(518, 'a') + "\r\n", 0), 0u) << text;
}

TEST(CheckJoinedPathLength, LimitIsExclusive)
{
    std::string a(250, 'a');
    EXPECT_EQ(CheckJoinedPathLength(a.c_str(), "12345678", 260, nullptr), 1); // 250 + 8 + 1 = 259
    EXPECT_EQ(CheckJoinedPathLength(a.c_str(), "123456789", 260, nullptr), 0);
    EXPECT_EQ(CheckJoinedPathLength(std::string(259, 'a').c_str(), "", 260, nullptr), 1);
    EXPECT_EQ(CheckJoinedPathLengthW(std::wstring(1014, L'a').c_str(), L"123456789", 1024, nullptr), 0);
    EXPECT_EQ(CheckJoinedPathLengthW(std::wstring(1013, L'a').c_str(), L"123456789", 1024, nullptr), 1);
}

class ExclusionTest : public ::testing::Test {
protected:
    JobTestEnvironment environment;
    int index = environment.AddConfig("Ex", "E:\\", {"D:\\"}, Enabled | Uncompressed);
    BackupConfig *config = environment.Config(index);
};

TEST_F(ExclusionTest, MatchesWholeComponentsOnly)
{
    environment.AddExcluded(index, "D:\\data");
    EXPECT_TRUE(IsExcluded(L"D:\\data", config));
    EXPECT_TRUE(IsExcluded(L"D:\\data\\", config));
    EXPECT_TRUE(IsExcluded(L"D:\\DATA\\x.txt", config));
    EXPECT_FALSE(IsExcluded(L"D:\\database\\x.txt", config));
    EXPECT_FALSE(IsExcluded(L"D:\\data.txt", config));
    EXPECT_FALSE(IsExcluded(L"D:\\dat", config));
}

TEST_F(ExclusionTest, FolderItemWithBackslashExcludesOnlyWhatIsInside)
{
    environment.AddExcluded(index, "D:\\data\\");
    EXPECT_TRUE(IsExcluded(L"D:\\data\\x.txt", config));
    EXPECT_TRUE(IsExcluded(L"D:\\data\\", config));
    EXPECT_FALSE(IsExcluded(L"D:\\data", config));
    EXPECT_FALSE(IsExcluded(L"D:\\database\\", config));
}

TEST_F(ExclusionTest, EmptyItemExcludesNothing)
{
    environment.AddExcluded(index, "");
    EXPECT_FALSE(IsExcluded(L"D:\\data", config));
    EXPECT_FALSE(IsExcluded(L"", config));
}

WIN32_FIND_DATAW Entry(unsigned long long ticks, DWORD size = 10, DWORD attributes = FILE_ATTRIBUTE_ARCHIVE)
{
    WIN32_FIND_DATAW entry = {};
    entry.dwFileAttributes = attributes;
    entry.nFileSizeLow = size;
    entry.ftLastWriteTime.dwLowDateTime = (DWORD)ticks;
    entry.ftLastWriteTime.dwHighDateTime = (DWORD)(ticks >> 32);
    return entry;
}

TEST(IsMirrorChanged, DifferenceOfExactlyTheDeltaIsUnchanged)
{
    const unsigned long long base = 0x01D0000012345678ULL;
    EXPECT_FALSE(IsMirrorChanged(Entry(base), Entry(base + 20000000), 20000000));
    EXPECT_TRUE(IsMirrorChanged(Entry(base), Entry(base + 20000001), 20000000));
    EXPECT_TRUE(IsMirrorChanged(Entry(base + 20000001), Entry(base), 20000000));
}

TEST(IsMirrorChanged, LowWordsHalfTheRangeApartAreChanged)
{
    // Same high word, low words 0 and 0x80000000: about 214 seconds apart. A 32-bit signed
    // difference overflows here and used to read as "no difference".
    const unsigned long long high = 0x01D00000ULL << 32;
    EXPECT_TRUE(IsMirrorChanged(Entry(high), Entry(high | 0x80000000ULL), 20000000));
}

TEST(IsMirrorChanged, TimesAcrossAHighWordBoundaryCompareAsOneNumber)
{
    const unsigned long long boundary = 0x01D0000100000000ULL;
    EXPECT_FALSE(IsMirrorChanged(Entry(boundary - 5000000), Entry(boundary + 5000000), 20000000));
    EXPECT_TRUE(IsMirrorChanged(Entry(boundary - 5000000), Entry(boundary + 5000000), 0));
}

TEST(IsMirrorChanged, SizeReadOnlyAndHiddenBitsCount)
{
    const unsigned long long t = 0x01D0000012345678ULL;
    EXPECT_TRUE(IsMirrorChanged(Entry(t, 10), Entry(t, 11), 20000000));
    EXPECT_TRUE(IsMirrorChanged(Entry(t, 10, FILE_ATTRIBUTE_HIDDEN), Entry(t, 10, 0), 20000000));
    EXPECT_TRUE(IsMirrorChanged(Entry(t, 10, FILE_ATTRIBUTE_READONLY), Entry(t, 10, 0), 20000000));
    EXPECT_FALSE(IsMirrorChanged(Entry(t, 10, FILE_ATTRIBUTE_ARCHIVE), Entry(t, 10, 0), 20000000));
}

TEST(ChooseAllowedTimeDelta, TwoSecondsOnlyBetweenNtfsAndFat)
{
    EXPECT_EQ(ChooseAllowedTimeDelta(FileSystemNtfs, FileSystemFat, 7), 20000000);
    EXPECT_EQ(ChooseAllowedTimeDelta(FileSystemFat, FileSystemNtfs, 7), 20000000);
    EXPECT_EQ(ChooseAllowedTimeDelta(FileSystemNtfs, FileSystemNtfs, 7), 7);
    EXPECT_EQ(ChooseAllowedTimeDelta(FileSystemFat, FileSystemFat, 7), 7);
    EXPECT_EQ(ChooseAllowedTimeDelta(FileSystemOther, FileSystemFat, 7), 7);
}

TEST(PassesExtensionFilter, IncludeAndExcludeModes)
{
    ExtensionEntry doc[1] = {"doc"};
    EXPECT_TRUE(PassesExtensionFilter(L"a.DOC", doc, 1, IncludeListedExtensions));
    EXPECT_FALSE(PassesExtensionFilter(L"a.txt", doc, 1, IncludeListedExtensions));
    EXPECT_FALSE(PassesExtensionFilter(L"archive", doc, 1, IncludeListedExtensions));
    EXPECT_FALSE(PassesExtensionFilter(L"a.doc", doc, 1, 0));
    EXPECT_TRUE(PassesExtensionFilter(L"archive", doc, 1, 0));
    EXPECT_FALSE(PassesExtensionFilter(L"a.doc", doc, 0, IncludeListedExtensions));
    EXPECT_TRUE(PassesExtensionFilter(L"a.doc", doc, 0, 0));
    EXPECT_TRUE(PassesExtensionFilter(L"a.tar.gz", doc, 1, 0));
}

TEST(PassesExtensionFilter, FullWidthEntryIsReadWithinItsEightBytes)
{
    ExtensionEntry entries[2];
    memcpy(entries[0], "abcdefgh", 8);
    memcpy(entries[1], "zz\0\0\0\0\0\0", 8);
    EXPECT_TRUE(PassesExtensionFilter(L"x.abcdefgh", entries, 1, IncludeListedExtensions));
    EXPECT_FALSE(PassesExtensionFilter(L"x.abcdefghzz", entries, 1, IncludeListedExtensions));
}

} // namespace

#include "CleanupPasses.h"

namespace {

TEST(IsSourceDefinitelyGone, OnlyANotFoundUnderAnExistingFolderCounts)
{
    ScratchFolder folder;
    std::wstring base = folder.Wide();
    WriteTextFile(base + L"present.txt", "p");
    EXPECT_EQ(IsSourceDefinitelyGone((base + L"present.txt").c_str()), 0);
    EXPECT_EQ(IsSourceDefinitelyGone((base + L"missing.txt").c_str()), 1);
    EXPECT_EQ(IsSourceDefinitelyGone((base + L"missing\\deeper\\x.txt").c_str()), 1);
    // A "folder" that is really a file: nothing definite can be said about what lies in it.
    EXPECT_EQ(IsSourceDefinitelyGone((base + L"present.txt\\x.txt").c_str()), 0);
}

} // namespace
