// The program's own scheduler: when each configuration runs next, from its internal schedule
// or its Windows task, and which internally scheduled run the timer should queue next.
// Window thread only; it holds no timer and starts nothing.
#pragma once
#include <windows.h>
#include <stdint.h>

// Taken at start; no internal run falls before it. Never after the present: a clock set back
// below it brings it down.
extern SYSTEMTIME programStartTime;
extern int hasNextRun;
extern SYSTEMTIME earliestNextRun;   // valid while hasNextRun is 1
extern int hasNextDue;
extern SYSTEMTIME nextDueTime;       // valid while hasNextDue is 1
extern int32_t nextDueId;

// 1 and the time when the configuration at index has an internal next run.
int ComputeNextInternalRun(int index, SYSTEMTIME *next);
// 1 and the earlier of the internal run and the Windows task's next run (a tie: internal).
int GetConfigNextRun(int index, SYSTEMTIME *next);
// The same; *taskPending is 1 when the configuration's task has not been read yet, and its
// next run is then left out (TaskViews.h).
int FindConfigNextRun(int index, SYSTEMTIME *next, int *taskPending);
void UpdateScheduleState();
// Called with the timer's reading of the clock on every tick. A clock set back (a time
// correction) moves the runs counted from times now ahead of it; returns 1 when it was set
// back and the schedule state was computed again.
int RescheduleIfClockSetBack(const SYSTEMTIME *now);
