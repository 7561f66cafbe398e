#include "FolderHelpers.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "ConfigRuntime.h"
#include "ErrorReport.h"
#include "GlobalSettings.h"
#include "LongPath.h"
#include "MsvcrtFormat.h"

bool IsDotEntry(const wchar_t *name)
{
    return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

static void LogFailure(FILE *log, const char *title, const char *format, const wchar_t *path)
{
    LogLastError(title, log);
    WriteText(log, format, path);
}

// A junction or symbolic link to a folder is removed itself; what it points to lies outside
// the tree and is never entered.
static bool RemoveFolderLink(FILE *log, const wchar_t *path)
{
    if (RemoveDirectoryLong(path))
        return true;
    LogFailure(log, "Remove Directory", "Unable to remove excluded folder: %ws\n", path);
    return false;
}

static bool DeleteOneFile(FILE *log, const wchar_t *path, DWORD attributes)
{
    if (gSettings.logVerbose)
        WriteText(log, "Deleting file: %ws\n", path);
    if ((attributes & FILE_ATTRIBUTE_READONLY) &&
        !SetFileAttributesLong(path, attributes & ~FILE_ATTRIBUTE_READONLY))
        LogFailure(log, "Set File Attributes", "WARNING: Unable to remove read-only attribute from: %ws\n", path);
    if (DeleteFileLong(path))
        return true;
    LogFailure(log, "Delete File", "Unable to delete file: %ws\n", path);
    return false;
}

// The buffers of one level of the scan. They live on the heap: a tree can be hundreds of
// levels deep, and the scan runs on job threads.
struct TreeScan {
    wchar_t path[1024];
    wchar_t pattern[1030];
    wchar_t full[1300];
    WIN32_FIND_DATAW entry;
};

static int DeleteFolderTreeWith(TreeScan *scan, FILE *log, const wchar_t *folder,
                                const volatile uint8_t *cancel);

int DeleteFolderTree(FILE *log, const wchar_t *folder, const volatile uint8_t *cancel)
{
    TreeScan *scan = (TreeScan *)malloc(sizeof(TreeScan));
    if (scan == nullptr)
        return 0;
    int deleted = DeleteFolderTreeWith(scan, log, folder, cancel);
    free(scan);
    return deleted;
}

static int DeleteFolderTreeWith(TreeScan *scan, FILE *log, const wchar_t *folder,
                                const volatile uint8_t *cancel)
{
    wchar_t *path = scan->path;
    size_t length = wcslen(folder);
    if (length == 0 || length > 1020)
        return 0;
    wcscpy(path, folder);
    DWORD ownAttributes = GetFileAttributesLong(path);
    if (ownAttributes != INVALID_FILE_ATTRIBUTES && (ownAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (IsCancelSet(cancel))
            return 1;
        return RemoveFolderLink(log, path) ? 1 : 0;
    }
    if (path[length - 1] != L'\\')
        wcscat(path, L"\\");

    FormatTextW(scan->pattern, 1030, L"%ws*", path);
    WIN32_FIND_DATAW &entry = scan->entry;
    HANDLE search = FindFirstFileLong(scan->pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    bool failed = false;
    bool haveOwnAttributes = false;
    DWORD dotAttributes = 0;
    do {
        if (IsCancelSet(cancel))
            break;
        if (wcscmp(entry.cFileName, L".") == 0) {
            haveOwnAttributes = true;
            dotAttributes = entry.dwFileAttributes;
            continue;
        }
        if (wcscmp(entry.cFileName, L"..") == 0)
            continue;
        wchar_t *full = scan->full;
        FormatTextW(full, 1300, L"%ws%ws", path, entry.cFileName);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                failed = !RemoveFolderLink(log, full);
            else
                failed = DeleteFolderTree(log, full, cancel) == 0;
        } else {
            failed = !DeleteOneFile(log, full, entry.dwFileAttributes);
        }
    } while (!failed && FindNextFileW(search, &entry));
    FindClose(search);
    if (IsCancelSet(cancel))
        return 1;

    path[wcslen(path) - 1] = L'\0';
    if (gSettings.logVerbose)
        WriteText(log, "Deleting folder: %ws\n", path);
    if (haveOwnAttributes && (dotAttributes & FILE_ATTRIBUTE_READONLY) &&
        !SetFileAttributesLong(path, dotAttributes & ~FILE_ATTRIBUTE_READONLY))
        LogFailure(log, "Set Attributes", "WARNING: Unable to remove read-only attribute from: %ws\n", path);
    if (!RemoveDirectoryLong(path)) {
        LogFailure(log, "Remove Directory", "Unable to remove excluded folder: %ws\n", path);
        return 0;
    }
    return failed ? 0 : 1;
}
