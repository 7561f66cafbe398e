// The record of the files archived since a configuration's last full ZIP run: each full path
// with the last-write time it had when it was archived, in "<id>_zipnames.dat" of the data
// folder. A date-filtered run also archives every file the record does not hold at that time,
// so a file new to a source with an old time (copied in with its times, moved in) is never
// left out of the archives. The ZIP step writes the record of its run beside the old one, and
// the job puts it in place when it counts the run (sets the last compressed run time).
#pragma once
#include <stdio.h>

#include "BackupConfig.h"
#include "JobContext.h"

class ZipNameIndex;

// Reads the record of the configuration's last counted compressed run into an empty index.
// False when there is none, it cannot be read, or it belongs to another run.
bool ReadZipNameRecord(const BackupConfig *config, ZipNameIndex *record);
// Writes the record of this run beside the old one: the files it listed and, when it is no full
// run, those of the old record it did not list again. 1 when written; the failure line goes to log.
int WritePendingZipNameRecord(FILE *log, const JobContext *context, const ZipNameIndex *previous);
// Puts the record of this run in place. 1 when done; the failure line goes to log.
int CommitZipNameRecord(FILE *log, const BackupConfig *config);
