// What the job list and the scheduler show of each configuration's Windows scheduled task: its
// trigger text (the Schedule cell) and its next run (the Next Run cell, the earliest next run).
// Under Wine reading one task costs about 0.6 ms, so with thousands of configurations the
// window would wait seconds for the Task Scheduler; once the views are kept, reader threads of
// their own (in the multithreaded COM apartment) read the tasks, and the window shows what has
// been read so far. A task not read yet is pending; saving or deleting a task makes it pending until the
// readers have read it again. Without kept views every question goes to the Task Scheduler.
#pragma once
#include <windows.h>

#include <vector>

// One task as CTask::Load and GetTaskNextRunTime gave it.
struct TaskView {
    HRESULT loadResult;    // of CTask::Load: a failure is shown as its message
    int found;             // the task exists
    char triggerText[256];
    int hasNextRun;        // GetTaskNextRunTime found a next run (a failure counts as none)
    SYSTEMTIME nextRun;
};

enum class TaskViewAnswer {
    NotKept,   // ask the Task Scheduler
    Pending,   // kept, but not read yet
    Known,
};

// The views are kept from here on, and the readers wait for work. Returns 0 (the views are not
// kept) when no reader can start. Window thread.
int StartTaskViews();
// Stops the readers and waits until they have ended; what was read stays, what was not stays
// pending. Called before the program leaves COM.
void StopTaskViews();
// Stops the readers and forgets every view: questions go to the Task Scheduler again.
void ClearTaskViews();

// Asks the readers to read again the tasks of these configurations (by id). A task whose read
// has not begun yet is not asked for twice, nor one read since the readers last found work; one
// never read is pending until it is read, the others keep what was read before.
void ReadTaskViews(const std::vector<int> &uniqueIds);
// Those of these configurations' tasks that wait to be read are read before the others.
void ReadTaskViewsFirst(const std::vector<int> &uniqueIds);
TaskViewAnswer LookUpTaskView(int uniqueId, TaskView *view);
// CTask::Save and DeleteTask call these after changing a task (tasks not named as
// FormatTaskName names them are none of ours).
void NoteTaskChanged(const char *taskName);
void NoteTaskChanged(const wchar_t *taskName);

// Grows each time a view has been read or made pending, so the window can tell that its cells
// may be out of date.
long GetTaskViewsChangeCount();
// 1 while tasks are waiting to be read or being read.
int IsReadingTaskViews();
