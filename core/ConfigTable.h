// The global table of backup configurations. Each record is its own heap block and only the
// table of pointers grows, so a job thread's pointer into its record stays valid while the
// window thread appends.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "BackupConfig.h"

struct ConfigTable {
    int32_t configCount;
    int32_t lastUniqueId;
    BackupConfig **records; // configCount pointers, each to a record the table owns
    int32_t capacity;
};

extern ConfigTable configTable;
// The working copy of the configuration editor.
extern BackupConfig editedConfig;
// Owner of the table's message boxes.
extern HWND mainWindow;
// The program's module, which holds its resources and dialog templates; set at start-up.
extern HINSTANCE programInstance;
// The end has begun: nothing more may change the table.
extern int shutDownDone;

inline BackupConfig *ConfigAt(int index)
{
    return configTable.records[index];
}

int SetNewConfigDefaults();
int AppendConfig(const BackupConfig *config);
void GetJobResultText(int code, char *text, size_t textSize);

// Gives `target` a copy of `source` with arrays of its own; 0 when memory ran out (then target
// holds no arrays).
int CopyConfigDeep(BackupConfig *target, const BackupConfig *source);
// Frees a record's three arrays and clears their pointers.
void FreeConfigArrays(BackupConfig *config);
// Frees the record at index with its arrays; later records move up one place. lastUniqueId
// is kept, so ids are never reused. Never while a job thread points into the table.
void RemoveConfigAt(int index);
// Frees every record and leaves an empty table; lastUniqueId is kept.
void ClearConfigTable();
// Index of the record with this id, or -1.
int FindConfigById(int uniqueId);
