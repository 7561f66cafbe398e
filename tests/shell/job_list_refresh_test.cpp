// Keeping the job list current: cells reach their configuration's row however the rows moved,
// the size refresh follows the totals, and a run asked for on the command line starts at once
// under the rule of one job at a time.
#include "ShellTestSupport.h"

#include <commctrl.h>
#include <stdlib.h>

#include <algorithm>
#include <string>

#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "JobControl.h"
#include "JobList.h"
#include "MainWindow.h"
#include "RunQueue.h"
#include "ShellState.h"
#include "TaskViews.h"
#include "WaitUntil.h"
#include "resource.h"

namespace {

void SetSource(BackupConfig *config, double bytes, int files)
{
    free(config->sources);
    config->sources = (SourceItem *)calloc(1, sizeof(SourceItem));
    config->sourceCount = 1;
    config->sources[0].totalBytes = bytes;
    config->sources[0].fileCount = files;
    config->sources[0].sizeKnown = 1;
}

int CALLBACK ByIndexDescending(LPARAM a, LPARAM b, LPARAM)
{
    return a < b ? 1 : (a > b ? -1 : 0);
}

}  // namespace

TEST_F(JobListTest, CellsReachTheirRowAfterSortingAddingAndDeletingRows)
{
    for (const char *name : {"Delta", "Bravo", "Echo", "Alpha", "Charlie"})
        AddConfig(name);
    ASSERT_EQ(RebuildJobList(-1), 1);
    // Each configuration's Size cell names it; the rows show who got which.
    auto expectEachRowOwnsItsCell = [this](const char *when) {
        std::vector<int> rows = RowOrder();
        for (int i = 0; i < configTable.configCount; ++i)
            SetJobCell(i, kColumnSize, Config(i)->description);
        for (size_t row = 0; row < rows.size(); ++row)
            EXPECT_EQ(CellText((int)row, 1), Config(rows[row])->description) << when << ", row " << row;
    };
    expectEachRowOwnsItsCell("sorted by description");

    NMLISTVIEW click = {};
    click.iSubItem = 0;
    Notify(&click.hdr, LVN_COLUMNCLICK);  // the same column again: descending
    EXPECT_EQ(RowOrder(), (std::vector<int>{2, 0, 4, 1, 3}));
    expectEachRowOwnsItsCell("after a header click");

    AddConfig("Aardvark");
    ASSERT_EQ(RebuildJobList(-1), 1);
    expectEachRowOwnsItsCell("after adding");

    // Rows moved or deleted by someone who did not say so are found all the same.
    SendMessageA(list, LVM_SORTITEMS, 0, (LPARAM)ByIndexDescending);
    expectEachRowOwnsItsCell("after a sort behind the list's back");
    std::vector<int> rows = RowOrder();
    const int echo = 2;
    ASSERT_TRUE(SendMessageA(list, LVM_DELETEITEM, std::find(rows.begin(), rows.end(), echo) - rows.begin(), 0));
    SetJobCell(echo, kColumnSize, "gone");
    rows = RowOrder();
    EXPECT_EQ(std::count(rows.begin(), rows.end(), echo), 0);
    for (int i : {0, 1, 3, 4, 5}) {
        SetJobCell(i, kColumnSize, "moved");
        int row = (int)(std::find(rows.begin(), rows.end(), i) - rows.begin());
        EXPECT_EQ(CellText(row, 1), "moved") << Config(i)->description;
    }
}

TEST_F(JobListTest, SizeRefreshFollowsTheTotalsAndMendsACellSetElsewhere)
{
    int a = AddConfig("Alpha"), b = AddConfig("Bravo");
    SetSource(Config(a), 1024, 1);
    SetSource(Config(b), 2048, 2);
    ASSERT_EQ(RebuildJobList(-1), 1);
    EXPECT_EQ(CellText(0, 1), "1.00 KB");

    // The count moves on: the next refresh shows it.
    Config(a)->sources[0].totalBytes = 3 * 1048576.0;
    Config(b)->sources[0].sizeKnown = 0;
    RefreshJobListSizes();
    EXPECT_EQ(CellText(0, 1), "3.00 MB");
    EXPECT_EQ(CellText(1, 1), "2.00 KB...");

    // A Size cell set from elsewhere (the job sets its own) is checked again at the next
    // refresh, though the totals did not change.
    SetJobCell(a, kColumnSize, "12 bytes");
    RefreshJobListSizes();
    EXPECT_EQ(CellText(0, 1), "3.00 MB");
}

// The tasks read behind the list: held at a gate, then let through; the views are gone again
// at the end, whatever happened.
class TasksReadBehind {
public:
    explicit TasksReadBehind(FakeTaskScheduler &scheduler) : scheduler_(scheduler)
    {
        scheduler_.loadGate = gate_;
        ok_ = gate_ != nullptr && StartTaskViews() == 1;
    }
    ~TasksReadBehind()
    {
        SetEvent(gate_);
        ClearTaskViews();
        scheduler_.loadGate = nullptr;
        CloseHandle(gate_);
    }
    bool ok() const { return ok_; }
    bool LetThrough()
    {
        SetEvent(gate_);
        return WaitUntil([] { return IsReadingTaskViews() == 0; });
    }

private:
    FakeTaskScheduler &scheduler_;
    HANDLE gate_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool ok_ = false;
};

TEST_F(JobListTest, TaskCellsWaitForTheirTaskThenShowWhatItSaysInTheOrderARebuildGives)
{
    const int kNextRun = 5, kSchedule = 6;
    int manual = AddConfig("Manual");
    int internal = AddConfig("Internal");
    Config(internal)->scheduleKind = (int32_t)ScheduleKind::EveryNDays;
    Config(internal)->scheduleEveryDays = 3;
    Config(internal)->lastRunTime = {2026, 3, 1, 1, 8, 0, 0, 0};
    Config(internal)->runCount = 1;
    int tasked = AddConfig("Tasked");
    char name[kTaskNameSize];
    FormatTaskName(Config(tasked)->uniqueId, name);
    scheduler.tasks[name].triggerText = "At 9:00 AM every day";
    scheduler.tasks[name].hasNextRun = true;
    scheduler.tasks[name].nextRun = {2026, 3, 3, 11, 9, 0, 0, 0};
    int off = AddConfig("Off");
    Config(off)->flags &= ~Enabled;
    gSettings.sortColumn = kSchedule;
    gSettings.sortAscending = 1;
    ASSERT_EQ(RebuildJobList(-1), 1);
    std::vector<int> order = RowOrder();
    ASSERT_EQ(order, (std::vector<int>{tasked, internal, manual, off}));
    std::vector<std::string> asked;
    for (int row = 0; row < 4; ++row)
        for (int subitem : {kNextRun, kSchedule})
            asked.push_back(CellText(row, subitem));

    TasksReadBehind tasks(scheduler);
    ASSERT_TRUE(tasks.ok());
    ASSERT_EQ(RebuildJobList(-1), 1);
    std::vector<int> waiting = RowOrder();
    struct {
        int index;
        const char *nextRun;  // nullptr: what the rows showed before
        const char *schedule;
    } pending[] = {
        {tasked, "...", "..."}, {internal, "...", nullptr}, {manual, "...", "..."}, {off, "none", "..."}};
    for (const auto &p : pending) {
        int row = (int)(std::find(waiting.begin(), waiting.end(), p.index) - waiting.begin());
        int before = (int)(std::find(order.begin(), order.end(), p.index) - order.begin());
        ASSERT_LT(row, 4);
        EXPECT_EQ(CellText(row, kNextRun), p.nextRun ? p.nextRun : asked[before * 2]) << p.index;
        EXPECT_EQ(CellText(row, kSchedule), p.schedule ? p.schedule : asked[before * 2 + 1]) << p.index;
    }
    EXPECT_NE(waiting, order);

    ASSERT_TRUE(tasks.LetThrough());
    ResortJobList();
    EXPECT_EQ(RowOrder(), order);
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(CellText(row, kNextRun), asked[row * 2]) << row;
        EXPECT_EQ(CellText(row, kSchedule), asked[row * 2 + 1]) << row;
    }
}

TEST_F(JobListTest, ManyChangedSizesAreWrittenAndOnlyTheirRowsInViewRepainted)
{
    const int count = 300;
    for (int i = 0; i < count; ++i) {
        char name[32];
        wsprintfA(name, "Config %03d", i);
        SetSource(Config(AddConfig(name)), 1024, 1);
    }
    ASSERT_EQ(RebuildJobList(-1), 1);
    UpdateWindow(list);
    RECT rowRect = {LVIR_BOUNDS, 0, 0, 0};
    ASSERT_TRUE(SendMessageA(list, LVM_GETITEMRECT, 1, (LPARAM)&rowRect));
    // Something else was waiting to be painted (in row 10, which does not change): it still
    // waits afterwards.
    const int height = rowRect.bottom - rowRect.top;
    RECT waiting = {5, rowRect.top + 9 * height + 2, 40, rowRect.top + 10 * height - 2};
    InvalidateRect(list, &waiting, TRUE);

    // Row 1 is in view; the others changed are far below it.
    for (int i = 1; i < count; i += 2)
        Config(i)->sources[0].totalBytes = 2048;
    RefreshJobListSizes();
    for (int row = 0; row < count; ++row)
        ASSERT_EQ(CellText(row, 1), row % 2 ? "2.00 KB" : "1.00 KB") << row;
    HRGN update = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetUpdateRgn(list, update, FALSE), NULLREGION);
    EXPECT_TRUE(PtInRegion(update, (rowRect.left + rowRect.right) / 2, (rowRect.top + rowRect.bottom) / 2));
    EXPECT_TRUE(PtInRegion(update, waiting.left + 1, waiting.top + 1));
    RECT unchangedRow = {LVIR_BOUNDS, 0, 0, 0};
    ASSERT_TRUE(SendMessageA(list, LVM_GETITEMRECT, 2, (LPARAM)&unchangedRow));
    EXPECT_FALSE(PtInRegion(update, (unchangedRow.left + unchangedRow.right) / 2, (unchangedRow.top + unchangedRow.bottom) / 2));
    DeleteObject(update);
}

namespace {

struct CommandLineRun {
    const char *name;
    int jobActiveBefore;
    int shutDownBegun;
    const char *line;      // %d: the enabled configuration's id, %e: the disabled one's
    bool started;
    int queuedAfter;       // entries left in the queue
    bool exitPosted;
};

class CommandLineRunTest : public JobListTest, public ::testing::WithParamInterface<CommandLineRun> {
protected:
    void SetUp() override
    {
        JobListTest::SetUp();
        gSettings.backupLocked = 0;  // no shadow copies under Wine
        FreeRunQueue();
        exitWhenDone = 0;
    }
    void TearDown() override
    {
        FreeRunQueue();
        exitWhenDone = 0;
        shutDownDone = 0;
        JobListTest::TearDown();
    }
};

std::string WithIds(const char *line, int enabled, int disabled)
{
    std::string text(line);
    for (size_t at; (at = text.find("%d")) != std::string::npos;)
        text.replace(at, 2, std::to_string(enabled));
    for (size_t at; (at = text.find("%e")) != std::string::npos;)
        text.replace(at, 2, std::to_string(disabled));
    return text;
}

}  // namespace

TEST_P(CommandLineRunTest, StartsAtOnceUnderTheTicksRule)
{
    const CommandLineRun &c = GetParam();
    int enabled = AddConfig("Enabled");
    int disabled = AddConfig("Disabled");
    Config(disabled)->flags &= ~Enabled;
    lstrcpynA(Config(enabled)->destination, (folder.path + "mirror\\").c_str(), sizeof(Config(enabled)->destination));
    jobActive = c.jobActiveBefore;
    shutDownDone = c.shutDownBegun;

    std::string line = WithIds(c.line, Config(enabled)->uniqueId, Config(disabled)->uniqueId);
    OnMainWindowCommandLine(parent, 0, line.c_str());

    EXPECT_EQ(Config(enabled)->runCount, c.started ? 1 : 0);
    EXPECT_EQ(Config(disabled)->runCount, 0);
    EXPECT_EQ(runQueue.count, c.queuedAfter);
    if (c.started) {
        EXPECT_EQ(jobActive, 1);
        EXPECT_TRUE(WaitUntil([&] { return !IsConfigRunning(Config(enabled)); }, 30000));
    }
    PumpMessages();
    bool exitPosted = std::find(commands.begin(), commands.end(), (UINT)IDM_EXIT) != commands.end();
    EXPECT_EQ(exitPosted, c.exitPosted);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, CommandLineRunTest,
    ::testing::Values(
        CommandLineRun{"Enabled", 0, 0, "/hidden /exitwhendone /run=%d", true, 0, false},
        CommandLineRun{"UnknownId", 0, 0, "/hidden /exitwhendone /run=99", false, 0, true},
        CommandLineRun{"Disabled", 0, 0, "/run=%e", false, 0, false},
        CommandLineRun{"WhileAJobRuns", 1, 0, "/exitwhendone /run=%d", false, 1, false},
        CommandLineRun{"AfterTheEndBegan", 0, 1, "/exitwhendone /run=%d", false, 1, false},
        CommandLineRun{"NoRun", 0, 0, "/exitwhendone", false, 0, false}),
    [](const ::testing::TestParamInfo<CommandLineRun> &info) { return std::string(info.param.name); });
