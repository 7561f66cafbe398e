#include "ConfigTable.h"

#include <stdlib.h>
#include <string.h>

#include "AllocationSeam.h"
#include "Clock.h"
#include "ErrorReport.h"
#include "MsvcrtFormat.h"
#include "TextHelpers.h"
#include "resource.h"

ConfigTable configTable;
BackupConfig editedConfig;
HWND mainWindow;
HINSTANCE programInstance = nullptr;
int shutDownDone = 0;

static void ShowOutOfMemory()
{
    MessageBoxFromResource(mainWindow, IDS_OUT_OF_MEMORY, MB_ICONWARNING);
}

// Arrays of zero entries still get a block of their own, so "no array" always means failure.
static void *AllocateArray(int32_t count, size_t entrySize)
{
    size_t entries = count > 0 ? (size_t)count : 0;
    return AllocateBlock(entries > 0 ? entries * entrySize : 1);
}

int SetNewConfigDefaults()
{
    BackupConfig &c = editedConfig;
    FreeConfigArrays(&c);
    ZeroMemory(&c, sizeof(c));
    FormatText(c.description, sizeof(c.description), "Backup Job %d", configTable.lastUniqueId + 1);
    char zipName[260];
    FormatText(zipName, sizeof(zipName), "%s_[[DATE]].zip", c.description);
    SanitizeFileName(c.compressedFileName, sizeof(c.compressedFileName), zipName);
    c.splitUnit = (int32_t)SplitUnit::GB;
    c.dateFilterFlags = AlwaysAll | EveryNAll;
    c.flags = 0x67;
    c.revisionCount = 20;
    c.splitSize = 1;
    c.fullBackupEvery = 30;
    c.priority = (int32_t)JobPriority::Low;
    GetLocalNow(&c.dateCreated);
    GetLocalNow(&c.dateModified);
    c.sources = (SourceItem *)AllocateArray(0, sizeof(SourceItem));
    c.extensions = (ExtensionEntry *)AllocateArray(0, sizeof(ExtensionEntry));
    c.excludedItems = (ExcludedEntry *)AllocateArray(0, sizeof(ExcludedEntry));
    c.filterFlags = SkipSystem;
    c.emailFlags = 13;
    c.smtpPort = 25;
    c.ftpPort = 0;
    c.scheduleKind = (int32_t)ScheduleKind::None;
    c.uniqueId = configTable.lastUniqueId + 1;
    c.scheduleDayMask = 127;
    c.scheduleEveryDays = 1;
    c.scheduleHour = 17;
    if (c.sources == nullptr || c.extensions == nullptr || c.excludedItems == nullptr) {
        FreeConfigArrays(&c);
        ShowOutOfMemory();
        return 0;
    }
    return 1;
}

void FreeConfigArrays(BackupConfig *config)
{
    free(config->sources);
    free(config->extensions);
    free(config->excludedItems);
    config->sources = nullptr;
    config->extensions = nullptr;
    config->excludedItems = nullptr;
}

int CopyConfigDeep(BackupConfig *target, const BackupConfig *source)
{
    *target = *source;
    target->sources = (SourceItem *)AllocateArray(source->sourceCount, sizeof(SourceItem));
    target->extensions = (ExtensionEntry *)AllocateArray(source->extensionCount, sizeof(ExtensionEntry));
    target->excludedItems = (ExcludedEntry *)AllocateArray(source->excludedCount, sizeof(ExcludedEntry));
    if (target->sources == nullptr || target->extensions == nullptr || target->excludedItems == nullptr) {
        FreeConfigArrays(target);
        return 0;
    }
    if (source->sourceCount > 0)
        memcpy(target->sources, source->sources, (size_t)source->sourceCount * sizeof(SourceItem));
    if (source->extensionCount > 0)
        memcpy(target->extensions, source->extensions,
               (size_t)source->extensionCount * sizeof(ExtensionEntry));
    if (source->excludedCount > 0)
        memcpy(target->excludedItems, source->excludedItems,
               (size_t)source->excludedCount * sizeof(ExcludedEntry));
    return 1;
}

static bool GrowPointerTable()
{
    if (configTable.configCount < configTable.capacity)
        return true;
    int32_t capacity = configTable.capacity < 8 ? 8 : configTable.capacity * 2;
    BackupConfig **grown =
        (BackupConfig **)ReallocateBlock(configTable.records, (size_t)capacity * sizeof(BackupConfig *));
    if (grown == nullptr)
        return false;
    configTable.records = grown;
    configTable.capacity = capacity;
    return true;
}

int AppendConfig(const BackupConfig *config)
{
    BackupConfig *record = (BackupConfig *)AllocateBlock(sizeof(BackupConfig));
    if (record == nullptr || !GrowPointerTable()) {
        free(record);
        ShowOutOfMemory();
        return 0;
    }
    if (!CopyConfigDeep(record, config)) {
        free(record);
        ShowOutOfMemory();
        return 0;
    }
    configTable.records[configTable.configCount++] = record;
    return 1;
}

void RemoveConfigAt(int index)
{
    if (index < 0 || index >= configTable.configCount)
        return;
    FreeConfigArrays(configTable.records[index]);
    free(configTable.records[index]);
    for (int i = index + 1; i < configTable.configCount; ++i)
        configTable.records[i - 1] = configTable.records[i];
    --configTable.configCount;
}

void ClearConfigTable()
{
    for (int i = 0; i < configTable.configCount; ++i) {
        FreeConfigArrays(configTable.records[i]);
        free(configTable.records[i]);
    }
    free(configTable.records);
    configTable.records = nullptr;
    configTable.configCount = 0;
    configTable.capacity = 0;
}

int FindConfigById(int uniqueId)
{
    for (int i = 0; i < configTable.configCount; ++i)
        if (configTable.records[i]->uniqueId == uniqueId)
            return i;
    return -1;
}

void GetJobResultText(int code, char *text, size_t textSize)
{
    static const char *const words[] = {
        "", "Success", "Failed", "Warnings", "Aborted", "Failed to open log file", "Disabled",
    };
    if (textSize == 0)
        return;
    const char *word = (code >= 1 && code <= 6) ? words[code] : "";
    lstrcpynA(text, word, (int)textSize);
}
