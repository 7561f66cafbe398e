// Page "Schedule" of the configuration editor (dialog 423): manual runs, the program's own
// scheduler, or a Windows scheduled task that starts the program for this configuration. The
// task is saved or deleted by the page's apply, and only when something on the page changed.
#pragma once
#include <windows.h>
#include <stddef.h>

INT_PTR CALLBACK SchedulePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// What the page's controls hold when it applies.
struct ScheduleFields {
    int mode;               // ScheduleKind: 1 Every, 2 Daily on, 0 Manually Start Backup
    bool windowsScheduler;  // "Use Windows Task Scheduler:" rather than the internal one
    const char *everyDays;  // the N box
    int dayMask;            // the weekday boxes, bit 0 Sunday
    WORD hour, minute;      // the time picker of the mode
    const char *account, *password, *confirm;
};

// The page's apply on the working copy: its checks, the schedule fields, and the task saved
// or deleted. 0 when applied; else the id of the control to focus (-1: none) with the message
// in `text` (messages on the way, such as the system's text of a failure, are shown to
// `owner` here).
int ApplySchedule(HWND owner, const ScheduleFields &fields, char *text, size_t textSize);
