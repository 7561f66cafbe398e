// The steps of a job that depend on optional parts of the program: shadow copies, the disc,
// the ZIP archives and the FTP copies. Each does here what the job
// needs while that part is not in use.
#pragma once
#include <stdio.h>
#include <wchar.h>

#include "JobContext.h"

int CreateShadowCopies(FILE *log, JobContext *context);
// Replaces the drive of path by the shadow volume's while the job's shadow copy is active.
// Works on wide text, so no file name is ever changed by a code-page round trip.
void MapToShadowPathW(const JobContext *context, const wchar_t *path, wchar_t *out, size_t outChars);
int PrepareDiscDestination(JobContext *context, FILE *log);
int CreateZipArchives(FILE *log, JobContext *context);
int UploadVolumesByFtp(FILE *log, JobContext *context);
int BurnSpanningDiscs(JobContext *context, FILE *log);
int BurnStagingArea(FILE *log);
void FreeZipOutputs(JobContext *context);
