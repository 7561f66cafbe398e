// The text of each job list cell, formatted from the configuration record.
#include "JobList.h"

#include <string.h>

#include "Calendar.h"
#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "DisplayFormats.h"
#include "ErrorReport.h"
#include "InternalScheduler.h"
#include "MsvcrtFormat.h"
#include "ResourceText.h"
#include "ScheduledTask.h"
#include "TaskViews.h"
#include "TextHelpers.h"
#include "resource.h"

namespace {

void CopyText(char *text, size_t size, const char *source)
{
    lstrcpynA(text, source, (int)size);
}

void CopyYesNo(char *text, size_t size, bool yes)
{
    CopyText(text, size, yes ? "Yes" : "No");
}

void FormatClockWithoutSeconds(char *out, size_t size, int hour, int minute)
{
    SYSTEMTIME time;
    ZeroMemory(&time, sizeof(time));
    time.wYear = 2000;
    time.wMonth = 1;
    time.wDay = 1;
    time.wHour = (WORD)hour;
    time.wMinute = (WORD)minute;
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &time, nullptr, out, (int)size) == 0)
        out[0] = '\0';
}

void FormatWeekdays(char *out, size_t size, int mask)
{
    static const char *const kDays[7] = {"Su", "M", "Tu", "W", "Th", "F", "Sa"};
    const int kMondayToFriday = 0x3E;
    out[0] = '\0';
    if ((mask & 0x7F) == 0x7F) {
        CopyText(out, size, "Every day");
        return;
    }
    if ((mask & kMondayToFriday) == kMondayToFriday) {
        CopyText(out, size, "Every weekday");
        return;
    }
    for (int day = 0; day < 7; ++day) {
        if ((mask & (1 << day)) == 0)
            continue;
        size_t length = strlen(out);
        FormatText(out + length, size - length, "%s", kDays[day]);
    }
}

// What a cell shows while the configuration's task has not been read yet.
const char kTaskNotReadText[] = "...";

void FormatTaskSchedule(const BackupConfig *config, char *text, size_t size)
{
    TaskView view;
    switch (LookUpTaskView(config->uniqueId, &view)) {
    case TaskViewAnswer::Pending:
        CopyText(text, size, kTaskNotReadText);
        return;
    case TaskViewAnswer::NotKept: {
        char name[kTaskNameSize];
        FormatTaskName(config->uniqueId, name);
        CTask task;
        int found = 0;
        view.loadResult = task.Load(name, &found);
        view.found = found;
        lstrcpynA(view.triggerText, task.triggerText, sizeof(view.triggerText));
        break;
    }
    case TaskViewAnswer::Known:
        break;
    }
    HRESULT result = view.loadResult;
    if (FAILED(result)) {
        // The system's text ends with a line break, which a one-line cell would show raw.
        GetErrorText((DWORD)result, text, (DWORD)size);
        TrimTrailingWhitespace(text);
        return;
    }
    if (!view.found) {
        CopyText(text, size, "Manual");
        return;
    }
    FormatText(text, size, "%s with Windows Task Scheduler", view.triggerText);
}

void FormatSchedule(const BackupConfig *config, char *text, size_t size)
{
    char clock[64];
    switch ((ScheduleKind)config->scheduleKind) {
    case ScheduleKind::EveryNDays:
        FormatClockWithoutSeconds(clock, sizeof(clock), config->scheduleHour, config->scheduleMinute);
        FormatText(text, size, "Every %d days @ %s with Internal Scheduler", config->scheduleEveryDays, clock);
        return;
    case ScheduleKind::Weekly: {
        char days[64];
        FormatWeekdays(days, sizeof(days), config->scheduleDayMask);
        FormatClockWithoutSeconds(clock, sizeof(clock), config->scheduleHour, config->scheduleMinute);
        FormatText(text, size, "%s @ %s with Internal Scheduler", days, clock);
        return;
    }
    default:
        FormatTaskSchedule(config, text, size);
        return;
    }
}

void FormatRemote(const BackupConfig *config, char *text, size_t size)
{
    bool ftp = (config->flags & RemoteFtp) != 0;
    bool email = (config->flags & RemoteEmail) != 0;
    if (ftp && email)
        CopyText(text, size, "E-Mail and FTP");
    else if (ftp)
        CopyText(text, size, "FTP");
    else if (email)
        CopyText(text, size, "E-Mail");
    else
        CopyText(text, size, "Off");
}

void FormatSplit(const BackupConfig *config, char *text, size_t size)
{
    if ((config->flags & SplitZip) == 0) {
        CopyText(text, size, "No");
        return;
    }
    // Units outside the table count as GB, as the sort key does; the strings after the unit
    // words belong to other texts.
    int unit = (config->splitUnit >= 0 && config->splitUnit <= 3) ? config->splitUnit : 3;
    char word[32];
    LoadResourceText((UINT)(IDS_SPLIT_UNIT_BASE + unit), word, sizeof(word));
    FormatText(text, size, "%d %s", config->splitSize, word);
}

void FormatDateFilter(const BackupConfig *config, char *text, size_t size)
{
    if ((config->dateFilterFlags & AlwaysAll) != 0) {
        CopyText(text, size, "Off");
        return;
    }
    if ((config->dateFilterFlags & EveryNAll) == 0) {
        CopyText(text, size, "On");
        return;
    }
    if (config->dateFilterCount < 1) {
        FormatText(text, size, "On (Off every %d, currently at %d)", config->fullBackupEvery, config->dateFilterCount);
        return;
    }
    SYSTEMTIME local;
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &config->lastCompressedRunTime, &local))
        local = config->lastCompressedRunTime;
    char when[100];
    FormatSystemTime(when, sizeof(when), &local);
    FormatText(text, size, "On (Off every %d, currently at %d, last at %s)", config->fullBackupEvery,
               config->dateFilterCount, when);
}

void FormatPriority(const BackupConfig *config, char *text, size_t size)
{
    // A priority outside the four levels has no word (the strings after them are other texts).
    if (config->priority < 0 || config->priority > 3) {
        text[0] = '\0';
        return;
    }
    LoadResourceText((UINT)(IDS_PRIORITY_BASE + config->priority), text, (int)size);
}

void FormatCompressedOnly(const BackupConfig *config, int column, char *text, size_t size)
{
    if ((config->flags & Compressed) == 0) {
        CopyText(text, size, "N/A");
        return;
    }
    switch (column) {
    case JobColumnEncrypted:
        CopyYesNo(text, size, (config->flags & Encrypted) != 0);
        return;
    case JobColumnRemote:
        FormatRemote(config, text, size);
        return;
    case JobColumnSplit:
        FormatSplit(config, text, size);
        return;
    default:
        FormatDateFilter(config, text, size);
        return;
    }
}

}  // namespace

void LoadColumnTitle(int column, char *title63)
{
    title63[0] = '\0';
    if (column < 0 || column > JobColumnUniqueId)
        return;
    LoadResourceText((UINT)(IDS_COL_BASE + column), title63, 64);
}

double GetSplitSortKey(int index)
{
    const BackupConfig *config = ConfigAt(index);
    if ((config->flags & Compressed) == 0)
        return -2.0;
    if ((config->flags & SplitZip) == 0)
        return -1.0;
    double factor;
    switch (config->splitUnit) {
    case 0:
        factor = 1.0;
        break;
    case 1:
        factor = 1024.0;
        break;
    case 2:
        factor = 1024.0 * 1024.0;
        break;
    default:
        factor = 1024.0 * 1024.0 * 1024.0;
        break;
    }
    return (double)config->splitSize * factor;
}

void FormatJobCell(int index, int column, char *text, size_t size)
{
    if (size == 0)
        return;
    text[0] = '\0';
    if (index < 0 || index >= configTable.configCount || column < 0 || column > JobColumnUniqueId)
        return;
    const BackupConfig *config = ConfigAt(index);
    char unused[64];
    SYSTEMTIME next;
    switch (column) {
    case JobColumnDescription:
        CopyText(text, size, config->description);
        break;
    case JobColumnSize:
        FormatConfigTotals(config, text, size, unused, sizeof(unused));
        break;
    case JobColumnDestination:
        CopyText(text, size, config->destination);
        break;
    case JobColumnLastRun:
        if (config->runCount < 1)
            CopyText(text, size, "never");
        else
            FormatSystemTime(text, size, &config->lastRunTime);
        break;
    case JobColumnLastResult:
        if (IsConfigRunning(config))
            CopyText(text, size, "Running...");
        else
            GetJobResultText(config->lastResult, text, size);
        break;
    case JobColumnNextRun: {
        int pending = 0;
        int hasNext = FindConfigNextRun(index, &next, &pending);
        if (pending)
            CopyText(text, size, kTaskNotReadText);
        else if (hasNext)
            FormatSystemTime(text, size, &next);
        else
            CopyText(text, size, "none");
        break;
    }
    case JobColumnEnabled:
        CopyYesNo(text, size, (config->flags & Enabled) != 0);
        break;
    case JobColumnSchedule:
        FormatSchedule(config, text, size);
        break;
    case JobColumnKeepRevisions:
        if ((config->flags & SaveRevisions) != 0)
            FormatText(text, size, "%d", config->revisionCount);
        else
            CopyText(text, size, "No");
        break;
    case JobColumnKeepDeleted:
        CopyYesNo(text, size, (config->flags & SaveDeleted) != 0);
        break;
    case JobColumnFilesFolders:
        CopyYesNo(text, size, (config->flags & Uncompressed) != 0);
        break;
    case JobColumnCompressed:
        CopyYesNo(text, size, (config->flags & Compressed) != 0);
        break;
    case JobColumnEncrypted:
    case JobColumnRemote:
    case JobColumnSplit:
    case JobColumnZipDateFilter:
        FormatCompressedOnly(config, column, text, size);
        break;
    case JobColumnPriority:
        FormatPriority(config, text, size);
        break;
    case JobColumnRunCount:
        FormatThousands(text, size, config->runCount);
        break;
    case JobColumnFileCount:
        FormatConfigTotals(config, unused, sizeof(unused), text, size);
        break;
    case JobColumnDateCreated:
        FormatSystemTime(text, size, &config->dateCreated);
        break;
    case JobColumnDateModified:
        FormatSystemTime(text, size, &config->dateModified);
        break;
    case JobColumnUniqueId:
        FormatThousands(text, size, config->uniqueId);
        break;
    }
}
