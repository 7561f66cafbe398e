#include "BarsTestSupport.h"

#include <commctrl.h>

#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "InternalScheduler.h"
#include "JobControl.h"
#include "MainWindow.h"
#include "ShellState.h"
#include "SizeCalculation.h"
#include "Toolbar.h"
#include "TrayAndStatus.h"
#include "resource.h"

namespace {

const char kTestWindowClass[] = "VelloranBarsTest";

// The window is created with DefWindowProc and then runs the main window's procedure, so its
// creation does not load the whole program.
HWND CreateTestWindow()
{
    static ATOM registered = 0;
    if (registered == 0) {
        WNDCLASSA windowClass;
        ZeroMemory(&windowClass, sizeof(windowClass));
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kTestWindowClass;
        registered = RegisterClassA(&windowClass);
    }
    HWND window = CreateWindowExA(0, kTestWindowClass, "Velloran", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800,
                                  500, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window != nullptr)
        SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)MainWindowProc);
    return window;
}

}  // namespace

void BarsTest::SetUp()
{
    programInstance = GetModuleHandleA(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_COOL_CLASSES};
    InitCommonControlsEx(&controls);
    window = CreateTestWindow();
    ASSERT_NE(window, nullptr);
    mainWindow = window;
    gSettings.buttonSize = 0;
    jobActive = 0;
    hasNextRun = 0;
    hasNextDue = 0;
    shutDownDone = 0;
}

void BarsTest::TearDown()
{
    SetTrayNotifyForTesting(nullptr);
    DestroyToolbar();
    if (window != nullptr && IsWindow(window)) {
        SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)DefWindowProcA);
        DestroyWindow(window);
    }
    window = nullptr;
    mainWindow = nullptr;
    jobListWindow = nullptr;
    statusBarWindow = nullptr;
    if (mainMenu != nullptr)
        DestroyMenu(mainMenu);
    mainMenu = nullptr;
    for (int i = 0; i < configTable.configCount; ++i)
        SetConfigRunning(ConfigAt(i), 0);
    // The end of a job may have started the background size count, which reads the records.
    StopAllConfigSizes();
    ClearConfigTable();
    jobActive = 0;
    hasNextRun = 0;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
}

int BarsTest::AddConfig(const char *description)
{
    BackupConfig config;
    ZeroMemory(&config, sizeof(config));
    lstrcpynA(config.description, description, sizeof(config.description));
    config.uniqueId = ++configTable.lastUniqueId;
    config.flags = Enabled;
    EXPECT_TRUE(AppendConfig(&config));
    return configTable.configCount - 1;
}

void BarsTest::MakeJobList(int selectedIndex)
{
    jobListWindow = CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL, 0, 40,
                                    600, 300, window, (HMENU)(INT_PTR)IDC_MAIN_JOBLIST, programInstance, nullptr);
    ASSERT_NE(jobListWindow, nullptr);
    LVCOLUMNA column;
    ZeroMemory(&column, sizeof(column));
    column.mask = LVCF_WIDTH;
    column.cx = 200;
    SendMessageA(jobListWindow, LVM_INSERTCOLUMNA, 0, (LPARAM)&column);
    for (int i = 0; i < configTable.configCount; ++i) {
        LVITEMA item;
        ZeroMemory(&item, sizeof(item));
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = i;
        item.pszText = ConfigAt(i)->description;
        item.lParam = i;
        SendMessageA(jobListWindow, LVM_INSERTITEMA, 0, (LPARAM)&item);
    }
    if (selectedIndex >= 0) {
        LVITEMA state;
        ZeroMemory(&state, sizeof(state));
        state.stateMask = LVIS_SELECTED;
        state.state = LVIS_SELECTED;
        SendMessageA(jobListWindow, LVM_SETITEMSTATE, selectedIndex, (LPARAM)&state);
    }
}

void BarsTest::PumpMessages(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        Sleep(5);
    }
}

std::string BarsTest::StatusPartText(int part)
{
    char text[512] = "";
    SendMessageA(statusBarWindow, SB_GETTEXTA, part, (LPARAM)text);
    return text;
}
