// What the job engine asks of the program's window: refreshing the job list, the commands, the
// tray icon and the status bar, and hearing that a job has ended. The program installs its own
// shell; without one every call does nothing except the end-of-job message, which is posted
// to the main window when there is one.
#pragma once
#include <windows.h>

// Job-list columns the engine refreshes.
enum class JobCell { LastRun, LastResult, NextRun, RunCount, Size };

struct JobShell {
    virtual ~JobShell() = default;
    virtual void UpdateCommandStates() {}
    virtual void RefreshJobCell(int /*index*/, JobCell /*cell*/) {}
    virtual void RebuildJobList(int /*index*/) {}
    virtual void UpdateTrayIcon() {}
    virtual void UpdateStatusBar() {}
    // Called on the job thread after the record has been let go.
    virtual void NotifyJobFinished(int uniqueId);
};

// NULL puts the default shell back.
void SetJobShell(JobShell *shell);
JobShell &CurrentJobShell();
