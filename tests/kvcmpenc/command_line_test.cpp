// The command lines RunDLLCommand accepts, and every near miss it must refuse.
#include <gtest/gtest.h>

#include "CommandLine.h"

namespace {

struct LineCase {
    const char *line;
    bool accepted;
};

}  // namespace

TEST(CommandLine, AcceptsOnlyTheFormsTheZipStepBuilds)
{
    const LineCase cases[] = {
        {"fake.exe a -tzip -scsWIN -ssw \"D:\\out.zip\" @\"C:\\list.txt\"", true},
        {"fake.exe a -tzip -scsWIN -ssw -v650m \"D:\\out.zip\" @\"C:\\list.txt\"", true},
        {"fake.exe a -tzip -scsWIN -ssw -v4700000000b \"D:\\out.zip\" @\"C:\\list.txt\"", true},
        {"fake.exe a -tzip -scsWIN -ssw -p\"secret\" -mem=AES256 \"D:\\out.zip\" @\"C:\\list.txt\"", true},
        {"fake.exe a -tzip -scsWIN -ssw -v2g -p\"a b\" -mem=AES256 \"D:\\o u t.zip\" @\"C:\\l i.txt\"", true},
        {"fake.exe a -tzip -scsWIN -ssw \"D:\\out.zip\" @\"C:\\list.txt\" ", true},
        // Near misses.
        {"", false},
        {"fake.exe", false},
        {"fake.exe x -tzip -scsWIN -ssw \"D:\\out.zip\" @\"C:\\list.txt\"", false},
        {"fake.exe u -tzip -scsWIN -ssw \"D:\\out.zip\" @\"C:\\list.txt\"", false},
        {"fake.exe a -scsWIN -ssw \"D:\\out.zip\" @\"C:\\list.txt\"", false},
        {"fake.exe a -tzip -ssw \"D:\\out.zip\" @\"C:\\list.txt\"", false},
        {"fake.exe a -tzip -scsWIN \"D:\\out.zip\" @\"C:\\list.txt\"", false},
        {"fake.exe a -t7z -scsWIN -ssw \"D:\\out.zip\" @\"C:\\list.txt\"", false},
        {"fake.exe a -tzip -tzip -scsWIN -ssw \"D:\\out.zip\" @\"C:\\list.txt\"", false},
        {"fake.exe a -tzip -scsWIN -ssw -r \"D:\\out.zip\" @\"C:\\list.txt\"", false},
        {"fake.exe a -tzip -scsWIN -ssw @\"C:\\list.txt\"", false},
        {"fake.exe a -tzip -scsWIN -ssw \"D:\\out.zip\"", false},
        {"fake.exe a -tzip -scsWIN -ssw \"D:\\out.zip\" @\"\"", false},
        {"fake.exe a -tzip -scsWIN -ssw \"D:\\out.zip\" \"D:\\other.zip\" @\"C:\\list.txt\"", false},
        {"fake.exe a -tzip -scsWIN -ssw \"D:\\out.zip\" @\"C:\\list.txt\" @\"C:\\b.txt\"", false},
        {"fake.exe a -tzip -scsWIN -ssw \"D:\\out.zip @\"C:\\list.txt\"", false},
        {"fake.exe a -tzip -scsWIN -ssw -p\"secret\" \"D:\\out.zip\" @\"C:\\list.txt\"", false},
        {"fake.exe a -tzip -scsWIN -ssw -mem=AES256 \"D:\\out.zip\" @\"C:\\list.txt\"", false},
        {"fake.exe a -tzip -scsWIN -ssw -p\"\" -mem=AES256 \"D:\\out.zip\" @\"C:\\list.txt\"", false},
        {"fake.exe a -tzip -scsWIN -ssw -v0m \"D:\\out.zip\" @\"C:\\list.txt\"", false},
        {"fake.exe a -tzip -scsWIN -ssw -v10x \"D:\\out.zip\" @\"C:\\list.txt\"", false},
        {"fake.exe a -tzip -scsWIN -ssw -v1m -v2m \"D:\\out.zip\" @\"C:\\list.txt\"", false},
        {"fake.exe a -tzip -scsUTF-8 -scsWIN -ssw \"D:\\out.zip\" @\"C:\\list.txt\"", false},
        {"fake.exe a -tzip -scsDOS -ssw \"D:\\out.zip\" @\"C:\\list.txt\"", false},
    };
    for (const LineCase &c : cases) {
        ArchiveCommand command;
        EXPECT_EQ(ParseArchiveCommand(c.line, &command), c.accepted) << c.line;
    }
    ArchiveCommand command;
    EXPECT_FALSE(ParseArchiveCommand(nullptr, &command));
}

TEST(CommandLine, TakesPathsPasswordAndVolumeSizeFromTheWords)
{
    ArchiveCommand command;
    ASSERT_TRUE(ParseArchiveCommand(
        "fake.exe a -tzip -scsWIN -ssw -v3k -p\"pass word\" -mem=AES256 \"D:\\My Zips\\b.zip\" @\"C:\\data\\0_1.txt\"",
        &command));
    EXPECT_EQ(command.archivePath, "D:\\My Zips\\b.zip");
    EXPECT_EQ(command.listPath, "C:\\data\\0_1.txt");
    EXPECT_EQ(command.volumeSize, 3072u);
    EXPECT_TRUE(command.encrypted);
    EXPECT_STREQ(command.password.Text(), "pass word");
    EXPECT_FALSE(command.utf8List);

    ASSERT_TRUE(ParseArchiveCommand("fake.exe a -tzip -scsUTF-8 -ssw \"o.zip\" @\"l.txt\"", &command));
    EXPECT_TRUE(command.utf8List);
    EXPECT_EQ(command.volumeSize, 0u);
    EXPECT_FALSE(command.encrypted);
    EXPECT_TRUE(command.password.IsEmpty());
}

TEST(CommandLine, RefusalLeavesNoPasswordBehind)
{
    ArchiveCommand command;
    EXPECT_FALSE(ParseArchiveCommand("fake.exe a -tzip -scsWIN -ssw -p\"secret\" -r \"o.zip\" @\"l.txt\"", &command));
    EXPECT_TRUE(command.password.IsEmpty());
}

TEST(CommandLine, SplitsWordsAtBlanksOutsideQuotes)
{
    std::vector<std::string> words;
    ASSERT_TRUE(SplitCommandWords("  a  -p\"x y\"\t\"c d\" @\"e\"  ", &words));
    ASSERT_EQ(words.size(), 4u);
    EXPECT_EQ(words[0], "a");
    EXPECT_EQ(words[1], "-px y");
    EXPECT_EQ(words[2], "c d");
    EXPECT_EQ(words[3], "@e");
    EXPECT_FALSE(SplitCommandWords("a \"b", &words));
}

TEST(VolumeSwitch, ConvertsUnitsToBytes)
{
    struct {
        const char *word;
        bool ok;
        uint64_t bytes;
    } cases[] = {
        {"-v1b", true, 1},
        {"-v650", true, 650},
        {"-v10k", true, 10240},
        {"-v2m", true, 2097152},
        {"-v3g", true, 3221225472ULL},
        {"-v4700372992b", true, 4700372992ULL},
        {"-V7K", true, 7168},
        {"-v18446744073709551615b", true, 18446744073709551615ULL},
        {"-v18446744073709551616b", false, 0},
        {"-v17179869184g", false, 0},
        {"-v", false, 0},
        {"-vm", false, 0},
        {"-v0", false, 0},
        {"-v10mb", false, 0},
        {"-v10t", false, 0},
        {"-x10m", false, 0},
    };
    for (const auto &c : cases) {
        uint64_t bytes = 0;
        EXPECT_EQ(ParseVolumeSwitch(c.word, &bytes), c.ok) << c.word;
        if (c.ok) {
            EXPECT_EQ(bytes, c.bytes) << c.word;
        }
    }
}
