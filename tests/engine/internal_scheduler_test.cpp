// The internal scheduler with a fixed program start: next runs of every kind, the earliest run
// and the next due run over the table, and the Windows task's time through a double.
#include <windows.h>
#include <gtest/gtest.h>
#include <string.h>

#include <map>
#include <string>

#include "BackupConfig.h"
#include "Calendar.h"
#include "Clock.h"
#include "ConfigTable.h"
#include "InternalScheduler.h"
#include "MsvcrtFormat.h"
#include "RunQueue.h"
#include "ScheduledTask.h"
#include "TestTime.h"

namespace {

std::string Text(const SYSTEMTIME &t)
{
    char s[40];
    FormatText(s, sizeof s, "%04d-%02d-%02d %02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
    return s;
}

// Task next-run times by task name; everything else is "no such task".
class TaskTimes : public TaskSchedulerService {
public:
    HRESULT SaveTask(const CTask &, const char *) override { return E_NOTIMPL; }
    HRESULT LoadTask(CTask &, const char *, int *) override { return E_NOTIMPL; }
    HRESULT GetNextRunTime(const char *name, SYSTEMTIME *next, int *found) override
    {
        ++asked;
        auto it = times.find(name);
        if (it == times.end())
            return failing ? E_FAIL : S_OK;
        *next = it->second;
        *found = 1;
        return S_OK;
    }
    HRESULT DeleteTask(const wchar_t *) override { return E_NOTIMPL; }
    std::map<std::string, SYSTEMTIME> times;
    bool failing = false;
    int asked = 0;
};

struct Schedule {
    int kind;
    int everyDays;
    int dayMask;
    int hour;
    int minute;
};

// The clock set back (a time correction) while the program runs.
struct SetBack {
    const char *what;
    Schedule schedule;
    SYSTEMTIME start;       // the program's start
    SYSTEMTIME lastRun;     // by the clock before the correction
    SYSTEMTIME correctedTo;
    const char *next;       // the next slot in the corrected present
    const char *following;  // the slot after it, once its run has started
};

// The timer's reading of the clock.
void Tick(const SYSTEMTIME &now)
{
    SetClockForTesting(&now);
    RescheduleIfClockSetBack(&now);
}

class InternalSchedule : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous = SetTaskSchedulerService(&tasks);
        SYSTEMTIME present = MakeTime(2030, 1, 1);  // after every time here, unless set back
        SetClockForTesting(&present);
    }
    void TearDown() override
    {
        SetClockForTesting(nullptr);
        SetTaskSchedulerService(previous);
        ClearConfigTable();
        FreeRunQueue();
    }
    // Appends an enabled configuration that last ran (or, with runCount 0, was edited) at base.
    int Add(int id, const Schedule &s, const SYSTEMTIME &base, int runCount = 1, bool enabled = true)
    {
        BackupConfig config;
        memset(&config, 0, sizeof config);
        config.uniqueId = id;
        config.flags = enabled ? (uint32_t)Enabled : 0u;
        config.scheduleKind = s.kind;
        config.scheduleEveryDays = s.everyDays;
        config.scheduleDayMask = s.dayMask;
        config.scheduleHour = s.hour;
        config.scheduleMinute = s.minute;
        config.runCount = runCount;
        config.lastRunTime = base;
        config.dateModified = base;
        EXPECT_EQ(AppendConfig(&config), 1);
        return configTable.configCount - 1;
    }
    // The timer's ticks over the correction: the next run, and once it has started (recorded as a
    // job's start records it), the slot after it.
    void ExpectRunsOnceAfterSetBack(const SetBack &c)
    {
        programStartTime = c.start;
        int index = Add(20, c.schedule, c.lastRun);
        // The clock before the correction: at the run, or at the start when that came later.
        Tick(IsSystemTimeBefore(&c.lastRun, &c.start) ? c.start : c.lastRun);
        UpdateScheduleState();  // as the start and a run's start do
        Tick(c.correctedTo);
        ASSERT_EQ(hasNextDue, 1) << c.what;
        EXPECT_EQ(Text(nextDueTime), c.next) << c.what;
        SYSTEMTIME slot = nextDueTime;
        slot.wSecond = 1;  // the timer queues a run once its time has passed
        Tick(slot);
        ConfigAt(index)->lastRunTime = slot;
        ConfigAt(index)->runCount += 1;
        UpdateScheduleState();
        EXPECT_EQ(Text(nextDueTime), c.following) << c.what;
        ClearConfigTable();
    }
    std::string Next(int index)
    {
        SYSTEMTIME t;
        return ComputeNextInternalRun(index, &t) ? Text(t) : "none";
    }
    TaskTimes tasks;
    TaskSchedulerService *previous = nullptr;
};

const int kMonday = 1 << 1;
const int kTuesdayThursday = 1 << 2 | 1 << 4;

}  // namespace

TEST_F(InternalSchedule, NextRunOfEachKind)
{
    struct Case {
        const char *what;
        Schedule schedule;
        SYSTEMTIME base;
        int runCount;
        SYSTEMTIME start;
        const char *expected;
    } cases[] = {
        {"never ran: counts from the edit plus N days", {1, 1, 0, 10, 0}, MakeTime(2026, 12, 8, 9, 0), 0,
         MakeTime(2026, 12, 8, 9, 30), "2026-12-09 10:00"},
        {"missed while closed, due later today", {1, 3, 0, 10, 0}, MakeTime(2026, 12, 1, 10, 0), 1, MakeTime(2026, 12, 10, 9, 0),
         "2026-12-10 10:00"},
        {"missed while closed, today's time passed", {1, 3, 0, 10, 0}, MakeTime(2026, 12, 1, 10, 0), 1,
         MakeTime(2026, 12, 10, 11, 0), "2026-12-11 10:00"},
        {"due exactly at the program's start stands", {1, 1, 0, 10, 0}, MakeTime(2026, 12, 1, 10, 0), 1,
         MakeTime(2026, 12, 2, 10, 0), "2026-12-02 10:00"},
        {"across the year's end", {1, 5, 0, 23, 30}, MakeTime(2026, 12, 29, 23, 30), 1, MakeTime(2026, 12, 29, 23, 31),
         "2027-01-03 23:30"},
        {"across a leap day", {1, 1, 0, 6, 0}, MakeTime(2028, 2, 28, 6, 0), 1, MakeTime(2028, 2, 28, 7, 0), "2028-02-29 06:00"},
        {"across a month's end", {1, 2, 0, 6, 0}, MakeTime(2027, 4, 30, 6, 0), 1, MakeTime(2027, 4, 30, 7, 0), "2027-05-02 06:00"},
        {"interval below one counts as one", {1, 0, 0, 8, 0}, MakeTime(2026, 12, 7, 8, 0), 1, MakeTime(2026, 12, 7, 9, 0),
         "2026-12-08 08:00"},
        {"negative interval counts as one", {1, -4, 0, 8, 0}, MakeTime(2026, 12, 7, 8, 0), 1, MakeTime(2026, 12, 7, 9, 0),
         "2026-12-08 08:00"},
        {"Monday 08:00 from a base exactly then", {2, 0, kMonday, 8, 0}, MakeTime(2026, 12, 7, 8, 0), 1,
         MakeTime(2026, 12, 1, 0, 0), "2026-12-07 08:00"},
        {"Monday 08:00 from a base five seconds later", {2, 0, kMonday, 8, 0}, MakeTime(2026, 12, 7, 8, 0, 5), 1,
         MakeTime(2026, 12, 1, 0, 0), "2026-12-14 08:00"},
        {"weekly search starts on the program's start day", {2, 0, kMonday, 8, 0}, MakeTime(2026, 11, 2, 8, 0), 1,
         MakeTime(2026, 12, 7, 7, 0), "2026-12-07 08:00"},
        {"weekly, today's time already passed", {2, 0, 1 << 2, 8, 0}, MakeTime(2026, 11, 1, 8, 0), 1,
         MakeTime(2026, 12, 8, 9, 0), "2026-12-15 08:00"},
        {"weekdays across the year's end", {2, 0, 1 << 5, 12, 0}, MakeTime(2026, 12, 26, 13, 0), 1,
         MakeTime(2026, 12, 26, 13, 0), "2027-01-01 12:00"},
        {"weekly without days", {2, 0, 0, 8, 0}, MakeTime(2026, 12, 7, 8, 0), 1, MakeTime(2026, 12, 1, 0, 0), "none"},
        {"weekly with only bits past Saturday", {2, 0, 0x180, 8, 0}, MakeTime(2026, 12, 7, 8, 0), 1, MakeTime(2026, 12, 1, 0, 0),
         "none"},
        {"kind none", {0, 1, 127, 8, 0}, MakeTime(2026, 12, 7, 8, 0), 1, MakeTime(2026, 12, 1, 0, 0), "none"},
        {"unknown kind", {3, 1, 127, 8, 0}, MakeTime(2026, 12, 7, 8, 0), 1, MakeTime(2026, 12, 1, 0, 0), "none"},
        {"an hour that is no time of day", {1, 1, 0, 25, 0}, MakeTime(2026, 12, 7, 8, 0), 1, MakeTime(2026, 12, 1, 0, 0),
         "none"},
        {"a stored date that is no date", {1, 1, 0, 8, 0}, SYSTEMTIME{2026, 13, 0, 40, 8, 0, 0, 0}, 1,
         MakeTime(2026, 12, 1, 0, 0), "none"},
    };
    for (const Case &c : cases) {
        programStartTime = c.start;
        int index = Add(1, c.schedule, c.base, c.runCount);
        EXPECT_EQ(Next(index), c.expected) << c.what;
        ClearConfigTable();
    }
}

TEST_F(InternalSchedule, DisabledConfigurationHasNoRunOfEitherKindAndIsNeverDue)
{
    programStartTime = MakeTime(2026, 12, 8, 9, 0);
    tasks.times["Velloran Config 4"] = MakeTime(2026, 12, 8, 12, 0);
    Add(4, {1, 1, 0, 10, 0}, MakeTime(2026, 12, 8, 8, 0), 1, false);
    SYSTEMTIME t;
    EXPECT_EQ(ComputeNextInternalRun(0, &t), 0);
    EXPECT_EQ(GetConfigNextRun(0, &t), 0);
    EXPECT_EQ(tasks.asked, 0);
    UpdateScheduleState();
    EXPECT_EQ(hasNextRun, 0);
    EXPECT_EQ(hasNextDue, 0);
}

TEST_F(InternalSchedule, WindowsTaskCountsWhenStrictlyEarlier)
{
    programStartTime = MakeTime(2026, 12, 8, 9, 0);
    Add(5, {1, 1, 0, 10, 0}, MakeTime(2026, 12, 8, 8, 0));  // internal: 12-09 10:00
    SYSTEMTIME t;
    tasks.times["Velloran Config 5"] = MakeTime(2026, 12, 9, 10, 0);
    ASSERT_EQ(GetConfigNextRun(0, &t), 1);
    EXPECT_EQ(Text(t), "2026-12-09 10:00");
    tasks.times["Velloran Config 5"] = MakeTime(2026, 12, 9, 9, 59);
    ASSERT_EQ(GetConfigNextRun(0, &t), 1);
    EXPECT_EQ(Text(t), "2026-12-09 09:59");
    tasks.times["Velloran Config 5"] = MakeTime(2026, 12, 20, 9, 0);
    ASSERT_EQ(GetConfigNextRun(0, &t), 1);
    EXPECT_EQ(Text(t), "2026-12-09 10:00");
}

TEST_F(InternalSchedule, TaskAloneOrUnreachableScheduler)
{
    programStartTime = MakeTime(2026, 12, 8, 9, 0);
    Add(6, {0, 1, 0, 10, 0}, MakeTime(2026, 12, 8, 8, 0));
    SYSTEMTIME t;
    EXPECT_EQ(GetConfigNextRun(0, &t), 0);
    tasks.times["Velloran Config 6"] = MakeTime(2026, 12, 24, 18, 0);
    ASSERT_EQ(GetConfigNextRun(0, &t), 1);
    EXPECT_EQ(Text(t), "2026-12-24 18:00");
    tasks.times.clear();
    tasks.failing = true;
    EXPECT_EQ(GetConfigNextRun(0, &t), 0);
}

TEST_F(InternalSchedule, EarliestRunAndNextDueOverTheTable)
{
    programStartTime = MakeTime(2026, 12, 8, 9, 0);
    Add(10, {1, 1, 0, 11, 0}, MakeTime(2026, 12, 8, 8, 0));   // 12-09 11:00
    Add(11, {1, 1, 0, 10, 0}, MakeTime(2026, 12, 8, 8, 0));   // 12-09 10:00
    Add(12, {1, 1, 0, 10, 0}, MakeTime(2026, 12, 8, 8, 0));   // 12-09 10:00, later in the table
    Add(13, {0, 1, 0, 10, 0}, MakeTime(2026, 12, 8, 8, 0));   // task only
    tasks.times["Velloran Config 13"] = MakeTime(2026, 12, 9, 7, 0);

    UpdateScheduleState();
    ASSERT_EQ(hasNextRun, 1);
    EXPECT_EQ(Text(earliestNextRun), "2026-12-09 07:00");
    ASSERT_EQ(hasNextDue, 1);
    EXPECT_EQ(nextDueId, 11);
    EXPECT_EQ(Text(nextDueTime), "2026-12-09 10:00");

    // The timer queues the due one; the tie then goes to the next in the table.
    QueueRun(nextDueId);
    UpdateScheduleState();
    EXPECT_EQ(nextDueId, 12);
    QueueRun(nextDueId);
    UpdateScheduleState();
    EXPECT_EQ(nextDueId, 10);
    QueueRun(nextDueId);
    UpdateScheduleState();
    EXPECT_EQ(hasNextDue, 0);
    // Queued configurations still count for the earliest run shown to the user.
    EXPECT_EQ(hasNextRun, 1);
    EXPECT_EQ(Text(earliestNextRun), "2026-12-09 07:00");
}

TEST_F(InternalSchedule, LastRunAheadOfTheCorrectedClockCountsFromThePresent)
{
    SetBack cases[] = {
        {"every day, set back a year", {1, 1, 0, 10, 0}, MakeTime(2027, 6, 15, 8, 0), MakeTime(2028, 6, 15, 10, 0, 1),
         MakeTime(2027, 6, 15, 10, 0, 25), "2027-06-16 10:00", "2027-06-17 10:00"},
        {"every day, set back a day", {1, 1, 0, 10, 0}, MakeTime(2027, 6, 14, 8, 0), MakeTime(2027, 6, 15, 10, 0, 1),
         MakeTime(2027, 6, 14, 10, 0, 25), "2027-06-15 10:00", "2027-06-16 10:00"},
        {"Tuesdays and Thursdays, set back a year", {2, 0, kTuesdayThursday, 10, 0}, MakeTime(2027, 6, 15, 8, 0),
         MakeTime(2028, 6, 15, 10, 0, 1), MakeTime(2027, 6, 15, 10, 0, 25), "2027-06-17 10:00", "2027-06-22 10:00"},
        {"Tuesdays and Thursdays, set back a day", {2, 0, kTuesdayThursday, 10, 0}, MakeTime(2027, 6, 14, 8, 0),
         MakeTime(2027, 6, 15, 10, 0, 1), MakeTime(2027, 6, 14, 10, 0, 25), "2027-06-15 10:00", "2027-06-17 10:00"},
    };
    for (const SetBack &c : cases)
        ExpectRunsOnceAfterSetBack(c);
}

TEST_F(InternalSchedule, ClockSetBackBelowTheProgramsStartBringsTheFloorDown)
{
    // Started while the clock was five hours ahead, with runs missed while the program was
    // closed: those still are not made up.
    SetBack cases[] = {
        {"every day", {1, 1, 0, 10, 0}, MakeTime(2027, 6, 15, 13, 0), MakeTime(2027, 6, 12, 10, 0, 1),
         MakeTime(2027, 6, 15, 8, 0, 5), "2027-06-15 10:00", "2027-06-16 10:00"},
        {"Tuesdays and Thursdays", {2, 0, kTuesdayThursday, 10, 0}, MakeTime(2027, 6, 15, 13, 0),
         MakeTime(2027, 6, 8, 10, 0, 1), MakeTime(2027, 6, 15, 8, 0, 5), "2027-06-15 10:00", "2027-06-17 10:00"},
    };
    for (const SetBack &c : cases)
        ExpectRunsOnceAfterSetBack(c);
}

TEST(RunQueueOrder, KeepsEachIdOnceInArrivalOrder)
{
    EXPECT_EQ(QueueRun(7), 1);
    EXPECT_EQ(QueueRun(3), 2);
    EXPECT_EQ(QueueRun(7), 1);
    EXPECT_EQ(runQueue.count, 2);
    EXPECT_EQ(IsRunQueued(3), 1);
    EXPECT_EQ(IsRunQueued(4), 0);
    int id = 0;
    ASSERT_EQ(TakeQueueHead(&id), 1);
    EXPECT_EQ(id, 7);
    ASSERT_EQ(TakeQueueHead(&id), 1);
    EXPECT_EQ(id, 3);
    EXPECT_EQ(TakeQueueHead(&id), 0);
    FreeRunQueue();
}
