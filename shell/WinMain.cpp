// Program entry point of Korrin.exe.
#include <windows.h>
#include <objbase.h>

#include "CrashHandlers.h"
#include "ErrorReport.h"
#include "MainWindow.h"
#include "MessageLoop.h"
#include "ScheduledTask.h"
#include "ShellState.h"
#include "SingleInstance.h"
#include "StartupFailure.h"
#include "TaskViews.h"
#include "TextHelpers.h"
#include "resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showState)
{
    InstallFaultHandlers();
    programInstance = instance;
    if (commandLine == nullptr)
        commandLine = (LPSTR) "";

    HWND other = nullptr;
    if (!EnsureSingleInstance(commandLine, &other)) {
        HandOverCommandLine(other, commandLine);
        return 0;
    }
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(com)) {
        MessageBoxFromResource(nullptr, IDS_COM_INIT_FAILED, MB_ICONERROR);
        NoteStartupFailure("Error Initializing COM", (DWORD)com, true);
        return ReportStartupFailure();
    }
    // The job list and the scheduler ask the Task Scheduler about every configuration.
    KeepTaskScheduler();
    HWND window = nullptr;
    if (!RegisterMainWindowClass(instance)) {
        NoteStartupFailure("Cannot register the main window's class", GetLastError(), false);
    } else {
        window = CreateMainWindow(instance);
        if (window == nullptr && !StartupFailed())
            NoteStartupFailure("Cannot create the main window", GetLastError(), false);
    }
    if (window == nullptr) {
        StopTaskViews();
        ReleaseTaskScheduler();
        CoUninitialize();
        return ReportStartupFailure();
    }
    mainAccelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    bool hidden = FindNoCase(commandLine, "/hidden") != nullptr;
    ShowWindow(window, hidden ? SW_HIDE : showState);
    SendMessageA(window, WM_COMMANDLINE, 0, (LPARAM)commandLine);
    int exitCode = RunMessageLoop(window);
    // However the loop ended (a creation step that failed skips the shut-down), the task readers
    // end before the program leaves COM.
    StopTaskViews();
    ReleaseTaskScheduler();
    CoUninitialize();
    // A failed creation step ends the loop at its first message.
    if (StartupFailed())
        return ReportStartupFailure();
    return exitCode;
}
