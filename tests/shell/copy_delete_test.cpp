// Copying and deleting the configuration selected in the job list.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "AllocationSeam.h"
#include "ConfigStore.h"
#include "ConfigTable.h"
#include "CopyDeleteConfig.h"
#include "GlobalSettings.h"
#include "JobList.h"
#include "MessageBoxRecorder.h"
#include "ShellTestSupport.h"

namespace {

class CopyDeleteTest : public JobListTest {
protected:
    void SetUp() override
    {
        JobListTest::SetUp();
        configTable.lastUniqueId = 0;
    }
    // The rows as the main window shows them, with one configuration selected (-1: none).
    void Select(int index)
    {
        ASSERT_EQ(RebuildJobList(-1), 1);
        SelectConfig(index);
    }
    // A configuration with one source and one excluded item, so the copy's arrays can be told
    // apart from the original's.
    int AddConfigWithSource(const char *description, const char *source)
    {
        int index = AddConfig(description);
        BackupConfig full = *Config(index);
        SourceItem item{};
        lstrcpynA(item.path, source, sizeof(item.path));
        char excluded[1024] = "C:\\Data\\tmp\\";
        full.sourceCount = 1;
        full.sources = &item;
        full.excludedCount = 1;
        full.excludedItems = (char(*)[1024])excluded;
        full.runCount = 4;
        full.lastResult = 1;
        RemoveConfigAt(index);
        EXPECT_EQ(AppendConfig(&full), 1);
        return configTable.configCount - 1;
    }
    long StoreSize()
    {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExA(storePath, GetFileExInfoStandard, &data))
            return -1;
        return (long)data.nFileSizeLow;
    }
};

TEST_F(CopyDeleteTest, ACopyGetsItsOwnIdNameAndArraysAndIsSelected)
{
    AddConfig("Daily");
    int weekly = AddConfigWithSource("Weekly", "C:\\Data\\");
    Select(weekly);
    CopyBackupConfig(parent);

    ASSERT_EQ(configTable.configCount, 3);
    BackupConfig *copy = Config(2);
    EXPECT_STREQ(copy->description, "Copy of Weekly");
    EXPECT_EQ(copy->uniqueId, 3);
    EXPECT_EQ(configTable.lastUniqueId, 3);
    EXPECT_EQ(copy->runCount, 0);
    EXPECT_EQ(copy->lastResult, 0);
    ASSERT_EQ(copy->sourceCount, 1);
    EXPECT_STREQ(copy->sources[0].path, "C:\\Data\\");
    EXPECT_NE(copy->sources, Config(weekly)->sources);
    EXPECT_NE(copy->excludedItems, Config(weekly)->excludedItems);
    EXPECT_EQ(GetSelectedJobIndex(), 2);
    EXPECT_EQ(StoreSize(), 16 + 3 * 8648 + 2 * (1048 + 1024));

    // A copy of the copy, and a name too long to prefix.
    CopyBackupConfig(parent);
    EXPECT_STREQ(Config(3)->description, "Copy of Copy of Weekly");
    std::string longName(120, 'n');
    int named = AddConfig(longName.c_str());
    Select(named);
    CopyBackupConfig(parent);
    EXPECT_EQ(Config(configTable.configCount - 1)->description, longName);
    std::string almost(119, 'a');
    named = AddConfig(almost.c_str());
    Select(named);
    CopyBackupConfig(parent);
    EXPECT_EQ(Config(configTable.configCount - 1)->description, ("Copy of " + almost).substr(0, 127));
}

TEST_F(CopyDeleteTest, ACopyThatRunsOutOfMemoryLeavesTableAndStoreAlone)
{
    int index = AddConfigWithSource("Weekly", "C:\\Data\\");
    Select(index);
    MessageBoxRecorder boxes;
    for (int nth = 1; nth <= 4; ++nth) {
        FailAllocationForTesting(nth);
        CopyBackupConfig(parent);
        FailAllocationForTesting(0);
        EXPECT_EQ(configTable.configCount, 1) << nth;
        EXPECT_EQ(configTable.lastUniqueId, 1) << nth;
    }
    EXPECT_EQ(boxes.boxes.size(), 4u);
    EXPECT_EQ(boxes.boxes[0].text, "Error: Unable to allocate memory");
    EXPECT_FALSE(StoreExists());
}

TEST_F(CopyDeleteTest, DeleteAsksRemovesTheTaskAndKeepsTheOrderAndTheLastId)
{
    AddConfig("First");
    int middle = AddConfig("Middle");
    AddConfig("Last");
    Select(middle);
    {
        MessageBoxRecorder no(IDNO);
        DeleteBackupConfig(parent);
        ASSERT_EQ(no.boxes.size(), 1u);
        EXPECT_EQ(no.boxes[0].text, "Delete Configuration:\n\nMiddle\n\n?");
        EXPECT_EQ(no.boxes[0].caption, "Velloran");
        EXPECT_EQ(configTable.configCount, 3);
        EXPECT_FALSE(StoreExists());
    }
    MessageBoxRecorder yes(IDYES);
    DeleteBackupConfig(parent);
    ASSERT_EQ(configTable.configCount, 2);
    EXPECT_STREQ(Config(0)->description, "First");
    EXPECT_STREQ(Config(1)->description, "Last");
    EXPECT_EQ(configTable.lastUniqueId, 3);
    ASSERT_EQ(scheduler.deletedTasks.size(), 1u);
    EXPECT_EQ(scheduler.deletedTasks[0], L"Velloran Config 2");
    EXPECT_EQ(StoreSize(), 16 + 2 * 8648);

    // The last ones go too; the empty store keeps the last id.
    Select(0);
    DeleteBackupConfig(parent);
    Select(0);
    DeleteBackupConfig(parent);
    EXPECT_EQ(configTable.configCount, 0);
    EXPECT_EQ(StoreSize(), 16);
    FILE *store = fopen(storePath, "rb");
    ASSERT_NE(store, nullptr);
    unsigned char header[16] = {};
    EXPECT_EQ(fread(header, 1, 16, store), 16u);
    fclose(store);
    EXPECT_EQ(header[12], 3);
}

TEST_F(CopyDeleteTest, NothingHappensWithoutASelectionOrForARunningConfiguration)
{
    int index = AddConfig("Busy");
    MessageBoxRecorder boxes(IDYES);
    Select(-1);
    CopyBackupConfig(parent);
    DeleteBackupConfig(parent);
    EXPECT_EQ(configTable.configCount, 1);

    Config(index)->running = 1;
    Select(index);
    DeleteBackupConfig(parent);
    Config(index)->running = 0;
    EXPECT_EQ(configTable.configCount, 1);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_FALSE(StoreExists());
}

}  // namespace
