#include "ScheduledTask.h"

#include <string.h>

#include "Clock.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "TaskViews.h"

namespace {

// Read by the threads that read tasks behind the window (TaskViews.h).
TaskSchedulerService *activeService = nullptr;

TaskSchedulerService &Service()
{
    TaskSchedulerService *service = __atomic_load_n(&activeService, __ATOMIC_ACQUIRE);
    return service ? *service : RealTaskSchedulerService();
}

struct ComputerName {
    bool known;
    char text[16];
};

// Read once per process: it changes only with a restart of Windows, and under Wine each read
// is a registry look-up, made twice for every task the job list reads.
const ComputerName &GetCachedComputerName()
{
    static const ComputerName name = [] {
        ComputerName read = {};
        DWORD length = sizeof read.text;
        read.known = GetComputerNameA(read.text, &length) != 0;
        return read;
    }();
    return name;
}

// "COMPUTER\user", or empty when the two do not fit the field together.
void BuildDefaultAccount(char *account, size_t size)
{
    const ComputerName &computer = GetCachedComputerName();
    char user[257] = "";
    DWORD userLength = sizeof user;
    account[0] = '\0';
    if (!computer.known || !GetUserNameA(user, &userLength))
        return;
    if (strlen(computer.text) + strlen(user) + 1 >= size)
        return;
    FormatText(account, size, "%s\\%s", computer.text, user);
}

}  // namespace

CTask::CTask() : runAsAccount(1)
{
    Reset();
}

CTask::~CTask() {}

void CTask::Reset()
{
    GetLocalNow(&startTime);
    startTime.wHour = 17;
    startTime.wMinute = 0;
    startTime.wSecond = 0;
    startTime.wMilliseconds = 0;
    triggerKind = 2;
    daysOfWeek = 127;
    daysInterval = 1;
    DWORD length = GetModuleFileNameA(nullptr, application, sizeof application);
    if (length == 0 || length >= sizeof application)
        application[0] = '\0';
    parameters[0] = '\0';
    workingDirectory[0] = '\0';
    BuildDefaultAccount(account, sizeof account);
    password[0] = '\0';
    comment[0] = '\0';
    triggerText[0] = '\0';
}

HRESULT CTask::Save(const char *taskName) const
{
    if (startTime.wYear == 0 || taskName == nullptr || taskName[0] == '\0' || application[0] == '\0')
        return E_FAIL;
    // The scheduler's service reads a task file as soon as it changes, and a save that meets it
    // there is refused for that moment: a task saved twice in a row is tried again briefly.
    const int tries = 5;
    HRESULT hr;
    for (int tried = 1;; ++tried) {
        hr = Service().SaveTask(*this, taskName);
        if (hr != HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION) || tried == tries)
            break;
        Sleep(100);
    }
    // Also after a failure: the old task may be gone.
    NoteTaskChanged(taskName);
    return hr;
}

HRESULT CTask::Load(const char *taskName, int *found)
{
    *found = 0;
    Reset();
    return Service().LoadTask(*this, taskName, found);
}

void FormatTaskName(int uniqueId, char name[kTaskNameSize])
{
    FormatText(name, kTaskNameSize, "%s Config %d", kProductName, uniqueId);
}

HRESULT GetTaskNextRunTime(const char *taskName, SYSTEMTIME *next, int *found)
{
    *found = 0;
    return Service().GetNextRunTime(taskName, next, found);
}

HRESULT DeleteTask(const wchar_t *taskName)
{
    if (taskName == nullptr || taskName[0] == L'\0')
        return E_FAIL;
    HRESULT hr = Service().DeleteTask(taskName);
    NoteTaskChanged(taskName);
    return hr;
}

TaskSchedulerService *SetTaskSchedulerService(TaskSchedulerService *service)
{
    return __atomic_exchange_n(&activeService, service, __ATOMIC_ACQ_REL);
}
