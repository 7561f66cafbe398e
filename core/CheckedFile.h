// Files that Velloran writes into folders the user can change, the data folder above all. The
// program and its shadow-copy host run with the highest rights their user has, and any program
// the user runs can leave a hard link at a file's name, make the name a link to a file
// elsewhere, or swap the whole folder for a link, even between our look at the name and our
// write. So a file is written only through a handle that, once open, is seen to be a file of
// one name whose final path is the path asked for. A name in the folder that shares its file
// with other names is removed (the other names and their content stay as they are) and the
// file made anew; a name that leads out of the folder is refused, and a file made there by
// mistake is deleted through its handle, never by name. The shadow-copy companions, kvcmpenc
// and tarnmail compile this file as their own.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <stdio.h>

enum CheckedFileOutcome {
    kFileAccepted,        // open, and it is what it seems
    kFileNotOpened,       // the system refused to open or make it (error says why)
    kFileLeadsElsewhere,  // the name leads to finalPath, not to the path asked for
    kFileHasOtherNames,   // a file to be read is a hard link to another file
    kFileKeptReturning,   // another file stood at the name each time it was cleared
};

struct FileCheck {
    CheckedFileOutcome outcome;
    DWORD error;               // GetLastError of a file not opened
    bool linkRemoved;          // a hard link stood at the name and was removed first
    wchar_t finalPath[1024];   // where a refused name led
};

// Makes the file anew, empty, for access (GENERIC_WRITE, with GENERIC_READ when it is to be
// read back, with DELETE when it is to be deleted or renamed through its handle) with the given
// sharing; a file made new also lets others delete its name. A file of ours already at the name
// is emptied in place.
HANDLE CreateFileAnew(const wchar_t *path, DWORD access, DWORD share, FileCheck *check);
HANDLE CreateFileAnew(const char *path, DWORD access, DWORD share, FileCheck *check);
// Opens the file to be added to (with GENERIC_WRITE: an existing file of ours as it is, a new
// one when there is none) or, without GENERIC_WRITE, an existing file of ours to be read.
HANDLE OpenFileChecked(const wchar_t *path, DWORD access, DWORD share, FileCheck *check);
HANDLE OpenFileChecked(const char *path, DWORD access, DWORD share, FileCheck *check);
// Removes the file when its name is in the folder the path names; a missing file is no failure.
bool DeleteFileChecked(const wchar_t *path, FileCheck *check);
bool DeleteFileChecked(const char *path, FileCheck *check);

// Deletes the file a handle holds (opened with DELETE access) once the handle is closed.
bool DeleteThroughHandle(HANDLE file);
// Gives the file a handle holds (opened with DELETE access) the name path, replacing whatever
// had that name: the file renamed is the one written, whatever became of its old name.
bool RenameThroughHandle(HANDLE file, const char *path);
// Copies the rest of from into to, from where each stands.
bool CopyFileContent(HANDLE from, HANDLE to);
// Copies the file at from, opened as by OpenFileChecked, into a file made anew at to; each
// check tells about its file (a target not tried is accepted).
bool CopyFileChecked(const char *from, const char *to, FileCheck *fromCheck, FileCheck *toCheck);

// A stream over a checked file. Modes as for fopen: "w" (with "t", "b" or "+") makes the file
// anew, "a" opens it to be added to, "r" opens an existing one for reading.
FILE *OpenCheckedStream(const wchar_t *path, const char *mode, DWORD share, FileCheck *check);
FILE *OpenCheckedStream(const char *path, const char *mode, DWORD share, FileCheck *check);

// The line a check has to report: the ERROR of a refused file, the WARNING of a removed link.
// False when there is nothing to say (an accepted file, or one the system would not open,
// which the caller reports in its own words).
bool FormatFileCheck(const FileCheck &check, const char *path, char *line, size_t size);
// Writes that line into log (when open).
void LogFileCheck(FILE *log, const FileCheck &check, const char *path);
