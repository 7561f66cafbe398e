// The archive's bytes on disk: parts cut at the volume size, rewrites behind the end, and no
// file left over when the archive is given up.
#include <gtest/gtest.h>
#include <algorithm>

#include "TestFiles.h"
#include "VolumeWriter.h"

namespace {

std::string JoinParts(const VolumeWriter &writer)
{
    std::string joined, part;
    for (int i = 0; i < writer.FileCount(); i++) {
        EXPECT_TRUE(ReadWholeFile(writer.FilePath(i), &part));
        joined += part;
    }
    return joined;
}

}  // namespace

TEST(VolumeWriter, CutsPartsAtTheVolumeSizeAndJoinsBackInOrder)
{
    ScratchFolder folder("kvw_cut");
    std::string archive = folder / "a.zip";
    std::string data = MakeNoise(25, 1);
    VolumeWriter writer(archive, 10);
    ASSERT_TRUE(writer.Write(data.data(), 7));
    ASSERT_TRUE(writer.Write(data.data() + 7, 18));
    ASSERT_TRUE(writer.Commit());
    ASSERT_EQ(writer.FileCount(), 3);
    EXPECT_EQ(writer.FilePath(0), archive + ".001");
    EXPECT_EQ(writer.FilePath(2), archive + ".003");
    std::string part;
    ASSERT_TRUE(ReadWholeFile(archive + ".001", &part));
    EXPECT_EQ(part.size(), 10u);
    ASSERT_TRUE(ReadWholeFile(archive + ".003", &part));
    EXPECT_EQ(part.size(), 5u);
    EXPECT_EQ(JoinParts(writer), data);
    EXPECT_FALSE(FileExists(archive));
}

TEST(VolumeWriter, ExactMultipleMakesNoEmptyLastPart)
{
    ScratchFolder folder("kvw_exact");
    std::string data = MakeNoise(20, 2);
    VolumeWriter writer(folder / "a.zip", 10);
    ASSERT_TRUE(writer.Write(data.data(), data.size()));
    ASSERT_TRUE(writer.Commit());
    EXPECT_EQ(writer.FileCount(), 2);
    EXPECT_FALSE(FileExists(folder / "a.zip.003"));
}

TEST(VolumeWriter, RewritesBehindTheEndReachIntoEarlierParts)
{
    ScratchFolder folder("kvw_patch");
    std::string data = MakeNoise(35, 3);
    VolumeWriter writer(folder / "a.zip", 10);
    ASSERT_TRUE(writer.Write(data.data(), data.size()));
    // A header rewrite that straddles the first two parts, as after an entry's data.
    ASSERT_TRUE(writer.Seek(6));
    ASSERT_TRUE(writer.Write("ABCDEFGH", 8));
    EXPECT_EQ(writer.Tell(), 14u);
    ASSERT_TRUE(writer.Seek(35));
    ASSERT_TRUE(writer.Write("XY", 2));
    ASSERT_TRUE(writer.Commit());
    std::string expected = data;
    expected.replace(6, 8, "ABCDEFGH");
    expected += "XY";
    EXPECT_EQ(writer.Size(), 37u);
    EXPECT_EQ(writer.FileCount(), 4);
    EXPECT_EQ(JoinParts(writer), expected);
}

TEST(VolumeWriter, RefusesToSeekPastWhatWasWritten)
{
    ScratchFolder folder("kvw_seek");
    VolumeWriter writer(folder / "a.zip", 10);
    ASSERT_TRUE(writer.Write("abc", 3));
    EXPECT_TRUE(writer.Seek(3));
    EXPECT_FALSE(writer.Seek(4));
    writer.Discard();
}

TEST(VolumeWriter, WithoutVolumesWritesTheArchiveItself)
{
    ScratchFolder folder("kvw_single");
    std::string data = MakeNoise(3000, 4);
    VolumeWriter writer(folder / "a.zip", 0);
    ASSERT_TRUE(writer.Write(data.data(), data.size()));
    ASSERT_TRUE(writer.Commit());
    ASSERT_EQ(writer.FileCount(), 1);
    std::string written;
    ASSERT_TRUE(ReadWholeFile(folder / "a.zip", &written));
    EXPECT_EQ(written, data);
    EXPECT_FALSE(FileExists(folder / "a.zip.001"));
}

TEST(VolumeWriter, DiscardDeletesEveryPartMade)
{
    ScratchFolder folder("kvw_discard");
    std::string data = MakeNoise(45, 5);
    VolumeWriter writer(folder / "a.zip", 10);
    ASSERT_TRUE(writer.Write(data.data(), data.size()));
    EXPECT_EQ(CountFiles(folder.Path()), 5);
    writer.Discard();
    EXPECT_EQ(CountFiles(folder.Path()), 0);
    EXPECT_EQ(writer.FileCount(), 0);
}

TEST(VolumeWriter, StopsAtThePartLimit)
{
    ScratchFolder folder("kvw_limit");
    std::string data = MakeNoise(31, 6);
    VolumeWriter fits(folder / "a.zip", 10, 4);
    EXPECT_TRUE(fits.Write(data.data(), 31));
    fits.Discard();
    VolumeWriter tooMany(folder / "b.zip", 10, 3);
    EXPECT_FALSE(tooMany.Write(data.data(), 31));
    EXPECT_TRUE(tooMany.TooManyParts());
    EXPECT_FALSE(FileExists(folder / "b.zip.004"));
    tooMany.Discard();
    EXPECT_EQ(CountFiles(folder.Path()), 0);
}

TEST(VolumeWriter, FailsWhenThePartCannotBeCreated)
{
    ScratchFolder folder("kvw_nofolder");
    VolumeWriter writer(folder / "missing\\a.zip", 10);
    EXPECT_FALSE(writer.Write("abc", 3));
    EXPECT_EQ(writer.LastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(writer.FileCount(), 0);
}

TEST(VolumeWriter, FlushesBehindTheWritesAndStillDeletesEveryPartOnDiscard)
{
    ScratchFolder folder("kvw_behind");
    std::string data = MakeNoise(100000, 5);
    for (bool keep : {true, false}) {
        SCOPED_TRACE(keep);
        std::string archive = folder / (keep ? "kept.zip" : "dropped.zip");
        VolumeWriter writer(archive, 30000, MaxVolumeParts, 1000);   // a flush every 1000 bytes
        for (size_t at = 0; at < data.size(); at += 700)
            ASSERT_TRUE(writer.Write(data.data() + at, std::min<size_t>(700, data.size() - at)));
        ASSERT_EQ(writer.FileCount(), 4);
        // A header rewrite in the first part, which a flush may still hold.
        ASSERT_TRUE(writer.Seek(10));
        ASSERT_TRUE(writer.Write(data.data() + 10, 30));
        ASSERT_TRUE(writer.Seek(writer.Size()));
        if (keep) {
            ASSERT_TRUE(writer.Commit());
            EXPECT_EQ(JoinParts(writer), data);
        } else {
            writer.Discard();   // even while a flush may still hold a part open
            for (int n = 1; n <= 4; n++)
                EXPECT_FALSE(FileExists(MakePartName(archive, n)));
        }
    }
}
