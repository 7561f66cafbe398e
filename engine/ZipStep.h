// The compressed backup: one ZIP archive per source root in the job's "Compressed" folder,
// listed here and written by the compression library kvcmpenc.dll.
#pragma once
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "BackupConfig.h"
#include "JobContext.h"

typedef char ZipVolumePath[260];
class ZipNameIndex;

// One archive of the run, for one distinct source root.
struct ZipOutput {
    char root[260];        // "D:\" or "\\server\share\"
    char listPath[260];    // the list file in the data folder
    FILE *listFile;        // open only while the listing runs
    char zipPath[260];     // the archive, date variables expanded
    int32_t fileCount;     // files listed; 0 makes no archive
    ZipNameIndex *names;   // paths listed: against listing one twice, then for the record of archived files
    int32_t created;       // 1 once the library made this archive in this run
};

// The ZIP step of the job thread. 1 when every archive was made; fills the context's outputs.
int CreateZipArchives(FILE *log, JobContext *context);
// Frees the outputs left with the context after the step.
void FreeZipOutputs(JobContext *context);
// The files that make up this run's archives, in order: each archive or its parts. The caller
// frees *volumes. 1 when found.
int ListZipVolumes(JobContext *context, FILE *log, int *count, ZipVolumePath **volumes);

// Folder the compression library is loaded from; NULL or "" is the program's own folder.
void SetCompressionLibraryFolder(const char *folder);

// Listing.
// Frees the output's index of listed paths.
void ReleaseZipNames(ZipOutput *output);
int log_folder_to_list(FILE *log, const wchar_t *folder, JobContext *context, int output);
// 1 when listed (or listed before), -1 when this file cannot be listed (a WARNING line names
// it), 0 when memory ran out and the listing ends. writeTime is the file's last-write time,
// kept for the record of archived files.
int AddToZipList(FILE *log, const wchar_t *path, JobContext *context, int output, uint64_t writeTime = 0);
// Written or created after the last compressed run.
bool IsModifiedSinceLastBackup(const BackupConfig *config, const WIN32_FIND_DATAW *entry);
// Whether the file at path goes into this run's archive: every file in a full run; in a
// date-filtered one, a file modified since the last compressed run or one that no archive since
// the last full run holds as it is now.
bool BelongsInThisArchive(const JobContext *context, const wchar_t *path, const WIN32_FIND_DATAW &entry);
uint64_t GetWriteTime(const WIN32_FIND_DATAW &entry);
// The root of a source path into a buffer of 260; the failure lines go to log when given.
int GetZipSourceRoot(FILE *log, char *root260, const char *source);

// Archive names and files. Paths of archive files are ANSI text of up to kZipFileNameSize - 1
// bytes: a temporary part's name can pass MAX_PATH, and the file operations here take it.
const size_t kZipFileNameSize = MAX_PATH + 32;
// The highest part number of a split archive.
const int kLastZipPart = 9998;
int AddRootToZipName(char *out260, const char *name, const ZipOutput *output, FILE *log);
void RenameSinglePartZip(const char *zipPath);
// The parts "%s.%03d" of zipPath that exist, from part `first` up to the first missing one,
// appended to parts; false when they go on past kLastZipPart.
bool FindZipParts(const char *zipPath, int first, std::vector<std::string> *parts);
// True when the archive, or its first part, is on disk.
bool IsZipArchiveMade(const char *zipPath);
// "%s.%03d": part number of the archive zipPath.
void FormatZipPartName(char *out, size_t outSize, const char *zipPath, int number);
// Whether the file can be opened for reading (with all sharing).
bool IsZipFilePresent(const char *path);
// Whether the file is there, even while another program holds it open without sharing.
bool ZipFileExists(const char *path);
// 1 when deleted, -1 when there was no such file, 0 on failure (GetLastError says why).
int DeleteZipFile(const char *path);
// Moves over an existing file; false on failure (GetLastError says why).
bool MoveZipFile(const char *from, const char *to);
// Test seam: called with the path before each deletion, move or write of an archive file the
// ZIP step makes (a test stops the process there); NULL, the default, calls nothing.
typedef void (*ZipFileChangeHook)(const char *path);
void SetZipFileChangeHookForTesting(ZipFileChangeHook hook);
void NoteZipFileChange(const char *path);
// Whether the file could be deleted now: not read-only, not held open without delete sharing.
bool CanDeleteZipFile(const char *path);

// The new archive is written under the archive's name followed by kZipTemporarySuffix (its
// parts "%s.%03d" of that) and replaces the previous archive only once it is complete.
extern const char kZipTemporarySuffix[];
void MakeTemporaryZipPath(const char *zipPath, char *out, size_t outSize);
// Deletes the temporary archive and its parts, such as a killed run left; 1 when none is left.
int DeleteTemporaryZipFiles(const char *temporary, FILE *log);
// Puts the complete archive written under temporary in place of the archive zipPath and its
// parts (those of a run with volumes). The previous files are checked first and nothing is
// moved while one of them cannot be deleted. 1 when done; the failure lines go to log.
// With volumes, the parts of the new archive cannot take the place of the old ones at one
// stroke: a note "<zipPath>.vlrswap" says that the new archive is complete
// before the first old file goes, so that a job killed in between leaves under the name the
// previous archive, the new one, or no first part at all, and the next ZIP step finishes the
// replacement (FinishPendingZipSwaps). While the note is there, the temporary files are the
// new archive's and must stay.
int ReplaceOldZipFiles(const char *temporary, const char *zipPath, FILE *log, JobContext *context);
bool IsZipSwapPending(const char *zipPath);
// Finishes every replacement a killed job left in folder. 1 when none is left.
int FinishPendingZipSwaps(const char *folder, FILE *log);
void CopyCompressionLog(FILE *log, const char *path);
// True when the run writes numbered volumes (spanning discs or a split archive).
bool UsesZipVolumes(const JobContext *context);

// The command line's switches. The password switch holds the clear password: wipe it after use.
void BuildVolumeSwitch(const JobContext *context, char *out64);
int BuildPasswordSwitch(const BackupConfig *config, char *out384, FILE *log);
// The job-log line of a library result other than 0; libraryMessage is the text the library
// left in the request's message buffer, which tells a full destination.
void LogCompressionResult(FILE *log, int code, const char *libraryMessage);
