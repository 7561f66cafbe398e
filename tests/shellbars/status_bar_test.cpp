// The status line and the four status-bar parts.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AllocationSeam.h"
#include "BarsTestSupport.h"
#include "Clock.h"
#include "CoreTestSupport.h"
#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "InternalScheduler.h"
#include "JobControl.h"
#include "ShellState.h"
#include "TrayAndStatus.h"
#include "resource.h"

namespace {

std::string StatusLine(size_t size = 257, int *running = nullptr)
{
    std::vector<char> buffer(size);
    int count = FormatStatusLine(buffer.data(), buffer.size());
    if (running != nullptr)
        *running = count;
    return buffer.data();
}

class StatusBarTest : public BarsTest {
protected:
    void SetUp() override
    {
        BarsTest::SetUp();
        now = MakeTime(2026, 3, 10, 8, 5);  // a Tuesday
        SetClockForTesting(&now);
    }
    void TearDown() override
    {
        SetClockForTesting(nullptr);
        FailAllocationForTesting(0);
        BarsTest::TearDown();
    }
    SYSTEMTIME now;
};

// Counts the texts the status bar is given, to show that unchanged parts are left alone.
WNDPROC statusBarProc = nullptr;
int setTextCount = 0;
LRESULT CALLBACK CountingStatusBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == SB_SETTEXTA || message == SB_SETTEXTW)
        ++setTextCount;
    return CallWindowProcA(statusBarProc, window, message, wParam, lParam);
}

}  // namespace

TEST_F(StatusBarTest, LineTellsRunningJobsProgressAbortAndSchedule)
{
    int a = AddConfig("A");
    int b = AddConfig("B");
    int running = -1;
    EXPECT_EQ(StatusLine(257, &running), "No Jobs Scheduled");
    EXPECT_EQ(running, 0);

    // A running flag without an active job counts for nothing.
    SetConfigRunning(ConfigAt(a), 1);
    SetProgressPercent(ConfigAt(a), 42);
    EXPECT_EQ(StatusLine(257, &running), "No Jobs Scheduled");
    EXPECT_EQ(running, 0);

    jobActive = 1;
    EXPECT_EQ(StatusLine(257, &running), "Backup Running: 42% Complete");
    EXPECT_EQ(running, 1);
    SetStatusText(ConfigAt(a), "Copying C:\\data\\report.doc");
    EXPECT_EQ(StatusLine(), "Backup Running: 42% Complete - Copying C:\\data\\report.doc");
    // Cut to the buffer, never past it.
    EXPECT_EQ(StatusLine(40), std::string("Backup Running: 42% Complete - Copying C:\\data\\report.doc").substr(0, 39));
    SetCancelRequested(ConfigAt(a), 1);
    EXPECT_EQ(StatusLine(), "Aborting Backup Job...");

    SetConfigRunning(ConfigAt(b), 1);
    EXPECT_EQ(StatusLine(257, &running), "2 Backups Running");
    EXPECT_EQ(running, 2);
}

TEST_F(StatusBarTest, NextRunSaysTodayOrTheWeekdayAndMonthDay)
{
    hasNextRun = 1;
    earliestNextRun = MakeTime(2026, 3, 10, 14, 30);
    char time[64];
    GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &earliestNextRun, nullptr, time, sizeof(time));
    EXPECT_EQ(StatusLine(), std::string("Next Job: Today at ") + time);
    EXPECT_EQ(StatusLine(), "Next Job: Today at 2:30 PM");

    earliestNextRun = MakeTime(2026, 3, 11, 9, 0);
    EXPECT_EQ(StatusLine(), "Next Job: Wednesday (Mar 11) at 9:00 AM");
    // Same day of another month is not today.
    earliestNextRun = MakeTime(2026, 4, 10, 9, 0);
    EXPECT_EQ(StatusLine(), "Next Job: Friday (Apr 10) at 9:00 AM");

    // A running job comes before the schedule.
    int a = AddConfig("A");
    SetConfigRunning(ConfigAt(a), 1);
    jobActive = 1;
    EXPECT_EQ(StatusLine(), "Backup Running: 0% Complete");
}

TEST_F(StatusBarTest, FourPartsAreMeasuredFromTheRightAndFilled)
{
    AddConfig("A");
    AddConfig("B");
    AddConfig("C");
    MakeJobList(-1);
    statusBarWindow = CreateStatusBar(window);
    ASSERT_NE(statusBarWindow, nullptr);
    EXPECT_EQ(GetDlgCtrlID(statusBarWindow), IDC_MAIN_STATUSBAR);
    SendMessageA(statusBarWindow, WM_SIZE, 0, 0);
    LayOutStatusBarParts(760);

    int rights[8] = {0};
    ASSERT_EQ(SendMessageA(statusBarWindow, SB_GETPARTS, 8, (LPARAM)rights), 4);
    RECT bar;
    GetWindowRect(statusBarWindow, &bar);
    EXPECT_EQ(rights[3], 760 - (bar.bottom - bar.top));
    // Each part is its sample text wide plus the 8-pixel gap: date > time > count > 8.
    int dateWidth = rights[3] - rights[2];
    int timeWidth = rights[2] - rights[1];
    int countWidth = rights[1] - rights[0];
    EXPECT_GT(countWidth, 8 + 10);
    EXPECT_GT(timeWidth, countWidth - 10);
    EXPECT_GT(dateWidth, timeWidth);
    EXPECT_GT(rights[0], 200);

    EXPECT_EQ(StatusPartText(0), "No Jobs Scheduled");
    EXPECT_EQ(StatusPartText(1), "\tC 3");
    EXPECT_EQ(StatusPartText(2), "\t8:05 AM");
    EXPECT_EQ(StatusPartText(3), "\t3/10/2026");

    // The timer's own reading of the clock decides the time and date parts.
    SYSTEMTIME later = MakeTime(2026, 3, 11, 0, 1);
    UpdateStatusBarAt(&later);
    EXPECT_EQ(StatusPartText(2), "\t12:01 AM");
    EXPECT_EQ(StatusPartText(3), "\t3/11/2026");
}

TEST_F(StatusBarTest, UnchangedPartsAreNotRewritten)
{
    MakeJobList(-1);
    statusBarWindow = CreateStatusBar(window);
    ASSERT_NE(statusBarWindow, nullptr);
    LayOutStatusBarParts(700);
    statusBarProc = (WNDPROC)SetWindowLongPtrA(statusBarWindow, GWLP_WNDPROC, (LONG_PTR)CountingStatusBarProc);
    setTextCount = 0;
    UpdateStatusBar();
    EXPECT_EQ(setTextCount, 0);
    AddConfig("New one");
    SendMessageA(jobListWindow, LVM_DELETEALLITEMS, 0, 0);
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.mask = LVIF_TEXT;
    item.pszText = (char *)"New one";
    SendMessageA(jobListWindow, LVM_INSERTITEMA, 0, (LPARAM)&item);
    UpdateStatusBar();
    EXPECT_EQ(setTextCount, 1);
    EXPECT_EQ(StatusPartText(1), "\tC 1");
}

TEST_F(StatusBarTest, MissingMemoryIsToldOnceAndTheRestWaitsForTheNextTick)
{
    MakeJobList(-1);
    statusBarWindow = CreateStatusBar(window);
    ASSERT_NE(statusBarWindow, nullptr);
    MessageBoxRecorder boxes;
    FailAllocationForTesting(1);
    UpdateStatusBar();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Error: Unable to allocate memory");
    EXPECT_EQ(boxes.boxes[0].caption, "Velloran");
    EXPECT_EQ(boxes.boxes[0].type, (UINT)MB_ICONWARNING);
    EXPECT_EQ(StatusPartText(0), "");
    UpdateStatusBar();
    EXPECT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(StatusPartText(0), "No Jobs Scheduled");
}
