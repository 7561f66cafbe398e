// The two passes that keep the mirror in step with the sources: files deleted from a source
// leave the mirror (kept aside in the "Deleted" tree when asked), and items the configuration
// no longer copies are removed from the backup folder.
#pragma once
#include <windows.h>
#include <stdint.h>
#include <stdio.h>

#include "JobContext.h"

int CheckFolderForDeletedItems(FILE *log, const wchar_t *source, const wchar_t *mirror,
                               const volatile uint8_t *cancel, JobContext *context);
int HandleDeletedFile(const wchar_t *source, const wchar_t *mirror, FILE *log, const WIN32_FIND_DATAW *entry,
                      JobContext *context);
// 1 only when the source is definitely gone: the look-up says "not found" while the folder
// that should hold it exists. An unreadable or vanished parent is not a deletion.
int IsSourceDefinitelyGone(const wchar_t *source);

int RemoveExcludedFromBackup(FILE *log, JobContext *context);
int CheckTopFolderForExcluded(FILE *log, JobContext *context, const wchar_t *topFolder);
int CheckDestinationItem(FILE *log, JobContext *context, const wchar_t *destination, const wchar_t *source);
int ScanDestinationFolder(FILE *log, JobContext *context, const wchar_t *destination, const wchar_t *source);
int RemoveDestinationItem(FILE *log, const wchar_t *destination, const volatile uint8_t *cancel);
