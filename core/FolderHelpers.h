// Folder helpers of a job: make sure a destination folder exists and carries the source
// folder's attributes and times, delete a folder tree, and tell a volume's file system.
// Failures go to the job log (may be NULL where noted) as error blocks.
#pragma once
#include <windows.h>
#include <stdint.h>
#include <stdio.h>

// Creates the last component of path; logs "Created directory" when verbose logging is on.
BOOL CreateDirectoryLogged(const wchar_t *path, FILE *log);
// Creates path and any missing parents.
BOOL CreateDirectoryWithParents(const wchar_t *path, FILE *log);

int verify_directoryA(const char *path, FILE *log);
int verify_directoryW(const wchar_t *path, FILE *log, int copyAttributes, const wchar_t *source);
// What the caller already knows of a folder, from a listing of its parent.
enum KnownFolderState { FolderUnknown, FolderMissing, FolderPresent };
// verify_directoryW for a folder the caller knows to be missing (it is created without being
// looked up first) or present (it is not looked up). *created (may be NULL) tells whether the
// folder was made by this call, and is therefore empty; *listHandle (may be NULL) is as for
// CopyDirectoryAttributesListing.
int VerifyKnownDirectory(const wchar_t *path, FILE *log, int copyAttributes, const wchar_t *source,
                         KnownFolderState state, bool *created, HANDLE *listHandle);
// The destination's attributes with read-only, archive, hidden, not-indexed and system taken
// from the source; none left gives FILE_ATTRIBUTE_NORMAL.
DWORD MergeDirectoryAttributes(DWORD destination, DWORD source);
// True when the destination folder already has the source's attributes (those that are
// copied) and its creation and last-write times: nothing to write.
bool HasDirectoryAttributesOf(const WIN32_FILE_ATTRIBUTE_DATA &destination, const WIN32_FILE_ATTRIBUTE_DATA &source);
// The same, read from both folders now; false when either cannot be read.
bool IsDirectoryStampCurrent(const wchar_t *source, const wchar_t *destination);
// The same, from the two folders' entries in listings of their parents.
bool IsListedStampCurrent(const WIN32_FIND_DATAW &destination, const WIN32_FIND_DATAW &source);
int CopyDirectoryAttributes(const wchar_t *source, const wchar_t *destination, FILE *log);
// CopyDirectoryAttributes for a caller that lists the destination next: when the folder had to
// be written, the handle that wrote it is left open for listing in *listHandle, which the
// caller closes; otherwise *listHandle is INVALID_HANDLE_VALUE.
int CopyDirectoryAttributesListing(const wchar_t *source, const wchar_t *destination, FILE *log, HANDLE *listHandle);
// Gives destination its source's times again once the caller has written into it (a file
// copied, a folder made), which moved its last-write time; through one handle, with the
// source's times from sourceEntry, its entry in a listing of its parent, or looked up when
// that is NULL. Failures are logged as CopyDirectoryAttributes logs them; 0 then.
int RestampDirectoryTimes(const wchar_t *source, const wchar_t *destination, const WIN32_FIND_DATAW *sourceEntry,
                          FILE *log);
int DeleteFolderTree(FILE *log, const wchar_t *folder, const volatile uint8_t *cancel);
// The "." and ".." entries of a folder's listing.
bool IsDotEntry(const wchar_t *name);

enum FileSystemKind { FileSystemOther = 0, FileSystemNtfs = 1, FileSystemFat = 2 };
// Root of a source path: up to and including the fourth backslash of a path that begins with
// one, else up to and including the first. Returns 0 when the path has none.
int GetSourceRoot(const char *path, char *root, size_t rootSize);
void GetVolumeFileSystemKind(const char *path, int *kind, char *name128);
