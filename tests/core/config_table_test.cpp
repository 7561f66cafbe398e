#include <gtest/gtest.h>

#include <string.h>

#include "AllocationSeam.h"
#include "Clock.h"
#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "CoreTestSupport.h"

class ConfigTableTest : public ::testing::Test {
protected:
    void SetUp() override { ClearConfigTable(); }
    void TearDown() override
    {
        ClearConfigTable();
        FreeConfigArrays(&editedConfig);
        SetClockForTesting(nullptr);
        FailAllocationForTesting(0);
    }
};

TEST_F(ConfigTableTest, NewConfigurationDefaults)
{
    configTable.lastUniqueId = 41;
    SYSTEMTIME now = MakeTime(2026, 3, 8, 9, 30);
    SetClockForTesting(&now);
    ASSERT_EQ(SetNewConfigDefaults(), 1);
    const BackupConfig &c = editedConfig;
    EXPECT_STREQ(c.description, "Backup Job 42");
    EXPECT_STREQ(c.compressedFileName, "Backup Job 42_[[DATE]].zip");
    EXPECT_EQ(c.uniqueId, 42);
    EXPECT_EQ(configTable.lastUniqueId, 41);
    EXPECT_EQ(c.flags, 0x67u);
    EXPECT_EQ(c.revisionCount, 20);
    EXPECT_EQ(c.splitSize, 1);
    EXPECT_EQ(c.splitUnit, 3);
    EXPECT_EQ(c.dateFilterFlags, 3);
    EXPECT_EQ(c.fullBackupEvery, 30);
    EXPECT_EQ(c.priority, 1);
    EXPECT_EQ(c.filterFlags, 4);
    EXPECT_EQ(c.emailFlags, 13u);
    EXPECT_EQ(c.smtpPort, 25);
    EXPECT_EQ(c.ftpPort, 0);
    EXPECT_EQ(c.scheduleKind, 0);
    EXPECT_EQ(c.scheduleEveryDays, 1);
    EXPECT_EQ(c.scheduleDayMask, 127);
    EXPECT_EQ(c.scheduleHour, 17);
    EXPECT_EQ(c.scheduleMinute, 0);
    EXPECT_EQ(c.dateCreated.wYear, 2026);
    EXPECT_EQ(c.dateModified.wHour, 9);
    EXPECT_EQ(c.lastRunTime.wYear, 0);
    EXPECT_NE(c.sources, nullptr);
    EXPECT_NE(c.extensions, nullptr);
    EXPECT_NE(c.excludedItems, nullptr);
    EXPECT_EQ(c.sourceCount + c.extensionCount + c.excludedCount, 0);
}

TEST_F(ConfigTableTest, JobResultWords)
{
    struct Case { int code; const char *word; };
    const Case cases[] = {
        {0, ""}, {1, "Success"}, {2, "Failed"}, {3, "Warnings"}, {4, "Aborted"},
        {5, "Failed to open log file"}, {6, "Disabled"}, {7, ""}, {8, ""}, {-1, ""},
    };
    for (const Case &c : cases) {
        char word[64] = "junk";
        GetJobResultText(c.code, word, sizeof(word));
        EXPECT_STREQ(word, c.word) << c.code;
    }
    char small[5];
    GetJobResultText(1, small, sizeof(small));
    EXPECT_STREQ(small, "Succ");
}

static BackupConfig *MakeConfigWithArrays(int id)
{
    static SourceItem sources[2];
    static ExtensionEntry extensions[1];
    static ExcludedEntry excluded[1];
    lstrcpyA(sources[0].path, "C:\\Data\\");
    lstrcpyA(sources[1].path, "C:\\file.txt");
    lstrcpyA(extensions[0], "tmp");
    lstrcpyA(excluded[0], "C:\\Data\\Cache\\");
    BackupConfig *c = new BackupConfig();
    c->uniqueId = id;
    c->sources = sources;
    c->sourceCount = 2;
    c->extensions = extensions;
    c->extensionCount = 1;
    c->excludedItems = excluded;
    c->excludedCount = 1;
    return c;
}

TEST_F(ConfigTableTest, AppendMakesDeepCopies)
{
    BackupConfig *original = MakeConfigWithArrays(7);
    ASSERT_EQ(AppendConfig(original), 1);
    ASSERT_EQ(configTable.configCount, 1);
    BackupConfig *stored = ConfigAt(0);
    EXPECT_NE(stored->sources, original->sources);
    EXPECT_STREQ(stored->sources[1].path, "C:\\file.txt");
    EXPECT_STREQ(stored->extensions[0], "tmp");
    EXPECT_STREQ(stored->excludedItems[0], "C:\\Data\\Cache\\");
    lstrcpyA(original->sources[0].path, "changed");
    EXPECT_STREQ(stored->sources[0].path, "C:\\Data\\");
    EXPECT_EQ(FindConfigById(7), 0);
    EXPECT_EQ(FindConfigById(8), -1);
    delete original;
}

TEST_F(ConfigTableTest, RecordsKeepTheirAddressWhileTheTableGrows)
{
    BackupConfig *config = new BackupConfig();
    config->uniqueId = 1;
    ASSERT_EQ(AppendConfig(config), 1);
    BackupConfig *running = ConfigAt(0);
    SetConfigRunning(running, 1);
    for (int i = 2; i <= 200; ++i) {
        config->uniqueId = i;
        ASSERT_EQ(AppendConfig(config), 1);
    }
    EXPECT_EQ(ConfigAt(0), running);
    EXPECT_EQ(IsConfigRunning(running), 1);
    EXPECT_EQ(ConfigAt(199)->uniqueId, 200);
    delete config;
}

// Stands in for a job thread: writes progress until it is asked to stop.
static DWORD WINAPI RunFakeJob(void *parameter)
{
    BackupConfig *c = (BackupConfig *)parameter;
    // Writes before it looks at the cancel byte, so a cancel that comes before the thread has
    // run at all still finds the fields written.
    for (int i = 0; i <= 100; ++i) {
        SetProgressPercent(c, i);
        SetStatusText(c, "Copying files");
        if (IsCancelRequested(c))
            break;
        Sleep(1);
    }
    SetConfigRunning(c, 0);
    return 0;
}

TEST_F(ConfigTableTest, RuntimeFieldsAcrossThreads)
{
    BackupConfig *config = new BackupConfig();
    ASSERT_EQ(AppendConfig(config), 1);
    BackupConfig *record = ConfigAt(0);
    HANDLE worker = CreateThread(nullptr, 0, RunFakeJob, record, 0, nullptr);
    SetConfigRunning(record, 1);
    Sleep(10);
    SetCancelRequested(record, 1);
    WaitForSingleObject(worker, 5000);
    CloseHandle(worker);
    char status[64];
    GetStatusText(record, status, sizeof(status));
    EXPECT_STREQ(status, "Copying files");
    EXPECT_EQ(record->cancelRequested, 1);
    delete config;
}

// Each allocation that an append makes fails in turn: the table stays exactly as it was.
TEST_F(ConfigTableTest, FailedAppendLeavesTheTableWhole)
{
    BackupConfig *original = MakeConfigWithArrays(1);
    for (int i = 0; i < 8; ++i) // fills the pointer table, so the next append must grow it
        ASSERT_EQ(AppendConfig(original), 1);
    BackupConfig *first = ConfigAt(0);
    for (int nth = 1; nth <= 5; ++nth) {
        MessageBoxRecorder boxes;
        FailAllocationForTesting(nth);
        int appended = AppendConfig(original);
        FailAllocationForTesting(0);
        if (appended) {
            EXPECT_GT(nth, 4) << "an append makes at most four allocations here";
            break;
        }
        EXPECT_EQ(configTable.configCount, 8) << nth;
        EXPECT_EQ(ConfigAt(0), first);
        EXPECT_STREQ(ConfigAt(7)->sources[1].path, "C:\\file.txt");
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].text, "Error: Unable to allocate memory");
        EXPECT_EQ(boxes.boxes[0].type, (UINT)MB_ICONWARNING);
    }
    delete original;
}

TEST_F(ConfigTableTest, NewConfigurationWithoutMemoryShowsTheMessage)
{
    MessageBoxRecorder boxes;
    FailAllocationForTesting(2);
    EXPECT_EQ(SetNewConfigDefaults(), 0);
    FailAllocationForTesting(0);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Error: Unable to allocate memory");
    EXPECT_EQ(editedConfig.sources, nullptr);
}
