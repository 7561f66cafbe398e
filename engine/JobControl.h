// The life of a backup job as the window thread sees it: start, stop and the end-of-job
// message. Only one job runs at a time.
#pragma once
#include <windows.h>
#include <stdint.h>

extern int32_t jobActive;           // 1 from the start of a job until its end was handled
extern int32_t exitWhenDone;        // exit after the last queued job
extern int32_t restartSizeAfterJob; // the start stopped the all-configurations size count
// 1 once the program is ending: a job's end is still recorded and stored, but no result box
// and no log is shown and no size count restarted.
extern int32_t quietJobEnds;

// Thread priority of a job's JobPriority value.
int GetJobThreadPriority(int priority);
// The caller has set jobActive to 1.
void StartBackupJob(HWND window, int index, int manuallyStarted);
// Returns when the job thread has let its record go, also when a stop is already under way.
void StopBackupJob(int index);
// Handles WM_JOBFINISHED for the configuration id.
void OnJobFinished(HWND window, int id);
