// Sorting the job list's rows by the sort column, ascending or descending.
#include "JobList.h"

#include <commctrl.h>
#include <string.h>

#include <string>
#include <vector>

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

// What a row is sorted by in one column: a text (compared without regard to case), a number
// or a time that may be missing.
struct RowKey {
    std::string text;
    double number = 0;
    bool hasTime = false;
    SYSTEMTIME time{};
};

enum class KeyKind { Text, Number, Time, OptionalTime };

KeyKind KindOfColumn(int column)
{
    switch (column) {
    case JobColumnSize:
    case JobColumnFileCount:
    case JobColumnSplit:
    case JobColumnPriority:
    case JobColumnRunCount:
    case JobColumnUniqueId:
        return KeyKind::Number;
    case JobColumnDateCreated:
    case JobColumnDateModified:
        return KeyKind::Time;
    case JobColumnLastRun:
    case JobColumnNextRun:
        return KeyKind::OptionalTime;
    default:
        return KeyKind::Text;
    }
}

RowKey KeyOfRow(int index, int column)
{
    RowKey key;
    const BackupConfig *config = ConfigAt(index);
    double bytes = 0;
    int files = 0;
    switch (column) {
    case JobColumnSize:
        GetConfigTotals(config, &bytes, &files);
        key.number = bytes;
        break;
    case JobColumnFileCount:
        GetConfigTotals(config, &bytes, &files);
        key.number = files;
        break;
    case JobColumnSplit:
        key.number = GetSplitSortKey(index);
        break;
    case JobColumnPriority:
        key.number = config->priority;
        break;
    case JobColumnRunCount:
        key.number = config->runCount;
        break;
    case JobColumnUniqueId:
        key.number = config->uniqueId;
        break;
    case JobColumnDateCreated:
        key.time = config->dateCreated;
        break;
    case JobColumnDateModified:
        key.time = config->dateModified;
        break;
    case JobColumnLastRun:
        key.hasTime = config->runCount >= 1;
        key.time = config->lastRunTime;
        break;
    case JobColumnNextRun:
        key.hasTime = GetConfigNextRun(index, &key.time) != 0;
        break;
    default: {
        char text[kJobCellTextSize];
        FormatJobCell(index, column, text, sizeof(text));
        key.text = text;
        break;
    }
    }
    return key;
}

int CompareRowKeys(const RowKey &a, const RowKey &b, int column)
{
    switch (KindOfColumn(column)) {
    case KeyKind::Number:
        return CompareKeys(a.number, b.number);
    case KeyKind::Time:
        return CompareTimes(&a.time, &b.time);
    case KeyKind::OptionalTime:
        return CompareOptionalTimes(a.hasTime, &a.time, b.hasTime, &b.time);
    default:
        return _stricmp(a.text.c_str(), b.text.c_str());
    }
}

int SortColumn(LPARAM sortParameter)
{
    int column = GetInsertedColumnAt(LOWORD(sortParameter));
    return column < 0 ? JobColumnDescription : column;
}

int Directed(int result, LPARAM sortParameter)
{
    return HIWORD(sortParameter) == 2 ? -result : result;
}

// The keys of every configuration, taken once before a sort: the list compares each row with
// many others, and formatting both cells for every comparison made sorting thousands of rows
// take seconds.
std::vector<RowKey> sortKeys;

int CALLBACK CompareTakenKeys(LPARAM a, LPARAM b, LPARAM sortParameter)
{
    size_t indexA = (size_t)a, indexB = (size_t)b;
    if (indexA >= sortKeys.size() || indexB >= sortKeys.size())
        return 0;
    return Directed(CompareRowKeys(sortKeys[indexA], sortKeys[indexB], SortColumn(sortParameter)), sortParameter);
}

int CALLBACK CompareTableOrder(LPARAM a, LPARAM b, LPARAM)
{
    return CompareKeys(a, b);
}

}  // namespace

int CALLBACK CompareJobRows(LPARAM a, LPARAM b, LPARAM sortParameter)
{
    int indexA = (int)a, indexB = (int)b;
    if (indexA < 0 || indexA >= configTable.configCount || indexB < 0 || indexB >= configTable.configCount)
        return 0;
    int column = SortColumn(sortParameter);
    return Directed(CompareRowKeys(KeyOfRow(indexA, column), KeyOfRow(indexB, column), column), sortParameter);
}

void SortJobList()
{
    if (jobListWindow == nullptr)
        return;
    LPARAM parameter = (LPARAM)gSettings.sortAscending * 65536 + (LPARAM)(WORD)gSettings.sortColumn;
    int column = SortColumn(parameter);
    {
        TaskBatch tasks;  // sorting by Next Run asks about every task
        sortKeys.clear();
        sortKeys.reserve((size_t)configTable.configCount);
        for (int i = 0; i < configTable.configCount; ++i)
            sortKeys.push_back(KeyOfRow(i, column));
    }
    SendMessageA(jobListWindow, LVM_SORTITEMS, (WPARAM)parameter, (LPARAM)CompareTakenKeys);
    sortKeys.clear();
    IndexJobRows();
    SetHeaderSortArrow();
}

void ResortJobList()
{
    if (jobListWindow == nullptr)
        return;
    SendMessageA(jobListWindow, LVM_SORTITEMS, 0, (LPARAM)CompareTableOrder);
    SortJobList();
}
