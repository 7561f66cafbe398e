#include "ConfigEditor.h"

#include <commctrl.h>
#include <prsht.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include "AdvancedPage.h"
#include "AllocationSeam.h"
#include "Clock.h"
#include "ConfigRuntime.h"
#include "ConfigStore.h"
#include "ConfigTable.h"
#include "DialogHelpers.h"
#include "DialogShell.h"
#include "ErrorReport.h"
#include "GeneralPage.h"
#include "GlobalSettings.h"
#include "InternalScheduler.h"
#include "JobControl.h"
#include "MessageBoxSeam.h"
#include "NotesPage.h"
#include "PropertySheets.h"
#include "SchedulePage.h"
#include "SizeCalculation.h"
#include "resource.h"

int configSaved = 0;

namespace {

// The sheet's pages in their order; the sheet opens on the first.
const SheetPage kEditorPages[] = {
    {IDD_CFG_GENERAL, GeneralPageProc},
    {IDD_CFG_SCHEDULE, SchedulePageProc},
    {IDD_CFG_ADVANCED, AdvancedPageProc},
    {IDD_CFG_NOTES, NotesPageProc},
};
const int kEditorPageCount = sizeof kEditorPages / sizeof kEditorPages[0];

const char kSheetCaption[] = "Backup Configuration Properties";

// The working copy at the end of the last apply round in which every open page passed. Close
// after such a round (the sheet's Cancel once an apply turned it into Close) resets every page,
// yet what was applied must still be saved. A round that a page refused is left out: the pages
// before it have written into the working copy, and so has the refusing page up to its check.
BackupConfig appliedCopy;
bool haveAppliedCopy = false;

// The pages that passed in the apply round under way, a bit per index on the sheet. The sheet
// asks its open pages in their order and stops at the first that refuses.
unsigned passedPages = 0;

// Whether the working copy's dateFilterCount was reset during this edit, and whether it was by
// the last apply.
bool dateFilterCountReset = false;
bool appliedDateFilterCountReset = false;

void DropAppliedCopy()
{
    if (haveAppliedCopy)
        FreeConfigArrays(&appliedCopy);
    haveAppliedCopy = false;
}

// After Close: the applied state becomes the working copy.
void TakeAppliedCopy()
{
    FreeConfigArrays(&editedConfig);
    editedConfig = appliedCopy;
    haveAppliedCopy = false;
    dateFilterCountReset = appliedDateFilterCountReset;
    configSaved = 1;
}

// The fields a job writes into the table record while the sheet is open stay the table's: the
// results of a run that happened meanwhile, and the run-time block (from `running` to
// `uploadHandle`), which belongs to the job and not to the edit.
void KeepJobFields(BackupConfig *record, const BackupConfig &previous)
{
    record->lastRunTime = previous.lastRunTime;
    record->lastResult = previous.lastResult;
    record->runCount = previous.runCount;
    record->lastCompressedRunTime = previous.lastCompressedRunTime;
    // A reset of the date-filter count (new sources, filters or remote destinations) wins over
    // the job's count, even when the count was already 0 when the sheet opened.
    if (!dateFilterCountReset)
        record->dateFilterCount = previous.dateFilterCount;
    size_t first = offsetof(BackupConfig, running);
    size_t end = offsetof(BackupConfig, uploadHandle) + sizeof previous.uploadHandle;
    memcpy((char *)record + first, (const char *)&previous + first, end - first);
}

INT_PTR ShowEditorSheet(HWND owner)
{
    return ShowPropertySheet(owner, kSheetCaption, kEditorPages, kEditorPageCount);
}

bool OpenWorkingCopy(HWND owner, int index)
{
    if (index == -1)
        return SetNewConfigDefaults() != 0;
    if (index < 0 || index >= configTable.configCount)
        return false;
    FreeConfigArrays(&editedConfig);
    if (!CopyConfigDeep(&editedConfig, ConfigAt(index))) {
        MessageBoxFromResource(owner, IDS_OUT_OF_MEMORY, MB_ICONWARNING);
        return false;
    }
    return true;
}

void *CopyArray(const void *entries, int32_t count, size_t entrySize)
{
    size_t bytes = count > 0 ? (size_t)count * entrySize : 0;
    void *block = AllocateBlock(bytes > 0 ? bytes : 1);
    if (block != nullptr && bytes > 0)
        memcpy(block, entries, bytes);
    return block;
}

// Replaces the table record by the working copy. The new arrays are made before anything is
// freed, so a failure leaves the record as it was.
bool WriteBackConfig(HWND owner, int index)
{
    BackupConfig *record = ConfigAt(index);
    void *sources = CopyArray(editedConfig.sources, editedConfig.sourceCount, sizeof(SourceItem));
    void *extensions = CopyArray(editedConfig.extensions, editedConfig.extensionCount, sizeof(ExtensionEntry));
    void *excluded = CopyArray(editedConfig.excludedItems, editedConfig.excludedCount, sizeof(ExcludedEntry));
    if (sources == nullptr || extensions == nullptr || excluded == nullptr) {
        free(sources);
        free(extensions);
        free(excluded);
        MessageBoxFromResource(owner, IDS_OUT_OF_MEMORY, MB_ICONWARNING);
        return false;
    }
    BackupConfig previous = *record;
    FreeConfigArrays(record);
    *record = editedConfig;
    record->sources = (SourceItem *)sources;
    record->extensions = (ExtensionEntry *)extensions;
    record->excludedItems = (ExcludedEntry *)excluded;
    KeepJobFields(record, previous);
    return true;
}

bool RemoteBackupWillBeSkipped(const BackupConfig &config)
{
    return gSettings.remoteRequiresEncryption != 0 && (config.flags & Compressed) != 0 &&
           (config.flags & (RemoteFtp | RemoteEmail)) != 0 && (config.flags & Encrypted) == 0;
}

int SaveEditedConfig(HWND owner, int index)
{
    if (RemoteBackupWillBeSkipped(editedConfig))
        ShowMessageBox(owner,
                       "Remote backup will be skipped until you either enable encryption or turn off the global "
                       "option to never remote backup an un-encrypted file.",
                       kProductName, MB_ICONINFORMATION);
    // The end of the session may come while a box is open: from then on the table stays as it is.
    if (shutDownDone)
        return 0;
    StopAllConfigSizes();
    GetLocalNow(&editedConfig.dateModified);
    if (index == -1) {
        editedConfig.dateCreated = editedConfig.dateModified;
        editedConfig.uniqueId = configTable.lastUniqueId + 1;
        if (!AppendConfig(&editedConfig))
            return 0;
        configTable.lastUniqueId = editedConfig.uniqueId;
        index = configTable.configCount - 1;
    } else {
        if (IsConfigRunning(ConfigAt(index))) {
            int answer = ShowMessageBox(owner,
                                        "This configuration is currently running a backup.\nTo save your changes "
                                        "the backup must be stopped.\nDo you want to stop the backup?",
                                        kProductName, MB_YESNO);
            if (answer != IDYES || shutDownDone)
                return configSaved;
            StopBackupJob(index);
        }
        if (!WriteBackConfig(owner, index))
            return 0;
    }
    CurrentDialogShell().RebuildJobList(index);
    SaveConfigStore(owner);
    UpdateScheduleState();
    CurrentDialogShell().UpdateTrayIcon();
    StartAllConfigSizes(owner);
    return configSaved;
}

}  // namespace

void NoteEditorPagePassed(HWND page)
{
    HWND sheet = GetParent(page);
    int index = (int)SendMessageA(sheet, PSM_HWNDTOINDEX, (WPARAM)page, 0);
    if (index < 0 || index >= kEditorPageCount)
        return;
    passedPages |= 1u << index;
    // Pages the user never opened are not asked; any open page yet to answer keeps the round open.
    for (int i = 0; i < kEditorPageCount; ++i) {
        if ((passedPages & (1u << i)) == 0 && SendMessageA(sheet, PSM_INDEXTOHWND, (WPARAM)i, 0) != 0)
            return;
    }
    passedPages = 0;
    DropAppliedCopy();
    haveAppliedCopy = CopyConfigDeep(&appliedCopy, &editedConfig) != 0;
    appliedDateFilterCountReset = dateFilterCountReset;
}

void NoteEditorPageRefused()
{
    passedPages = 0;
}

void ResetEditedDateFilterCount()
{
    editedConfig.dateFilterCount = 0;
    dateFilterCountReset = true;
}

int EditBackupConfig(HWND owner, int index)
{
    if (!OpenWorkingCopy(owner, index))
        return 0;
    dateFilterCountReset = false;
    configSaved = 0;
    passedPages = 0;
    DropAppliedCopy();
    INT_PTR shown = ShowEditorSheet(owner);
    StopEditedConfigSize();
    if (shown != -1 && configSaved == 0 && haveAppliedCopy)
        TakeAppliedCopy();
    DropAppliedCopy();
    int result = 0;
    // An end of the session while the sheet was open drops the edit: the table stays as it is.
    if (shown != -1 && configSaved != 0 && !shutDownDone)
        result = SaveEditedConfig(owner, index);
    FreeConfigArrays(&editedConfig);
    return result;
}
