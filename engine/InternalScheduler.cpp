#include "InternalScheduler.h"

#include "BackupConfig.h"
#include "Calendar.h"
#include "Clock.h"
#include "ConfigTable.h"
#include "RunQueue.h"
#include "ScheduledTask.h"
#include "TaskViews.h"

SYSTEMTIME programStartTime;
int hasNextRun = 0;
SYSTEMTIME earliestNextRun;
int hasNextDue = 0;
SYSTEMTIME nextDueTime;
int32_t nextDueId = 0;

namespace {

// Far more days than any schedule can need to reach a matching weekday or the program's start;
// a loop that gets there means the calendar arithmetic failed, and then there is no next run.
const int kMaxDaysSearched = 400000;

void SetTimeOfDay(SYSTEMTIME *t, const BackupConfig *config)
{
    t->wHour = (WORD)config->scheduleHour;
    t->wMinute = (WORD)config->scheduleMinute;
    t->wSecond = 0;
    t->wMilliseconds = 0;
}

// A stored time that is no real date (or an hour of 25) cannot take part in day arithmetic.
bool IsRealTime(const SYSTEMTIME *t)
{
    FILETIME unused;
    return SystemTimeToFileTime(t, &unused) != 0;
}

bool AddOneDay(SYSTEMTIME *t)
{
    SYSTEMTIME next;
    if (AddDaysToSystemTime(t, &next, 1) == nullptr)
        return false;
    *t = next;
    return true;
}

bool NextEveryNDays(const BackupConfig *config, const SYSTEMTIME *base, SYSTEMTIME *next)
{
    // A stored interval below one day would never move the run forward.
    long long days = config->scheduleEveryDays < 1 ? 1 : config->scheduleEveryDays;
    SYSTEMTIME t;
    if (AddDaysToSystemTime(base, &t, days) == nullptr)
        return false;
    SetTimeOfDay(&t, config);
    if (!IsRealTime(&t))
        return false;
    for (int searched = 0; IsSystemTimeBefore(&t, &programStartTime); ++searched)
        if (searched >= kMaxDaysSearched || !AddOneDay(&t))
            return false;
    *next = t;
    return true;
}

bool NextWeekly(const BackupConfig *config, const SYSTEMTIME *base, SYSTEMTIME *next)
{
    uint32_t mask = (uint32_t)config->scheduleDayMask & 0x7F;
    if (mask == 0)
        return false;  // also a mask with only bits beyond Saturday: no weekday matches
    SYSTEMTIME b = *base;
    if (IsSystemTimeBefore(&b, &programStartTime))
        b = programStartTime;
    SYSTEMTIME t = b;
    SetTimeOfDay(&t, config);
    if (!IsRealTime(&t))
        return false;
    if (IsSystemTimeBefore(&t, &b) && !AddOneDay(&t))
        return false;
    for (int searched = 0; (mask & (1u << (t.wDayOfWeek % 7))) == 0; ++searched)
        if (searched >= 7 || !AddOneDay(&t))
            return false;
    *next = t;
    return true;
}

// The present; a clock set back below the program's start brings the floor of internal runs
// down to it, or the runs of the corrected day would wait for the start time to come round.
void ReadPresent(SYSTEMTIME *now)
{
    GetLocalNow(now);
    if (IsSystemTimeBefore(now, &programStartTime))
        programStartTime = *now;
}

}  // namespace

int ComputeNextInternalRun(int index, SYSTEMTIME *next)
{
    const BackupConfig *config = ConfigAt(index);
    if (config->scheduleKind == 0 || (config->flags & Enabled) == 0)
        return 0;
    SYSTEMTIME base = config->runCount != 0 ? config->lastRunTime : config->dateModified;
    SYSTEMTIME now;
    ReadPresent(&now);
    if (!IsRealTime(&base) || !IsRealTime(&programStartTime))
        return 0;
    // A last run or edit recorded while the clock was ahead counts from the present, or the
    // schedule would stand still until the clock caught up with it.
    if (IsSystemTimeBefore(&now, &base))
        base = now;
    switch (config->scheduleKind) {
    case (int32_t)ScheduleKind::EveryNDays:
        return NextEveryNDays(config, &base, next) ? 1 : 0;
    case (int32_t)ScheduleKind::Weekly:
        return NextWeekly(config, &base, next) ? 1 : 0;
    default:
        return 0;
    }
}

namespace {

// 0 when the configuration's task has no next run, or has not been read yet (then *pending
// is 1).
int GetTaskNextRun(int uniqueId, SYSTEMTIME *next, int *pending)
{
    TaskView view;
    switch (LookUpTaskView(uniqueId, &view)) {
    case TaskViewAnswer::Known:
        *next = view.nextRun;
        return view.hasNextRun;
    case TaskViewAnswer::Pending:
        *pending = 1;
        return 0;
    default: {
        char name[kTaskNameSize];
        FormatTaskName(uniqueId, name);
        int found = 0;
        return SUCCEEDED(GetTaskNextRunTime(name, next, &found)) ? found : 0;
    }
    }
}

}  // namespace

int GetConfigNextRun(int index, SYSTEMTIME *next)
{
    int pending = 0;
    return FindConfigNextRun(index, next, &pending);
}

int FindConfigNextRun(int index, SYSTEMTIME *next, int *taskPending)
{
    *taskPending = 0;
    const BackupConfig *config = ConfigAt(index);
    if ((config->flags & Enabled) == 0)
        return 0;
    SYSTEMTIME internal, task;
    int hasInternal = ComputeNextInternalRun(index, &internal);
    int hasTask = GetTaskNextRun(config->uniqueId, &task, taskPending);
    if (hasTask && (!hasInternal || IsSystemTimeBefore(&task, &internal))) {
        *next = task;
        return 1;
    }
    if (hasInternal) {
        *next = internal;
        return 1;
    }
    return 0;
}

void UpdateScheduleState()
{
    TaskBatch tasks;
    hasNextRun = 0;
    hasNextDue = 0;
    for (int i = 0; i < configTable.configCount; ++i) {
        SYSTEMTIME t;
        if (GetConfigNextRun(i, &t)) {
            if (!hasNextRun || IsSystemTimeBefore(&t, &earliestNextRun))
                earliestNextRun = t;
            hasNextRun = 1;
        }
        int id = ConfigAt(i)->uniqueId;
        if (ComputeNextInternalRun(i, &t) && !IsRunQueued(id)) {
            if (!hasNextDue || IsSystemTimeBefore(&t, &nextDueTime)) {
                nextDueTime = t;
                nextDueId = id;
            }
            hasNextDue = 1;
        }
    }
}

namespace {

SYSTEMTIME lastClockReading;  // the timer's previous reading; zero before its first tick

}  // namespace

int RescheduleIfClockSetBack(const SYSTEMTIME *now)
{
    bool setBack = IsSystemTimeBefore(now, &lastClockReading) || IsSystemTimeBefore(now, &programStartTime);
    lastClockReading = *now;
    if (!setBack)
        return 0;
    UpdateScheduleState();
    return 1;
}
