// Writing the archive from described entries: a file that opened when the list was read but
// fails while the library reads it is left out, and the archive is still whole.
#include <windows.h>
#include <gtest/gtest.h>
#include <zip.h>

#include "ArchiveWriter.h"
#include "TestFiles.h"
#include "VolumeWriter.h"

namespace {

ArchiveEntry DescribeEntry(const std::string &path, const char *name, uint64_t size)
{
    ArchiveEntry entry;
    entry.listedName = name;
    entry.entryName = name;
    entry.file.path = std::wstring(path.begin(), path.end());
    entry.file.size = size;
    entry.file.modified = 1560594030;
    return entry;
}

std::string JoinParts(const std::string &archive)
{
    std::string joined, part;
    for (int n = 1; ReadWholeFile(MakePartName(archive, n), &part); n++)
        joined += part;
    return joined;
}

zip_int64_t CountEntries(const std::string &path)
{
    int error = 0;
    zip_t *zip = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!zip)
        return -1;
    zip_int64_t count = zip_get_num_entries(zip, 0);
    zip_discard(zip);
    return count;
}

struct Writing {
    ScratchFolder folder{"kvwrite"};
    ArchiveCommand command;
    ReadProgress progress;
    volatile char cancel = 0;
    CompressionLog log{nullptr, false};
    ArchiveSummary summary;

    Writing(uint64_t volumeSize)
    {
        command.archivePath = folder / "a.zip";
        command.volumeSize = volumeSize;
        progress.cancelFlag = &cancel;
    }
};

}  // namespace

TEST(ArchiveWriter, FileThatFailsWhileBeingReadIsLeftOutAndTheArchiveWrittenAgain)
{
    Writing w(1024);
    ASSERT_TRUE(WriteWholeFile(w.folder / "first.bin", MakeNoise(3000, 1)));
    ASSERT_TRUE(WriteWholeFile(w.folder / "last.bin", MakeNoise(2000, 2)));
    std::vector<ArchiveEntry> entries = {
        DescribeEntry(w.folder / "first.bin", "first.bin", 3000),
        DescribeEntry(w.folder / "vanished.bin", "vanished.bin", 5000),   // gone since the listing
        DescribeEntry(w.folder / "last.bin", "last.bin", 2000),
    };
    w.progress.bytesTotal = 10000;
    EXPECT_EQ(WriteArchiveSkippingUnreadable(w.command, &entries, "", &w.progress, w.log, &w.summary),
              CompressionOk);
    EXPECT_EQ(w.summary.added, 2);
    EXPECT_EQ(w.summary.skipped, 1);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(w.progress.bytesTotal, 5000u);
    EXPECT_FALSE(w.summary.files.empty());
    std::string joined = w.folder / "joined.zip";
    ASSERT_TRUE(WriteWholeFile(joined, JoinParts(w.command.archivePath)));
    EXPECT_EQ(CountEntries(joined), 2);
}

TEST(ArchiveWriter, NoFileLeftMeansNoArchive)
{
    Writing w(0);
    std::vector<ArchiveEntry> entries = {DescribeEntry(w.folder / "gone.bin", "gone.bin", 10)};
    EXPECT_EQ(WriteArchiveSkippingUnreadable(w.command, &entries, "", &w.progress, w.log, &w.summary),
              CompressionOk);
    EXPECT_TRUE(w.summary.files.empty());
    EXPECT_EQ(w.summary.skipped, 1);
    EXPECT_EQ(CountFiles(w.folder.Path()), 0);
}

TEST(ArchiveWriter, CancelDuringTheWriteLeavesNothing)
{
    Writing w(1024);
    ASSERT_TRUE(WriteWholeFile(w.folder / "f.bin", MakeNoise(3000, 3)));
    std::vector<ArchiveEntry> entries = {DescribeEntry(w.folder / "f.bin", "f.bin", 3000)};
    w.cancel = 1;
    EXPECT_EQ(WriteArchiveSkippingUnreadable(w.command, &entries, "", &w.progress, w.log, &w.summary),
              CompressionAborted);
    EXPECT_EQ(CountFiles(w.folder.Path()), 1);   // only the source file
}
