// The one-second tick of timer 1: status bar, due runs, the run queue, size cells and the
// update check.
#include "MainWindow.h"

#include "Calendar.h"
#include "Clock.h"
#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "DialogHelpers.h"
#include "GlobalSettings.h"
#include "InternalScheduler.h"
#include "JobControl.h"
#include "JobList.h"
#include "MessageBoxSeam.h"
#include "RunQueue.h"
#include "ShellState.h"
#include "SingleInstance.h"
#include "SizeCalculation.h"
#include "TaskViews.h"
#include "TrayAndStatus.h"
#include "UpdateCheck.h"
#include "resource.h"

namespace {

void QueueDueRun(const SYSTEMTIME *now)
{
    if (hasNextDue == 1 && IsSystemTimeBefore(&nextDueTime, now)) {
        QueueRun(nextDueId);
        UpdateScheduleState();
    }
}

void RefreshSizeCells()
{
    if (allSizesThread == nullptr)
        return;
    if (__atomic_load_n(&allSizesRunning, __ATOMIC_ACQUIRE) == 0)
        StopAllConfigSizes();
    RefreshJobListSizes();
}

// The tasks' views the list and the schedule state were last brought up to date with.
long shownTaskViews = 0;
bool sortWaitsForTasks = false;

bool IsSortedByTasks()
{
    int column = GetInsertedColumnAt(gSettings.sortColumn);
    return column == JobColumnNextRun || column == JobColumnSchedule;
}

// Tasks read since the last tick: their cells, the earliest next run in the status bar, and
// the order of rows sorted by what they say, once all of them have been read.
void RefreshTaskCells()
{
    long views = GetTaskViewsChangeCount();
    if (views != shownTaskViews) {
        shownTaskViews = views;
        UpdateScheduleState();
        UpdateStatusBar();
        RefreshJobListTaskCells();
        sortWaitsForTasks = sortWaitsForTasks || IsSortedByTasks();
    }
    if (sortWaitsForTasks && !IsReadingTaskViews()) {
        sortWaitsForTasks = false;
        if (IsSortedByTasks())
            ResortJobList();
    }
}

int TodayDayOfMonth()
{
    SYSTEMTIME now;
    GetLocalNow(&now);
    return now.wDay;
}

void TriggerUpdateCheck()
{
    if (updateCheckTriggered == 0 && GetCalendarSeconds() - updateCheckBase >= 300) {
        updateCheckTriggered = 1;
        updateCheckDay = TodayDayOfMonth();
        CheckForUpdateIfDue();
    } else if (updateCheckTriggered == 1 && TodayDayOfMonth() != updateCheckDay) {
        updateCheckBase += 86400;
        updateCheckTriggered = 0;
    }
}

void ShowNewVersionNotice(HWND window)
{
    if (newVersionAvailable != 1 || IsIconic(window) || !IsWindowVisible(window))
        return;
    newVersionAvailable = 0;
    SYSTEMTIME now;
    GetLocalNow(&now);
    WriteSettingInt("misc", "cnv_month", now.wMonth);
    WriteSettingInt("misc", "cnv_day", now.wDay);
    WriteSettingInt("misc", "cnv_year", now.wYear);
    if (ShowMessageBox(window,
                       "An updated version of Velloran is available.\n\nWould you like to view the download page?",
                       kProductName, MB_YESNO) == IDYES)
        OpenWithShell(IDS_URL_DOWNLOAD, window, nullptr);
}

}  // namespace

void TakeNextQueuedRun(HWND window)
{
    int id = 0;
    if (!TakeQueueHead(&id))
        return;
    int index = FindConfigById(id);
    if (index >= 0) {
        BackupConfig *config = ConfigAt(index);
        if ((config->flags & Enabled) != 0 && !IsConfigRunning(config)) {
            jobActive = 1;
            StartBackupJob(window, index, 0);
        }
    }
    // A dropped id (unknown, disabled or running) starts nothing, so no job end will come to
    // ask for the exit: ask here once nothing is left to do.
    if (jobActive == 0 && runQueue.count == 0 && exitWhenDone == 1)
        PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
}

void OnMainWindowCommandLine(HWND window, int handedOver, const char *text)
{
    ApplyCommandLine(handedOver, text);
    // A run asked for starts now rather than at the next tick, by the tick's own rule; nothing
    // starts once the end has begun (the timer is gone then).
    if (shutDownDone == 0 && jobActive == 0 && runQueue.count > 0)
        TakeNextQueuedRun(window);
}

void OnMainTimer(HWND window, UINT_PTR timerId)
{
    if (timerId == kTrayRetryTimerId) {
        OnTrayRetryTimer(window);
        return;
    }
    if (timerId != kMainTimerId)
        return;
    SYSTEMTIME now;
    GetLocalNow(&now);
    if (RescheduleIfClockSetBack(&now))
        RefreshJobListTaskCells();  // the Next Run cells show the moved runs
    UpdateStatusBarAt(&now);
    QueueDueRun(&now);
    if (jobActive == 1)
        UpdateTrayIcon();
    else if (runQueue.count > 0)
        TakeNextQueuedRun(window);
    RefreshSizeCells();
    RefreshTaskCells();
    if (jobActive == 1)
        return;
    TriggerUpdateCheck();
    ShowNewVersionNotice(window);
}
