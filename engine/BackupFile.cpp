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

// The mirror file's attributes, size and times, as a directory entry would give them.
static bool LookUpMirrorFile(const wchar_t *mirror, WIN32_FIND_DATAW *entry)
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

// After an access-denied copy over an existing mirror: clear its read-only and hidden bits and
// try once more. 1 when that copy worked.
static int RetryOverProtectedMirror(const wchar_t *readPath, const wchar_t *mirror, FILE *log,
                                    const volatile uint8_t *cancel)
{
    DWORD attributes = GetFileAttributesLong(mirror);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        LogLastError("Get File Attributes", log);
        WriteText(log, "Unable to read file attributes: %ws", mirror);
        return 0;
    }
    const DWORD protectedBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    if ((attributes & protectedBits) == 0)
        return 0;
    DWORD cleared = attributes & ~protectedBits;
    if (!SetFileAttributesLong(mirror, cleared == 0 ? FILE_ATTRIBUTE_NORMAL : cleared)) {
        LogLastError("Set File Attributes", log);
        WriteText(log, "Unable to remove file attributes: %ws\n(%X)\n", mirror, (unsigned)cleared);
        return 0;
    }
    return CopyFileSafely(readPath, mirror, cancel) ? 1 : 0;
}

int BackupFile(const wchar_t *source, const wchar_t *mirror, FILE *log, const WIN32_FIND_DATAW *entry,
               JobContext *context)
{
    BackupConfig *config = context->config;
    double size = entry->nFileSizeHigh * 4294967296.0 + entry->nFileSizeLow;
    WIN32_FIND_DATAW existing;
    bool mirrorExisted = LookUpMirrorFile(mirror, &existing);
    if (mirrorExisted) {
        if (gSettings.logVerbose)
            LogChangeDetails(log, mirror, existing, *entry, context->allowedTimeDelta);
        if (!IsMirrorChanged(existing, *entry, context->allowedTimeDelta)) {
            ++context->filesNotChanged;
            context->bytesNotChanged += size;
            if (gSettings.logVerbose)
                WriteText(log, "Skipped un-changed file: %ws\n", source);
            goto counted;
        }
        if ((config->flags & SaveRevisions) && config->revisionCount >= 1)
            SaveRevision(source, mirror, log, context);
    }
    {
        ++context->filesChanged;
        context->bytesChanged += size;
        static thread_local wchar_t readPath[kWidePathChars];
        MapToShadowPathW(context, source, readPath, kWidePathChars);
        const volatile uint8_t *cancel = &config->cancelRequested;
        BOOL copied = CopyFileSafely(readPath, mirror, cancel);
        DWORD error = copied ? ERROR_SUCCESS : GetLastError();
        if (!copied && mirrorExisted && error == ERROR_ACCESS_DENIED) {
            copied = RetryOverProtectedMirror(readPath, mirror, log, cancel);
            error = copied ? ERROR_SUCCESS : GetLastError();
        } else if (!copied && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
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
    return 1;
}
