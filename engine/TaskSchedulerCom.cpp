// The real Task Scheduler service: Task Scheduler 1.0 through COM. Every call releases every
// interface it obtained, on success and failure alike; the scheduler object itself is created
// per call, except on a thread that keeps one (KeepTaskScheduler).
#include <initguid.h>

#include <windows.h>
#include <mstask.h>
#include <string.h>

#include <map>
#include <set>
#include <string>

#include "GuardedCall.h"
#include "ScheduledTask.h"

namespace {

// Declared here because the import library's copies are not guaranteed in every mingw.
DEFINE_GUID(kClsidTaskScheduler, 0x148BD52A, 0xA2AB, 0x11CE, 0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03);
DEFINE_GUID(kIidTaskScheduler, 0x148BD527, 0xA2AB, 0x11CE, 0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03);
DEFINE_GUID(kClsidTask, 0x148BD520, 0xA2AB, 0x11CE, 0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03);
DEFINE_GUID(kIidTask, 0x148BD524, 0xA2AB, 0x11CE, 0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03);
DEFINE_GUID(kIidPersistFile, 0x0000010B, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

const HRESULT kTaskFileNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);  // 0x80070002
const WORD kTriggerSize = 48;

static_assert(sizeof(TASK_TRIGGER) == kTriggerSize, "TASK_TRIGGER layout");

// Releases a COM interface when it leaves scope.
template <class T> class ComRef {
public:
    ComRef() : p(nullptr) {}
    ~ComRef()
    {
        if (p)
            p->Release();
    }
    ComRef(const ComRef &) = delete;
    ComRef &operator=(const ComRef &) = delete;
    T *operator->() const { return p; }
    T **Out() { return &p; }
    void **OutVoid() { return reinterpret_cast<void **>(&p); }
    T *p;
};

// Bounded conversions between the fields' ANSI text and the interfaces' UTF-16.
std::wstring ToWide(const char *text)
{
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring wide((size_t)length, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    wide.resize((size_t)length - 1);
    return wide;
}

void CopyToField(const wchar_t *text, char *field, size_t size)
{
    field[0] = '\0';
    if (text == nullptr)
        return;
    int length = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return;
    std::string ansi((size_t)length, '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &ansi[0], length, nullptr, nullptr);
    strncpy(field, ansi.c_str(), size - 1);
    field[size - 1] = '\0';
}

// The RPC runtime's own failures (the server is not there, the call failed), as exception codes
// and in HRESULTs.
bool IsRpcFailureCode(DWORD code)
{
    return code >= RPC_S_INVALID_STRING_BINDING && code <= RPC_X_BAD_STUB_DATA;
}

// A Task Scheduler service that has not started yet (seen in the first moments of a new Wine
// prefix) or that fails can raise its RPC failure (0x6BE, the remote call failed) from inside a
// call instead of returning it. So every call into the Task Scheduler goes through here and
// then fails with that code as its HRESULT. The call must create no object that needs a
// destructor: what it hands in is made before.
template <class Call> HRESULT CallScheduler(const Call &call)
{
    HRESULT hr = E_FAIL;
    auto run = [&] { hr = call(); };
    DWORD raised = 0;
    if (!RunGuardedCall(run, IsRpcFailureCode, &raised))
        return HRESULT_FROM_WIN32(raised);
    return hr;
}

// Calls one of the interfaces' text getters, copies the text it returns into a field and frees
// the task memory; returns the call's result. The call comes first, in a statement of its own:
// the text exists only once it has returned.
template <class Object, class Interface>
HRESULT ReadText(Object *object, HRESULT (STDMETHODCALLTYPE Interface::*get)(LPWSTR *), char *field, size_t size)
{
    LPWSTR text = nullptr;
    HRESULT hr = CallScheduler([&] { return (object->*get)(&text); });
    if (SUCCEEDED(hr))
        CopyToField(text, field, size);
    if (text)
        CoTaskMemFree(text);
    return hr;
}

HRESULT CreateSchedulerObject(void **scheduler)
{
    return CoCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, kIidTaskScheduler, scheduler);
}

TaskSchedulerFactory schedulerFactory = CreateSchedulerObject;

HRESULT ActivateTask(ComRef<ITaskScheduler> &scheduler, const char *taskName, ComRef<ITask> &task)
{
    std::wstring name = ToWide(taskName);
    return CallScheduler(
        [&] { return scheduler->Activate(name.c_str(), kIidTask, reinterpret_cast<IUnknown **>(task.Out())); });
}

// ---- Batches (BeginTaskBatch) ----
// A walk over all configurations asks about each task up to three times (its next run twice,
// its settings once), and under Wine every question about a task that does not exist lists the
// whole task folder. While a batch is open on a keeping thread the existing tasks are listed
// once, at the first question, and each task is activated once.
struct OpenBatch {
    int depth = 0;
    bool listingTried = false;
    bool listed = false;                       // names holds every existing task
    std::set<std::wstring> names;              // folded, without ".job"
    std::map<std::wstring, ITask *> tasks;     // activated, by folded name; NULL: no such task
    // Why no scheduler object could be made. A service that is not running makes each try wait
    // seconds for it to start; the rest of the batch gets the same answer at once.
    HRESULT creationFailure = S_OK;
};

// Creating a scheduler object costs far more than asking one (20 ms against 0.05 ms under
// Wine), and the job list asks once or twice per configuration. A kept object belongs to the
// apartment of the thread that keeps it, so each keeping thread has its own, and its own batch.
struct ThreadScheduler {
    ITaskScheduler *kept = nullptr;
    OpenBatch batch;
};
// Null on a thread that keeps none. Only a pointer is thread-local: the toolchain's thread-local
// objects with destructors can be destroyed after their storage is gone when a thread ends.
thread_local ThreadScheduler *self = nullptr;

bool IsBatchOpen()
{
    return self != nullptr && self->batch.depth > 0;
}

HRESULT CreateScheduler(ComRef<ITaskScheduler> &scheduler)
{
    if (self != nullptr && self->kept != nullptr) {
        self->kept->AddRef();
        scheduler.p = self->kept;
        return S_OK;
    }
    if (IsBatchOpen() && FAILED(self->batch.creationFailure))
        return self->batch.creationFailure;
    HRESULT hr = CallScheduler([&] { return schedulerFactory(scheduler.OutVoid()); });
    if (SUCCEEDED(hr) && self != nullptr) {
        self->kept = scheduler.p;
        self->kept->AddRef();
    } else if (FAILED(hr) && IsBatchOpen()) {
        self->batch.creationFailure = hr;
    }
    return hr;
}

// Task names are file names: the case does not matter.
std::wstring FoldName(const wchar_t *name)
{
    std::wstring folded(name);
    if (!folded.empty())
        CharLowerBuffW(&folded[0], (DWORD)folded.size());
    return folded;
}

void ForgetBatchedTasks()
{
    if (self == nullptr)
        return;
    for (auto &entry : self->batch.tasks)
        if (entry.second != nullptr)
            entry.second->Release();
    self->batch.tasks.clear();
    self->batch.names.clear();
    self->batch.listed = false;
    self->batch.listingTried = false;
    self->batch.creationFailure = S_OK;
}

// The names come as the task files' names ("Name.job"). Nothing counts as listed unless the
// whole enumeration succeeded.
void ListTasks(ITaskScheduler *scheduler)
{
    self->batch.listingTried = true;
    ComRef<IEnumWorkItems> items;
    if (FAILED(CallScheduler([&] { return scheduler->Enum(items.Out()); })))
        return;
    const std::wstring suffix = L".job";
    HRESULT hr = S_OK;
    while (hr == S_OK) {
        LPWSTR *names = nullptr;
        ULONG count = 0;
        hr = CallScheduler([&] { return items->Next(64, &names, &count); });
        if (FAILED(hr)) {
            self->batch.names.clear();
            return;
        }
        for (ULONG i = 0; names != nullptr && i < count; ++i) {
            std::wstring name = FoldName(names[i]);
            if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                name.resize(name.size() - suffix.size());
            self->batch.names.insert(name);
            CoTaskMemFree(names[i]);
        }
        CoTaskMemFree(names);
    }
    self->batch.listed = true;
}

HRESULT OpenBatchedTask(ITaskScheduler *scheduler, const char *taskName, ComRef<ITask> &task, bool *exists)
{
    std::wstring name = ToWide(taskName);
    std::wstring key = FoldName(name.c_str());
    auto known = self->batch.tasks.find(key);
    if (known == self->batch.tasks.end()) {
        if (!self->batch.listingTried)
            ListTasks(scheduler);
        ITask *activated = nullptr;
        if (!self->batch.listed || self->batch.names.count(key) != 0) {
            HRESULT hr = CallScheduler(
                [&] { return scheduler->Activate(name.c_str(), kIidTask, reinterpret_cast<IUnknown **>(&activated)); });
            if (FAILED(hr) && hr != kTaskFileNotFound)
                return hr;
            if (FAILED(hr))
                activated = nullptr;
        }
        known = self->batch.tasks.emplace(key, activated).first;
    }
    if (known->second != nullptr) {
        known->second->AddRef();
        task.p = known->second;
        *exists = true;
    }
    return S_OK;
}

// Opens a task by name; a task that does not exist is S_OK with exists false.
HRESULT OpenExistingTask(const char *taskName, ComRef<ITask> &task, bool *exists)
{
    *exists = false;
    ComRef<ITaskScheduler> scheduler;
    HRESULT hr = CreateScheduler(scheduler);
    if (FAILED(hr))
        return hr;
    if (IsBatchOpen())
        return OpenBatchedTask(scheduler.p, taskName, task, exists);
    hr = ActivateTask(scheduler, taskName, task);
    if (hr == kTaskFileNotFound)
        return S_OK;
    if (SUCCEEDED(hr))
        *exists = true;
    return hr;
}

// Hands a field's text to one of the task's text setters; returns the call's result.
template <class Interface>
HRESULT WriteText(ITask *task, HRESULT (STDMETHODCALLTYPE Interface::*set)(LPCWSTR), const char *field)
{
    std::wstring text = ToWide(field);
    return CallScheduler([&] { return (task->*set)(text.c_str()); });
}

HRESULT FillTask(const CTask &fields, ITask *task)
{
    HRESULT hr = WriteText(task, &ITask::SetApplicationName, fields.application);
    if (FAILED(hr))
        return hr;
    if (fields.parameters[0] && FAILED(hr = WriteText(task, &ITask::SetParameters, fields.parameters)))
        return hr;
    if (fields.workingDirectory[0] && FAILED(hr = WriteText(task, &ITask::SetWorkingDirectory, fields.workingDirectory)))
        return hr;
    if (fields.runAsAccount) {
        std::wstring account = ToWide(fields.account), password = ToWide(fields.password);
        hr = CallScheduler([&] { return task->SetAccountInformation(account.c_str(), password.c_str()); });
        SecureZeroMemory(&password[0], password.size() * sizeof(wchar_t));
        if (FAILED(hr))
            return hr;
    }
    if (fields.comment[0] && FAILED(hr = WriteText(task, &ITask::SetComment, fields.comment)))
        return hr;
    return CallScheduler([&] { return task->SetFlags(fields.runAsAccount ? TASK_FLAG_INTERACTIVE : 0); });
}

HRESULT AddTrigger(const CTask &fields, ITask *task)
{
    WORD index = 0;
    ComRef<ITaskTrigger> trigger;
    HRESULT hr = CallScheduler([&] { return task->CreateTrigger(&index, trigger.Out()); });
    if (FAILED(hr))
        return hr;
    TASK_TRIGGER record;
    ZeroMemory(&record, sizeof record);
    record.cbTriggerSize = kTriggerSize;
    record.wBeginYear = fields.startTime.wYear;
    record.wBeginMonth = fields.startTime.wMonth;
    record.wBeginDay = fields.startTime.wDay;
    record.wStartHour = fields.startTime.wHour;
    record.wStartMinute = fields.startTime.wMinute;
    if (fields.triggerKind == 1) {
        record.TriggerType = TASK_TIME_TRIGGER_DAILY;
        record.Type.Daily.DaysInterval = fields.daysInterval;
    } else {
        record.TriggerType = TASK_TIME_TRIGGER_WEEKLY;
        record.Type.Weekly.WeeksInterval = 1;
        record.Type.Weekly.rgfDaysOfTheWeek = fields.daysOfWeek;
    }
    return CallScheduler([&] { return trigger->SetTrigger(&record); });
}

HRESULT ReadTrigger(CTask &fields, ITask *task)
{
    ComRef<ITaskTrigger> trigger;
    HRESULT hr = CallScheduler([&] { return task->GetTrigger(0, trigger.Out()); });
    if (FAILED(hr))
        return hr;
    TASK_TRIGGER record;
    ZeroMemory(&record, sizeof record);
    record.cbTriggerSize = kTriggerSize;
    if (FAILED(hr = CallScheduler([&] { return trigger->GetTrigger(&record); })))
        return hr;
    fields.startTime.wYear = record.wBeginYear;
    fields.startTime.wMonth = record.wBeginMonth;
    fields.startTime.wDay = record.wBeginDay;
    fields.startTime.wHour = record.wStartHour;
    fields.startTime.wMinute = record.wStartMinute;
    if (record.TriggerType == TASK_TIME_TRIGGER_DAILY) {
        fields.triggerKind = 1;
        fields.daysInterval = record.Type.Daily.DaysInterval;
    } else if (record.TriggerType == TASK_TIME_TRIGGER_WEEKLY) {
        fields.triggerKind = 2;
        fields.daysOfWeek = record.Type.Weekly.rgfDaysOfTheWeek;
    }
    return ReadText(trigger.p, &ITaskTrigger::GetTriggerString, fields.triggerText, sizeof fields.triggerText);
}

class ComTaskSchedulerService : public TaskSchedulerService {
public:
    HRESULT SaveTask(const CTask &fields, const char *taskName) override
    {
        ComRef<ITaskScheduler> scheduler;
        HRESULT hr = CreateScheduler(scheduler);
        if (FAILED(hr))
            return hr;
        std::wstring name = ToWide(taskName);
        {
            ComRef<ITask> existing;
            if (SUCCEEDED(ActivateTask(scheduler, taskName, existing))) {
                existing->Release();
                existing.p = nullptr;
                if (FAILED(hr = ::DeleteTask(name.c_str())))
                    return hr;
            }
        }
        ComRef<ITask> task;
        hr = CallScheduler([&] {
            return scheduler->NewWorkItem(name.c_str(), kClsidTask, kIidTask, reinterpret_cast<IUnknown **>(task.Out()));
        });
        if (FAILED(hr) || FAILED(hr = FillTask(fields, task.p)) || FAILED(hr = AddTrigger(fields, task.p)))
            return hr;
        ComRef<IPersistFile> file;
        if (FAILED(hr = CallScheduler([&] { return task->QueryInterface(kIidPersistFile, file.OutVoid()); })))
            return hr;
        return CallScheduler([&] { return file->Save(nullptr, FALSE); });
    }

    HRESULT LoadTask(CTask &fields, const char *taskName, int *found) override
    {
        ComRef<ITask> task;
        bool exists = false;
        HRESULT hr = OpenExistingTask(taskName, task, &exists);
        if (FAILED(hr) || !exists)
            return hr;
        if (FAILED(hr = ReadText(task.p, &ITask::GetApplicationName, fields.application, sizeof fields.application)) ||
            FAILED(hr = ReadText(task.p, &ITask::GetParameters, fields.parameters, sizeof fields.parameters)) ||
            FAILED(hr = ReadText(task.p, &ITask::GetWorkingDirectory, fields.workingDirectory,
                                 sizeof fields.workingDirectory)))
            return hr;
        if (fields.runAsAccount &&
            FAILED(hr = ReadText(task.p, &ITask::GetAccountInformation, fields.account, sizeof fields.account)))
            return hr;
        if (FAILED(hr = ReadText(task.p, &ITask::GetComment, fields.comment, sizeof fields.comment)))
            return hr;
        if (FAILED(hr = ReadTrigger(fields, task.p)))
            return hr;
        *found = 1;
        return hr;
    }

    HRESULT GetNextRunTime(const char *taskName, SYSTEMTIME *next, int *found) override
    {
        ComRef<ITask> task;
        bool exists = false;
        HRESULT hr = OpenExistingTask(taskName, task, &exists);
        if (FAILED(hr) || !exists)
            return hr;
        hr = CallScheduler([&] { return task->GetNextRunTime(next); });
        // The informational results (no trigger, no more runs, disabled) come with a zeroed
        // time: only S_OK gives a real next run.
        if (hr == S_OK)
            *found = 1;
        return hr;
    }

    HRESULT DeleteTask(const wchar_t *taskName) override
    {
        ComRef<ITaskScheduler> scheduler;
        HRESULT hr = CreateScheduler(scheduler);
        if (FAILED(hr))
            return hr;
        return CallScheduler([&] { return scheduler->Delete(taskName); });
    }
};

// A kept object whose server has gone away answers every later call with an RPC failure.
bool IsLostConnection(HRESULT hr)
{
    if (HRESULT_FACILITY(hr) == FACILITY_RPC)
        return true;
    return HRESULT_FACILITY(hr) == FACILITY_WIN32 && IsRpcFailureCode(HRESULT_CODE(hr));
}

// The COM service, letting the kept object go after such a failure so that the next call
// starts afresh.
class KeptSchedulerService : public TaskSchedulerService {
public:
    // What a batch has read may be what these change.
    HRESULT SaveTask(const CTask &fields, const char *taskName) override
    {
        ForgetBatchedTasks();
        return Checked(com.SaveTask(fields, taskName));
    }
    HRESULT LoadTask(CTask &fields, const char *taskName, int *found) override
    {
        return Checked(com.LoadTask(fields, taskName, found));
    }
    HRESULT GetNextRunTime(const char *taskName, SYSTEMTIME *next, int *found) override
    {
        return Checked(com.GetNextRunTime(taskName, next, found));
    }
    HRESULT DeleteTask(const wchar_t *taskName) override
    {
        ForgetBatchedTasks();
        return Checked(com.DeleteTask(taskName));
    }

private:
    static HRESULT Checked(HRESULT hr)
    {
        if (IsLostConnection(hr) && self != nullptr && self->kept != nullptr) {
            ForgetBatchedTasks();
            self->kept->Release();
            self->kept = nullptr;
        }
        return hr;
    }
    ComTaskSchedulerService com;
};

}  // namespace

TaskSchedulerService &RealTaskSchedulerService()
{
    static KeptSchedulerService service;
    return service;
}

void KeepTaskScheduler()
{
    ReleaseTaskScheduler();
    self = new ThreadScheduler;
}

void ReleaseTaskScheduler()
{
    if (self == nullptr)
        return;
    ForgetBatchedTasks();
    if (self->kept != nullptr)
        self->kept->Release();
    delete self;
    self = nullptr;
}

void BeginTaskBatch()
{
    if (self != nullptr)
        ++self->batch.depth;
}

void EndTaskBatch()
{
    if (self == nullptr || self->batch.depth == 0)
        return;
    if (--self->batch.depth == 0)
        ForgetBatchedTasks();
}

TaskSchedulerFactory SetTaskSchedulerFactory(TaskSchedulerFactory factory)
{
    TaskSchedulerFactory previous = schedulerFactory;
    schedulerFactory = factory != nullptr ? factory : CreateSchedulerObject;
    return previous;
}
