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

TEST(ArchiveWriter, EntriesAcrossBlockBoundariesReadBackWholeWithAndWithoutPassword)
{
    const size_t block = 1 << 20;   // the compressor's block
    std::vector<std::string> contents = {
        "", MakeText(block - 1, 1), MakeNoise(block, 2), MakeText(block + 1, 3),
        MakeNoise(block + block / 2, 4) + MakeText(block, 5),
    };
    for (const char *password : {"", "P\xc3\xa4ssw\xc3\xb6rd \xe2\x82\xac"}) {
        SCOPED_TRACE(password);
        Writing w(0);
        std::vector<ArchiveEntry> entries;
        for (size_t i = 0; i < contents.size(); i++) {
            std::string name = "e" + std::to_string(i);
            ASSERT_TRUE(WriteWholeFile(w.folder / name, contents[i]));
            entries.push_back(DescribeEntry(w.folder / name, "", contents[i].size()));
            entries.back().entryName = entries.back().listedName = name;
            w.progress.bytesTotal += contents[i].size();
        }
        ASSERT_EQ(WriteArchiveSkippingUnreadable(w.command, &entries, password, &w.progress, w.log, &w.summary),
                  CompressionOk);
        EXPECT_EQ(w.progress.bytesDone, w.progress.bytesTotal);
        int error = 0;
        zip_t *zip = zip_open(w.command.archivePath.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
        ASSERT_NE(zip, nullptr);
        for (size_t i = 0; i < contents.size(); i++) {
            SCOPED_TRACE(i);
            std::string name = "e" + std::to_string(i), bytes;
            zip_stat_t st;
            ASSERT_EQ(zip_stat(zip, name.c_str(), 0, &st), 0);
            EXPECT_EQ(st.comp_method, ZIP_CM_DEFLATE);
            EXPECT_EQ(st.encryption_method, *password ? ZIP_EM_AES_256 : ZIP_EM_NONE);
            zip_file_t *file = *password ? zip_fopen_encrypted(zip, name.c_str(), 0, password)
                                         : zip_fopen(zip, name.c_str(), 0);
            ASSERT_NE(file, nullptr);
            char buffer[65536];
            zip_int64_t got;
            while ((got = zip_fread(file, buffer, sizeof buffer)) > 0)
                bytes.append(buffer, (size_t)got);
            EXPECT_EQ(got, 0);   // the CRC and the authentication code both held
            EXPECT_EQ(zip_fclose(file), 0);
            EXPECT_TRUE(bytes == contents[i]);
        }
        zip_discard(zip);
    }
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
