// Scheduled tasks: the class's defaults and checks through a double, the blank-password policy
// through the message-box seam, and the real Task Scheduler for what Wine's supports.
#include <windows.h>
#include <objbase.h>
#include <initguid.h>
#include <mstask.h>
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "Clock.h"
#include "MessageBoxSeam.h"
#include "ScheduledTask.h"

namespace {

class RecordingScheduler : public TaskSchedulerService {
public:
    HRESULT SaveTask(const CTask &, const char *taskName) override
    {
        calls.push_back(std::string("save ") + taskName);
        return S_OK;
    }
    HRESULT LoadTask(CTask &task, const char *taskName, int *found) override
    {
        calls.push_back(std::string("load ") + taskName);
        loadedKind = task.triggerKind;
        loadedFound = *found;
        return S_OK;
    }
    HRESULT GetNextRunTime(const char *, SYSTEMTIME *, int *) override { return S_OK; }
    HRESULT DeleteTask(const wchar_t *) override
    {
        calls.push_back("delete");
        return S_OK;
    }
    std::vector<std::string> calls;
    int loadedKind = 0;
    int loadedFound = -1;
};

class WithDoubleScheduler : public ::testing::Test {
protected:
    void SetUp() override { previous = SetTaskSchedulerService(&scheduler); }
    void TearDown() override
    {
        SetTaskSchedulerService(previous);
        SetClockForTesting(nullptr);
    }
    RecordingScheduler scheduler;
    TaskSchedulerService *previous = nullptr;
};

}  // namespace

TEST_F(WithDoubleScheduler, NewTaskRunsWeeklyOnEveryDayAtFiveThisProgramAsTheUser)
{
    SYSTEMTIME fixed = {2026, 12, 2, 8, 9, 41, 12, 345};
    SetClockForTesting(&fixed);
    CTask task;
    EXPECT_EQ(task.startTime.wYear, 2026);
    EXPECT_EQ(task.startTime.wMonth, 12);
    EXPECT_EQ(task.startTime.wDay, 8);
    EXPECT_EQ(task.startTime.wHour, 17);
    EXPECT_EQ(task.startTime.wMinute, 0);
    EXPECT_EQ(task.startTime.wSecond, 0);
    EXPECT_EQ(task.triggerKind, 2);
    EXPECT_EQ(task.daysOfWeek, 127);
    EXPECT_EQ(task.daysInterval, 1);
    EXPECT_EQ(task.runAsAccount, 1);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    EXPECT_STREQ(task.application, self);

    char computer[16], user[257];
    DWORD c = sizeof computer, u = sizeof user;
    ASSERT_TRUE(GetComputerNameA(computer, &c) && GetUserNameA(user, &u));
    EXPECT_EQ(std::string(task.account), std::string(computer) + "\\" + user);
    EXPECT_STREQ(task.parameters, "");
    EXPECT_STREQ(task.password, "");
}

TEST_F(WithDoubleScheduler, ResetKeepsTheAccountChoice)
{
    CTask task;
    task.runAsAccount = 0;
    task.triggerKind = 1;
    strcpy(task.parameters, "/hidden");
    task.Reset();
    EXPECT_EQ(task.runAsAccount, 0);
    EXPECT_EQ(task.triggerKind, 2);
    EXPECT_STREQ(task.parameters, "");
}

TEST_F(WithDoubleScheduler, SaveRefusesAnIncompleteTaskWithoutTouchingTheScheduler)
{
    CTask task;
    EXPECT_EQ(task.Save(""), E_FAIL);
    EXPECT_EQ(task.Save(nullptr), E_FAIL);
    task.application[0] = '\0';
    EXPECT_EQ(task.Save("Velloran Config 1"), E_FAIL);
    CTask undated;
    undated.startTime.wYear = 0;
    EXPECT_EQ(undated.Save("Velloran Config 1"), E_FAIL);
    EXPECT_TRUE(scheduler.calls.empty());

    CTask complete;
    EXPECT_EQ(complete.Save("Velloran Config 1"), S_OK);
    EXPECT_EQ(scheduler.calls, std::vector<std::string>{"save Velloran Config 1"});
}

TEST_F(WithDoubleScheduler, LoadStartsFromTheDefaultsAndNotFound)
{
    CTask task;
    task.triggerKind = 1;
    int found = 7;
    EXPECT_EQ(task.Load("Velloran Config 3", &found), S_OK);
    EXPECT_EQ(scheduler.loadedKind, 2);
    EXPECT_EQ(scheduler.loadedFound, 0);
    EXPECT_EQ(DeleteTask(L""), E_FAIL);
    EXPECT_EQ(DeleteTask(nullptr), E_FAIL);
    EXPECT_EQ(scheduler.calls.size(), 1u);
}

TEST(TaskName, IsProductConfigAndId)
{
    char name[kTaskNameSize];
    FormatTaskName(7, name);
    EXPECT_STREQ(name, "Velloran Config 7");
    FormatTaskName(2147483647, name);
    EXPECT_STREQ(name, "Velloran Config 2147483647");
}

// ---- The blank-password policy ----

namespace {

std::vector<std::string> boxes;
int boxAnswer = IDNO;

int AnswerBox(HWND, const char *text, const char *caption, UINT)
{
    boxes.push_back(std::string(caption) + ": " + text);
    return boxAnswer;
}

const char kLsa[] = "SYSTEM\\CurrentControlSet\\Control\\Lsa";

void SetLimit(const DWORD *value)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kLsa, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
    if (value)
        RegSetValueExA(key, "LimitBlankPasswordUse", 0, REG_DWORD, (const BYTE *)value, sizeof *value);
    else
        RegDeleteValueA(key, "LimitBlankPasswordUse");
    RegCloseKey(key);
}

bool ReadLimit(DWORD *value)
{
    DWORD size = sizeof *value;
    return RegGetValueA(HKEY_LOCAL_MACHINE, kLsa, "LimitBlankPasswordUse", RRF_RT_REG_DWORD, nullptr, value, &size) ==
           ERROR_SUCCESS;
}

class BlankPasswordPolicy : public ::testing::Test {
protected:
    void SetUp() override
    {
        boxes.clear();
        SetMessageBoxHandler(AnswerBox);
    }
    void TearDown() override { SetMessageBoxHandler(nullptr); }
};

}  // namespace

TEST_F(BlankPasswordPolicy, LimitOffAllowsWithoutAsking)
{
    DWORD off = 0;
    SetLimit(&off);
    EXPECT_EQ(AllowBlankPasswordTasks(nullptr), 1);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(BlankPasswordPolicy, AbsentValueAsksAndNoLeavesTheRegistryAlone)
{
    SetLimit(nullptr);
    boxAnswer = IDNO;
    EXPECT_EQ(AllowBlankPasswordTasks(nullptr), 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("Velloran: Your Windows preferences are currently set so that", 0), 0u);
    EXPECT_NE(boxes[0].find("allow Windows Task Scheduler to run tasks for users with an empty password?"), std::string::npos);
    DWORD value;
    EXPECT_FALSE(ReadLimit(&value));
}

TEST_F(BlankPasswordPolicy, YesTurnsTheLimitOffAndConfirms)
{
    DWORD on = 1;
    SetLimit(&on);
    boxAnswer = IDYES;
    EXPECT_EQ(AllowBlankPasswordTasks(nullptr), 1);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], "Velloran: Your preferences have been successfully updated.  Users with an empty password "
                        "can now use Windows Task Scheduler.");
    DWORD value = 1;
    ASSERT_TRUE(ReadLimit(&value));
    EXPECT_EQ(value, 0u);
}

// ---- The real Task Scheduler, as far as Wine's goes ----

namespace {

class RealScheduler : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override
    {
        DeleteTask(L"Velloran Config 901");
        CoUninitialize();
    }
    static bool TaskFileExists(const char *name)
    {
        char path[MAX_PATH];
        GetWindowsDirectoryA(path, sizeof path);
        std::string file = std::string(path) + "\\Tasks\\" + name + ".job";
        return GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
};

}  // namespace

TEST_F(RealScheduler, SavedTaskAppearsIsReplacedAndDeletedTaskDisappears)
{
    const char name[] = "Velloran Config 901";
    CTask task;
    task.runAsAccount = 0;  // Wine keeps no account
    task.startTime.wYear = 2037;
    strcpy(task.parameters, "/hidden /exitwhendone /run=901");
    ASSERT_EQ(task.Save(name), S_OK);
    EXPECT_TRUE(TaskFileExists(name));

    // The replacement starts a year later; the next run time shows which task is there.
    task.triggerKind = 1;
    task.daysInterval = 3;
    task.startTime.wYear = 2038;
    strcpy(task.parameters, "/hidden /exitwhendone /run=902");
    ASSERT_EQ(task.Save(name), S_OK);

    SYSTEMTIME next = {};
    int found = 0;
    EXPECT_EQ(GetTaskNextRunTime(name, &next, &found), S_OK);
    EXPECT_EQ(found, 1);
    EXPECT_EQ(next.wYear, 2038);
    EXPECT_EQ(next.wHour, 17);
    EXPECT_EQ(next.wMinute, 0);

    ASSERT_EQ(DeleteTask(L"Velloran Config 901"), S_OK);
    EXPECT_FALSE(TaskFileExists(name));
}

TEST_F(RealScheduler, SavedTaskReadsBackItsTextsAndTrigger)
{
    const char name[] = "Velloran Config 901";
    CTask saved;
    saved.runAsAccount = 0;
    saved.startTime.wYear = 2037;
    saved.startTime.wMonth = 3;
    saved.startTime.wDay = 9;
    saved.daysOfWeek = 0x22;  // Monday and Friday
    strcpy(saved.parameters, "/hidden /exitwhendone /run=901");
    strcpy(saved.workingDirectory, "C:\\Backups \x96 \x93" "Sets\x94");
    strcpy(saved.comment, "Nightly copy \x96 \x93" "Documents\x94 for \x80 5");
    ASSERT_EQ(saved.Save(name), S_OK);

    CTask loaded;
    loaded.runAsAccount = 0;  // Wine keeps no account to give back
    strcpy(loaded.application, "not read");
    int found = 7;
    HRESULT hr = loaded.Load(name, &found);
    EXPECT_STREQ(loaded.application, saved.application);
    EXPECT_STREQ(loaded.parameters, saved.parameters);
    EXPECT_STREQ(loaded.workingDirectory, saved.workingDirectory);
    EXPECT_STREQ(loaded.comment, saved.comment);
    EXPECT_EQ(loaded.startTime.wYear, 2037);
    EXPECT_EQ(loaded.startTime.wMonth, 3);
    EXPECT_EQ(loaded.startTime.wDay, 9);
    EXPECT_EQ(loaded.startTime.wHour, 17);
    EXPECT_EQ(loaded.triggerKind, 2);
    EXPECT_EQ(loaded.daysOfWeek, 0x22);
    // The trigger's description comes last; Wine's scheduler has none (E_NOTIMPL), so there
    // the texts above are read but the task does not count as found.
    if (hr == E_NOTIMPL) {
        EXPECT_EQ(found, 0);
    } else {
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(found, 1);
    }
}

TEST_F(RealScheduler, MissingTaskIsNotAFailure)
{
    CTask task;
    int found = 1;
    EXPECT_EQ(task.Load("Velloran Config 900", &found), S_OK);
    EXPECT_EQ(found, 0);
    SYSTEMTIME next;
    found = 1;
    EXPECT_EQ(GetTaskNextRunTime("Velloran Config 900", &next, &found), S_OK);
    EXPECT_EQ(found, 0);
}

TEST_F(RealScheduler, TaskWithoutTriggerHasNoNextRun)
{
    // Written directly, since CTask always adds a trigger; the scheduler then answers with an
    // informational code and a zeroed time, which must not count as a next run.
    const GUID clsidScheduler = {0x148BD52A, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
    const GUID iidScheduler = {0x148BD527, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
    const GUID clsidTask = {0x148BD520, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
    const GUID iidTask = {0x148BD524, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
    ITaskScheduler *scheduler = nullptr;
    ASSERT_EQ(CoCreateInstance(clsidScheduler, nullptr, CLSCTX_INPROC_SERVER, iidScheduler, (void **)&scheduler), S_OK);
    ITask *task = nullptr;
    ASSERT_EQ(scheduler->NewWorkItem(L"Velloran Config 901", clsidTask, iidTask, (IUnknown **)&task), S_OK);
    task->SetApplicationName(L"C:\\windows\\notepad.exe");
    IPersistFile *file = nullptr;
    ASSERT_EQ(task->QueryInterface(IID_IPersistFile, (void **)&file), S_OK);
    ASSERT_EQ(file->Save(nullptr, FALSE), S_OK);
    file->Release();
    task->Release();
    scheduler->Release();

    SYSTEMTIME next = {};
    int found = 1;
    HRESULT hr = GetTaskNextRunTime("Velloran Config 901", &next, &found);
    EXPECT_TRUE(SUCCEEDED(hr));
    EXPECT_NE(hr, S_OK);
    EXPECT_EQ(found, 0);
}
