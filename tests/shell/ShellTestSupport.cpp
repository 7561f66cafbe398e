#include "ShellTestSupport.h"

#include <commctrl.h>

#include "Clock.h"
#include "ConfigStore.h"
#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "JobControl.h"
#include "JobList.h"
#include "MainWindow.h"
#include "MsvcrtFormat.h"
#include "ShellState.h"
#include "SizeCalculation.h"
#include "resource.h"

std::vector<UINT> JobListTest::commands;
std::vector<UINT> JobListTest::columnsDragged;
std::vector<UINT> JobListTest::menusShown;

HRESULT FakeTaskScheduler::LoadTask(CTask &task, const char *taskName, int *found)
{
    if (loadGate != nullptr)
        WaitForSingleObject(loadGate, INFINITE);
    auto entry = tasks.find(taskName);
    if (entry == tasks.end())
        return S_OK;
    if (FAILED(entry->second.loadResult))
        return entry->second.loadResult;
    *found = 1;
    lstrcpynA(task.triggerText, entry->second.triggerText.c_str(), sizeof(task.triggerText));
    return S_OK;
}

HRESULT FakeTaskScheduler::GetNextRunTime(const char *taskName, SYSTEMTIME *next, int *found)
{
    *found = 0;
    auto entry = tasks.find(taskName);
    if (entry != tasks.end() && entry->second.hasNextRun) {
        *next = entry->second.nextRun;
        *found = 1;
    }
    return S_OK;
}

namespace {

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NOTIFY:
        return OnMainWindowNotify(window, (NMHDR *)lParam);
    case WM_COMMAND:
        // Menu and accelerator commands; control notifications carry their window.
        if (lParam == 0)
            JobListTest::commands.push_back(LOWORD(wParam));
        return 0;
    case WM_COLUMNSDRAGGED:
        JobListTest::columnsDragged.push_back(message);
        return 0;
    case WM_CONTEXTMENU:
        return MainWindowProc(window, message, wParam, lParam);
    case WM_INITMENUPOPUP:
        // A popup menu opened for this window: note its first command and close it again.
        JobListTest::menusShown.push_back(GetMenuItemID((HMENU)wParam, 0));
        EndMenu();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const char kParentClass[] = "VelloranShellTestParent";

}  // namespace

void JobListTest::SetUp()
{
    static bool registered = false;
    programInstance = GetModuleHandleA(nullptr);
    if (!registered) {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = ParentProc;
        windowClass.hInstance = programInstance;
        windowClass.lpszClassName = kParentClass;
        ASSERT_NE(RegisterClassA(&windowClass), 0);
        registered = true;
    }
    SYSTEMTIME now = {2026, 3, 2, 10, 10, 0, 0, 0};
    SetClockForTesting(&now);
    previousScheduler = SetTaskSchedulerService(&scheduler);
    ResetGlobalSettings();
    jobActive = 0;
    commands.clear();
    columnsDragged.clear();
    menusShown.clear();

    lstrcpynA(dataFolder, folder.path.c_str(), sizeof(dataFolder));
    FormatText(storePath, sizeof(storePath), "%sconfigs.vlr", dataFolder);

    parent = CreateWindowExA(0, kParentClass, "parent", WS_OVERLAPPEDWINDOW, 0, 0, 1000, 400, nullptr, nullptr,
                             programInstance, nullptr);
    ASSERT_NE(parent, nullptr);
    mainWindow = parent;
    list = CreateJobList(parent);
    ASSERT_NE(list, nullptr);
    jobListWindow = list;
    MoveWindow(list, 0, 0, 1000, 360, FALSE);
    ShowWindow(parent, SW_SHOWNOACTIVATE);
    ASSERT_EQ(CreateJobListImageList(), 1);
    ASSERT_EQ(SetUpJobListColumns(), 1);
}

void JobListTest::TearDown()
{
    DestroyJobListImageLists();
    if (parent != nullptr)
        DestroyWindow(parent);
    if (listFontHandle != nullptr)
        DeleteObject(listFontHandle);
    listFontHandle = nullptr;
    jobListWindow = nullptr;
    mainWindow = nullptr;
    mainMenu = nullptr;
    // A copy or a delete starts the background size count; it reads the records being freed.
    StopAllConfigSizes();
    ClearConfigTable();
    SetTaskSchedulerService(previousScheduler);
    SetClockForTesting(nullptr);
    jobActive = 0;
}

int JobListTest::AddConfig(const char *description)
{
    BackupConfig config;
    ZeroMemory(&config, sizeof(config));
    lstrcpynA(config.description, description, sizeof(config.description));
    lstrcpyA(config.destination, "D:\\Backups\\");
    config.flags = Enabled | Uncompressed;
    config.uniqueId = ++configTable.lastUniqueId;
    config.priority = (int32_t)JobPriority::Normal;
    config.splitUnit = (int32_t)SplitUnit::MB;
    config.dateFilterFlags = AlwaysAll;
    config.scheduleKind = (int32_t)ScheduleKind::None;
    config.dateCreated = {2024, 1, 1, 1, 8, 0, 0, 0};
    config.dateModified = config.dateCreated;
    config.lastResult = (int32_t)JobResult::None;
    config.smtpSocket = -1;
    EXPECT_EQ(AppendConfig(&config), 1);
    return configTable.configCount - 1;
}

BackupConfig *JobListTest::Config(int index)
{
    return ConfigAt(index);
}

void JobListTest::ReloadColumns()
{
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    ASSERT_EQ(SetUpJobListColumns(), 1);
    ASSERT_EQ(RebuildJobList(-1), 1);
}

std::vector<std::string> JobListTest::HeaderTitles()
{
    std::vector<std::string> titles;
    HWND header = (HWND)SendMessageA(list, LVM_GETHEADER, 0, 0);
    int count = (int)SendMessageA(header, HDM_GETITEMCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
        char text[64] = "";
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT;
        column.pszText = text;
        column.cchTextMax = sizeof(text);
        SendMessageA(list, LVM_GETCOLUMNA, (WPARAM)i, (LPARAM)&column);
        titles.push_back(text);
    }
    return titles;
}

std::string JobListTest::CellText(int row, int subitem)
{
    char text[600] = "";
    LVITEMA item = {};
    item.iSubItem = subitem;
    item.pszText = text;
    item.cchTextMax = sizeof(text);
    SendMessageA(list, LVM_GETITEMTEXTA, (WPARAM)row, (LPARAM)&item);
    return text;
}

std::vector<int> JobListTest::RowOrder()
{
    std::vector<int> order;
    int count = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    for (int row = 0; row < count; ++row)
        order.push_back(GetJobIndexOfRow(row));
    return order;
}

LRESULT JobListTest::Notify(NMHDR *header, UINT code)
{
    header->hwndFrom = list;
    header->idFrom = IDC_MAIN_JOBLIST;
    header->code = code;
    return SendMessageA(parent, WM_NOTIFY, IDC_MAIN_JOBLIST, (LPARAM)header);
}

void JobListTest::PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void JobListTest::SelectConfig(int index)
{
    LVITEMA none = {};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&none);
    LVFINDINFOA find = {};
    find.flags = LVFI_PARAM;
    find.lParam = index;
    int row = (int)SendMessageA(list, LVM_FINDITEMA, (WPARAM)-1, (LPARAM)&find);
    if (index < 0 || row < 0)
        return;
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)&item);
}

bool JobListTest::StoreExists()
{
    return GetFileAttributesA(storePath) != INVALID_FILE_ATTRIBUTES;
}
