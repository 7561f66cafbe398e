// Windows scheduled tasks that start the program for one configuration. A configuration has at
// most one task, found by its name ("Velloran Config 7"); the name is the only link.
#pragma once
#include <windows.h>

class CTask {
public:
    CTask();
    virtual ~CTask();

    // Every field but runAsAccount back to its default.
    void Reset();
    // Creates the named task from the fields, replacing a task of that name.
    HRESULT Save(const char *taskName) const;
    // Reads the named task back; found is 0 when there is no such task (still S_OK).
    HRESULT Load(const char *taskName, int *found);

    SYSTEMTIME startTime;       // begin date and start time of the trigger
    int triggerKind;            // 1 daily; any other value weekly
    WORD daysOfWeek;            // weekly: bit 0 Sunday .. bit 6 Saturday
    WORD daysInterval;          // daily: every that many days
    char application[260];
    char parameters[256];
    char workingDirectory[260];
    char account[128];
    char password[128];         // never read back
    char comment[256];
    char triggerText[256];      // the Task Scheduler's own description, filled by Load
    int runAsAccount;           // 1: account set and task interactive; kept by Reset
};

enum { kTaskNameSize = 128 };

// "%s Config %d" with the product name and the configuration's id.
void FormatTaskName(int uniqueId, char name[kTaskNameSize]);
// found is 1 when the task exists and has a next run time.
HRESULT GetTaskNextRunTime(const char *taskName, SYSTEMTIME *next, int *found);
HRESULT DeleteTask(const wchar_t *taskName);
// 1 when tasks of accounts with an empty password may run, after asking the user to allow it.
int AllowBlankPasswordTasks(HWND owner);

// What CTask and the functions above ask of the Task Scheduler. The real service talks to
// Task Scheduler 1.0; tests install a double (Wine's scheduler cannot read accounts back or
// describe triggers, and its tasks never run).
class TaskSchedulerService {
public:
    virtual ~TaskSchedulerService() {}
    // The task is already checked (name, application, start year); replace any old one.
    virtual HRESULT SaveTask(const CTask &task, const char *taskName) = 0;
    // The task is already Reset and found set to 0.
    virtual HRESULT LoadTask(CTask &task, const char *taskName, int *found) = 0;
    virtual HRESULT GetNextRunTime(const char *taskName, SYSTEMTIME *next, int *found) = 0;
    virtual HRESULT DeleteTask(const wchar_t *taskName) = 0;
};

// Installs a service in place of the real one; NULL restores the real one. Returns the previous.
TaskSchedulerService *SetTaskSchedulerService(TaskSchedulerService *service);
TaskSchedulerService &RealTaskSchedulerService();

// From its next call of the real service until ReleaseTaskScheduler, the calling thread keeps
// one Task Scheduler object instead of creating one per call; each thread keeps its own. Both
// are called on a thread in a COM apartment, the release before the thread leaves it.
void KeepTaskScheduler();
void ReleaseTaskScheduler();

// Walks over all configurations open a batch on that thread: until the last batch ends, the
// existing tasks are listed once and each task is read once, whatever is asked about it. A
// task saved or deleted meanwhile makes the batch read again. Elsewhere these do nothing.
void BeginTaskBatch();
void EndTaskBatch();
class TaskBatch {
public:
    TaskBatch() { BeginTaskBatch(); }
    ~TaskBatch() { EndTaskBatch(); }
    TaskBatch(const TaskBatch &) = delete;
    TaskBatch &operator=(const TaskBatch &) = delete;
};

// Creates the Task Scheduler object (an ITaskScheduler) for the real service; tests count or
// replace it. NULL restores CoCreateInstance. Returns the previous one.
typedef HRESULT (*TaskSchedulerFactory)(void **scheduler);
TaskSchedulerFactory SetTaskSchedulerFactory(TaskSchedulerFactory factory);
