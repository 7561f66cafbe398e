// Steps of the job thread that live in their own files: the shadow copies and the ZIP archives.
// The disc and the off-site copies have headers of their own.
#pragma once
#include <stdio.h>
#include <wchar.h>

#include "JobContext.h"

int CreateShadowCopies(FILE *log, JobContext *context);
// Replaces the drive of path by the shadow volume's while the job's shadow copy is active.
// Works on wide text, so no file name is ever changed by a code-page round trip.
void MapToShadowPathW(const JobContext *context, const wchar_t *path, wchar_t *out, size_t outChars);
int CreateZipArchives(FILE *log, JobContext *context);
void FreeZipOutputs(JobContext *context);
