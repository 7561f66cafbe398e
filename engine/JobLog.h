// The job log "<data folder><id>.txt", written newest run first: the previous log is set aside
// before the run and appended after the new run's footer.
#pragma once
#include <stdio.h>

struct JobLogFile {
    char logPath[260];
    char asidePath[270];
    int setAside;   // 1 when the previous log was copied aside and is to be appended
    int keepOld;    // 1 when a previous log exists but could not be set aside: append to it
    FILE *stream;
};

// Fills the paths and sets the previous log aside (a missing log is no failure).
void SetJobLogAside(JobLogFile *log, const char *dataFolder, int uniqueId);
// Opens the log for the new run, sharing it for reading only. 1 when open.
int OpenJobLog(JobLogFile *log);
// Appends the set-aside text (then deletes it) and closes the log.
void CloseJobLog(JobLogFile *log);
