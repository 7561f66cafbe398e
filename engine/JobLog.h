// The job log "<data folder><id>.txt", written newest run first: the previous log is set aside
// before the run and appended after the new run's footer. The program runs elevated and the
// data folder is the user's, so every file here is opened as CheckedFile.h does it, and what a
// check had to say heads the new run's text.
#pragma once
#include <windows.h>
#include <stdio.h>

struct JobLogFile {
    char logPath[260];
    char asidePath[270];
    HANDLE aside;   // the set-aside copy of the previous log, kept open until it is appended
    int keepOld;    // 1 when a previous log exists but could not be set aside: append to it
    char notes[1600];  // the checks' lines, written when the log opens
    FILE *stream;
};

// Fills the paths and sets the previous log aside (a missing log is no failure).
void SetJobLogAside(JobLogFile *log, const char *dataFolder, int uniqueId);
// Opens the log for the new run, sharing it for reading only. 1 when open.
int OpenJobLog(JobLogFile *log);
// Appends the set-aside text (then deletes it) and closes the log. A log that never opened
// leaves the set-aside copy on disk.
void CloseJobLog(JobLogFile *log);
// Appends a file's bytes to the log unchanged. The log's own lines are written in text mode,
// so each ends with CR LF on disk; text copied from another file is read and written in binary
// mode, so its CR LF stay as they are and a Ctrl-Z byte (which ends a file read as text) is
// just another byte. 0 when the file cannot be opened, or is refused with a line in the log.
int AppendFileToLog(FILE *log, const char *path);
