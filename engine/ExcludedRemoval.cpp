#include <stdlib.h>
#include <string.h>

#include "CleanupPasses.h"
#include "ConfigRuntime.h"
#include "ErrorReport.h"
#include "Exclusion.h"
#include "FolderHelpers.h"
#include "GlobalSettings.h"
#include "LongPath.h"
#include "MirrorPath.h"
#include "MsvcrtFormat.h"
#include "SafeFileCopy.h"
#include "TextConversion.h"

static const volatile uint8_t *CancelOf(JobContext *context)
{
    return &context->config->cancelRequested;
}

static bool EndsWithBackslash(const wchar_t *path)
{
    size_t length = wcslen(path);
    return length > 0 && path[length - 1] == L'\\';
}

// A folder link (a junction or a symbolic link) in the backup folder was not made by the
// mirror, which copies what a link leads to into folders of its own: the pass neither enters
// nor removes it, so nothing it leads to is ever touched.
static bool IsFolderLink(const WIN32_FIND_DATAW &entry)
{
    const DWORD link = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    return (entry.dwFileAttributes & link) == link;
}

static void LogLeftAlone(FILE *log, const wchar_t *folder)
{
    if (gSettings.logVerbose)
        WriteText(log, "Leaving folder the backup did not make: %ws\n", folder);
}

// True when path lies in (or is) a source whose folder could not be listed in this run: what
// the backup holds of it may still be needed, so this pass leaves it alone.
static bool IsInUnlistedSource(JobContext *context, const wchar_t *path)
{
    if (context->unlistedSources == nullptr)
        return false;
    BackupConfig *config = context->config;
    static thread_local wchar_t source[kWideBufferChars];
    for (int i = 0; i < config->sourceCount; ++i) {
        if (!context->unlistedSources[i])
            continue;
        AnsiToWideBuffer(source, config->sources[i].path);
        if (IsPathWithin(path, source) || IsPathWithin(source, path))
            return true;
    }
    return false;
}

int RemoveDestinationItem(FILE *log, const wchar_t *destination, const volatile uint8_t *cancel)
{
    if (IsCancelSet(cancel) || destination[0] == L'\0')
        return 1;
    if (EndsWithBackslash(destination)) {
        if (gSettings.logVerbose)
            WriteText(log, "Removing destination item folder from backup: %ws\n", destination);
        return DeleteFolderTree(log, destination, cancel);
    }
    if (gSettings.logVerbose)
        WriteText(log, "Removing destination item file from backup: %ws\n", destination);
    DWORD attributes = GetFileAttributesLong(destination);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        LogLastError("Get File Attributes", log);
        WriteText(log, "WARNING: Unable to read attribute from: %ws\n", destination);
    } else if (attributes & FILE_ATTRIBUTE_READONLY) {
        DWORD cleared = attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY;
        if (!SetFileAttributesLong(destination, cleared == 0 ? FILE_ATTRIBUTE_NORMAL : cleared)) {
            LogLastError("Set File Attributes", log);
            WriteText(log, "WARNING: Unable to remove read-only attribute from: %ws\n", destination);
        }
    }
    if (DeleteFileLong(destination))
        return 1;
    LogLastError("Delete File", log);
    WriteText(log, "Unable to remove excluded file: %ws\n", destination);
    return 0;
}

// Walks the folder X of the backup against the source folder P.
static int WalkAgainstSource(FILE *log, JobContext *context, const wchar_t *destination, const wchar_t *source)
{
    size_t destinationLength = wcslen(destination);
    if (destinationLength + 1 >= kWidePathChars)
        return 0;
    wchar_t *buffers = static_cast<wchar_t *>(malloc(3 * 2 * kWidePathChars * sizeof(wchar_t)));
    if (buffers == nullptr)
        return 0;
    wchar_t *pattern = buffers;
    wchar_t *itemDestination = buffers + 2 * kWidePathChars;
    wchar_t *itemSource = buffers + 4 * kWidePathChars;
    int result = 1;
    WIN32_FIND_DATAW entry;
    FormatTextW(pattern, 2 * kWidePathChars, L"%ws*", destination);
    HANDLE search = FindFirstFileLong(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        free(buffers);
        return 0;
    }
    do {
        if (IsCancelSet(CancelOf(context)))
            break;
        if (IsDotEntry(entry.cFileName))
            continue;
        const wchar_t *ending = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? L"\\" : L"";
        FormatTextW(itemDestination, 2 * kWidePathChars, L"%ws%ws%ws", destination, entry.cFileName, ending);
        FormatTextW(itemSource, 2 * kWidePathChars, L"%ws%ws%ws", source, entry.cFileName, ending);
        if (wcslen(itemDestination) >= kWidePathChars || wcslen(itemSource) >= kWidePathChars) {
            result = 0;
            break;
        }
        if (IsFolderLink(entry)) {
            LogLeftAlone(log, itemDestination);
            continue;
        }
        if (!CheckDestinationItem(log, context, itemDestination, itemSource)) {
            result = 0;
            break;
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    free(buffers);
    return result;
}

int ScanDestinationFolder(FILE *log, JobContext *context, const wchar_t *destination, const wchar_t *source)
{
    return WalkAgainstSource(log, context, destination, source);
}

// Which sources relate to P: 1 found, 0 none, -1 conversion failure (logged).
static int FindRelatedSource(FILE *log, JobContext *context, const wchar_t *path, bool folder, int mode)
{
    static const char *const failureLines[] = {
        "ERROR: Unable to allocate memory for exclusion check\n",
        "ERROR: Unable to allocate memory for exclusion check 2\n",
        "ERROR: Unable to allocate memory for exclusion check 3\n",
    };
    BackupConfig *config = context->config;
    for (int i = 0; i < config->sourceCount; ++i) {
        const char *sourcePath = config->sources[i].path;
        if (sourcePath[0] == '\0')
            continue;
        wchar_t *source = AnsiToWideAlloc(sourcePath);
        if (source == nullptr) {
            WriteText(log, failureLines[mode]);
            return -1;
        }
        bool related = false;
        if (mode == 0)
            related = IsPathWithin(path, source) || (folder && IsPathWithin(source, path));
        else if (mode == 1)
            related = !EndsWithBackslash(source) && IsPathWithin(source, path);
        else
            related = IsPathWithin(source, path);
        free(source);
        if (related)
            return 1;
    }
    return 0;
}

static bool IsNamedFileSource(JobContext *context, const wchar_t *path)
{
    BackupConfig *config = context->config;
    static thread_local wchar_t source[kWideBufferChars];
    for (int i = 0; i < config->sourceCount; ++i) {
        AnsiToWideBuffer(source, config->sources[i].path);
        if (source[0] != L'\0' && _wcsicmp(source, path) == 0)
            return true;
    }
    return false;
}

int CheckDestinationItem(FILE *log, JobContext *context, const wchar_t *destination, const wchar_t *source)
{
    const volatile uint8_t *cancel = CancelOf(context);
    if (IsCancelSet(cancel) || source[0] == L'\0')
        return 1;
    if (IsInUnlistedSource(context, source))
        return 1;
    bool folder = EndsWithBackslash(source);
    int related = FindRelatedSource(log, context, source, folder, 0);
    if (related < 0)
        return 0;
    if (related == 0)
        return RemoveDestinationItem(log, destination, cancel);
    if (folder) {
        related = FindRelatedSource(log, context, source, folder, 1);
        if (related < 0)
            return 0;
        if (related == 1)
            return ScanDestinationFolder(log, context, destination, source);
    } else if (IsNamedFileSource(context, source)) {
        return 1;
    }
    if (IsExcluded(source, context->config))
        return RemoveDestinationItem(log, destination, cancel);
    if (folder) {
        related = FindRelatedSource(log, context, source, folder, 2);
        if (related < 0)
            return 0;
        if (related == 1)
            return ScanDestinationFolder(log, context, destination, source);
    }
    int32_t filterFlags = context->config->filterFlags;
    if (filterFlags & (SkipHidden | SkipSystem)) {
        DWORD attributes = GetFileAttributesLong(source);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            LogLastError("Get File Attributes", log);
            WriteText(log, "WARNING: Unable to read attribute from: %ws\n", source);
            return 0;
        }
        if ((attributes & (DWORD)filterFlags) & (SkipHidden | SkipSystem))
            return RemoveDestinationItem(log, destination, cancel);
    }
    return folder ? ScanDestinationFolder(log, context, destination, source) : 1;
}

// The source whose mapped top component is this top folder's name; its root into root.
static bool FindSourceOfTopFolder(JobContext *context, const wchar_t *topFolder, wchar_t *root)
{
    BackupConfig *config = context->config;
    static thread_local wchar_t source[kWideBufferChars];
    static thread_local wchar_t component[kWideBufferChars];
    static thread_local wchar_t mapped[kWideBufferChars];
    for (int i = 0; i < config->sourceCount; ++i) {
        AnsiToWideBuffer(source, config->sources[i].path);
        const wchar_t *rest = source;
        while (*rest == L'\\')
            ++rest;
        const wchar_t *slash = wcschr(rest, L'\\');
        if (slash == nullptr)
            continue;
        size_t length = (size_t)(slash - rest);
        wcsncpy(component, rest, length);
        component[length] = L'\0';
        MapMirrorComponent(mapped, component);
        if (_wcsicmp(mapped, topFolder) == 0) {
            size_t rootLength = (size_t)(slash - source) + 1;
            wcsncpy(root, source, rootLength);
            root[rootLength] = L'\0';
            return true;
        }
    }
    return false;
}

// The mirror's top folder of a drive: its letter alone.
static bool IsDriveLetterFolder(const wchar_t *name)
{
    return ((name[0] >= L'A' && name[0] <= L'Z') || (name[0] >= L'a' && name[0] <= L'z')) && name[1] == L'\0';
}

int CheckTopFolderForExcluded(FILE *log, JobContext *context, const wchar_t *topFolder)
{
    const volatile uint8_t *cancel = CancelOf(context);
    if (IsCancelSet(cancel))
        return 1;
    static thread_local wchar_t root[kWideBufferChars];
    static thread_local wchar_t folder[2 * kWidePathChars];
    size_t backupLength = strlen(context->backupFolder);
    if (backupLength + wcslen(topFolder) + 2 >= kWidePathChars)
        return 0;
    FormatTextW(folder, 2 * kWidePathChars, L"%S%ws\\", context->backupFolder, topFolder);
    if (FindSourceOfTopFolder(context, topFolder, root))
        return WalkAgainstSource(log, context, folder, root);
    // Outside every source. Only a drive letter's folder can be the mirror's own: any other
    // name may be a folder of the user's that shares the backup folder (a backup folder named
    // like one of the user's folders, at the root of a disk).
    if (!IsDriveLetterFolder(topFolder)) {
        LogLeftAlone(log, folder);
        return 1;
    }
    if (gSettings.logVerbose)
        WriteText(log, "Removing excluded folder from backup: %ws\n", folder);
    return DeleteFolderTree(log, folder, cancel);
}

int RemoveExcludedFromBackup(FILE *log, JobContext *context)
{
    if (gSettings.logVerbose)
        WriteText(log, "Checking for excluded items in backup destination\n");
    wchar_t pattern[kWidePathChars];
    FormatTextW(pattern, kWidePathChars, L"%S*", context->backupFolder);
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileLong(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        WriteText(log, "WARNING: Failed to search root path for excluded files\n");
        return 0;
    }
    bool failed = false;
    do {
        if (IsCancelSet(CancelOf(context)))
            break;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsDotEntry(entry.cFileName))
            continue;
        const wchar_t *name = entry.cFileName;
        if (IsFolderLink(entry)) {
            wchar_t link[kWidePathChars];
            FormatTextW(link, kWidePathChars, L"%S%ws\\", context->backupFolder, name);
            LogLeftAlone(log, link);
            continue;
        }
        // The job's own folders; a work folder is left only when a run was cut off, and only
        // the copies clean it up.
        if (_wcsicmp(name, L"Revisions") == 0 || _wcsicmp(name, L"Deleted") == 0 ||
            _wcsicmp(name, L"Compressed") == 0 || _wcsicmp(name, kCopyWorkFolderName) == 0)
            continue;
        if (!CheckTopFolderForExcluded(log, context, name))
            failed = true;
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return failed ? 0 : 1;
}
