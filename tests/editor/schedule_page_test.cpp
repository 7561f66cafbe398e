// The Schedule page: its apply checks in their order with their focus, what a saved task and
// the working copy get, the policy on empty passwords; then the page in the running sheet
// against the Task Scheduler double, and once against Wine's own Task Scheduler.
#include <windows.h>
#include <commctrl.h>
#include <mstask.h>
#include <prsht.h>
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "Clock.h"
#include "ConfigTable.h"
#include "EditorTestSupport.h"
#include "SchedulePage.h"
#include "resource.h"

namespace {

const int kPage = 1;
const SYSTEMTIME kNow = {2026, 5, 3, 13, 10, 4, 59, 0};

std::string TaskName(int id)
{
    return "Velloran Config " + std::to_string(id);
}

ScheduleFields Fields(int mode, bool windows, const char *days, int mask, const char *password = "",
                      const char *confirm = "")
{
    ScheduleFields f;
    f.mode = mode;
    f.windowsScheduler = windows;
    f.everyDays = days;
    f.dayMask = mask;
    f.hour = 21;
    f.minute = 30;
    f.account = "PC\\Zo\xEB";
    f.password = password;
    f.confirm = confirm;
    return f;
}

const char kLsa[] = "SYSTEM\\CurrentControlSet\\Control\\Lsa";

void SetBlankPasswordLimit(DWORD value)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kLsa, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
    RegSetValueExA(key, "LimitBlankPasswordUse", 0, REG_DWORD, (const BYTE *)&value, sizeof value);
    RegCloseKey(key);
}

class ScheduleChecks : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        SetClockForTesting(&kNow);
        SetNewConfigDefaults();
        editedConfig.uniqueId = 12;
        editedConfig.scheduleEveryDays = 7;
    }
    void TearDown() override
    {
        FreeConfigArrays(&editedConfig);
        SetClockForTesting(nullptr);
        EditorTest::TearDown();
    }
    int Apply(const ScheduleFields &fields)
    {
        text[0] = '\0';
        return ApplySchedule(nullptr, fields, text, sizeof text);
    }
    char text[512];
};

TEST_F(ScheduleChecks, RefusalsComeInTheirOrderBeforeAnyTaskIsTouched)
{
    const char kInterval[] = "Please enter an interval between 1 and 999";
    const char kWeekday[] = "Please choose at least one day of the week for the backup to run on";
    struct Case {
        int mode;
        bool windows;
        const char *days;
        int mask;
        const char *password, *confirm;
        int focus;
        const char *message;
    } cases[] = {
        {1, false, "0", 0x7F, "", "", IDC_SCHEDULE_EVERY_DAYS, kInterval},
        {1, true, "1000", 0x7F, "a", "b", IDC_SCHEDULE_EVERY_DAYS, kInterval},
        {1, false, "two", 0x7F, "", "", IDC_SCHEDULE_EVERY_DAYS, kInterval},
        {1, false, "-3", 0x7F, "", "", IDC_SCHEDULE_EVERY_DAYS, kInterval},
        {2, false, "5", 0, "", "", IDC_SCHEDULE_SUNDAY, kWeekday},
        {2, true, "5", 0x80, "a", "b", IDC_SCHEDULE_SUNDAY, kWeekday},
        {2, true, "5", 0x02, "a", "b", IDC_SCHEDULE_PASSWORD, "Passwords do not match"},
        {1, true, "2", 0, "secret", "Secret", IDC_SCHEDULE_PASSWORD, "Passwords do not match"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.days) + " mode " + std::to_string(c.mode));
        EXPECT_EQ(Apply(Fields(c.mode, c.windows, c.days, c.mask, c.password, c.confirm)), c.focus);
        EXPECT_STREQ(text, c.message);
    }
    EXPECT_TRUE(scheduler.calls.empty());
}

TEST_F(ScheduleChecks, DailyWithLettersInTheIntervalKeepsTheStoredInterval)
{
    EXPECT_EQ(Apply(Fields(2, false, "x", 0x41)), 0);
    EXPECT_EQ(editedConfig.scheduleEveryDays, 7);
    EXPECT_EQ(editedConfig.scheduleKind, 2);
    EXPECT_EQ(editedConfig.scheduleDayMask, 0x41);
    EXPECT_EQ(editedConfig.scheduleHour, 21);
    EXPECT_EQ(editedConfig.scheduleMinute, 30);
    EXPECT_EQ(scheduler.calls, std::vector<std::string>{"delete Velloran Config 12"});
}

TEST_F(ScheduleChecks, ManualAndInternalDeleteTheTask)
{
    EXPECT_EQ(Apply(Fields(0, true, "3", 0x7F, "a", "b")), 0);  // no account is read
    EXPECT_EQ(editedConfig.scheduleKind, 0);
    EXPECT_EQ(editedConfig.scheduleEveryDays, 3);
    EXPECT_EQ(Apply(Fields(1, false, "999", 0x7F)), 0);
    EXPECT_EQ(editedConfig.scheduleKind, 1);
    EXPECT_EQ(editedConfig.scheduleEveryDays, 999);
    EXPECT_EQ(scheduler.calls, std::vector<std::string>({"delete Velloran Config 12", "delete Velloran Config 12"}));
}

TEST_F(ScheduleChecks, WindowsTaskRunsThisConfigurationAndReplacesTheInternalSchedule)
{
    struct Case {
        int mode;
        int triggerKind;
    } cases[] = {{1, 1}, {2, 2}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode);
        scheduler.calls.clear();
        EXPECT_EQ(Apply(Fields(c.mode, true, "2", 0x22, "s\x80" "cret", "s\x80" "cret")), 0);
        EXPECT_EQ(scheduler.calls, std::vector<std::string>{"save Velloran Config 12"});
        const CTask &task = scheduler.tasks["Velloran Config 12"];
        EXPECT_STREQ(task.parameters, "/hidden /exitwhendone /run=12");
        EXPECT_EQ(task.triggerKind, c.triggerKind);
        EXPECT_EQ(task.daysInterval, 2);
        EXPECT_EQ(task.daysOfWeek, 0x22);
        EXPECT_EQ(task.startTime.wYear, 2026);
        EXPECT_EQ(task.startTime.wMonth, 5);
        EXPECT_EQ(task.startTime.wDay, 13);
        EXPECT_EQ(task.startTime.wHour, 21);
        EXPECT_EQ(task.startTime.wMinute, 30);
        EXPECT_EQ(task.startTime.wSecond, 0);
        EXPECT_STREQ(task.account, "PC\\Zo\xEB");
        EXPECT_STREQ(task.password, "s\x80" "cret");
        // The task runs the configuration; the fields keep what was chosen for the next edit.
        EXPECT_EQ(editedConfig.scheduleKind, 0);
        EXPECT_EQ(editedConfig.scheduleEveryDays, 2);
        EXPECT_EQ(editedConfig.scheduleDayMask, 0x22);
        EXPECT_EQ(editedConfig.scheduleHour, 21);
    }
}

TEST_F(ScheduleChecks, FailedSaveShowsTheSystemTextThenTheAdvice)
{
    SharedBoxRecorder boxes;
    scheduler.saveResults = {E_ACCESSDENIED};
    EXPECT_EQ(Apply(Fields(1, true, "2", 0x7F, "pw", "pw")), -1);
    EXPECT_STREQ(text, "Failed to save scheduled task.\n\nPlease either correct the problem, or choose the 'Manually "
                       "Start Backup' option.");
    ASSERT_EQ(boxes.Count(), 1u);  // the system's text; the advice is the page's refusal
    EXPECT_FALSE(boxes.Texts()[0].empty());
    EXPECT_EQ(scheduler.calls, std::vector<std::string>{"save Velloran Config 12"});
    EXPECT_EQ(editedConfig.scheduleEveryDays, 2);  // written before the save
}

TEST_F(ScheduleChecks, EmptyPasswordRefusedByThePolicyIsSavedAgainOnceTheUserAllowsIt)
{
    SetBlankPasswordLimit(1);
    SharedBoxRecorder boxes(IDYES);
    scheduler.saveResults = {(HRESULT)0x8007052F};
    EXPECT_EQ(Apply(Fields(2, true, "1", 0x7F)), 0);
    EXPECT_EQ(scheduler.calls, std::vector<std::string>({"save Velloran Config 12", "save Velloran Config 12"}));
    // The question and the confirmation; the second check finds the policy already off.
    EXPECT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(editedConfig.scheduleKind, 0);
    SetBlankPasswordLimit(1);
}

TEST_F(ScheduleChecks, EmptyPasswordTheUserDoesNotAllowIsRefusedAndTheTaskStays)
{
    SetBlankPasswordLimit(1);
    SharedBoxRecorder boxes(IDNO);
    EXPECT_EQ(Apply(Fields(1, true, "4", 0x7F)), IDC_SCHEDULE_PASSWORD);
    EXPECT_STREQ(text, "The Windows Task Scheduler job will not run with an empty password.\n\nEither use the "
                       "'Internal Scheduler', assign a password to your account, or allow Velloran to override this "
                       "security precaution.");
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(scheduler.tasks.count("Velloran Config 12"), 1u);
}

// ---- The page in the running sheet ----

class SchedulePage : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        source = work.path + "src\\";
        MakeFolder(Widen(source));
    }
    int AddExisting()
    {
        return AddConfig("Scheduled", {source}, work.path + "out\\");
    }
    ScratchFolder work;
    std::string source;
};

SYSTEMTIME PickerTime(HWND page, int id)
{
    SYSTEMTIME time = {};
    SendDlgItemMessageA(page, id, DTM_GETSYSTEMTIME, 0, (LPARAM)&time);
    return time;
}

void SetPickerTime(HWND page, int id, WORD hour, WORD minute)
{
    SYSTEMTIME time = PickerTime(page, id);
    time.wHour = hour;
    time.wMinute = minute;
    SendDlgItemMessageA(page, id, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&time);
    NMDATETIMECHANGE change = {};
    change.nmhdr.hwndFrom = GetDlgItem(page, id);
    change.nmhdr.idFrom = (UINT_PTR)id;
    change.nmhdr.code = DTN_DATETIMECHANGE;
    change.dwFlags = GDT_VALID;
    change.st = time;
    SendMessageA(page, WM_NOTIFY, (WPARAM)id, (LPARAM)&change);
}

TEST_F(SchedulePage, ConfigurationWithATaskOpensOnTheTaskAndInternalPlusOkDeletesIt)
{
    int index = AddExisting();
    int id = ConfigAt(index)->uniqueId;
    CTask task;
    task.triggerKind = 1;
    task.daysInterval = 3;
    task.startTime.wHour = 6;
    task.startTime.wMinute = 15;
    strcpy(task.account, "OFFICE\\backup");
    scheduler.tasks[TaskName(id)] = task;
    bool every = false, windows = false, daysOn = false, weekdayOn = true, accountOn = false;
    std::string days, account;
    SYSTEMTIME time = {};
    int result = RunEditor(index, [&](HWND sheet, HWND) {
        HWND page = ShowPage(sheet, kPage);
        every = IsChecked(page, IDC_SCHEDULE_EVERY);
        windows = IsChecked(page, IDC_SCHEDULE_WINDOWS_TASK);
        days = ControlText(page, IDC_SCHEDULE_EVERY_DAYS);
        time = PickerTime(page, IDC_SCHEDULE_EVERY_TIME);
        account = ControlText(page, IDC_SCHEDULE_ACCOUNT);
        daysOn = IsEnabled(page, IDC_SCHEDULE_EVERY_DAYS);
        weekdayOn = IsEnabled(page, IDC_SCHEDULE_MONDAY);
        accountOn = IsEnabled(page, IDC_SCHEDULE_ACCOUNT);
        ClickButton(page, IDC_SCHEDULE_INTERNAL);
        PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_TRUE(every);
    EXPECT_TRUE(windows);
    EXPECT_EQ(days, "3");
    EXPECT_EQ(time.wHour, 6);
    EXPECT_EQ(time.wMinute, 15);
    EXPECT_EQ(account, "OFFICE\\backup");
    EXPECT_TRUE(daysOn);
    EXPECT_FALSE(weekdayOn);
    EXPECT_TRUE(accountOn);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(scheduler.calls, std::vector<std::string>{"delete " + TaskName(id)});
    const BackupConfig *c = ConfigAt(index);
    EXPECT_EQ(c->scheduleKind, 1);
    EXPECT_EQ(c->scheduleEveryDays, 3);
    EXPECT_EQ(c->scheduleHour, 6);
    EXPECT_EQ(c->scheduleMinute, 15);
}

TEST_F(SchedulePage, OkWithoutAChangeNeitherSavesNorDeletes)
{
    int index = AddExisting();
    scheduler.tasks[TaskName(ConfigAt(index)->uniqueId)] = CTask();
    bool applyEnabled = true;
    RunEditor(index, [&](HWND sheet, HWND) {
        ShowPage(sheet, kPage);
        applyEnabled = ApplyEnabled(sheet);
        PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_FALSE(applyEnabled);
    EXPECT_TRUE(scheduler.calls.empty());
    EXPECT_EQ(scheduler.tasks.size(), 1u);
}

TEST_F(SchedulePage, NewConfigurationOpensOnManualWithTheTaskDefaults)
{
    bool manual = false, windows = false, groupOn = true, radiosOn = true;
    std::string days;
    SYSTEMTIME every = {}, daily = {};
    int weekdays = 0;
    RunEditor(-1, [&](HWND sheet, HWND) {
        HWND page = ShowPage(sheet, kPage);
        manual = IsChecked(page, IDC_SCHEDULE_MANUAL);
        windows = IsChecked(page, IDC_SCHEDULE_WINDOWS_TASK);
        groupOn = IsEnabled(page, IDC_SCHEDULE_SCHEDULER_GROUP);
        radiosOn = IsEnabled(page, IDC_SCHEDULE_INTERNAL) || IsEnabled(page, IDC_SCHEDULE_WINDOWS_TASK);
        days = ControlText(page, IDC_SCHEDULE_EVERY_DAYS);
        every = PickerTime(page, IDC_SCHEDULE_EVERY_TIME);
        daily = PickerTime(page, IDC_SCHEDULE_DAILY_TIME);
        const int boxes[] = {IDC_SCHEDULE_SUNDAY,   IDC_SCHEDULE_MONDAY, IDC_SCHEDULE_TUESDAY,
                             IDC_SCHEDULE_WEDNESDAY, IDC_SCHEDULE_THURSDAY, IDC_SCHEDULE_FRIDAY,
                             IDC_SCHEDULE_SATURDAY};
        for (int box : boxes)
            weekdays += IsChecked(page, box) ? 1 : 0;
    });
    EXPECT_TRUE(manual);
    EXPECT_TRUE(windows);
    EXPECT_FALSE(groupOn);
    EXPECT_FALSE(radiosOn);
    EXPECT_EQ(days, "1");
    EXPECT_EQ(every.wHour, 17);
    EXPECT_EQ(every.wMinute, 0);
    EXPECT_EQ(daily.wHour, 17);
    EXPECT_EQ(weekdays, 7);
    EXPECT_TRUE(scheduler.calls.empty());
}

TEST_F(SchedulePage, RefusalsKeepTheSheetOpenOnTheirBoxAndTouchNoTask)
{
    int index = AddExisting();
    SharedBoxRecorder boxes;
    HWND passwordBox = nullptr, sundayBox = nullptr, focusPassword = nullptr, focusSunday = nullptr;
    bool open = false;
    RunEditor(index, [&](HWND sheet, HWND) {
        HWND page = ShowPage(sheet, kPage);
        passwordBox = GetDlgItem(page, IDC_SCHEDULE_PASSWORD);
        sundayBox = GetDlgItem(page, IDC_SCHEDULE_SUNDAY);
        ClickButton(page, IDC_SCHEDULE_EVERY);
        SetControlText(page, IDC_SCHEDULE_PASSWORD, "one");
        SetControlText(page, IDC_SCHEDULE_CONFIRM_PASSWORD, "two");
        PressSheetButton(sheet, PSBTN_OK);
        focusPassword = FocusOfWindowThread();
        ClickButton(page, IDC_SCHEDULE_DAILY);
        const int boxes[] = {IDC_SCHEDULE_SUNDAY,   IDC_SCHEDULE_MONDAY, IDC_SCHEDULE_TUESDAY,
                             IDC_SCHEDULE_WEDNESDAY, IDC_SCHEDULE_THURSDAY, IDC_SCHEDULE_FRIDAY,
                             IDC_SCHEDULE_SATURDAY};
        for (int box : boxes)
            ClickButton(page, box);  // all seven were ticked
        PressSheetButton(sheet, PSBTN_OK);
        focusSunday = FocusOfWindowThread();
        open = IsWindowVisible(sheet) != FALSE;
    });
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Texts()[0], "Passwords do not match");
    EXPECT_EQ(boxes.Texts()[1], "Please choose at least one day of the week for the backup to run on");
    EXPECT_EQ(focusPassword, passwordBox);
    EXPECT_EQ(focusSunday, sundayBox);
    EXPECT_TRUE(open);
    EXPECT_TRUE(scheduler.calls.empty());
}

TEST_F(SchedulePage, TaskThatCannotBeReadIsReportedAndTheOwnScheduleShown)
{
    int index = AddExisting();
    BackupConfig *c = ConfigAt(index);
    c->scheduleKind = 2;
    c->scheduleDayMask = 0xA2;  // Monday and Friday, and a bit beyond Saturday
    c->scheduleHour = 8;
    c->scheduleMinute = 5;
    scheduler.loadResult = E_ACCESSDENIED;
    SharedBoxRecorder boxes;
    bool daily = false, internal = false, monday = false, sunday = true;
    SYSTEMTIME time = {};
    RunEditor(index, [&](HWND sheet, HWND) {
        HWND page = ShowPage(sheet, kPage);
        daily = IsChecked(page, IDC_SCHEDULE_DAILY);
        internal = IsChecked(page, IDC_SCHEDULE_INTERNAL);
        monday = IsChecked(page, IDC_SCHEDULE_MONDAY);
        sunday = IsChecked(page, IDC_SCHEDULE_SUNDAY);
        time = PickerTime(page, IDC_SCHEDULE_DAILY_TIME);
    });
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_TRUE(daily);
    EXPECT_TRUE(internal);
    EXPECT_TRUE(monday);
    EXPECT_FALSE(sunday);
    EXPECT_EQ(time.wHour, 8);
    EXPECT_EQ(time.wMinute, 5);
}

TEST_F(SchedulePage, ChangedTimeAloneIsApplied)
{
    int index = AddExisting();
    ConfigAt(index)->scheduleKind = 1;
    ConfigAt(index)->scheduleEveryDays = 2;
    RunEditor(index, [&](HWND sheet, HWND) {
        HWND page = ShowPage(sheet, kPage);
        SetPickerTime(page, IDC_SCHEDULE_EVERY_TIME, 23, 45);
        PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(ConfigAt(index)->scheduleHour, 23);
    EXPECT_EQ(ConfigAt(index)->scheduleMinute, 45);
    EXPECT_EQ(ConfigAt(index)->scheduleKind, 1);
}

// ---- Wine's own Task Scheduler ----

bool TaskFileExists(const std::string &name)
{
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    return GetFileAttributesA((std::string(windows) + "\\Tasks\\" + name + ".job").c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The task's parameters as the Task Scheduler gives them back.
std::string TaskParameters(const std::string &name)
{
    const GUID clsidScheduler = {0x148BD52A, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
    const GUID iidScheduler = {0x148BD527, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
    const GUID iidTask = {0x148BD524, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
    ITaskScheduler *scheduler = nullptr;
    if (FAILED(CoCreateInstance(clsidScheduler, nullptr, CLSCTX_INPROC_SERVER, iidScheduler, (void **)&scheduler)))
        return "(no scheduler)";
    std::string parameters = "(no task)";
    ITask *task = nullptr;
    if (SUCCEEDED(scheduler->Activate(Widen(name).c_str(), iidTask, (IUnknown **)&task))) {
        LPWSTR text = nullptr;
        if (SUCCEEDED(task->GetParameters(&text)))
            parameters = Narrow(text);
        CoTaskMemFree(text);
        task->Release();
    }
    scheduler->Release();
    return parameters;
}

TEST_F(SchedulePage, RealTaskSchedulerGetsTheTaskAndManuallyDeletesIt)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    SetTaskSchedulerService(nullptr);
    int index = AddExisting();
    int id = ConfigAt(index)->uniqueId;
    std::string name = TaskName(id);
    SharedBoxRecorder boxes;
    RunEditor(index, [&](HWND sheet, HWND) {
        HWND page = ShowPage(sheet, kPage);
        ClickButton(page, IDC_SCHEDULE_EVERY);
        SetControlText(page, IDC_SCHEDULE_EVERY_DAYS, "2");
        SetPickerTime(page, IDC_SCHEDULE_EVERY_TIME, 21, 30);
        ClickButton(page, IDC_SCHEDULE_WINDOWS_TASK);
        SetControlText(page, IDC_SCHEDULE_PASSWORD, "secret");
        SetControlText(page, IDC_SCHEDULE_CONFIRM_PASSWORD, "secret");
        PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(boxes.Count(), 0u) << boxes.Texts()[0];
    EXPECT_TRUE(TaskFileExists(name));
    EXPECT_EQ(TaskParameters(name), "/hidden /exitwhendone /run=" + std::to_string(id));
    SYSTEMTIME next = {};
    int found = 0;
    EXPECT_EQ(GetTaskNextRunTime(name.c_str(), &next, &found), S_OK);
    EXPECT_EQ(found, 1);
    EXPECT_EQ(next.wHour, 21);
    EXPECT_EQ(next.wMinute, 30);
    EXPECT_EQ(ConfigAt(index)->scheduleKind, 0);

    // Wine's scheduler keeps no account, so reading the task back fails and is reported; the
    // page still deletes it when Manually is chosen.
    RunEditor(index, [&](HWND sheet, HWND) {
        HWND page = ShowPage(sheet, kPage);
        ClickButton(page, IDC_SCHEDULE_MANUAL);
        PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_FALSE(TaskFileExists(name));
    EXPECT_EQ(ConfigAt(index)->scheduleKind, 0);
    DeleteTask(Widen(name).c_str());
    CoUninitialize();
}

}  // namespace
