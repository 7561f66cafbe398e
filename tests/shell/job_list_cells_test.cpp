// Cell texts of the job list, from the configuration record.
#include "ShellTestSupport.h"

#include <stdlib.h>

#include "Calendar.h"
#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "JobList.h"

namespace {

std::string Cell(int index, int column)
{
    char text[kJobCellTextSize];
    FormatJobCell(index, column, text, sizeof(text));
    return text;
}

std::string Clock(int hour, int minute)
{
    SYSTEMTIME time = {2000, 1, 6, 1, (WORD)hour, (WORD)minute, 0, 0};
    char text[64] = "";
    GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &time, nullptr, text, sizeof(text));
    return text;
}

std::string DateText(const SYSTEMTIME &time)
{
    char text[100];
    FormatSystemTime(text, sizeof(text), &time);
    return text;
}

void SetSource(BackupConfig *config, double bytes, int files, int known)
{
    config->sourceCount = 1;
    free(config->sources);
    config->sources = (SourceItem *)calloc(1, sizeof(SourceItem));
    config->sources[0].totalBytes = bytes;
    config->sources[0].fileCount = files;
    config->sources[0].sizeKnown = known;
}

}  // namespace

TEST_F(JobListTest, RunStateCellsFollowRunCountRunningAndResult)
{
    int i = AddConfig("Documents");
    EXPECT_EQ(Cell(i, JobColumnLastRun), "never");
    EXPECT_EQ(Cell(i, JobColumnLastResult), "");
    EXPECT_EQ(Cell(i, JobColumnRunCount), "0");

    Config(i)->runCount = 1234;
    Config(i)->lastRunTime = {2025, 6, 2, 3, 14, 30, 0, 0};
    Config(i)->lastResult = (int32_t)JobResult::Warnings;
    EXPECT_EQ(Cell(i, JobColumnLastRun), DateText(Config(i)->lastRunTime));
    EXPECT_NE(Cell(i, JobColumnLastRun).find(" : "), std::string::npos);
    EXPECT_EQ(Cell(i, JobColumnRunCount), "1,234");
    char word[64];
    GetJobResultText((int)JobResult::Warnings, word, sizeof(word));
    EXPECT_EQ(Cell(i, JobColumnLastResult), word);

    SetConfigRunning(Config(i), 1);
    EXPECT_EQ(Cell(i, JobColumnLastResult), "Running...");
    SetConfigRunning(Config(i), 0);
}

TEST_F(JobListTest, SizeAndFileCountShowDotsUntilEverySourceIsMeasured)
{
    int unknown = AddConfig("Unmeasured");
    int known = AddConfig("Measured");
    int empty = AddConfig("No sources");
    SetSource(Config(unknown), 1536, 1000, 0);
    SetSource(Config(known), 1536, 1000, 1);
    EXPECT_EQ(Cell(unknown, JobColumnSize), "1.50 KB...");
    EXPECT_EQ(Cell(unknown, JobColumnFileCount), "1,000...");
    EXPECT_EQ(Cell(known, JobColumnSize), "1.50 KB");
    EXPECT_EQ(Cell(known, JobColumnFileCount), "1,000");
    EXPECT_EQ(Cell(empty, JobColumnSize), "0 bytes");
    EXPECT_EQ(Cell(empty, JobColumnFileCount), "0");
}

TEST_F(JobListTest, FlagCellsAndCompressedOnlyCells)
{
    int plain = AddConfig("Mirror only");
    Config(plain)->flags = Uncompressed | SaveDeleted;
    EXPECT_EQ(Cell(plain, JobColumnEnabled), "No");
    EXPECT_EQ(Cell(plain, JobColumnKeepRevisions), "No");
    EXPECT_EQ(Cell(plain, JobColumnKeepDeleted), "Yes");
    EXPECT_EQ(Cell(plain, JobColumnFilesFolders), "Yes");
    EXPECT_EQ(Cell(plain, JobColumnCompressed), "No");
    for (int column : {JobColumnEncrypted, JobColumnRemote, JobColumnSplit, JobColumnZipDateFilter})
        EXPECT_EQ(Cell(plain, column), "N/A") << column;

    int zip = AddConfig("Zipped");
    BackupConfig *z = Config(zip);
    z->flags = Enabled | Compressed | Encrypted | SaveRevisions | RemoteFtp | RemoteEmail | SplitZip;
    z->revisionCount = 20;
    z->splitSize = 650;
    z->splitUnit = (int32_t)SplitUnit::MB;
    EXPECT_EQ(Cell(zip, JobColumnEnabled), "Yes");
    EXPECT_EQ(Cell(zip, JobColumnKeepRevisions), "20");
    EXPECT_EQ(Cell(zip, JobColumnFilesFolders), "No");
    EXPECT_EQ(Cell(zip, JobColumnEncrypted), "Yes");
    EXPECT_EQ(Cell(zip, JobColumnRemote), "E-Mail and FTP");
    EXPECT_EQ(Cell(zip, JobColumnSplit), "650 MB");
    z->flags &= ~RemoteEmail;
    EXPECT_EQ(Cell(zip, JobColumnRemote), "FTP");
    z->flags = (z->flags & ~RemoteFtp) | RemoteEmail;
    EXPECT_EQ(Cell(zip, JobColumnRemote), "E-Mail");
    z->flags &= ~(RemoteEmail | Encrypted);
    EXPECT_EQ(Cell(zip, JobColumnRemote), "Off");
    EXPECT_EQ(Cell(zip, JobColumnEncrypted), "No");

    const char *units[] = {"Bytes", "KB", "MB", "GB"};
    for (int unit = 0; unit < 4; ++unit) {
        z->splitUnit = unit;
        EXPECT_EQ(Cell(zip, JobColumnSplit), std::string("650 ") + units[unit]);
    }
    // A unit beyond the table reads as GB, like its sort key, not as an unrelated string.
    z->splitUnit = 4;
    EXPECT_EQ(Cell(zip, JobColumnSplit), "650 GB");
    z->splitUnit = -1;
    EXPECT_EQ(Cell(zip, JobColumnSplit), "650 GB");
    z->flags &= ~SplitZip;
    EXPECT_EQ(Cell(zip, JobColumnSplit), "No");
}

TEST_F(JobListTest, DateFilterCell)
{
    int i = AddConfig("Filtered");
    BackupConfig *c = Config(i);
    c->flags |= Compressed;
    c->fullBackupEvery = 5;
    c->dateFilterFlags = AlwaysAll | EveryNAll;
    EXPECT_EQ(Cell(i, JobColumnZipDateFilter), "Off");
    c->dateFilterFlags = 0;
    EXPECT_EQ(Cell(i, JobColumnZipDateFilter), "On");
    c->dateFilterFlags = EveryNAll;
    c->dateFilterCount = 0;
    EXPECT_EQ(Cell(i, JobColumnZipDateFilter), "On (Off every 5, currently at 0)");
    c->dateFilterCount = 3;
    c->lastCompressedRunTime = {2025, 7, 2, 1, 12, 0, 0, 0};
    SYSTEMTIME local;
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &c->lastCompressedRunTime, &local));
    EXPECT_EQ(Cell(i, JobColumnZipDateFilter), "On (Off every 5, currently at 3, last at " + DateText(local) + ")");
}

TEST_F(JobListTest, ScheduleCellByKind)
{
    int i = AddConfig("Scheduled");
    BackupConfig *c = Config(i);
    c->scheduleHour = 17;
    c->scheduleMinute = 5;
    std::string at = " @ " + Clock(17, 5) + " with Internal Scheduler";

    c->scheduleKind = (int32_t)ScheduleKind::EveryNDays;
    c->scheduleEveryDays = 3;
    EXPECT_EQ(Cell(i, JobColumnSchedule), "Every 3 days" + at);

    c->scheduleKind = (int32_t)ScheduleKind::Weekly;
    struct {
        int mask;
        const char *days;
    } weeks[] = {{0x7F, "Every day"},     {0x3E, "Every weekday"}, {0x7E, "Every weekday"},
                 {0x3F, "Every weekday"}, {0x2A, "MWF"},           {0x41, "SuSa"},
                 {0x14, "TuTh"},          {0x00, ""}};
    for (const auto &week : weeks) {
        c->scheduleDayMask = week.mask;
        EXPECT_EQ(Cell(i, JobColumnSchedule), week.days + at) << week.mask;
    }

    c->scheduleKind = (int32_t)ScheduleKind::None;
    EXPECT_EQ(Cell(i, JobColumnSchedule), "Manual");
    char name[kTaskNameSize];
    FormatTaskName(c->uniqueId, name);
    scheduler.tasks[name].triggerText = "At 9:00 AM every day";
    EXPECT_EQ(Cell(i, JobColumnSchedule), "At 9:00 AM every day with Windows Task Scheduler");
}

// A task that cannot be read shows the system's text for the error, without its line break.
TEST_F(JobListTest, ScheduleCellShowsATaskErrorOnOneLine)
{
    int i = AddConfig("Tasked");
    char name[kTaskNameSize];
    FormatTaskName(Config(i)->uniqueId, name);
    for (HRESULT error : {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), E_ACCESSDENIED}) {
        char system[512] = "";
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, (DWORD)error, 0, system,
                       sizeof(system), nullptr);
        scheduler.tasks[name].loadResult = error;
        EXPECT_EQ(Cell(i, JobColumnSchedule) + "\r\n", system);
    }
}

TEST_F(JobListTest, NextRunComesFromTheTaskOrIsNone)
{
    int i = AddConfig("Tasked");
    EXPECT_EQ(Cell(i, JobColumnNextRun), "none");
    char name[kTaskNameSize];
    FormatTaskName(Config(i)->uniqueId, name);
    scheduler.tasks[name].hasNextRun = true;
    scheduler.tasks[name].nextRun = {2026, 3, 3, 11, 9, 0, 0, 0};
    EXPECT_EQ(Cell(i, JobColumnNextRun), DateText(scheduler.tasks[name].nextRun));
    // A disabled configuration has no next run.
    Config(i)->flags &= ~Enabled;
    EXPECT_EQ(Cell(i, JobColumnNextRun), "none");
}

TEST_F(JobListTest, PriorityIdsDatesAndOutOfRangeRequests)
{
    int i = AddConfig("Misc");
    const char *words[] = {"Very Low", "Low", "Normal", "High"};
    for (int p = 0; p < 4; ++p) {
        Config(i)->priority = p;
        EXPECT_EQ(Cell(i, JobColumnPriority), words[p]);
    }
    Config(i)->priority = 4;
    EXPECT_EQ(Cell(i, JobColumnPriority), "");
    Config(i)->uniqueId = 12345;
    EXPECT_EQ(Cell(i, JobColumnUniqueId), "12,345");
    EXPECT_EQ(Cell(i, JobColumnDescription), "Misc");
    EXPECT_EQ(Cell(i, JobColumnDestination), "D:\\Backups\\");
    EXPECT_EQ(Cell(i, JobColumnDateCreated), DateText(Config(i)->dateCreated));
    EXPECT_EQ(Cell(i, JobColumnDateModified), DateText(Config(i)->dateModified));

    EXPECT_EQ(Cell(i, 22), "");
    EXPECT_EQ(Cell(i, -1), "");
    EXPECT_EQ(Cell(1, JobColumnDescription), "");
    EXPECT_EQ(Cell(-1, JobColumnDescription), "");
    char small[5];
    FormatJobCell(i, JobColumnDestination, small, sizeof(small));
    EXPECT_STREQ(small, "D:\\B");
}
