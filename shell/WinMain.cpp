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
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        MessageBoxFromResource(nullptr, IDS_COM_INIT_FAILED, MB_ICONERROR);
        return 0;
    }
    // The job list and the scheduler ask the Task Scheduler about every configuration.
    KeepTaskScheduler();
    HWND window = nullptr;
    if (RegisterMainWindowClass(instance))
        window = CreateMainWindow(instance);
    if (window == nullptr) {
        ReleaseTaskScheduler();
        CoUninitialize();
        return 0;
    }
    mainAccelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    bool hidden = FindNoCase(commandLine, "/hidden") != nullptr;
    ShowWindow(window, hidden ? SW_HIDE : showState);
    SendMessageA(window, WM_COMMANDLINE, 0, (LPARAM)commandLine);
    int exitCode = RunMessageLoop(window);
    ReleaseTaskScheduler();
    CoUninitialize();
    return exitCode;
}
