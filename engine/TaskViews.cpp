#include "TaskViews.h"

#include <objbase.h>
#include <stdlib.h>
#include <string.h>

#include <deque>
#include <memory>
#include <unordered_map>

#include "ExclusiveLock.h"
#include "ScheduledTask.h"

namespace {

struct Entry {
    bool known = false;
    bool queued = false;              // waiting in the queue, its read not begun
    unsigned long long changedAt = 0; // the change number of the task's last save or delete
    unsigned long long readAt = 0;    // the read number of its view
    TaskView view{};
};

// Under Wine, opening a task (ITaskScheduler::Activate) is nearly all of its read, and a few
// readers side by side read about twice as fast as one.
const int kReaders = 4;

// Everything here but the thread handles is shared with the readers and kept under viewsLock.
SRWLOCK viewsLock = SRWLOCK_INIT;
bool kept = false;
bool accepting = false;               // readers are there to read what is queued
std::unordered_map<int, Entry> entries;  // by configuration id
std::deque<int> queue;                // ids; one whose entry is no longer queued is skipped
int reading = 0;                      // tasks being read
bool busy = false;                    // something is queued or being read
unsigned long long lastRead = 0;      // numbers the views read
unsigned long long busySince = 0;     // the read number when the readers last found work
unsigned long long lastChange = 0;    // numbers the saves and deletes of tasks
HANDLE wakeReaders = nullptr;         // set while the queue holds work (or they should stop)
bool stopReaders = false;

volatile LONG changeCount = 0;
// Only the thread that starts and stops the views uses these.
HANDLE readerThreads[kReaders] = {};
int readerCount = 0;

// The configuration id of a task of ours (as FormatTaskName names them); false for any other.
bool ParseTaskName(const char *name, int *uniqueId)
{
    char prefix[kTaskNameSize];
    FormatTaskName(0, prefix);
    size_t length = strlen(prefix) - 1;  // without the 0
    if (name == nullptr || _strnicmp(name, prefix, length) != 0)
        return false;
    char *end = nullptr;
    long id = strtol(name + length, &end, 10);
    if (end == name + length || *end != '\0')
        return false;
    char formatted[kTaskNameSize];
    FormatTaskName((int)id, formatted);
    if (_stricmp(formatted, name) != 0)
        return false;  // "Config 007" is another task than "Config 7"
    *uniqueId = (int)id;
    return true;
}

void NoteViewsChanged()
{
    InterlockedIncrement(&changeCount);
}

// Under viewsLock.
void Enqueue(int id, Entry &entry, bool first)
{
    if (!accepting || entry.queued)
        return;
    entry.queued = true;
    if (first)
        queue.push_front(id);
    else
        queue.push_back(id);
    if (!busy)
        busySince = lastRead;
    busy = true;
    SetEvent(wakeReaders);
}

void ReadTask(int id, TaskView *view)
{
    char name[kTaskNameSize];
    FormatTaskName(id, name);
    CTask task;
    int found = 0;
    view->loadResult = task.Load(name, &found);
    view->found = found;
    lstrcpynA(view->triggerText, task.triggerText, sizeof view->triggerText);
    SYSTEMTIME next = {};
    int hasNext = 0;
    if (FAILED(GetTaskNextRunTime(name, &next, &hasNext)))
        hasNext = 0;
    view->hasNextRun = hasNext;
    view->nextRun = next;
}

// The next task to read, after the one just read (if any); false when none waits or the
// readers should stop. A reader keeps its own list of the tasks (a batch); a save or delete
// since it listed them makes it list them again, from after that change.
bool TakeNext(bool finishedOne, int *id, unsigned long long *listedAfter, bool *renewBatch)
{
    ExclusiveLock lock(&viewsLock);
    if (finishedOne)
        --reading;
    while (!stopReaders && !queue.empty()) {
        int next = queue.front();
        queue.pop_front();
        auto entry = entries.find(next);
        if (entry == entries.end() || !entry->second.queued)
            continue;  // taken already (it was moved to the front)
        entry->second.queued = false;
        *id = next;
        ++reading;
        if (*renewBatch || *listedAfter != lastChange) {
            *renewBatch = true;
            *listedAfter = lastChange;
        }
        return true;
    }
    if (queue.empty() && !stopReaders)
        ResetEvent(wakeReaders);
    busy = reading > 0 || !queue.empty();
    return false;
}

void StoreView(int id, const TaskView &view, unsigned long long listedAfter)
{
    {
        ExclusiveLock lock(&viewsLock);
        auto entry = entries.find(id);
        // Saved or deleted while it was read: out of date, and already queued again.
        if (entry == entries.end() || entry->second.changedAt > listedAfter)
            return;
        entry->second.view = view;
        entry->second.known = true;
        entry->second.readAt = ++lastRead;
    }
    NoteViewsChanged();
}

void ReadQueuedTasks()
{
    std::unique_ptr<TaskBatch> batch;
    unsigned long long listedAfter = 0;
    bool renew = true;
    int id = 0;
    for (bool read = false; TakeNext(read, &id, &listedAfter, &renew); read = true) {
        if (renew) {
            batch.reset();
            batch.reset(new TaskBatch);
            renew = false;
        }
        TaskView view;
        ReadTask(id, &view);
        StoreView(id, view, listedAfter);
    }
}

// Without an apartment nothing can be read: the window asks the Task Scheduler itself.
void GiveUpKeeping()
{
    {
        ExclusiveLock lock(&viewsLock);
        kept = false;
        accepting = false;
        entries.clear();
        queue.clear();
        busy = false;
    }
    NoteViewsChanged();
}

bool IsStopping()
{
    ExclusiveLock lock(&viewsLock);
    return stopReaders;
}

DWORD WINAPI TaskReaderThread(LPVOID)
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        GiveUpKeeping();
        return 0;
    }
    KeepTaskScheduler();
    while (WaitForSingleObject(wakeReaders, INFINITE) == WAIT_OBJECT_0 && !IsStopping())
        ReadQueuedTasks();
    ReleaseTaskScheduler();
    CoUninitialize();
    return 0;
}

}  // namespace

int StartTaskViews()
{
    ClearTaskViews();
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr)
        return 0;
    {
        ExclusiveLock lock(&viewsLock);
        wakeReaders = event;
        stopReaders = false;
        kept = true;
        accepting = true;
    }
    for (int i = 0; i < kReaders; ++i) {
        HANDLE thread = CreateThread(nullptr, 0, TaskReaderThread, nullptr, 0, nullptr);
        if (thread == nullptr)
            break;
        // Like the size count, they give way to the window and to a job.
        SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL);
        readerThreads[readerCount++] = thread;
    }
    if (readerCount == 0) {
        ClearTaskViews();
        return 0;
    }
    return 1;
}

void StopTaskViews()
{
    HANDLE event = nullptr;
    {
        ExclusiveLock lock(&viewsLock);
        accepting = false;
        stopReaders = true;
        event = wakeReaders;
        if (event != nullptr)
            SetEvent(event);
    }
    if (readerCount > 0) {
        WaitForMultipleObjects((DWORD)readerCount, readerThreads, TRUE, INFINITE);
        for (int i = 0; i < readerCount; ++i) {
            CloseHandle(readerThreads[i]);
            readerThreads[i] = nullptr;
        }
        readerCount = 0;
    }
    {
        ExclusiveLock lock(&viewsLock);
        for (auto &entry : entries)
            entry.second.queued = false;
        queue.clear();
        reading = 0;
        busy = false;
        wakeReaders = nullptr;
    }
    if (event != nullptr)
        CloseHandle(event);
}

void ClearTaskViews()
{
    StopTaskViews();
    {
        ExclusiveLock lock(&viewsLock);
        kept = false;
        entries.clear();
    }
    NoteViewsChanged();
}

void ReadTaskViews(const std::vector<int> &uniqueIds)
{
    ExclusiveLock lock(&viewsLock);
    if (!kept)
        return;
    for (int id : uniqueIds) {
        auto found = entries.find(id);
        if (found == entries.end()) {
            Enqueue(id, entries[id], false);
            continue;
        }
        // One asked for but not read yet is on its way already, and one read since the reader
        // last found work counts as read again.
        Entry &entry = found->second;
        if (entry.known && !(busy && entry.readAt > busySince))
            Enqueue(id, entry, false);
    }
}

void ReadTaskViewsFirst(const std::vector<int> &uniqueIds)
{
    ExclusiveLock lock(&viewsLock);
    if (!kept)
        return;
    for (auto id = uniqueIds.rbegin(); id != uniqueIds.rend(); ++id) {
        auto entry = entries.find(*id);
        if (entry != entries.end() && entry->second.queued) {
            entry->second.queued = false;  // its place further back is skipped
            Enqueue(*id, entry->second, true);
        }
    }
}

TaskViewAnswer LookUpTaskView(int uniqueId, TaskView *view)
{
    ExclusiveLock lock(&viewsLock);
    if (!kept)
        return TaskViewAnswer::NotKept;
    auto found = entries.find(uniqueId);
    if (found == entries.end()) {
        // Asked for before anyone asked to read it.
        Enqueue(uniqueId, entries[uniqueId], false);
        return TaskViewAnswer::Pending;
    }
    if (!found->second.known)
        return TaskViewAnswer::Pending;
    *view = found->second.view;
    return TaskViewAnswer::Known;
}

void NoteTaskChanged(const char *taskName)
{
    int id = 0;
    if (!ParseTaskName(taskName, &id))
        return;
    {
        ExclusiveLock lock(&viewsLock);
        if (!kept)
            return;
        Entry &entry = entries[id];
        entry.changedAt = ++lastChange;
        entry.known = false;
        Enqueue(id, entry, true);
    }
    NoteViewsChanged();
}

void NoteTaskChanged(const wchar_t *taskName)
{
    char name[kTaskNameSize];
    if (taskName != nullptr && WideCharToMultiByte(CP_ACP, 0, taskName, -1, name, sizeof name, nullptr, nullptr) > 0)
        NoteTaskChanged(name);
}

long GetTaskViewsChangeCount()
{
    return InterlockedCompareExchange(&changeCount, 0, 0);
}

int IsReadingTaskViews()
{
    ExclusiveLock lock(&viewsLock);
    return busy ? 1 : 0;
}
