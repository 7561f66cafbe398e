#include "EditorTestSupport.h"

#include <commctrl.h>
#include <prsht.h>
#include <string.h>

#include <thread>

#include "ConfigEditor.h"
#include "ConfigStore.h"
#include "ConfigTable.h"
#include "FileChoosers.h"
#include "GlobalSettings.h"
#include "HelpAccess.h"
#include "MessageBoxSeam.h"
#include "SizeCalculation.h"
#include "resource.h"

namespace {

SharedBoxRecorder *currentBoxes = nullptr;

int RecordSharedBox(HWND, const char *text, const char *, UINT type)
{
    std::lock_guard<std::mutex> hold(currentBoxes->lock);
    currentBoxes->texts.push_back(text != nullptr ? text : "");
    currentBoxes->types.push_back(type);
    if (!currentBoxes->answers.empty()) {
        int answer = currentBoxes->answers.front();
        currentBoxes->answers.erase(currentBoxes->answers.begin());
        return answer;
    }
    return currentBoxes->answer;
}

const char kSheetTitle[] = "Backup Configuration Properties";
DWORD windowThread = 0;

HMODULE LoadHelpDouble(const char *path)
{
    helpLoadRequests.push_back(path);
    return LoadLibraryA(HelpDoublePath().c_str());
}

BOOL WINAPI FakeGetOpenFileName(OPENFILENAMEA *request)
{
    FakeCommonDialogs &fake = *fakeDialogs;
    ++fake.openCalls;
    fake.lastOpen = *request;
    fake.lastOpenTitle = request->lpstrTitle != nullptr ? request->lpstrTitle : "";
    fake.lastOpenInitialFolder = request->lpstrInitialDir != nullptr ? request->lpstrInitialDir : "";
    fake.lastOpenFilter.clear();
    for (const char *p = request->lpstrFilter; p != nullptr && *p != '\0'; p += strlen(p) + 1)
        fake.lastOpenFilter += std::string(p) + "|";
    if (!fake.chosen)
        return FALSE;
    memcpy(request->lpstrFile, fake.files.data(), fake.files.size());
    request->lpstrFile[fake.files.size()] = '\0';
    if (request->lpstrFileTitle != nullptr)
        lstrcpynA(request->lpstrFileTitle, fake.fileTitle.c_str(), (int)request->nMaxFileTitle);
    request->nFileOffset = fake.fileOffset;
    return TRUE;
}

PIDLIST_ABSOLUTE WINAPI FakeBrowseForFolder(BROWSEINFOA *request)
{
    FakeCommonDialogs &fake = *fakeDialogs;
    ++fake.browseCalls;
    fake.lastBrowse = *request;
    fake.lastBrowseTitle = request->lpszTitle != nullptr ? request->lpszTitle : "";
    if (fake.folder.empty())
        return nullptr;
    PIDLIST_ABSOLUTE items = nullptr;
    if (fake.folder == "printers") {
        SHGetSpecialFolderLocation(nullptr, CSIDL_PRINTERS, &items);
        return items;
    }
    std::wstring wide = Widen(fake.folder);
    SHParseDisplayName(wide.c_str(), nullptr, &items, 0, nullptr);
    return items;
}

BOOL WINAPI FakeGetPathFromIdList(PCIDLIST_ABSOLUTE items, char *path)
{
    if (fakeDialogs->pathFails)
        return FALSE;
    return SHGetPathFromIDListA(items, path);
}

}  // namespace

std::vector<std::string> helpLoadRequests;
FakeCommonDialogs *fakeDialogs = nullptr;

SharedBoxRecorder::SharedBoxRecorder(int answer) : answer(answer)
{
    currentBoxes = this;
    SetMessageBoxHandler(RecordSharedBox);
}

SharedBoxRecorder::~SharedBoxRecorder()
{
    SetMessageBoxHandler(nullptr);
    currentBoxes = nullptr;
}

std::vector<std::string> SharedBoxRecorder::Texts()
{
    std::lock_guard<std::mutex> hold(lock);
    return texts;
}

std::vector<UINT> SharedBoxRecorder::Types()
{
    std::lock_guard<std::mutex> hold(lock);
    return types;
}

size_t SharedBoxRecorder::Count()
{
    std::lock_guard<std::mutex> hold(lock);
    return texts.size();
}

std::string HelpDoublePath()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    *(strrchr(path, '\\') + 1) = '\0';
    return std::string(path) + "hhctrl_double.dll";
}

std::vector<std::string> HelpCalls()
{
    HMODULE double_ = GetModuleHandleA(HelpDoublePath().c_str());
    if (double_ == nullptr)
        return {};
    typedef int(WINAPI * Reader)(char *, int);
    Reader read = (Reader)(void *)GetProcAddress(double_, "ReadHelpCalls");
    std::string text(read(nullptr, 0) + 1, '\0');
    read(&text[0], (int)text.size());
    text.resize(text.size() - 1);
    return SplitLines(text);
}

void ClearHelpCalls()
{
    HMODULE double_ = GetModuleHandleA(HelpDoublePath().c_str());
    if (double_ == nullptr)
        return;
    typedef void(WINAPI * Clearer)();
    ((Clearer)(void *)GetProcAddress(double_, "ClearHelpCalls"))();
}

void SendControlHelp(HWND dialog, int controlId)
{
    HELPINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.iContextType = HELPINFO_WINDOW;
    info.iCtrlId = controlId;
    info.hItemHandle = GetDlgItem(dialog, controlId);
    SendMessageA(dialog, WM_HELP, 0, (LPARAM)&info);
}

void UseHelpDouble()
{
    helpLoadRequests.clear();
    ResetHtmlHelpForTesting();
    SetHelpLibraryLoaderForTesting(LoadHelpDouble);
    ClearHelpCalls();
}

HWND FindEditorSheet()
{
    HWND sheet = FindWindowA("#32770", kSheetTitle);
    return sheet != nullptr && IsWindowVisible(sheet) ? sheet : nullptr;
}

HWND CurrentPage(HWND sheet)
{
    return (HWND)SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0);
}

int RunEditor(int index, const std::function<void(HWND, HWND)> &drive)
{
    windowThread = GetCurrentThreadId();
    std::thread driver([&drive] {
        HWND sheet = nullptr;
        WaitUntil([&] { return (sheet = FindEditorSheet()) != nullptr; });
        if (sheet == nullptr)
            return;
        // The page's own start posts a few messages; let them be handled first.
        HWND page = CurrentPage(sheet);
        WaitUntil([&] { return !ControlText(page, 1030).empty() && ControlText(page, 1030) != "Size: calculating..."; },
                  2000);
        drive(sheet, page);
        while (IsWindow(sheet)) {
            PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
            Sleep(50);
        }
    });
    int result = EditBackupConfig(nullptr, index);
    driver.join();
    return result;
}

void PressSheetButton(HWND sheet, int button)
{
    SendMessageA(sheet, PSM_PRESSBUTTON, (WPARAM)button, 0);
}

void Click(HWND dialog, int id)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

void ClickButton(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    // The click posts a refresh of the enabled controls; a sent one is done on return.
    SendMessageA(dialog, WM_REFRESHSTATES, 0, 0);
}

bool IsChecked(HWND dialog, int id)
{
    return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool IsEnabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

HWND ShowPage(HWND sheet, int index)
{
    SendMessageA(sheet, PSM_SETCURSEL, (WPARAM)index, 0);
    HWND page = CurrentPage(sheet);
    // The page's start posts its refresh of the enabled controls; a sent one is done on return.
    SendMessageA(page, WM_REFRESHSTATES, 0, 0);
    return page;
}

void SetControlText(HWND dialog, int id, const std::string &text)
{
    SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, (LPARAM)text.c_str());
}

HWND FocusOfWindowThread()
{
    GUITHREADINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(windowThread, &info))
        return nullptr;
    return info.hwndFocus;
}

bool ApplyEnabled(HWND sheet)
{
    const int kApplyButton = 0x3021;
    return IsWindowEnabled(GetDlgItem(sheet, kApplyButton)) != FALSE;
}

std::vector<std::string> ListEntries(HWND list)
{
    std::vector<std::string> entries;
    int count = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
        char text[1100] = "";
        SendMessageA(list, LB_GETTEXT, (WPARAM)i, (LPARAM)text);
        entries.push_back(text);
    }
    return entries;
}

FakeCommonDialogs::FakeCommonDialogs()
{
    fakeDialogs = this;
    static const CommonDialogApi api = {FakeGetOpenFileName, FakeBrowseForFolder, FakeGetPathFromIdList};
    SetCommonDialogApiForTesting(&api);
}

FakeCommonDialogs::~FakeCommonDialogs()
{
    SetCommonDialogApiForTesting(nullptr);
    fakeDialogs = nullptr;
}

void EditorTest::SetUpTestSuite()
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
}

HRESULT FakeTaskScheduler::SaveTask(const CTask &task, const char *taskName)
{
    calls.push_back(std::string("save ") + taskName);
    HRESULT result = S_OK;
    if (!saveResults.empty()) {
        result = saveResults.front();
        saveResults.erase(saveResults.begin());
    }
    if (SUCCEEDED(result))
        tasks[taskName] = task;
    return result;
}

HRESULT FakeTaskScheduler::LoadTask(CTask &task, const char *taskName, int *found)
{
    if (FAILED(loadResult))
        return loadResult;
    auto stored = tasks.find(taskName);
    if (stored == tasks.end())
        return S_OK;
    int runAsAccount = task.runAsAccount;
    task = stored->second;
    task.runAsAccount = runAsAccount;
    task.password[0] = '\0';  // never read back
    *found = 1;
    return S_OK;
}

HRESULT FakeTaskScheduler::GetNextRunTime(const char *taskName, SYSTEMTIME *next, int *found)
{
    auto stored = tasks.find(taskName);
    if (stored != tasks.end()) {
        *next = stored->second.startTime;
        *found = 1;
    }
    return S_OK;
}

HRESULT FakeTaskScheduler::DeleteTask(const wchar_t *taskName)
{
    std::string name = Narrow(taskName);
    calls.push_back("delete " + name);
    return tasks.erase(name) > 0 ? S_OK : HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

void EditorTest::SetUp()
{
    env = new JobTestEnvironment();
    UseHelpDouble();
    previousScheduler = SetTaskSchedulerService(&scheduler);
}

void EditorTest::TearDown()
{
    SetTaskSchedulerService(previousScheduler);
    StopEditedConfigSize();
    StopAllConfigSizes();
    SetHelpLibraryLoaderForTesting(nullptr);
    ResetHtmlHelpForTesting();
    delete env;
    env = nullptr;
}

int EditorTest::AddConfig(const std::string &description, const std::vector<std::string> &sources,
                          const std::string &destination)
{
    return env->AddConfig(description, destination, sources, Enabled | Uncompressed);
}

bool EditorTest::StoreExists()
{
    return GetFileAttributesA(storePath) != INVALID_FILE_ATTRIBUTES;
}

bool EditorTest::ReloadStore()
{
    ClearConfigTable();
    configTable.lastUniqueId = 0;
    return LoadConfigStore(nullptr) == 1;
}

static bool Inside(const RECT &inner, const RECT &outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

static std::string Describe(const RECT &r)
{
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" + std::to_string(r.right) + "," +
           std::to_string(r.bottom) + ")";
}

std::vector<std::string> ControlsOutside(HWND sheet, HWND page)
{
    RECT client;
    GetClientRect(page, &client);
    MapWindowPoints(page, nullptr, (POINT *)&client, 2);
    HWND tab = (HWND)SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0);
    RECT shown;
    GetClientRect(tab, &shown);
    SendMessageA(tab, TCM_ADJUSTRECT, FALSE, (LPARAM)&shown);
    MapWindowPoints(tab, nullptr, (POINT *)&shown, 2);
    std::vector<std::string> outside;
    for (HWND child = GetWindow(page, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT box;
        GetWindowRect(child, &box);
        if (!Inside(box, client) || !Inside(box, shown)) {
            char text[80] = "";
            GetWindowTextA(child, text, sizeof text);
            outside.push_back("control " + std::to_string(GetDlgCtrlID(child)) + " \"" + text + "\" at " +
                              Describe(box) + ", page " + Describe(client) + ", tab area " + Describe(shown));
        }
    }
    return outside;
}
