// Sorting the job list's rows by the sort column, ascending or descending.
#include "JobList.h"

#include <commctrl.h>
#include <string.h>

#include "Calendar.h"
#include "ConfigTable.h"
#include "DisplayFormats.h"
#include "GlobalSettings.h"
#include "InternalScheduler.h"
#include "ScheduledTask.h"
#include "ShellState.h"

namespace {

template <typename T> int CompareKeys(T a, T b)
{
    if (a < b)
        return -1;
    return b < a ? 1 : 0;
}

int CompareTimes(const SYSTEMTIME *a, const SYSTEMTIME *b)
{
    if (IsSystemTimeBefore(a, b))
        return -1;
    return IsSystemTimeBefore(b, a) ? 1 : 0;
}

// Rows without a time sort after every row with one.
int CompareOptionalTimes(bool hasA, const SYSTEMTIME *a, bool hasB, const SYSTEMTIME *b)
{
    if (!hasA || !hasB)
        return hasA == hasB ? 0 : (hasA ? -1 : 1);
    return CompareTimes(a, b);
}

int CompareTotals(int a, int b, bool bytes)
{
    double bytesA = 0, bytesB = 0;
    int filesA = 0, filesB = 0;
    GetConfigTotals(ConfigAt(a), &bytesA, &filesA);
    GetConfigTotals(ConfigAt(b), &bytesB, &filesB);
    return bytes ? CompareKeys(bytesA, bytesB) : CompareKeys(filesA, filesB);
}

int CompareNextRuns(int a, int b)
{
    SYSTEMTIME nextA, nextB;
    bool hasA = GetConfigNextRun(a, &nextA) != 0;
    bool hasB = GetConfigNextRun(b, &nextB) != 0;
    return CompareOptionalTimes(hasA, &nextA, hasB, &nextB);
}

int CompareByColumn(int a, int b, int column)
{
    char textA[kJobCellTextSize], textB[kJobCellTextSize];
    FormatJobCell(a, column, textA, sizeof(textA));
    FormatJobCell(b, column, textB, sizeof(textB));
    int byText = _stricmp(textA, textB);
    const BackupConfig *configA = ConfigAt(a);
    const BackupConfig *configB = ConfigAt(b);
    switch (column) {
    case JobColumnSize:
        return CompareTotals(a, b, true);
    case JobColumnFileCount:
        return CompareTotals(a, b, false);
    case JobColumnSplit:
        return CompareKeys(GetSplitSortKey(a), GetSplitSortKey(b));
    case JobColumnPriority:
        return CompareKeys(configA->priority, configB->priority);
    case JobColumnRunCount:
        return CompareKeys(configA->runCount, configB->runCount);
    case JobColumnUniqueId:
        return CompareKeys(configA->uniqueId, configB->uniqueId);
    case JobColumnDateCreated:
        return CompareTimes(&configA->dateCreated, &configB->dateCreated);
    case JobColumnDateModified:
        return CompareTimes(&configA->dateModified, &configB->dateModified);
    case JobColumnLastRun:
        return CompareOptionalTimes(configA->runCount >= 1, &configA->lastRunTime, configB->runCount >= 1,
                                    &configB->lastRunTime);
    case JobColumnNextRun:
        return CompareNextRuns(a, b);
    default:
        return byText;
    }
}

}  // namespace

int CALLBACK CompareJobRows(LPARAM a, LPARAM b, LPARAM sortParameter)
{
    int indexA = (int)a, indexB = (int)b;
    if (indexA < 0 || indexA >= configTable.configCount || indexB < 0 || indexB >= configTable.configCount)
        return 0;
    int column = GetInsertedColumnAt(LOWORD(sortParameter));
    if (column < 0)
        column = JobColumnDescription;
    int result = CompareByColumn(indexA, indexB, column);
    return HIWORD(sortParameter) == 2 ? -result : result;
}

void SortJobList()
{
    if (jobListWindow == nullptr)
        return;
    LPARAM parameter = (LPARAM)gSettings.sortAscending * 65536 + (LPARAM)(WORD)gSettings.sortColumn;
    TaskBatch tasks;  // sorting by Next Run asks twice per comparison
    SendMessageA(jobListWindow, LVM_SORTITEMS, (WPARAM)parameter, (LPARAM)CompareJobRows);
    IndexJobRows();
    SetHeaderSortArrow();
}
