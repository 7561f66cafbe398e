// Where a source path lands under a backup root, and the length checks of joined paths.
#pragma once
#include <stdio.h>
#include <wchar.h>

struct BackupConfig;

const size_t kWidePathChars = 1024; // wide path buffers; a path has at most 1023 characters

// Builds root + each folder component of source (drive colons and forbidden characters
// removed) into out. With createLevels every level is made to exist, with copyAttributes
// carrying the source folder's attributes and times. 1 when built.
int BuildMirrorPath(const char *root, const wchar_t *source, FILE *log, int createLevels,
                    wchar_t *out, size_t outChars, int copyAttributes);
// One folder component as it appears in a mirror path: "D:" becomes "D", and the characters
// \ / : * ? " < > | are removed. out holds kWidePathChars.
void MapMirrorComponent(wchar_t *out, const wchar_t *component);

// 1 when len(a) + len(b) + (b not empty) < limit; otherwise 0 and, with a log,
// "WARNING: Path too long: ..." naming the joined path.
int CheckJoinedPathLengthW(const wchar_t *a, const wchar_t *b, size_t limit, FILE *log);
int CheckJoinedPathLength(const char *a, const char *b, size_t limit, FILE *log);

// Appends the configuration's name (its description without the characters a file name cannot
// hold) and a backslash to the expanded destination in folder260, which makes the job's backup
// folder; an empty name appends nothing. 0 when that is too long for 260 characters (with a log,
// "WARNING: Path too long: ..." says so).
int AppendBackupFolderName(const BackupConfig *config, char *folder260, FILE *log);

// Copies path into a buffer of kWidePathChars with a trailing backslash. 0 (and the log line)
// when empty or too long.
int CopyFolderPath(const wchar_t *path, wchar_t *out, const char *emptyLine, FILE *log);
