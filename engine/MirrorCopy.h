// The uncompressed backup: a mirror of every source under the job's backup folder.
#pragma once
#include <windows.h>
#include <stdint.h>
#include <stdio.h>

#include "BackupConfig.h"
#include "JobContext.h"

// Mirrors the folder source into mirror; 1 when every entry succeeded. A source folder that
// cannot be listed gives 0, so the job reports it and its mirror is left alone.
int BackupFolder(FILE *log, const wchar_t *source, const wchar_t *mirror, const ExtensionEntry *extensions,
                 int extensionCount, int32_t filterFlags, const volatile uint8_t *cancel, JobContext *context);
// Copies source over mirror when they differ, saving a revision first when revisions are on.
// 1 when the mirror is current or the source vanished, 0 when the copy failed.
int BackupFile(const wchar_t *source, const wchar_t *mirror, FILE *log, const WIN32_FIND_DATAW *entry,
               JobContext *context);
// BackupFile for a mirror file the caller has already looked up, in a listing of its folder:
// existing is its entry, or NULL when there is none, and the mirror is not asked again. A
// folder standing under the mirror file's name leaves the mirror as a deleted item first.
int BackupListedFile(const wchar_t *source, const wchar_t *mirror, FILE *log, const WIN32_FIND_DATAW *entry,
                     const WIN32_FIND_DATAW *existing, JobContext *context);
// The attributes, size and times of the mirror item at this path, as a directory entry would give
// them (its name is left empty); false when there is none.
bool LookUpMirrorItem(const wchar_t *mirror, WIN32_FIND_DATAW *entry);
// Files that could not be backed up before a copy was tried (the source file, or every file
// the walk would have copied from the source folder): named in the log, counted changed and
// failed.
void NoteNotBackedUp(FILE *log, const wchar_t *source, const wchar_t *mirror, bool folder, int32_t files, double bytes,
                     JobContext *context);
// The path the current mirror copy of source is to be saved under as its next numbered revision
// (the revision folder is made when missing). 0 when the revision is skipped (what stands in
// the way is logged).
int PrepareRevision(const wchar_t *source, const wchar_t *mirror, FILE *log, JobContext *context, wchar_t *target,
                    size_t targetChars);
// Logs that the mirror copy could not be kept as that revision, and the error why.
void ReportRevisionNotSaved(const wchar_t *mirror, const wchar_t *target, DWORD error, FILE *log);
// Counts a revision saved (and logs it when verbose).
void NoteRevisionSaved(const wchar_t *mirror, const wchar_t *target, FILE *log, JobContext *context);
// The job's progress after one more file.
void UpdateCopyProgress(JobContext *context);
