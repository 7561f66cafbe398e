// The job's side of shadow copies: which source drives to shadow and under which free letters,
// the shadow-copy library that makes them (loaded from the program's own folder for each job),
// the thread that runs the library, the path mapping onto the shadow letters and the release
// at the end of the job. CreateShadowCopies and MapToShadowPathW are declared in JobSteps.h.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <stdio.h>

#include "JobContext.h"

// Thread procedure: runs the loaded library's MakeShadowCopy on the block and ends.
DWORD WINAPI ShadowCopyThreadProc(LPVOID request);

// Copies path into out (outSize > 0, always terminated) and, while the job's shadow copy is
// active, replaces a shadowed drive letter by the letter its shadow copy is exposed under.
void MapToShadowPath(const char *path, char *out, size_t outSize, const JobContext *context);

// At the end of every job: asks the library to remove its shadow copies, waits until it has
// and its thread has ended, then unloads it. Writes an ERROR line to log (may be null) when
// the library does not finish within the limit; it then stays loaded. True when all is
// released; false while the library's thread may still use the context's request block
// (also after a failed CreateShadowCopies that gave up on it): the context must then never
// be freed.
bool ReleaseShadowCopies(FILE *log, JobContext *context);

// Test seam: the folder (with its trailing backslash) to load the shadow-copy library from in
// place of the program's own folder, and the library's file name in place of the one chosen
// for this system. Null or empty restores the normal choice.
void SetShadowLibraryForTesting(const char *folder, const char *fileName);

// Test seam: how long the release waits for the library, in place of the normal limit; 0
// restores it.
void SetShadowReleaseLimitForTesting(DWORD milliseconds);
