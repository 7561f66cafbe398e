#include "FolderHelpers.h"

#include <stdlib.h>
#include <wchar.h>

#include "ErrorReport.h"
#include "GlobalSettings.h"
#include "LongPath.h"
#include "MsvcrtFormat.h"
#include "TextConversion.h"

BOOL CreateDirectoryLogged(const wchar_t *path, FILE *log)
{
    wchar_t *longPath = MakeLongPath(path);
    if (longPath == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    BOOL created = CreateDirectoryW(longPath, nullptr);
    DWORD error = GetLastError();
    free(longPath);
    if (created && gSettings.logVerbose && log != nullptr)
        WriteText(log, "Created directory: %ws\n", path);
    SetLastError(error);
    return created;
}

// Length of the parent of path (without its trailing backslash), or 0 when path is a root.
static size_t ParentLength(const wchar_t *path)
{
    size_t length = wcslen(path);
    while (length > 0 && path[length - 1] == L'\\')
        --length;
    while (length > 0 && path[length - 1] != L'\\')
        --length;
    while (length > 0 && path[length - 1] == L'\\')
        --length;
    return length;
}

// *created tells whether the folder was made (else it was there already).
static BOOL MakeDirectoryWithParents(const wchar_t *path, FILE *log, bool *created)
{
    *created = false;
    if (CreateDirectoryLogged(path, log)) {
        *created = true;
        return TRUE;
    }
    if (GetLastError() != ERROR_PATH_NOT_FOUND)
        return GetLastError() == ERROR_ALREADY_EXISTS && IsDirectory(path);
    size_t parentLength = ParentLength(path);
    if (parentLength == 0)
        return FALSE;
    wchar_t *parent = (wchar_t *)malloc((parentLength + 1) * sizeof(wchar_t));
    if (parent == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    wcsncpy(parent, path, parentLength);
    parent[parentLength] = L'\0';
    BOOL parentMade = CreateDirectoryWithParents(parent, log);
    free(parent);
    if (!parentMade)
        return FALSE;
    *created = CreateDirectoryLogged(path, log) != FALSE;
    return *created ? TRUE : FALSE;
}

BOOL CreateDirectoryWithParents(const wchar_t *path, FILE *log)
{
    bool created;
    return MakeDirectoryWithParents(path, log, &created);
}

int verify_directoryA(const char *path, FILE *log)
{
    wchar_t *wide = AnsiToWideAlloc(path);
    if (wide == nullptr) {
        if (log != nullptr)
            WriteText(log, "Memory allocation error during verify_directoryA\n");
        return 0;
    }
    int verified = verify_directoryW(wide, log, 0, nullptr);
    free(wide);
    return verified;
}

static int CountBackslashes(const wchar_t *path)
{
    int count = 0;
    for (; *path != L'\0'; ++path)
        count += *path == L'\\';
    return count;
}

// The root of a drive or of a share has no attributes of its own to give.
static bool HasOwnAttributes(const wchar_t *source)
{
    int needed = source[0] == L'\\' ? 5 : 2;
    return CountBackslashes(source) >= needed;
}

int verify_directoryW(const wchar_t *path, FILE *log, int copyAttributes, const wchar_t *source)
{
    return VerifyKnownDirectory(path, log, copyAttributes, source, FolderUnknown, nullptr, nullptr);
}

int VerifyKnownDirectory(const wchar_t *path, FILE *log, int copyAttributes, const wchar_t *source,
                         KnownFolderState state, bool *created, HANDLE *listHandle)
{
    if (listHandle != nullptr)
        *listHandle = INVALID_HANDLE_VALUE;
    bool made = false;
    if (created != nullptr)
        *created = false;
    // A folder of unknown state is made rather than looked up first: under Wine a look-up of a
    // missing name reads its whole parent folder, and making it reads that folder again. The
    // creation fails at once on a folder that is there; one that cannot be made (a read-only
    // volume) may still be there, and is looked up then.
    if (state != FolderPresent && !MakeDirectoryWithParents(path, log, &made)) {
        DWORD error = GetLastError();
        if (!IsDirectory(path)) {
            SetLastError(error);
            if (log != nullptr) {
                LogLastError("Create Directory", log);
                WriteText(log, "Unable to access or create directory: %ws\n", path);
            }
            return 0;
        }
    }
    if (created != nullptr)
        *created = made;
    if (!copyAttributes || source == nullptr || !HasOwnAttributes(source))
        return 1;
    return CopyDirectoryAttributesListing(source, path, log, listHandle);
}

static int FailAttributeCopy(FILE *log, HANDLE handle, const char *title, const char *format,
                             const wchar_t *path, DWORD value = 0)
{
    DWORD error = GetLastError();
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    SetLastError(error);
    if (log != nullptr) {
        LogLastError(title, log);
        WriteText(log, format, path, value);
    }
    return 0;
}

static const DWORD kDirectoryCopiedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE |
                                                FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                                                FILE_ATTRIBUTE_SYSTEM;

DWORD MergeDirectoryAttributes(DWORD destination, DWORD source)
{
    DWORD attributes = (destination & 0x131A7 & ~kDirectoryCopiedAttributes) | (source & kDirectoryCopiedAttributes);
    return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

static bool IsSameTime(const FILETIME &a, const FILETIME &b)
{
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

bool HasDirectoryAttributesOf(const WIN32_FILE_ATTRIBUTE_DATA &destination, const WIN32_FILE_ATTRIBUTE_DATA &source)
{
    // Not the last-access time: listing a folder moves it (the job's own listing of the mirror
    // folder just after the stamp does), so comparing it would write every folder every run.
    return (destination.dwFileAttributes & kDirectoryCopiedAttributes) ==
               (source.dwFileAttributes & kDirectoryCopiedAttributes) &&
           IsSameTime(destination.ftCreationTime, source.ftCreationTime) &&
           IsSameTime(destination.ftLastWriteTime, source.ftLastWriteTime);
}

bool IsDirectoryStampCurrent(const wchar_t *source, const wchar_t *destination)
{
    WIN32_FILE_ATTRIBUTE_DATA sourceData;
    WIN32_FILE_ATTRIBUTE_DATA destinationData;
    return GetFileAttributesExLong(source, &sourceData) && GetFileAttributesExLong(destination, &destinationData) &&
           HasDirectoryAttributesOf(destinationData, sourceData);
}

static WIN32_FILE_ATTRIBUTE_DATA AttributeDataOf(const WIN32_FIND_DATAW &entry)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    data.dwFileAttributes = entry.dwFileAttributes;
    data.ftCreationTime = entry.ftCreationTime;
    data.ftLastAccessTime = entry.ftLastAccessTime;
    data.ftLastWriteTime = entry.ftLastWriteTime;
    data.nFileSizeHigh = entry.nFileSizeHigh;
    data.nFileSizeLow = entry.nFileSizeLow;
    return data;
}

bool IsListedStampCurrent(const WIN32_FIND_DATAW &destination, const WIN32_FIND_DATAW &source)
{
    return HasDirectoryAttributesOf(AttributeDataOf(destination), AttributeDataOf(source));
}

// Sets the attributes through the handle already open for the times, as SetFileAttributes
// would through one of its own.
static BOOL SetAttributesByHandle(HANDLE handle, DWORD attributes)
{
    FILE_BASIC_INFO basic;
    ZeroMemory(&basic, sizeof(basic));
    basic.FileAttributes = attributes;
    return SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof(basic));
}

static HANDLE OpenDirectoryForAttributes(const wchar_t *destination, DWORD extraAccess)
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    wchar_t *longPath = NeedsLongPath(destination) ? MakeLongPath(destination) : nullptr;
    if (!NeedsLongPath(destination) || longPath != nullptr)
        handle = CreateFileW(longPath != nullptr ? longPath : destination, FILE_WRITE_ATTRIBUTES | extraAccess,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    free(longPath);
    return handle;
}

static int FailOpenForAttributes(const wchar_t *destination, FILE *log)
{
    return FailAttributeCopy(log, INVALID_HANDLE_VALUE, "Open Directory",
                             "Failed getting handle to write directory attributes: %ws\n", destination);
}

// Gives the open folder the source's three times; a failure is logged and closes the handle.
static int SetTimesByHandle(HANDLE handle, const WIN32_FILE_ATTRIBUTE_DATA &sourceData, const wchar_t *destination,
                            FILE *log)
{
    if (!SetFileTime(handle, &sourceData.ftCreationTime, &sourceData.ftLastAccessTime,
                     &sourceData.ftLastWriteTime))
        return FailAttributeCopy(log, handle, "Set Time Attributes",
                                 "Unable to set directory creation, access, and modified times: %ws\n",
                                 destination);
    return 1;
}

int CopyDirectoryAttributes(const wchar_t *source, const wchar_t *destination, FILE *log)
{
    return CopyDirectoryAttributesListing(source, destination, log, nullptr);
}

int CopyDirectoryAttributesListing(const wchar_t *source, const wchar_t *destination, FILE *log, HANDLE *listHandle)
{
    if (listHandle != nullptr)
        *listHandle = INVALID_HANDLE_VALUE;
    // A folder that already has what it would be given is not written again: most folders of
    // a mirror, on every run after the first.
    if (IsDirectoryStampCurrent(source, destination))
        return 1;
    WIN32_FILE_ATTRIBUTE_DATA sourceData;
    WIN32_FILE_ATTRIBUTE_DATA destinationData;
    // Open for listing too when the caller lists the folder next; a folder this handle may
    // stamp but not list is opened for the stamp alone.
    HANDLE handle = listHandle != nullptr ? OpenDirectoryForAttributes(destination, FILE_LIST_DIRECTORY)
                                          : INVALID_HANDLE_VALUE;
    bool listable = handle != INVALID_HANDLE_VALUE;
    if (!listable)
        handle = OpenDirectoryForAttributes(destination, 0);
    if (handle == INVALID_HANDLE_VALUE)
        return FailOpenForAttributes(destination, log);
    if (!GetFileAttributesExLong(source, &sourceData))
        return FailAttributeCopy(log, handle, "Get Attributes",
                                 "Unable to read source directory attributes: %ws\n", source);
    if (!GetFileAttributesExLong(destination, &destinationData))
        return FailAttributeCopy(log, handle, "Get Attributes",
                                 "Unable to read destination directory attributes: %ws\n", destination);
    DWORD attributes = MergeDirectoryAttributes(destinationData.dwFileAttributes, sourceData.dwFileAttributes);
    if (!SetAttributesByHandle(handle, attributes))
        return FailAttributeCopy(log, handle, "Set Attributes",
                                 "Unable to set directory attributes: %ws\n(%X)\n", destination, attributes);
    if (!SetTimesByHandle(handle, sourceData, destination, log))
        return 0;
    if (listable)
        *listHandle = handle;
    else
        CloseHandle(handle);
    return 1;
}

int RestampDirectoryTimes(const wchar_t *source, const wchar_t *destination, const WIN32_FIND_DATAW *sourceEntry,
                          FILE *log)
{
    if (!HasOwnAttributes(source))
        return 1;
    WIN32_FILE_ATTRIBUTE_DATA sourceData;
    if (sourceEntry != nullptr) {
        sourceData.ftCreationTime = sourceEntry->ftCreationTime;
        sourceData.ftLastAccessTime = sourceEntry->ftLastAccessTime;
        sourceData.ftLastWriteTime = sourceEntry->ftLastWriteTime;
    } else if (!GetFileAttributesExLong(source, &sourceData)) {
        return FailAttributeCopy(log, INVALID_HANDLE_VALUE, "Get Attributes",
                                 "Unable to read source directory attributes: %ws\n", source);
    }
    HANDLE handle = OpenDirectoryForAttributes(destination, 0);
    if (handle == INVALID_HANDLE_VALUE)
        return FailOpenForAttributes(destination, log);
    if (!SetTimesByHandle(handle, sourceData, destination, log))
        return 0;
    CloseHandle(handle);
    return 1;
}
