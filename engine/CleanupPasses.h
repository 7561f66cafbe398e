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
// Takes the mirror file out as deleted, its source gone: kept in the Deleted tree when asked,
// then removed and counted. entry is the mirror file's. 1 when it is gone.
int RemoveMirrorFile(const wchar_t *source, const wchar_t *mirror, FILE *log, const WIN32_FIND_DATAW *entry,
                     JobContext *context);
// Takes out of the mirror, as a deleted item, what stands under the name of a source that is now
// of the other kind (a file where the source has a folder, or the reverse): a file as
// RemoveMirrorFile does, a folder with every file in it so handled. entry is the mirror item's,
// source the path it came from (without a trailing "\\"). 1 when it is gone; a stop leaves it.
int RetireMirrorItem(FILE *log, const wchar_t *source, const wchar_t *mirror, const WIN32_FIND_DATAW &entry,
                     JobContext *context);
// 1 only when the source is definitely gone: the look-up says "not found" while the folder
// that should hold it exists. An unreadable or vanished parent is not a deletion.
int IsSourceDefinitelyGone(const wchar_t *source);

int RemoveExcludedFromBackup(FILE *log, JobContext *context);
int CheckTopFolderForExcluded(FILE *log, JobContext *context, const wchar_t *topFolder);
int CheckDestinationItem(FILE *log, JobContext *context, const wchar_t *destination, const wchar_t *source);
int ScanDestinationFolder(FILE *log, JobContext *context, const wchar_t *destination, const wchar_t *source);
int RemoveDestinationItem(FILE *log, const wchar_t *destination, const volatile uint8_t *cancel);
