#include "JobControl.h"

#include <winsock2.h>
#include <wininet.h>

#include "ConfigRuntime.h"
#include "ConfigStore.h"
#include "ConfigTable.h"
#include "Clock.h"
#include "GlobalSettings.h"
#include "InternalScheduler.h"
#include "JobShell.h"
#include "JobThread.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "RunQueue.h"
#include "SizeCalculation.h"
#include "resource.h"

int32_t jobActive = 0;
int32_t exitWhenDone = 0;
int32_t restartSizeAfterJob = 0;
int32_t quietJobEnds = 0;

int GetJobThreadPriority(int priority)
{
    switch (priority) {
    case 0:
        return THREAD_PRIORITY_LOWEST;
    case 1:
        return THREAD_PRIORITY_BELOW_NORMAL;
    case 3:
        return THREAD_PRIORITY_ABOVE_NORMAL;
    default:
        return THREAD_PRIORITY_NORMAL;
    }
}

void StartBackupJob(HWND window, int index, int manuallyStarted)
{
    BackupConfig *config = ConfigAt(index);
    if (IsConfigRunning(config))
        return;
    SetCancelRequested(config, 0);
    SetProgressPercent(config, 0);
    SetStatusText(config, "");
    SetManuallyStarted(config, manuallyStarted);
    restartSizeAfterJob = 0;
    if (allSizesThread != nullptr) {
        StopAllConfigSizes();
        restartSizeAfterJob = 1;
    }
    SetSmtpSocket(config, -1);
    SetUploadHandle(config, nullptr);
    SetConfigRunning(config, 1);
    GetLocalNow(&config->lastRunTime);
    config->runCount += 1;
    HANDLE thread = CreateThread(nullptr, 0, RunBackupJob, config, 0, nullptr);
    if (thread == nullptr) {
        ShowMessageBox(window, "ERROR: Could not start backup thread", kProductName, MB_ICONWARNING);
        SetConfigRunning(config, 0);
        jobActive = 0;
        return;
    }
    JobShell &shell = CurrentJobShell();
    UpdateScheduleState();
    shell.UpdateCommandStates();
    shell.RefreshJobCell(index, JobCell::LastRun);
    shell.RefreshJobCell(index, JobCell::LastResult);
    shell.RefreshJobCell(index, JobCell::NextRun);
    shell.RefreshJobCell(index, JobCell::RunCount);
    SetThreadPriority(thread, GetJobThreadPriority(config->priority));
    CloseHandle(thread);
}

static void DispatchWaitingMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void StopBackupJob(int index)
{
    BackupConfig *config = ConfigAt(index);
    if (!IsCancelRequested(config)) {
        SetCancelRequested(config, 1);
        CurrentJobShell().UpdateTrayIcon();
        CurrentJobShell().UpdateStatusBar();
    }
    bool socketClosed = false;
    bool handleClosed = false;
    char text[128];
    while (IsConfigRunning(config)) {
        int socket = socketClosed ? -1 : TakeSmtpSocket(config);
        if (socket != -1) {
            socketClosed = true;
            if (closesocket((SOCKET)socket) != 0) {
                FormatText(text, sizeof(text), "Failed to close socket being used to send email.  Error: %d",
                           WSAGetLastError());
                ShowMessageBox(mainWindow, text, kProductName, MB_OK);
            }
        }
        void *handle = handleClosed ? nullptr : TakeUploadHandle(config);
        if (handle != nullptr) {
            handleClosed = true;
            if (!InternetCloseHandle((HINTERNET)handle)) {
                FormatText(text, sizeof(text), "Failed to close handle being used to upload.  Error: %d",
                           (int)GetLastError());
                ShowMessageBox(mainWindow, text, kProductName, MB_OK);
            }
        }
        DispatchWaitingMessages();
        Sleep(5);
    }
}

static void ShowResultBox(HWND window, const BackupConfig *config)
{
    const char *question = nullptr;
    char text[512];
    switch (config->lastResult) {
    case 1:
        ShowMessageBox(window, "Job Completed Successfully", kProductName, MB_OK);
        return;
    case 2:
        question = "Job Failed.\nFor more details, see the log file.\nWould you like to view the log now?";
        break;
    case 3:
        question = "Job Completed With Warnings.\nFor more details, see the log file.\nWould you like to view the log now?";
        break;
    case 4:
        ShowMessageBox(window, "Job Aborted", kProductName, MB_OK);
        return;
    case 5:
        FormatText(text, sizeof(text),
                   "Failed to open log file for writing.\nMake sure you have write permission to:\n\n%s%d.txt",
                   dataFolder, config->uniqueId);
        ShowMessageBox(window, text, kProductName, MB_ICONWARNING);
        return;
    case 6:
        ShowMessageBox(window,
                       "Job Disabled\n\nIf you would like to run this backup configuration, please edit this "
                       "configuration, and enable it.",
                       kProductName, MB_ICONWARNING);
        return;
    case 7:
        ShowMessageBox(window,
                       "Both Compressed and Uncompressed backups are turned off.\n\nTurn at least one backup type "
                       "on under the 'Advanced' tab in the configuration editor.",
                       kProductName, MB_ICONWARNING);
        return;
    default:
        return;
    }
    if (ShowMessageBox(window, question, kProductName, MB_YESNO | MB_ICONQUESTION) == IDYES)
        PostMessageA(window, WM_COMMAND, IDM_VIEWLOG, 0);
}

void OnJobFinished(HWND window, int id)
{
    int index = FindConfigById(id);
    jobActive = 0;
    JobShell &shell = CurrentJobShell();
    shell.UpdateTrayIcon();
    shell.RebuildJobList(index);
    SaveConfigStore(window);
    if (quietJobEnds)
        return;
    if (restartSizeAfterJob == 1)
        StartAllConfigSizes(window);
    if (index >= 0) {
        const BackupConfig *config = ConfigAt(index);
        if (IsManuallyStarted(config) == 1)
            ShowResultBox(window, config);
        else if (gSettings.autoShowLog != 0 && (config->lastResult == 2 || config->lastResult == 3))
            PostMessageA(window, WM_COMMAND, IDM_VIEWLOG, 0);
    }
    if (runQueue.count == 0 && exitWhenDone == 1) {
        DispatchWaitingMessages();
        PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
    }
}
