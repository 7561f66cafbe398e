// Shared helpers of the editor tests: a message-box recorder safe to read from a driving
// thread, the help control double, the editor sheet run modally while a second thread works
// it, and the common-dialog doubles.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>
#include <commdlg.h>
#include <shlobj.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "DialogDriver.h"
#include "JobTestSupport.h"
#include "ScheduledTask.h"
#include "WaitUntil.h"

// Records every message box and answers it: from `answers` in turn, then with `answer`.
class SharedBoxRecorder {
public:
    explicit SharedBoxRecorder(int answer = IDOK);
    ~SharedBoxRecorder();
    std::vector<std::string> Texts();
    std::vector<UINT> Types();
    size_t Count();
    std::vector<int> answers;
    int answer;
    std::mutex lock;
    std::vector<std::string> texts;
    std::vector<UINT> types;
};

// The block sizes the help control is told of, as the double prints them: both blocks hold
// pointers, so a 64-bit build's are larger.
#ifdef _WIN64
#define HELP_POPUP_SIZE "size=72"
#define HELP_LINK_SIZE "size=56"
#else
#define HELP_POPUP_SIZE "size=52"
#define HELP_LINK_SIZE "size=32"
#endif

// The HTML Help double beside the test program, loaded into this process.
std::string HelpDoublePath();
std::vector<std::string> HelpCalls();
void ClearHelpCalls();
// WM_HELP for one control of the dialog, as F1 sends it.
void SendControlHelp(HWND dialog, int controlId);
// Makes help load the double whatever path it asks for; the names asked are kept.
void UseHelpDouble();
extern std::vector<std::string> helpLoadRequests;

// The editor's sheet and its page.
HWND FindEditorSheet();
HWND CurrentPage(HWND sheet);
// Runs EditBackupConfig(nullptr, index) on this thread while `drive` works the sheet from
// another; should `drive` leave the sheet open, Cancel is pressed until it closes.
int RunEditor(int index, const std::function<void(HWND sheet, HWND page)> &drive);
void PressSheetButton(HWND sheet, int button);
void Click(HWND dialog, int id);
// Clicks the button as the mouse would (its state changes, then it tells the dialog), and
// has the dialog refresh which controls are enabled.
void ClickButton(HWND dialog, int id);
bool IsChecked(HWND dialog, int id);
bool IsEnabled(HWND dialog, int id);
// Shows the sheet's page at `index` and returns it once it has started.
HWND ShowPage(HWND sheet, int index);
void SetControlText(HWND dialog, int id, const std::string &text);
// The window with the keyboard focus in the window thread (this test's thread).
HWND FocusOfWindowThread();
bool ApplyEnabled(HWND sheet);
std::vector<std::string> ListEntries(HWND list);
// The controls of a sheet's page that lie outside the page's client area or outside the part of
// the tab control where pages are shown, one line each.
std::vector<std::string> ControlsOutside(HWND sheet, HWND page);

// Doubles of the open-file and folder dialogs; each records its request.
struct FakeCommonDialogs {
    FakeCommonDialogs();
    ~FakeCommonDialogs();
    // Open-file: returns `chosen`, copying `files` (with embedded NULs) into the caller's buffer.
    int chosen = 1;
    std::string files;
    std::string fileTitle;
    WORD fileOffset = 0;
    OPENFILENAMEA lastOpen{};
    std::string lastOpenTitle, lastOpenInitialFolder, lastOpenFilter;
    int openCalls = 0;
    // Folder: the path to browse to; empty means cancelled; "printers" gives the printer folder.
    // With pathFails the folder has no file-system path, as Windows answers for the printer
    // folder (Wine gives its parsing name).
    std::string folder;
    bool pathFails = false;
    BROWSEINFOA lastBrowse{};
    std::string lastBrowseTitle;
    int browseCalls = 0;
};
extern FakeCommonDialogs *fakeDialogs;

// Stands in for the Task Scheduler: tasks by name, and every save and delete in order.
class FakeTaskScheduler : public TaskSchedulerService {
public:
    HRESULT SaveTask(const CTask &task, const char *taskName) override;
    HRESULT LoadTask(CTask &task, const char *taskName, int *found) override;
    HRESULT GetNextRunTime(const char *taskName, SYSTEMTIME *next, int *found) override;
    HRESULT DeleteTask(const wchar_t *taskName) override;
    std::map<std::string, CTask> tasks;
    std::vector<std::string> calls;   // "save NAME", "delete NAME"
    std::vector<HRESULT> saveResults; // answers of the next saves, in turn; then S_OK
    HRESULT loadResult = S_OK;
};

// The engine's globals for one test, with a data folder, the store path and an empty table.
// The Task Scheduler is a double unless a test puts the real one back.
class EditorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;
    JobTestEnvironment *env = nullptr;
    FakeTaskScheduler scheduler;
    TaskSchedulerService *previousScheduler = nullptr;
    // Index of a new configuration in the table with these sources and destination.
    int AddConfig(const std::string &description, const std::vector<std::string> &sources,
                  const std::string &destination);
    bool StoreExists();
    // Reads the store back into the table (after clearing it); false when it did not load.
    bool ReloadStore();
};
