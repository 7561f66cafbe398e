// Creating the main window: settings, children, placement, the store, sizes, next runs,
// timer 1 and the tray icon.
#include "MainWindow.h"

#include <commctrl.h>

#include "Clock.h"
#include "ColumnChooser.h"
#include "ConfigRuntime.h"
#include "ConfigStore.h"
#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "InternalScheduler.h"
#include "JobList.h"
#include "RemoteJobSteps.h"
#include "ScheduledTask.h"
#include "Toolbar.h"
#include "ShellJobShell.h"
#include "ShellState.h"
#include "SizeCalculation.h"
#include "StartupFailure.h"
#include "TaskViews.h"
#include "TrayAndStatus.h"

void ClampRectToScreen(int *x, int *y)
{
    int vx = GetSystemMetrics(SM_XVIRTUALSCREEN);
    int vy = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int cx = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    int cy = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    int cap = GetSystemMetrics(SM_CYCAPTION);
    if (*y > vy + cy - 5 * cap)
        *y = vy + cy - 5 * cap;
    if (*y < vy)
        *y = vy;
    int &width = gSettings.sizeX;
    int &height = gSettings.sizeY;
    if (width > 2 * cx)
        width = 2 * cx;
    if (width < 3 * cap)
        width = 3 * cap;
    if (height > 2 * cy)
        height = 2 * cy;
    if (height < 3 * cap)
        height = 3 * cap;
    if (*x < vx + 5 * cap - width)
        *x = vx + 5 * cap - width;
    if (*x > vx + cx - 5 * cap)
        *x = vx + cx - 5 * cap;
}

static bool HasSavedPlacement()
{
    const GlobalSettings &s = gSettings;
    return s.sizeX != -1 && s.sizeY != -1 && s.positionX != -1 && s.positionY != -1;
}

// The first placement: as wide as the columns need (or the work area), half as high as wide,
// centred on the desktop.
static void ComputeFirstPlacement(int *x, int *y)
{
    RECT work;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0))
        SetRect(&work, 0, 0, 800, 600);
    int workWidth = work.right - work.left;
    int workHeight = work.bottom - work.top;
    int wanted = GetJobListTotalWidth() + 3 * GetSystemMetrics(SM_CXFRAME);
    int width = workWidth >= wanted ? wanted : workWidth;
    int height = workHeight < width / 2 ? workHeight : width / 2;
    RECT desktop;
    GetClientRect(GetDesktopWindow(), &desktop);
    MapWindowPoints(GetDesktopWindow(), nullptr, (POINT *)&desktop, 2);
    *x = desktop.left + (desktop.right - desktop.left - width) / 2;
    *y = desktop.top + (desktop.bottom - desktop.top - height) / 2;
    if (*x < 0)
        *x = 0;
    if (*y < 0)
        *y = 0;
    gSettings.sizeX = width;
    gSettings.sizeY = height;
}

static void ResetRunTimeFields()
{
    for (int i = 0; i < configTable.configCount; ++i) {
        BackupConfig *config = ConfigAt(i);
        SetConfigRunning(config, 0);
        SetSmtpSocket(config, -1);
        SetUploadHandle(config, nullptr);
    }
}

static void MarkSourcesUnmeasured()
{
    for (int i = 0; i < configTable.configCount; ++i) {
        BackupConfig *config = ConfigAt(i);
        for (int s = 0; s < config->sourceCount; ++s)
            config->sources[s].sizeKnown = 0;
    }
}

static int CreateChildren(HWND window)
{
    INITCOMMONCONTROLSEX controls;
    ZeroMemory(&controls, sizeof(controls));
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_DATE_CLASSES | ICC_COOL_CLASSES;
    InitCommonControlsEx(&controls);
    if (!CreateToolbar(window))
        return 0;
    jobListWindow = CreateJobList(window);
    if (jobListWindow == nullptr)
        return 0;
    statusBarWindow = CreateStatusBar(window);
    if (statusBarWindow == nullptr)
        return 0;
    if (!CreateJobListImageList() || !SetUpJobListColumns())
        return 0;
    InstallListHeaderSubclass(jobListWindow);
    return 1;
}

static void PlaceWindow(HWND window, int *x, int *y)
{
    if (HasSavedPlacement()) {
        *x = gSettings.positionX;
        *y = gSettings.positionY;
    } else {
        ComputeFirstPlacement(x, y);
    }
    ClampRectToScreen(x, y);
    RECT client;
    GetClientRect(window, &client);
    clientWidth = client.right;
    clientHeight = client.bottom;
    ShowWindow(jobListWindow, SW_SHOW);
}

static int FailCreation(const char *what, DWORD error, bool told)
{
    NoteStartupFailure(what, error, told);
    return 0;
}

int OnMainWindowCreate(HWND window)
{
    mainWindow = window;
    SetMainWindowTitle(window);
    InstallShellJobShell();
    InstallShellDialogShell();
    InstallRemoteJobSteps();
    LoadGlobalSettings();
    GetLocalNow(&programStartTime);
    updateCheckBase = GetCalendarSeconds();
    if (!CreateChildren(window))
        return FailCreation("Cannot create the main window's toolbar, job list or status bar", GetLastError(), false);
    int x = 0, y = 0;
    PlaceWindow(window, &x, &y);
    // The store has told the user why it could not be loaded (or the user declined to replace it).
    if (!LoadConfigStore(window))
        return FailCreation("The configuration data file was not loaded", 0, true);
    MarkSourcesUnmeasured();
    StartAllConfigSizes(window);
    ResetRunTimeFields();
    // The tasks are read behind the window, which shows them as they come (the timer); should
    // the reader not start, the next runs and the list ask about the same tasks.
    StartTaskViews();
    TaskBatch tasks;
    UpdateScheduleState();
    InitMenuHelp();
    if (SetTimer(window, kMainTimerId, 1000, nullptr) == 0)
        return FailCreation("Cannot start the main window's timer", GetLastError(), false);
    MoveWindow(window, x, y, gSettings.sizeX, gSettings.sizeY, FALSE);
    if (!RebuildJobList(-1))
        return FailCreation("Cannot fill the job list", GetLastError(), false);
    AddTrayIcon(window);
    return 1;
}
