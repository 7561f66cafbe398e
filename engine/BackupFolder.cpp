#include <stdlib.h>
#include <string.h>

#include "ConfigRuntime.h"
#include "ErrorReport.h"
#include "Exclusion.h"
#include "ExtensionFilter.h"
#include "FolderHelpers.h"
#include "LongPath.h"
#include "MirrorCopy.h"
#include "MirrorPath.h"
#include "MsvcrtFormat.h"

static bool IsCancelSet(const volatile uint8_t *cancel)
{
    return cancel != nullptr && __atomic_load_n(cancel, __ATOMIC_ACQUIRE) == 1;
}

static bool IsDotEntry(const wchar_t *name)
{
    return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

// One entry of the walk; 0 marks the walk failed.
static int BackupEntry(FILE *log, const wchar_t *source, const wchar_t *mirror, const WIN32_FIND_DATAW &entry,
                       const ExtensionEntry *extensions, int extensionCount, int32_t filterFlags,
                       const volatile uint8_t *cancel, JobContext *context)
{
    wchar_t *sourcePath = static_cast<wchar_t *>(malloc(2 * kWidePathChars * sizeof(wchar_t)));
    wchar_t *mirrorPath = static_cast<wchar_t *>(malloc(2 * kWidePathChars * sizeof(wchar_t)));
    int result = 0;
    if (sourcePath == nullptr || mirrorPath == nullptr) {
        WriteText(log, "ERROR: Unable to allocate buffer: %ws\n", entry.cFileName);
        goto done;
    }
    FormatTextW(sourcePath, 2 * kWidePathChars, L"%ws%ws", source, entry.cFileName);
    FormatTextW(mirrorPath, 2 * kWidePathChars, L"%ws%ws", mirror, entry.cFileName);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (!CheckJoinedPathLengthW(source, entry.cFileName, kWidePathChars, log) ||
            !CheckJoinedPathLengthW(mirror, entry.cFileName, kWidePathChars, log))
            goto done;
        result = BackupFolder(log, sourcePath, mirrorPath, extensions, extensionCount, filterFlags, cancel, context);
        goto done;
    }
    if (!PassesExtensionFilter(entry.cFileName, extensions, extensionCount, filterFlags)) {
        result = 1;
        goto done;
    }
    if (!CheckJoinedPathLengthW(source, entry.cFileName, kWidePathChars + 1, log))
        goto done;
    if (IsExcluded(sourcePath, context->config)) {
        result = 1;
        goto done;
    }
    if (!CheckJoinedPathLengthW(mirror, entry.cFileName, kWidePathChars + 1, log))
        goto done;
    result = BackupFile(sourcePath, mirrorPath, log, &entry, context);
done:
    free(sourcePath);
    free(mirrorPath);
    return result;
}

int BackupFolder(FILE *log, const wchar_t *source, const wchar_t *mirror, const ExtensionEntry *extensions,
                 int extensionCount, int32_t filterFlags, const volatile uint8_t *cancel, JobContext *context)
{
    if (IsCancelSet(cancel))
        return 1;
    wchar_t *sourceFolder = static_cast<wchar_t *>(malloc(3 * kWidePathChars * sizeof(wchar_t)));
    if (sourceFolder == nullptr) {
        WriteText(log, "ERROR: Unable to allocate buffer: %ws\n", source);
        return 0;
    }
    wchar_t *mirrorFolder = sourceFolder + kWidePathChars;
    wchar_t *pattern = mirrorFolder + kWidePathChars;
    int result = 0;
    bool failed = false;
    HANDLE search = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW entry;
    if (!CopyFolderPath(source, sourceFolder, "WARNING: Empty path\n", log))
        goto done;
    if (IsExcluded(sourceFolder, context->config)) {
        result = 1;
        goto done;
    }
    if (wcslen(sourceFolder) >= kWidePathChars - 1) {
        WriteText(log, "WARNING: Path too long: %ws\n", sourceFolder);
        goto done;
    }
    if (!CopyFolderPath(mirror, mirrorFolder, "WARNING: Empty destination path\n", log))
        goto done;
    if (!verify_directoryW(mirrorFolder, log, 1, sourceFolder))
        goto done;
    FormatTextW(pattern, kWidePathChars, L"%ws*", sourceFolder);
    search = FindFirstFileLong(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        // A folder that cannot be listed (an unplugged drive, an offline share) is a failure:
        // it is reported, and the clean-up passes must not take its mirror for deleted files.
        LogLastError("Backup Folder - FindFirstFile", log);
        WriteText(log, "WARNING: Unable to iterate files in: %ws\n", pattern);
        goto done;
    }
    do {
        if (IsCancelSet(cancel))
            break;
        if (IsSkippedByAttributes(entry.dwFileAttributes, filterFlags) || IsDotEntry(entry.cFileName))
            continue;
        if (!BackupEntry(log, sourceFolder, mirrorFolder, entry, extensions, extensionCount, filterFlags, cancel,
                         context))
            failed = true;
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    result = failed ? 0 : 1;
done:
    free(sourceFolder);
    return result;
}
