#include "CleanupPasses.h"
#include "ConfigRuntime.h"
#include "ErrorReport.h"
#include "FileChange.h"
#include "GlobalSettings.h"
#include "JobSteps.h"
#include "LongPath.h"
#include "MirrorCopy.h"
#include "MirrorPath.h"
#include "MsvcrtFormat.h"
#include "SafeFileCopy.h"

void UpdateCopyProgress(JobContext *context)
{
    if (context->totalBytes > 1.0 && context->totalFiles != 0) {
        double share = context->filesTotal * 0.5 / context->totalFiles + context->bytesTotal * 0.5 / context->totalBytes;
        __atomic_store_n(context->progress, (int32_t)(share * 100), __ATOMIC_RELAXED);
    }
}

static void LogChangeDetails(FILE *log, const wchar_t *mirror, const WIN32_FIND_DATAW &d, const WIN32_FIND_DATAW &e,
                             int32_t allowedDelta)
{
    WriteText(log, "INFO: Destination file (%ws) already exists, checking if it has changed.\n", mirror);
    WriteText(log, "\tSizeLow Dest: %d, Source: %d\n", (int)d.nFileSizeLow, (int)e.nFileSizeLow);
    WriteText(log, "\tSizeHigh Dest: %d, Source: %d\n", (int)d.nFileSizeHigh, (int)e.nFileSizeHigh);
    WriteText(log, "\tReadOnly Dest: %d, Source: %d\n", (int)(d.dwFileAttributes & 1), (int)(e.dwFileAttributes & 1));
    WriteText(log, "\tHidden Dest: %d, Source: %d\n", (int)(d.dwFileAttributes & 2), (int)(e.dwFileAttributes & 2));
    WriteText(log, "\tLastWriteTime_High Dest: %d, Source: %d\n", (int)d.ftLastWriteTime.dwHighDateTime,
              (int)e.ftLastWriteTime.dwHighDateTime);
    WriteText(log, "\tLastWriteTime_Low Dest: %d, Source: %d, Allowed Delta: %d\n", (int)d.ftLastWriteTime.dwLowDateTime,
              (int)e.ftLastWriteTime.dwLowDateTime, allowedDelta);
}

bool LookUpMirrorItem(const wchar_t *mirror, WIN32_FIND_DATAW *entry)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExLong(mirror, &data))
        return false;
    ZeroMemory(entry, sizeof(*entry));
    entry->dwFileAttributes = data.dwFileAttributes;
    entry->ftCreationTime = data.ftCreationTime;
    entry->ftLastAccessTime = data.ftLastAccessTime;
    entry->ftLastWriteTime = data.ftLastWriteTime;
    entry->nFileSizeHigh = data.nFileSizeHigh;
    entry->nFileSizeLow = data.nFileSizeLow;
    return true;
}

// The copy over an existing mirror copy that refused it for its read-only or hidden bit is
// made again with those bits cleared. The last error is the copy's.
static BOOL CopyOverMirror(JobContext *context, const wchar_t *readPath, const wchar_t *mirror, bool mirrorExisted,
                           FILE *log)
{
    if (CopyFileSafely(context, readPath, mirror))
        return TRUE;
    DWORD error = GetLastError();
    if (mirrorExisted && error == ERROR_ACCESS_DENIED && ClearProtectedBits(mirror, log))
        return CopyFileSafely(context, readPath, mirror);
    SetLastError(error);
    return FALSE;
}

// The copy of a changed file, with its revision when one is due. The old mirror copy becomes
// the revision only as the new copy takes its place (renamed, its contents are not copied), so
// a copy that is not made (the source held open by another program, a full disk) leaves the
// mirror copy and every revision as they were. A revision that could not be saved sets
// *revisionFailed (a warning of this file's; the copy goes on). The last error is the copy's.
static BOOL CopyWithRevision(const wchar_t *source, const wchar_t *readPath, const wchar_t *mirror, FILE *log,
                             bool revisionDue, bool mirrorExisted, bool *revisionFailed, JobContext *context)
{
    static thread_local wchar_t revision[2 * kWidePathChars + 16];
    BackupConfig *config = context->config;
    if (revisionDue && !PrepareRevision(source, mirror, log, context, revision, 2 * kWidePathChars + 16)) {
        if (!IsCancelRequested(config))
            *revisionFailed = true;
        revisionDue = false;
    }
    if (!revisionDue)
        return CopyOverMirror(context, readPath, mirror, mirrorExisted, log);
    bool kept = false;
    DWORD keepError = ERROR_SUCCESS;
    BOOL copied = CopyFileSafelyKeepingOld(context, readPath, mirror, revision, &kept, &keepError);
    DWORD error = copied ? ERROR_SUCCESS : GetLastError();
    if (kept) {
        NoteRevisionSaved(mirror, revision, log, context);
    } else if (copied) {
        ReportRevisionNotSaved(mirror, revision, keepError, log);
        *revisionFailed = true;
    }
    SetLastError(error);
    return copied;
}

int BackupFile(const wchar_t *source, const wchar_t *mirror, FILE *log, const WIN32_FIND_DATAW *entry,
               JobContext *context)
{
    WIN32_FIND_DATAW existing;
    bool found = LookUpMirrorItem(mirror, &existing);
    return BackupListedFile(source, mirror, log, entry, found ? &existing : nullptr, context);
}

void NoteNotBackedUp(FILE *log, const wchar_t *source, const wchar_t *mirror, bool folder, int32_t files, double bytes,
                     JobContext *context)
{
    WriteText(log, folder ? "WARNING: Unable to backup folder:\n\tFrom: %ws\n\tTo:   %ws\n"
                          : "WARNING: Unable to backup file:\n\tFrom: %ws\n\tTo:   %ws\n",
              source, mirror);
    context->filesChanged += files;
    context->bytesChanged += bytes;
    context->filesFailed += files;
    context->bytesFailed += bytes;
    context->filesTotal += files;
    context->bytesTotal += bytes;
    UpdateCopyProgress(context);
}

int BackupListedFile(const wchar_t *source, const wchar_t *mirror, FILE *log, const WIN32_FIND_DATAW *entry,
                     const WIN32_FIND_DATAW *existing, JobContext *context)
{
    BackupConfig *config = context->config;
    double size = entry->nFileSizeHigh * 4294967296.0 + entry->nFileSizeLow;
    bool revisionFailed = false;
    bool revisionDue = false;
    if (existing != nullptr && (existing->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        // A folder where the source is a file now: it is no older version of this file (a
        // revision is only ever a file), but a deleted item, and leaves the mirror as one.
        if (!RetireMirrorItem(log, source, mirror, *existing, context)) {
            NoteNotBackedUp(log, source, mirror, false, 1, size, context);
            return 0;
        }
        existing = nullptr;
    }
    bool mirrorExisted = existing != nullptr;
    if (mirrorExisted) {
        if (gSettings.logVerbose)
            LogChangeDetails(log, mirror, *existing, *entry, context->allowedTimeDelta);
        if (!IsMirrorChanged(*existing, *entry, context->allowedTimeDelta)) {
            ++context->filesNotChanged;
            context->bytesNotChanged += size;
            if (gSettings.logVerbose)
                WriteText(log, "Skipped un-changed file: %ws\n", source);
            goto counted;
        }
        revisionDue = (config->flags & SaveRevisions) && config->revisionCount >= 1;
    }
    {
        ++context->filesChanged;
        context->bytesChanged += size;
        static thread_local wchar_t readPath[kWidePathChars];
        MapToShadowPathW(context, source, readPath, kWidePathChars);
        BOOL copied =
            CopyWithRevision(source, readPath, mirror, log, revisionDue, mirrorExisted, &revisionFailed, context);
        DWORD error = copied ? ERROR_SUCCESS : GetLastError();
        if (!copied && IsNotFoundError(error) && IsSourceDefinitelyGone(source)) {
            // Only the source itself being gone counts as vanished: a copy that failed for want
            // of a path on the destination or in the shadow copy is a failure like any other.
            if (gSettings.logVerbose)
                WriteText(log, "INFORMATION: Attempted to copy file, but it is no longer present: %ws\n", source);
            return 1;
        }
        if (!copied) {
            if (error == ERROR_REQUEST_ABORTED && IsCancelRequested(config)) {
                // Stopped in the middle: the old mirror copy is untouched and the job ends Aborted.
                ++context->filesFailed;
                context->bytesFailed += size;
                return 0;
            }
            SetLastError(error);
            LogLastError("Copy File", log);
            WriteText(log, "WARNING: Unable to backup file:\n\tFrom: %ws\n\tTo:   %ws\n", source, mirror);
            ++context->filesFailed;
            context->bytesFailed += size;
            ++context->filesTotal;
            context->bytesTotal += size;
            UpdateCopyProgress(context);
            return 0;
        }
        ++context->filesCopied;
        context->bytesCopied += size;
        if (gSettings.logVerbose)
            WriteText(log, "Copied backup file:\n\tFrom: %ws\n\tTo:   %ws\n", source, mirror);
    }
counted:
    ++context->filesTotal;
    context->bytesTotal += size;
    UpdateCopyProgress(context);
    // A revision not saved is a warning of the job's; the copy is made, and the walk, and the
    // deleted-items pass after it, go on as after any file that is backed up.
    if (revisionFailed)
        ++context->warningsNoted;
    return 1;
}
