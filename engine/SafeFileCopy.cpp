#include "SafeFileCopy.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "ConfigRuntime.h"
#include "ErrorReport.h"
#include "LongPath.h"
#include "MsvcrtFormat.h"
#include "TextConversion.h"

const wchar_t kCopyWorkFolderName[] = L".vlrwork";

// One job copies one file at a time, so one temporary name is enough; a copy that an
// interrupted run left under it is simply overwritten.
static const wchar_t kTemporaryName[] = L"\\copy.tmp";
// Where the old contents of a target wait while the copy takes its place, when the name they
// are to be kept under cannot take them at once.
static const wchar_t kWaitingName[] = L"\\kept.tmp";

// Small enough that a Stop is noticed within a second even on a slow share, large enough that
// the calls per megabyte do not count.
static const DWORD kChunkBytes = 256u << 10;

// The attributes a copy carries over, as the platform's file copy does.
static const DWORD kCopiedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                       FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                                       FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_TEMPORARY;

struct CopyWork {
    wchar_t *folder;    // the work folder, in prefixed form like every path here
    wchar_t *temporary; // the temporary copy in it
    wchar_t *waiting;   // old contents waiting in it
    char *buffer;       // one chunk
    bool used;          // a copy of this run opened the temporary copy
    bool onShare;       // the backup folder lies on a network share
};

// A path in prefixed form, whatever its length: names the system would otherwise read
// differently (a trailing dot or space, a device name such as "aux.txt") stay as the walk
// found them.
class PrefixedPath {
public:
    explicit PrefixedPath(const wchar_t *path) : path_(path != nullptr ? MakeLongPath(path) : nullptr) {}
    ~PrefixedPath() { free(path_); }
    PrefixedPath(const PrefixedPath &) = delete;
    PrefixedPath &operator=(const PrefixedPath &) = delete;
    // NULL when memory ran out, or for no path.
    const wchar_t *get() const { return path_; }

private:
    wchar_t *path_;
};

static void FreeCopyWork(CopyWork *work)
{
    free(work->folder);
    free(work->temporary);
    free(work->waiting);
    free(work->buffer);
    free(work);
}

static wchar_t *JoinWide(const wchar_t *a, const wchar_t *b)
{
    size_t length = wcslen(a) + wcslen(b) + 1;
    wchar_t *joined = static_cast<wchar_t *>(malloc(length * sizeof(wchar_t)));
    if (joined != nullptr) {
        wcscpy(joined, a);
        wcscat(joined, b);
    }
    return joined;
}

// A UNC path, or a drive letter that names a network drive.
static bool IsOnShare(const wchar_t *path)
{
    if (path[0] == L'\\' && path[1] == L'\\')
        return true;
    if (path[0] == L'\0' || path[1] != L':')
        return false;
    wchar_t root[] = {path[0], L':', L'\\', L'\0'};
    return GetDriveTypeW(root) == DRIVE_REMOTE;
}

// The run's work area, made on the first copy; NULL when memory ran out.
static CopyWork *GetCopyWork(JobContext *context)
{
    if (context->copyWork != nullptr)
        return context->copyWork;
    CopyWork *work = static_cast<CopyWork *>(calloc(1, sizeof(CopyWork)));
    wchar_t *backupFolder = AnsiToWideAlloc(context->backupFolder);
    wchar_t *folder = backupFolder != nullptr ? JoinWide(backupFolder, kCopyWorkFolderName) : nullptr;
    if (work != nullptr && folder != nullptr) {
        work->folder = MakeLongPath(folder);
        work->temporary = work->folder != nullptr ? JoinWide(work->folder, kTemporaryName) : nullptr;
        work->waiting = work->folder != nullptr ? JoinWide(work->folder, kWaitingName) : nullptr;
        work->buffer = static_cast<char *>(malloc(kChunkBytes));
    }
    if (work != nullptr && backupFolder != nullptr)
        work->onShare = IsOnShare(backupFolder);
    free(backupFolder);
    free(folder);
    if (work != nullptr && (work->folder == nullptr || work->temporary == nullptr || work->waiting == nullptr ||
                            work->buffer == nullptr)) {
        FreeCopyWork(work);
        work = nullptr;
    }
    context->copyWork = work;
    return work;
}

// The temporary copy, opened for writing. The work folder is made when it is missing; a
// temporary copy that an interrupted run left read-only or hidden is cleared first.
static HANDLE CreateTemporaryCopy(CopyWork *work)
{
    work->used = true;
    for (int attempt = 0;; ++attempt) {
        HANDLE file = CreateFileW(work->temporary, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || attempt == 1)
            return file;
        DWORD error = GetLastError();
        bool cleared = false;
        if (error == ERROR_PATH_NOT_FOUND)
            cleared = CreateDirectoryW(work->folder, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
        else if (error == ERROR_ACCESS_DENIED)
            cleared = SetFileAttributesW(work->temporary, FILE_ATTRIBUTE_NORMAL) != FALSE;
        if (!cleared) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
    }
}

static void DiscardTemporaryCopy(CopyWork *work, DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(work->temporary, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(work->temporary);
}

// Copies the open source into out chunk by chunk, testing the cancel byte after each one.
static bool CopyChunks(HANDLE in, HANDLE out, char *buffer, const BackupConfig *config, DWORD *error)
{
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(in, buffer, kChunkBytes, &read, nullptr)) {
            *error = GetLastError();
            return false;
        }
        if (read == 0)
            return true;
        for (DWORD offset = 0; offset < read;) {
            DWORD written = 0;
            if (!WriteFile(out, buffer + offset, read - offset, &written, nullptr)) {
                *error = GetLastError();
                return false;
            }
            if (written == 0) {
                *error = ERROR_WRITE_FAULT;
                return false;
            }
            offset += written;
        }
        if (IsCancelRequested(config)) {
            *error = ERROR_REQUEST_ABORTED;
            return false;
        }
    }
}

// Gives the open temporary copy its final name (in prefixed form), replacing what is there.
// Renaming the open file spares opening it again by its path.
static bool RenameOpenCopy(HANDLE file, const wchar_t *target, DWORD *error)
{
    // The call takes a native path: "\\?\" becomes "\??\", for drives and shares alike.
    const wchar_t *rest = target + 4;
    size_t nameBytes = (4 + wcslen(rest)) * sizeof(wchar_t);
    size_t size = sizeof(FILE_RENAME_INFO) + nameBytes;
    FILE_RENAME_INFO *rename = static_cast<FILE_RENAME_INFO *>(calloc(1, size));
    if (rename == nullptr) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    rename->ReplaceIfExists = TRUE;
    rename->FileNameLength = (DWORD)nameBytes;
    memcpy(rename->FileName, L"\\??\\", 4 * sizeof(wchar_t));
    memcpy(rename->FileName + 4, rest, wcslen(rest) * sizeof(wchar_t));
    bool renamed = SetFileInformationByHandle(file, FileRenameInfo, rename, (DWORD)size) != FALSE;
    if (!renamed)
        *error = GetLastError();
    free(rename);
    return renamed;
}

// What becomes of the target's old contents: nothing (keepAs NULL), or renamed to keepAs just
// before the copy takes the target's name. Where keepAs refuses them (read-only, or held open
// by another program), they wait in the work folder and take that name once the copy is in
// place; until then keepAs is as it was.
struct KeepOld {
    const wchar_t *keepAs;  // prefixed form
    const wchar_t *waiting; // the work folder's name for them
    bool kept;              // they lie under keepAs
    bool waits;             // they lie under waiting
    DWORD keepError;        // why they could not be kept, once the copy was made without them
};

// Replaces keepAs by the file at from; one that is read-only or hidden is cleared first.
static bool MoveOverKept(const wchar_t *from, const wchar_t *keepAs)
{
    if (MoveFileExW(from, keepAs, MOVEFILE_REPLACE_EXISTING))
        return true;
    DWORD error = GetLastError();
    DWORD attributes = GetFileAttributesW(keepAs);
    const DWORD protectedBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & protectedBits) &&
        SetFileAttributesW(keepAs, (attributes & ~protectedBits) | FILE_ATTRIBUTE_NORMAL) &&
        MoveFileExW(from, keepAs, MOVEFILE_REPLACE_EXISTING))
        return true;
    SetLastError(error);
    return false;
}

// Moves the old target out of the copy's way; false (nothing changed) when that was refused.
static bool MoveOldAside(const wchar_t *target, KeepOld *keep, DWORD *error)
{
    if (keep->keepAs == nullptr)
        return true;
    if (MoveFileExW(target, keep->keepAs, MOVEFILE_REPLACE_EXISTING)) {
        keep->kept = true;
        return true;
    }
    if (MoveFileExW(target, keep->waiting, MOVEFILE_REPLACE_EXISTING)) {
        keep->waits = true;
        return true;
    }
    *error = GetLastError();
    return false;
}

// Once the copy has the target's name: old contents that wait take keepAs's name.
static void FinishKeepingOld(KeepOld *keep)
{
    if (!keep->waits)
        return;
    if (MoveOverKept(keep->waiting, keep->keepAs)) {
        keep->kept = true;
    } else {
        keep->keepError = GetLastError();
        DeleteFileW(keep->waiting);
    }
    keep->waits = false;
}

// After the copy could not take the target's name: the old contents go back under it (or,
// failing that, under keepAs rather than stay in the work folder).
static void PutOldBack(const wchar_t *target, KeepOld *keep)
{
    if (keep->kept && MoveFileExW(keep->keepAs, target, 0))
        keep->kept = false;
    if (!keep->waits)
        return;
    if (MoveFileExW(keep->waiting, target, 0)) {
        keep->waits = false;
    } else if (MoveOverKept(keep->waiting, keep->keepAs)) {
        keep->waits = false;
        keep->kept = true;
    }
}

// Writes the whole source into the temporary copy, gives it the source's last-write time and
// attributes and then its final name; on failure nothing is left of it and the target is as
// it was (or, with keep, its old contents are where keep says).
static bool WriteCopy(HANDLE in, CopyWork *work, const BackupConfig *config, const wchar_t *target, KeepOld *keep,
                      DWORD *error)
{
    // The basic information of the open file: unlike the full information, it needs no
    // question to the volume.
    FILE_BASIC_INFO source;
    if (!GetFileInformationByHandleEx(in, FileBasicInfo, &source, sizeof(source))) {
        *error = GetLastError();
        return false;
    }
    HANDLE out = CreateTemporaryCopy(work);
    if (out == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    DWORD attributes = 0;
    bool copied = CopyChunks(in, out, work->buffer, config, error);
    if (copied) {
        // As with the platform's copy, times or attributes the destination cannot hold do not
        // fail the copy; the next run then finds the pair changed and copies again.
        FILE_BASIC_INFO basic;
        ZeroMemory(&basic, sizeof(basic));
        basic.LastWriteTime = source.LastWriteTime;
        basic.FileAttributes = source.FileAttributes & kCopiedAttributes;
        if (basic.FileAttributes == 0)
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        if (SetFileInformationByHandle(out, FileBasicInfo, &basic, sizeof(basic)))
            attributes = basic.FileAttributes;
    }
    // A network redirector may report a write it could not make only when the file is closed:
    // there the copy is closed first and renamed by its path. On a local volume closing reports
    // nothing about the data, and the open copy takes its final name itself.
    bool renamed = false;
    if (copied && !work->onShare) {
        copied = MoveOldAside(target, keep, error);
        renamed = copied = copied && RenameOpenCopy(out, target, error);
    }
    if (!CloseHandle(out) && copied && !renamed) {
        *error = GetLastError();
        copied = false;
    }
    // A target on another volume than the backup folder (behind a junction) cannot take the
    // rename: it fails with ERROR_NOT_SAME_DEVICE rather than be written in place.
    if (copied && !renamed) {
        if (!MoveOldAside(target, keep, error)) {
            copied = false;
        } else if (!MoveFileExW(work->temporary, target, MOVEFILE_REPLACE_EXISTING)) {
            *error = GetLastError();
            copied = false;
        }
    }
    if (copied) {
        FinishKeepingOld(keep);
    } else {
        PutOldBack(target, keep);
        DiscardTemporaryCopy(work, attributes);
    }
    return copied;
}

// The copy itself: into the temporary copy, then renamed over the target.
static bool CopyThroughWorkFolder(CopyWork *work, const BackupConfig *config, const wchar_t *source,
                                  const wchar_t *target, KeepOld *keep, DWORD *error)
{
    HANDLE in = CreateFileW(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (in == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    bool copied = WriteCopy(in, work, config, target, keep, error);
    CloseHandle(in);
    return copied;
}

BOOL CopyFileSafelyKeepingOld(JobContext *context, const wchar_t *source, const wchar_t *target, const wchar_t *keepAs,
                              bool *kept, DWORD *keepError)
{
    const BackupConfig *config = context->config;
    KeepOld keep = {nullptr, nullptr, false, false, ERROR_SUCCESS};
    DWORD error = ERROR_SUCCESS;
    bool copied = false;
    if (IsCancelRequested(config)) {
        error = ERROR_REQUEST_ABORTED;
    } else {
        CopyWork *work = GetCopyWork(context);
        PrefixedPath from(source);
        PrefixedPath to(target);
        PrefixedPath aside(keepAs);
        keep.keepAs = aside.get();
        keep.waiting = work != nullptr ? work->waiting : nullptr;
        if (work == nullptr || from.get() == nullptr || to.get() == nullptr || (keepAs != nullptr && aside.get() == nullptr))
            error = ERROR_NOT_ENOUGH_MEMORY;
        else
            copied = CopyThroughWorkFolder(work, config, from.get(), to.get(), &keep, &error);
    }
    *kept = keep.kept;
    *keepError = keep.keepError;
    SetLastError(copied ? ERROR_SUCCESS : error);
    return copied ? TRUE : FALSE;
}

BOOL CopyFileSafely(JobContext *context, const wchar_t *source, const wchar_t *target)
{
    bool kept = false;
    DWORD keepError = ERROR_SUCCESS;
    return CopyFileSafelyKeepingOld(context, source, target, nullptr, &kept, &keepError);
}

// Removes the work folder with what only a copy cut off (a crash, a process ended by force)
// ever leaves in it: the temporary copy, and old contents on their way to a revision (the
// mirror copy itself is made again from its source). Anything else in it is left alone.
static void RemoveWorkFolder(const CopyWork *work)
{
    if (RemoveDirectoryW(work->folder))
        return;
    SetFileAttributesW(work->temporary, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(work->temporary);
    SetFileAttributesW(work->waiting, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(work->waiting);
    RemoveDirectoryW(work->folder);
}

void RemoveCopyWorkLeftovers(JobContext *context)
{
    if (context->backupFolder[0] == '\0')
        return;
    CopyWork *work = GetCopyWork(context);
    if (work != nullptr)
        RemoveWorkFolder(work);
}

void ReleaseCopyWork(JobContext *context)
{
    CopyWork *work = context->copyWork;
    if (work == nullptr)
        return;
    context->copyWork = nullptr;
    if (work->used)
        RemoveWorkFolder(work);
    FreeCopyWork(work);
}

int ClearProtectedBits(const wchar_t *target, FILE *log)
{
    DWORD attributes = GetFileAttributesLong(target);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        LogLastError("Get File Attributes", log);
        WriteText(log, "Unable to read file attributes: %ws", target);
        return 0;
    }
    const DWORD protectedBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    if ((attributes & protectedBits) == 0)
        return 0;
    DWORD cleared = attributes & ~protectedBits;
    if (!SetFileAttributesLong(target, cleared == 0 ? FILE_ATTRIBUTE_NORMAL : cleared)) {
        LogLastError("Set File Attributes", log);
        WriteText(log, "Unable to remove file attributes: %ws\n(%X)\n", target, (unsigned)cleared);
        return 0;
    }
    return 1;
}
