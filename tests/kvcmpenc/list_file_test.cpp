// Reading the list file, naming entries and parts.
#include <windows.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include "InputSource.h"
#include "ListFile.h"
#include "VolumeWriter.h"

namespace {

std::string TempFilePath(const char *name)
{
    char dir[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + name;
}

void WriteBytes(const std::string &path, const std::string &bytes)
{
    FILE *file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

}  // namespace

TEST(ListFile, ReadsLinesWithEitherEndingAndSkipsBlankOnes)
{
    std::string path = TempFilePath("kvcmpenc_list_test.txt");
    WriteBytes(path, "Docs\\a.txt\r\nb.txt\n\r\n\nlast\\c d.txt");
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadListFile(path, &lines));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Docs\\a.txt");
    EXPECT_EQ(lines[1], "b.txt");
    EXPECT_EQ(lines[2], "last\\c d.txt");
    DeleteFileA(path.c_str());
    EXPECT_FALSE(ReadListFile(path, &lines));
}

TEST(ListFile, KeepsEightBitBytesAsTheyAre)
{
    std::string path = TempFilePath("kvcmpenc_list_8bit.txt");
    WriteBytes(path, "caf\xe9.txt\r\n");
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadListFile(path, &lines));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "caf\xe9.txt");
    DeleteFileA(path.c_str());
}

TEST(EntryName, UsesForwardSlashesWithoutDriveOrDotSteps)
{
    struct {
        const wchar_t *listed;
        bool ok;
        const char *name;
    } cases[] = {
        {L"a.txt", true, "a.txt"},
        {L"Docs\\Sub\\a.txt", true, "Docs/Sub/a.txt"},
        {L"C:\\Docs\\a.txt", true, "Docs/a.txt"},
        {L"\\Docs\\\\a.txt", true, "Docs/a.txt"},
        {L".\\Docs\\.\\a.txt", true, "Docs/a.txt"},
        {L"a..b.txt", true, "a..b.txt"},
        {L"caf\u00e9\\\u65e5.txt", true, "caf\xc3\xa9/\xe6\x97\xa5.txt"},
        {L"..\\a.txt", false, ""},
        {L"Docs\\..\\..\\a.txt", false, ""},
        {L"", false, ""},
        {L"C:\\", false, ""},
    };
    for (const auto &c : cases) {
        std::string name;
        EXPECT_EQ(MakeEntryName(c.listed, &name), c.ok);
        if (c.ok) {
            EXPECT_EQ(name, c.name);
        }
    }
}

TEST(PartName, HasThreeDigitsThenFour)
{
    EXPECT_EQ(MakePartName("D:\\b.zip", 1), "D:\\b.zip.001");
    EXPECT_EQ(MakePartName("D:\\b.zip", 42), "D:\\b.zip.042");
    EXPECT_EQ(MakePartName("D:\\b.zip", 999), "D:\\b.zip.999");
    EXPECT_EQ(MakePartName("D:\\b.zip", 1000), "D:\\b.zip.1000");
    EXPECT_EQ(MakePartName("D:\\b.zip", MaxVolumeParts), "D:\\b.zip.9998");
}

TEST(Progress, StaysBelowOneHundredUntilTheArchiveIsDone)
{
    EXPECT_EQ(ComputeProgressPercent(0, 0), 0);
    EXPECT_EQ(ComputeProgressPercent(0, 1000), 0);
    EXPECT_EQ(ComputeProgressPercent(500, 1000), 49);
    EXPECT_EQ(ComputeProgressPercent(1000, 1000), 99);
    EXPECT_EQ(ComputeProgressPercent(2000, 1000), 99);
    EXPECT_EQ(ComputeProgressPercent(UINT64_MAX / 2, UINT64_MAX), 49);
}
