// The tasks read behind the window: what a question gets before and after its task was read, a
// task saved while it was being read, and a stop while the readers are busy.
#include <windows.h>
#include <gtest/gtest.h>
#include <string.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "ScheduledTask.h"
#include "TaskViews.h"
#include "WaitUntil.h"

namespace {

std::string TaskName(int id)
{
    char name[kTaskNameSize];
    FormatTaskName(id, name);
    return name;
}

// Tasks by name, asked for from the reader threads; a read can be held at a gate until the
// test opens it.
class GatedScheduler : public TaskSchedulerService {
public:
    struct Task {
        HRESULT loadResult = S_OK;
        std::string trigger;
        bool hasNextRun = false;
        SYSTEMTIME nextRun{};
    };
    GatedScheduler() : gate_(CreateEventA(nullptr, TRUE, TRUE, nullptr)) {}
    ~GatedScheduler() override { CloseHandle(gate_); }

    void Put(int id, const Task &task)
    {
        AcquireSRWLockExclusive(&lock_);
        tasks_[TaskName(id)] = task;
        ReleaseSRWLockExclusive(&lock_);
    }
    void Close() { ResetEvent(gate_); }
    void Open() { SetEvent(gate_); }
    LONG Loads() { return InterlockedCompareExchange(&loads_, 0, 0); }
    LONG Waiting() { return InterlockedCompareExchange(&waiting_, 0, 0); }

    HRESULT SaveTask(const CTask &, const char *) override { return S_OK; }
    HRESULT LoadTask(CTask &task, const char *name, int *found) override
    {
        // What it reads is what the task was when the read began.
        Task known;
        bool exists = Find(name, &known);
        InterlockedIncrement(&waiting_);
        WaitForSingleObject(gate_, INFINITE);
        InterlockedDecrement(&waiting_);
        InterlockedIncrement(&loads_);
        if (!exists)
            return S_OK;
        lstrcpynA(task.triggerText, known.trigger.c_str(), sizeof task.triggerText);
        *found = 1;
        return known.loadResult;
    }
    HRESULT GetNextRunTime(const char *name, SYSTEMTIME *next, int *found) override
    {
        Task known;
        if (Find(name, &known) && known.hasNextRun) {
            *next = known.nextRun;
            *found = 1;
        }
        return S_OK;
    }
    HRESULT DeleteTask(const wchar_t *) override { return S_OK; }

private:
    bool Find(const char *name, Task *task)
    {
        AcquireSRWLockShared(&lock_);
        auto it = tasks_.find(name);
        bool known = it != tasks_.end();
        if (known)
            *task = it->second;
        ReleaseSRWLockShared(&lock_);
        return known;
    }
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::map<std::string, Task> tasks_;
    HANDLE gate_;
    volatile LONG loads_ = 0;
    volatile LONG waiting_ = 0;
};

class TaskViews : public ::testing::Test {
protected:
    void SetUp() override { previous = SetTaskSchedulerService(&scheduler); }
    void TearDown() override
    {
        scheduler.Open();
        ClearTaskViews();
        SetTaskSchedulerService(previous);
    }
    static std::vector<int> Ids(int first, int last)
    {
        std::vector<int> ids;
        for (int id = first; id <= last; ++id)
            ids.push_back(id);
        return ids;
    }
    static bool AllRead() { return WaitUntil([] { return IsReadingTaskViews() == 0; }); }
    GatedScheduler scheduler;
    TaskSchedulerService *previous = nullptr;
};

}  // namespace

TEST_F(TaskViews, PendingUntilReadThenWhatTheTaskSays)
{
    SYSTEMTIME monday = {2026, 12, 1, 14, 17, 0, 0, 0};
    GatedScheduler::Task weekly{S_OK, "At 17:00 every Mon", true, monday};
    GatedScheduler::Task broken{E_ACCESSDENIED, "", false, {}};
    scheduler.Put(1, weekly);
    scheduler.Put(3, broken);
    TaskView view{};
    EXPECT_EQ(LookUpTaskView(1, &view), TaskViewAnswer::NotKept);

    scheduler.Close();
    ASSERT_EQ(StartTaskViews(), 1);
    long before = GetTaskViewsChangeCount();
    ReadTaskViews(Ids(1, 3));
    EXPECT_EQ(IsReadingTaskViews(), 1);
    EXPECT_EQ(LookUpTaskView(1, &view), TaskViewAnswer::Pending);
    EXPECT_EQ(LookUpTaskView(2, &view), TaskViewAnswer::Pending);
    scheduler.Open();
    ASSERT_TRUE(AllRead());
    EXPECT_GT(GetTaskViewsChangeCount(), before);

    struct Expected {
        int id;
        HRESULT loadResult;
        int found;
        const char *trigger;
        int hasNextRun;
    } table[] = {
        {1, S_OK, 1, "At 17:00 every Mon", 1},
        {2, S_OK, 0, "", 0},  // no such task
        {3, E_ACCESSDENIED, 1, "", 0},
    };
    for (const Expected &e : table) {
        TaskView read{};
        ASSERT_EQ(LookUpTaskView(e.id, &read), TaskViewAnswer::Known) << e.id;
        EXPECT_EQ(read.loadResult, e.loadResult) << e.id;
        EXPECT_EQ(read.found, e.found) << e.id;
        EXPECT_STREQ(read.triggerText, e.trigger) << e.id;
        EXPECT_EQ(read.hasNextRun, e.hasNextRun) << e.id;
    }
    ASSERT_EQ(LookUpTaskView(1, &view), TaskViewAnswer::Known);
    EXPECT_EQ(memcmp(&view.nextRun, &monday, sizeof monday), 0);
    // Read once each, however often they were asked for.
    EXPECT_EQ(scheduler.Loads(), 3);
}

TEST_F(TaskViews, ATaskSavedWhileItIsReadShowsTheSavedTask)
{
    scheduler.Put(5, GatedScheduler::Task{S_OK, "At 09:00 every day", false, {}});
    scheduler.Close();
    ASSERT_EQ(StartTaskViews(), 1);
    ReadTaskViews({5});
    ASSERT_TRUE(WaitUntil([this] { return scheduler.Waiting() == 1; }));
    // The reader holds the old task; the editor saves a new one. Names not formatted as ours
    // are someone else's tasks.
    scheduler.Put(5, GatedScheduler::Task{S_OK, "At 21:00 every Fri", false, {}});
    NoteTaskChanged(TaskName(5).c_str());
    NoteTaskChanged("Velloran Config 005");
    NoteTaskChanged(L"Another program's task");
    TaskView view{};
    EXPECT_EQ(LookUpTaskView(5, &view), TaskViewAnswer::Pending);
    scheduler.Open();
    ASSERT_TRUE(AllRead());
    ASSERT_EQ(LookUpTaskView(5, &view), TaskViewAnswer::Known);
    EXPECT_STREQ(view.triggerText, "At 21:00 every Fri");
    EXPECT_EQ(scheduler.Loads(), 2);
}

TEST_F(TaskViews, StopWhileReadingWaitsForTheReadersAndLeavesTheRestPending)
{
    scheduler.Close();
    ASSERT_EQ(StartTaskViews(), 1);
    ReadTaskViews(Ids(1, 500));
    ASSERT_TRUE(WaitUntil([this] { return scheduler.Waiting() > 0; }));
    // The reads in progress end a moment after the stop began.
    std::thread opener([this] {
        Sleep(100);
        scheduler.Open();
    });
    StopTaskViews();
    LONG loads = scheduler.Loads();
    EXPECT_GT(loads, 0);
    EXPECT_LT(loads, 100);
    EXPECT_EQ(scheduler.Waiting(), 0);
    EXPECT_EQ(IsReadingTaskViews(), 0);
    TaskView view{};
    EXPECT_EQ(LookUpTaskView(500, &view), TaskViewAnswer::Pending);
    // Nothing reads on after the stop, and nothing asked for later is read.
    ReadTaskViews(Ids(501, 510));
    Sleep(100);
    EXPECT_EQ(scheduler.Loads(), loads);
    opener.join();

    ClearTaskViews();
    EXPECT_EQ(LookUpTaskView(500, &view), TaskViewAnswer::NotKept);
}

TEST_F(TaskViews, ReadersStartAndEndAgainAndAgain)
{
    // Each start makes reader threads that keep a Task Scheduler each, and each stop ends them.
    for (int round = 0; round < 100; ++round) {
        ASSERT_EQ(StartTaskViews(), 1) << round;
        ReadTaskViews({1, 2, 3});
        StopTaskViews();
    }
    EXPECT_EQ(IsReadingTaskViews(), 0);
}
