// Sizes and file counts of configurations' sources: the filtered walk, the job's own recount
// and the two background threads (all configurations, and the editor's working copy).
#pragma once
#include <windows.h>
#include <stdint.h>

#include "BackupConfig.h"

extern HANDLE allSizesThread;
extern volatile int32_t allSizesRunning;
extern volatile uint8_t allSizesCancel;
extern volatile int32_t editedSizeRunning;
extern volatile uint8_t editedSizeCancel;

// Adds the folder's included files to *bytes and *files.
void SumFolderSize(const wchar_t *folder, const ExtensionEntry *extensions, int extensionCount, int32_t filterFlags,
                   const volatile uint8_t *cancel, double *bytes, int32_t *files, const BackupConfig *config);
// Measures the configuration's sources not measured yet, each into its SourceItem; 0 when the
// count was stopped or the wide copy of a path failed.
int MeasureUnknownSources(BackupConfig *config, const volatile uint8_t *cancel);
// The job's recount of every source, on two threads.
void ComputeConfigSize(BackupConfig *config, const volatile uint8_t *cancel, double *totalBytes, int32_t *totalFiles);

int StartAllConfigSizes(HWND window);
void StopAllConfigSizes();
int StartEditedConfigSize(HWND window);
void StopEditedConfigSize();
