// The filtered size walk, the job's recount and the background size threads.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "ConfigTable.h"
#include "DisplayFormats.h"
#include "FolderListing.h"
#include "JobTestSupport.h"
#include "ListingCache.h"
#include "ListingPrefetch.h"
#include "SizeCalculation.h"
#include "WaitUntil.h"

namespace {

class SizeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = env.work.Wide() + L"src\\";
        MakeFolder(folder);
        WriteTextFile(folder + L"a.doc", "12345");
        WriteTextFile(folder + L"b.txt", "123");
        WriteTextFile(folder + L"archive", "1234567");
        MakeFolder(folder + L"sub");
        WriteTextFile(folder + L"sub\\c.doc", "12");
        index = env.AddConfig("Size", "E:\\", {Narrow(folder)}, Enabled | Uncompressed);
        config = env.Config(index);
    }
    void Sum(double *bytes, int32_t *files, const wchar_t *start = nullptr)
    {
        *bytes = 0;
        *files = 0;
        SumFolderSize(start != nullptr ? start : folder.c_str(), config->extensions, config->extensionCount,
                      config->filterFlags, nullptr, bytes, files, config);
    }
    JobTestEnvironment env;
    std::wstring folder;
    int index = -1;
    BackupConfig *config = nullptr;
};

TEST_F(SizeTest, ExcludeModeWithoutExtensionsCountsEverything)
{
    double bytes;
    int32_t files;
    Sum(&bytes, &files);
    EXPECT_EQ(files, 4);
    EXPECT_EQ(bytes, 17.0);
}

TEST_F(SizeTest, IncludeModeWithoutExtensionsCountsNothing)
{
    env.SetExtensions(index, {}, IncludeListedExtensions);
    double bytes;
    int32_t files;
    Sum(&bytes, &files);
    EXPECT_EQ(files, 0);
    EXPECT_EQ(bytes, 0.0);
}

TEST_F(SizeTest, NameWithoutDotCountsOnlyInExcludeMode)
{
    env.SetExtensions(index, {"doc"}, IncludeListedExtensions);
    double bytes;
    int32_t files;
    Sum(&bytes, &files);
    EXPECT_EQ(files, 2);
    EXPECT_EQ(bytes, 7.0);
    env.SetExtensions(index, {"doc"}, 0);
    Sum(&bytes, &files);
    EXPECT_EQ(files, 2); // b.txt and archive
    EXPECT_EQ(bytes, 10.0);
}

TEST_F(SizeTest, ExcludedFolderIsNotEnteredAndExcludedFileNotCounted)
{
    env.AddExcluded(index, Narrow(folder) + "sub");
    env.AddExcluded(index, Narrow(folder) + "b.txt");
    // Component matching: "a.do" names nothing here.
    env.AddExcluded(index, Narrow(folder) + "a.do");
    double bytes;
    int32_t files;
    Sum(&bytes, &files);
    EXPECT_EQ(files, 2);
    EXPECT_EQ(bytes, 12.0);
}

TEST_F(SizeTest, FolderPathOf1023CharactersIsNotWalked)
{
    std::wstring tooLong = L"C:\\" + std::wstring(1020, L'x');
    ASSERT_EQ(tooLong.size(), 1023u);
    double bytes;
    int32_t files;
    Sum(&bytes, &files, tooLong.c_str());
    EXPECT_EQ(files, 0);
}

TEST_F(SizeTest, ComputeConfigSizeMeasuresFoldersAndFiles)
{
    std::string fileSource = Narrow(folder) + "b.txt";
    int both = env.AddConfig("Both", "E:\\", {Narrow(folder), fileSource, Narrow(folder) + "missing.txt", ""},
                             Enabled | Uncompressed);
    BackupConfig *c = env.Config(both);
    double bytes = -1;
    int32_t files = -1;
    ComputeConfigSize(c, &c->cancelRequested, &bytes, &files);
    EXPECT_EQ(files, 5);
    EXPECT_EQ(bytes, 20.0);
    for (int i = 0; i < c->sourceCount; ++i)
        EXPECT_EQ(c->sources[i].sizeKnown, 1) << i;
    EXPECT_EQ(c->sources[1].fileCount, 1);
    EXPECT_EQ(c->sources[2].fileCount, 0);
    int totalFiles = 0;
    double totalBytes = 0;
    EXPECT_EQ(GetConfigTotals(c, &totalBytes, &totalFiles), 1);
    EXPECT_EQ(totalFiles, 5);
}

// The job's count runs on two threads: the same totals as the plain walk (an excluded folder is
// not counted).
TEST_F(SizeTest, JobCountGivesTheSameTotalsAsThePlainWalk)
{
    for (int i = 0; i < 12; ++i) {
        std::wstring top = folder + L"t" + std::to_wstring(i);
        MakeFolder(top);
        for (int j = 0; j < 3; ++j) {
            MakeFolder(top + L"\\u" + std::to_wstring(j));
            WriteTextFile(top + L"\\u" + std::to_wstring(j) + L"\\f.txt", std::string((size_t)(i + j + 1), 'x'));
        }
    }
    env.AddExcluded(index, Narrow(folder) + "t3\\");
    double bytes = 0;
    int32_t files = 0;
    ComputeConfigSize(config, nullptr, &bytes, &files);
    EXPECT_EQ(files, 4 + 33);
    EXPECT_EQ(bytes, 17.0 + 255.0);
    double plainBytes = 0;
    int32_t plainFiles = 0;
    Sum(&plainBytes, &plainFiles);
    EXPECT_EQ(plainFiles, files);
    EXPECT_EQ(plainBytes, bytes);
}

// A kept listing is handed out once; beyond its budget the cache keeps nothing more.
TEST_F(SizeTest, ListingCacheHandsOutEachListingOnceWithinItsBudget)
{
    FolderListing listing;
    auto keep = [&](ListingCache &cache, const std::wstring &path) {
        FolderListing fresh;
        ASSERT_TRUE(fresh.List(path.c_str()));
        cache.Keep(path.c_str(), std::move(fresh));
    };
    ListingCache cache;
    keep(cache, folder);
    ASSERT_TRUE(cache.Take(folder.c_str(), &listing));
    EXPECT_EQ(listing.Count(), 4u);
    EXPECT_FALSE(cache.Take(folder.c_str(), &listing)) << "handed out twice";

    std::wstring many = folder + L"many\\";
    MakeFolder(many);
    for (int i = 0; i < 100; ++i)
        WriteTextFile(many + L"file " + std::to_wstring(i) + L".txt", "m");
    FolderListing probe;
    ASSERT_TRUE(probe.List(folder.c_str()));
    ListingCache small(probe.Footprint() + 1024);
    keep(small, folder);
    keep(small, many);
    EXPECT_TRUE(small.Take(folder.c_str(), &listing));
    EXPECT_FALSE(small.Take(many.c_str(), &listing)) << "kept beyond the budget";
}

// The helpers list what they were asked for; a folder not asked for, or gone by the time it
// was listed, is left to the caller.
TEST_F(SizeTest, ListingPrefetchHandsOutWhatItListedAndLeavesTheRestToTheCaller)
{
    ListingPrefetch prefetch;
    ASSERT_TRUE(prefetch.Start());
    std::wstring sub = folder + L"sub\\";
    prefetch.Ask({folder, sub, folder + L"gone\\"});
    // A Take before a helper started on the folder leaves it to the caller: ask again then.
    FolderListing listing;
    auto takeListed = [&](const std::wstring &path) {
        return WaitUntil([&] {
            if (prefetch.Take(path, &listing))
                return true;
            prefetch.Ask({path});
            return false;
        });
    };
    ASSERT_TRUE(takeListed(folder));
    EXPECT_EQ(listing.Count(), 4u);
    ASSERT_TRUE(takeListed(sub));
    ASSERT_EQ(listing.Count(), 1u);
    EXPECT_STREQ(listing.NameOf(listing.At(0)), L"c.doc");
    EXPECT_FALSE(prefetch.Take(folder + L"gone\\", &listing));
    EXPECT_FALSE(prefetch.Take(folder, &listing)) << "handed out twice";
    EXPECT_FALSE(prefetch.Take(folder + L"never\\", &listing));
}

TEST_F(SizeTest, CancelledCountLeavesSourcesUnmeasured)
{
    config->cancelRequested = 1;
    config->sources[0].sizeKnown = 1;
    double bytes = -1;
    int32_t files = -1;
    ComputeConfigSize(config, &config->cancelRequested, &bytes, &files);
    EXPECT_EQ(files, 0);
    EXPECT_EQ(config->sources[0].sizeKnown, 0);
}

TEST_F(SizeTest, AllConfigurationsThreadMeasuresWhatIsUnknown)
{
    BoxRecorder boxes;
    config->sources[0].sizeKnown = 0;
    ASSERT_EQ(StartAllConfigSizes(nullptr), 1);
    ASSERT_NE(allSizesThread, nullptr);
    for (int i = 0; i < 2000 && allSizesRunning; ++i)
        Sleep(5);
    StopAllConfigSizes();
    EXPECT_EQ(allSizesThread, nullptr);
    EXPECT_EQ(config->sources[0].sizeKnown, 1);
    EXPECT_EQ(config->sources[0].fileCount, 4);
    // Everything measured: nothing is started and the handle is left as it was.
    EXPECT_EQ(StartAllConfigSizes(nullptr), 1);
    EXPECT_EQ(allSizesThread, nullptr);
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(SizeTest, StopRightAfterStartWaitsForTheThread)
{
    config->sources[0].sizeKnown = 0;
    ASSERT_EQ(StartAllConfigSizes(nullptr), 1);
    StopAllConfigSizes();
    EXPECT_EQ(allSizesRunning, 0);
    EXPECT_EQ(allSizesThread, nullptr);
}

TEST_F(SizeTest, EditedConfigurationThread)
{
    CopyConfigDeep(&editedConfig, config);
    editedConfig.sources[0].sizeKnown = 0;
    ASSERT_EQ(StartEditedConfigSize(nullptr), 1);
    for (int i = 0; i < 2000 && editedSizeRunning; ++i)
        Sleep(5);
    StopEditedConfigSize();
    EXPECT_EQ(editedConfig.sources[0].sizeKnown, 1);
    EXPECT_EQ(editedConfig.sources[0].totalBytes, 17.0);
    FreeConfigArrays(&editedConfig);
}

} // namespace
