// Copy gives the selected configuration a twin under a new id; Delete removes it with its
// Windows scheduled task. Both rewrite the store and refresh what shows the table. The main
// window calls neither while a job runs, so no job thread points into the table here, nor
// once the program has begun to end.
#include "CopyDeleteConfig.h"

#include <string.h>

#include "Clock.h"
#include "ConfigRuntime.h"
#include "ConfigStore.h"
#include "ConfigTable.h"
#include "InternalScheduler.h"
#include "JobList.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "ScheduledTask.h"
#include "ShellState.h"
#include "SizeCalculation.h"
#include "TrayAndStatus.h"

namespace {

int SelectedConfigIndex()
{
    int index = GetSelectedJobIndex();
    return index >= 0 && index < configTable.configCount ? index : -1;
}

void RefreshAfterChange(HWND window, int selectIndex)
{
    RebuildJobList(selectIndex);
    SaveConfigStore(window);
    UpdateScheduleState();
    UpdateTrayIcon();
    StartAllConfigSizes(window);
}

// The copy's fields: a new name, never run, created now, the next id. Everything else,
// arrays included, is the original's (the arrays are duplicated when the record is appended).
void PrepareCopy(BackupConfig *copy, const BackupConfig *original, int newId)
{
    *copy = *original;
    if (strlen(original->description) < 120)
        FormatText(copy->description, sizeof(copy->description), "Copy of %s", original->description);
    copy->runCount = 0;
    copy->lastResult = 0;
    GetLocalNow(&copy->dateCreated);
    copy->dateModified = copy->dateCreated;
    copy->uniqueId = newId;
}

}  // namespace

void CopyBackupConfig(HWND window)
{
    int index = SelectedConfigIndex();
    if (index < 0)
        return;
    StopAllConfigSizes();
    BackupConfig copy;
    PrepareCopy(&copy, ConfigAt(index), configTable.lastUniqueId + 1);
    // On failure the table stays as it was and the out-of-memory message has been shown.
    if (AppendConfig(&copy)) {
        configTable.lastUniqueId = copy.uniqueId;
        RefreshAfterChange(window, configTable.configCount - 1);
        return;
    }
    StartAllConfigSizes(window);
}

void DeleteBackupConfig(HWND window)
{
    int index = SelectedConfigIndex();
    if (index < 0)
        return;
    BackupConfig *config = ConfigAt(index);
    if (IsConfigRunning(config))
        return;
    char question[sizeof(config->description) + 32];
    FormatText(question, sizeof(question), "Delete Configuration:\n\n%s\n\n?", config->description);
    // The end of the session may come while the question is open: then nothing is deleted.
    if (ShowMessageBox(window, question, kProductName, MB_YESNO) != IDYES || shutDownDone)
        return;

    // Most configurations have no task, so the result is not examined.
    char taskName[kTaskNameSize];
    FormatTaskName(config->uniqueId, taskName);
    wchar_t wideName[kTaskNameSize];
    if (MultiByteToWideChar(CP_ACP, 0, taskName, -1, wideName, kTaskNameSize) > 0)
        DeleteTask(wideName);

    StopAllConfigSizes();
    RemoveConfigAt(index);
    RefreshAfterChange(window, -1);
}
