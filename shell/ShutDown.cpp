// The orderly end of the program. Nothing may start once the end has begun: timer 1 goes and
// the queue is emptied before the jobs are stopped. Stopping a job dispatches messages, and a
// job's end restarts the size count, so the size threads are stopped once more afterwards.
// The table goes last, when no thread can point into it.
//
// A dialog, a message box or a job's stop may still be running below the message that ends
// the program (the window procedure is then entered more than once). An Exit waits until they
// have returned; the end of the Windows session cannot wait, so it stops the jobs and saves at
// once, and the window and the table go when the handlers below have returned (they write
// nothing once the end has begun).
#include "MainWindow.h"

#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "JobControl.h"
#include "JobList.h"
#include "Toolbar.h"
#include "RunQueue.h"
#include "ShellJobShell.h"
#include "ShellState.h"
#include "SizeCalculation.h"
#include "TaskViews.h"
#include "TrayAndStatus.h"
#include "resource.h"

static ShutDownStepObserver stepObserver = nullptr;
static bool exitWaiting = false;     // an Exit came while a handler ran below it
static bool teardownWaiting = false; // the end began under a handler: window and table still here

void SetShutDownStepObserver(ShutDownStepObserver observer)
{
    stepObserver = observer;
}

static void NoteStep(const char *step)
{
    if (stepObserver != nullptr)
        stepObserver(step);
}

static void StopQueuedStarts(HWND window)
{
    KillTimer(window, kMainTimerId);
    KillTimer(window, kTrayRetryTimerId);
    // What the task reader reads is shown by the timer; it ends with it.
    StopTaskViews();
    FreeRunQueue();
    exitWhenDone = 0;
    quietJobEnds = 1;
    NoteStep("timer and queue");
}

static void StopSizeThreads()
{
    StopAllConfigSizes();
    StopEditedConfigSize();
    NoteStep("sizes");
}

// The job thread posts its end just after it lets the record go; that message still has to
// be handled, so the result is stored, before the window goes.
static void HandleJobEnds(HWND window)
{
    for (int waited = 0; jobActive == 1 && waited < 3000; waited += 10) {
        MSG message;
        if (PeekMessageA(&message, window, WM_JOBFINISHED, WM_JOBFINISHED, PM_REMOVE))
            DispatchMessageA(&message);
        else
            Sleep(10);
    }
}

static void StopRunningJobs(HWND window)
{
    bool stopped = false;
    for (int i = 0; i < configTable.configCount; ++i) {
        if (IsConfigRunning(ConfigAt(i))) {
            StopBackupJob(i);
            stopped = true;
        }
    }
    if (stopped)
        HandleJobEnds(window);
    NoteStep("jobs");
}

static void ReleaseListFont()
{
    if (listFontHandle == nullptr)
        return;
    if (jobListWindow != nullptr)
        SendMessageA(jobListWindow, WM_SETFONT, 0, 0);
    DeleteObject(listFontHandle);
    listFontHandle = nullptr;
}

static void DestroyWindowAndChildren(HWND window)
{
    DestroyJobListImageLists();
    DestroyToolbar();
    RemoveTrayIcon(window);
    NoteStep("tray icon");
    SetMenu(window, nullptr);
    if (mainMenu != nullptr)
        DestroyMenu(mainMenu);
    mainMenu = nullptr;
    RemoveShellJobShell();
    RemoveShellDialogShell();
    DestroyWindow(window);
    jobListWindow = nullptr;
    statusBarWindow = nullptr;
    NoteStep("window");
}

static void FreeConfigurations()
{
    // Nothing should have started a size count since the jobs were stopped; the table goes
    // only when surely no thread reads it.
    StopAllConfigSizes();
    StopEditedConfigSize();
    ClearConfigTable();
    ClearTaskViews();
    NoteStep("table");
}

// What must not be lost: the jobs' ends recorded and the settings saved.
static void StopEverything(HWND window)
{
    StopQueuedStarts(window);
    StopSizeThreads();
    StopRunningJobs(window);
    StopSizeThreads();
    ReleaseListFont();
    SaveGlobalSettings();
    NoteStep("settings");
}

static void TearDown(HWND window)
{
    teardownWaiting = false;
    DestroyWindowAndChildren(window);
    if (singleInstanceMutex != nullptr)
        CloseHandle(singleInstanceMutex);
    singleInstanceMutex = nullptr;
    FreeConfigurations();
    mainWindow = nullptr;
}

void ShutDownMainWindow(HWND window)
{
    if (!shutDownDone) {
        shutDownDone = 1;
        exitWaiting = false;
        StopEverything(window);
        teardownWaiting = true;
    }
    if (teardownWaiting && mainHandlerDepth <= 1)
        TearDown(window);
}

void WaitWithExit(HWND window)
{
    exitWaiting = true;
    // Show the user what holds the exit.
    HWND popup = GetLastActivePopup(window);
    if (popup != nullptr && popup != window)
        SetForegroundWindow(popup);
}

void OnMainHandlersReturned(HWND window)
{
    if (teardownWaiting) {
        ShutDownMainWindow(window);
    } else if (exitWaiting) {
        exitWaiting = false;
        PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
    }
}
