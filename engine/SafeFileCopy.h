// The one way the job copies a file: into the mirror, into its revisions and into the Deleted
// tree. The copy is written under a temporary name in a work folder of the job's own and then
// renamed over its final name, so the final name holds either the whole copy or what it held
// before. The work folder (kCopyWorkFolderName) lies in the backup folder beside the mirror's
// top folders, which are drive letters and server names and never begin with a dot: no pass
// walks into it, no user's file is ever taken for it, and a temporary name there never makes a
// name longer. Looking names up in it stays cheap however large the mirror's folders grow. The
// first copy of a run makes it; ReleaseCopyWork removes it when the mirror step ends, and the
// next run of the destination removes what a run ended by force left of it.
#pragma once
#include <windows.h>
#include <stdio.h>

#include "JobContext.h"

extern const wchar_t kCopyWorkFolderName[];

// Copies source over target with the source's last-write time and attributes, in chunks, so
// that a set cancel byte stops it within one chunk (FALSE with ERROR_REQUEST_ABORTED). On
// failure the last error is the failing call's and the target is as it was.
BOOL CopyFileSafely(JobContext *context, const wchar_t *source, const wchar_t *target);
// CopyFileSafely over an existing target whose old contents are to be kept under the name
// keepAs (a revision, on the same volume): once the whole copy is written, the old target is
// renamed to keepAs (replacing what is there) and the copy takes its place, so the old contents
// are kept without being copied. Where keepAs refuses them at once (read-only, or held open by
// another program), they wait in the work folder and take its name once the copy is in place.
// A copy that is not made leaves the target and keepAs as they were. *kept tells that the old
// contents lie under keepAs now (rarely even when the copy failed: the old target could not be
// put back). A copy made without them sets *keepError to why they could not be kept. With
// keepAs NULL it is CopyFileSafely.
BOOL CopyFileSafelyKeepingOld(JobContext *context, const wchar_t *source, const wchar_t *target, const wchar_t *keepAs,
                              bool *kept, DWORD *keepError);
// Removes the work folder of the backup folder with the temporary copy a run cut off by force
// left in it, whether or not this run copies anything; the backup folder must be set.
void RemoveCopyWorkLeftovers(JobContext *context);
// Removes the work folder, with a temporary copy an interrupted run may have left in it, and
// frees what the copies of this run held.
void ReleaseCopyWork(JobContext *context);
// After a copy over an existing target was refused with access denied: clears the target's
// read-only and hidden bits. 1 when it did, so that a second copy may succeed; a failure to
// read or change the bits is logged.
int ClearProtectedBits(const wchar_t *target, FILE *log);
