#include <stdlib.h>
#include <string.h>

#include <string>

#include "CleanupPasses.h"
#include "ConfigRuntime.h"
#include "ErrorReport.h"
#include "FolderHelpers.h"
#include "FolderListing.h"
#include "GlobalSettings.h"
#include "ListingCache.h"
#include "LongPath.h"
#include "MirrorPath.h"
#include "MsvcrtFormat.h"
#include "SafeFileCopy.h"
#include "TextConversion.h"

int IsSourceDefinitelyGone(const wchar_t *source)
{
    if (GetFileAttributesLong(source) != INVALID_FILE_ATTRIBUTES || !IsNotFoundError(GetLastError()))
        return 0;
    // Walk up to the nearest folder that exists: every missing level must say "not found",
    // and some folder above must be there (an unplugged drive or an offline share has none).
    wchar_t *path = static_cast<wchar_t *>(malloc((wcslen(source) + 1) * sizeof(wchar_t)));
    if (path == nullptr)
        return 0;
    wcscpy(path, source);
    int gone = 0;
    for (;;) {
        size_t length = wcslen(path);
        while (length > 0 && path[length - 1] == L'\\')
            path[--length] = L'\0';
        wchar_t *slash = wcsrchr(path, L'\\');
        if (slash == nullptr)
            break;
        // The parent without its trailing backslash, so a file is never taken for a folder;
        // a drive keeps its root backslash.
        slash[0] = L'\0';
        if (wcslen(path) == 2 && path[1] == L':') {
            slash[0] = L'\\';
            slash[1] = L'\0';
        }
        DWORD attributes = GetFileAttributesLong(path);
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            gone = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
            break;
        }
        if (!IsNotFoundError(GetLastError()))
            break;
    }
    free(path);
    return gone;
}

// The Deleted tree keeps the last deleted item of a name, whatever its kind: a newer deleted
// item takes the place of an older one of the other kind as a newer file takes an older file's,
// or the name could never be kept again and its mirror item would never leave the mirror. Here
// the older deleted files that stand where the levels of folder (a path in the Deleted tree,
// ending in "\\") are to be made give way; KeepDeletedCopy lets an older deleted folder give
// way to a file.
static void ClearDeletedLevels(const wchar_t *folder, FILE *log, JobContext *context)
{
    wchar_t *root = AnsiToWideAlloc(context->deletedFolder);
    if (root == nullptr)
        return;
    size_t rootLength = wcslen(root);
    free(root);
    std::wstring path(folder);
    for (size_t slash = path.find(L'\\', rootLength); slash != std::wstring::npos;
         slash = path.find(L'\\', slash + 1)) {
        std::wstring level = path.substr(0, slash);
        DWORD attributes = GetFileAttributesLong(level.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            break;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        if (gSettings.logVerbose)
            WriteText(log, "Deleting file: %ws\n", level.c_str());
        if ((attributes & FILE_ATTRIBUTE_READONLY) &&
            !SetFileAttributesLong(level.c_str(), attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY))
            break;
        if (!DeleteFileLong(level.c_str()))
            break;
    }
}

// Copies the mirror file into the Deleted tree; 1 when kept.
static int KeepDeletedCopy(const wchar_t *source, const wchar_t *mirror, FILE *log, JobContext *context)
{
    static thread_local wchar_t folder[kWidePathChars];
    static thread_local wchar_t target[2 * kWidePathChars];
    if (!BuildMirrorPath(context->deletedFolder, source, log, 0, folder, kWidePathChars, 0))
        return 0;
    if (!IsDirectory(folder) && !CreateDirectoryLogged(folder, log)) {
        ClearDeletedLevels(folder, log, context);
        if (!BuildMirrorPath(context->deletedFolder, source, log, 1, folder, kWidePathChars, 0))
            return 0;
    }
    const wchar_t *slash = wcsrchr(mirror, L'\\');
    if (slash == nullptr || !CheckJoinedPathLengthW(folder, slash + 1, kWidePathChars + 1, log))
        return 0;
    FormatTextW(target, 2 * kWidePathChars, L"%ws%ws", folder, slash + 1);
    BOOL copied = CopyFileSafely(context, mirror, target);
    DWORD error = copied ? ERROR_SUCCESS : GetLastError();
    if (!copied && error != ERROR_REQUEST_ABORTED && IsDirectory(target)) {
        // An older deleted folder of this name gives way to the newer deleted file.
        const BackupConfig *config = context->config;
        copied = DeleteFolderTree(log, target, &config->cancelRequested) && !IsCancelRequested(config) &&
                 CopyFileSafely(context, mirror, target);
        error = copied ? ERROR_SUCCESS : IsCancelRequested(config) ? ERROR_REQUEST_ABORTED : GetLastError();
    } else if (!copied && error == ERROR_ACCESS_DENIED && ClearProtectedBits(target, log)) {
        copied = CopyFileSafely(context, mirror, target);
        error = copied ? ERROR_SUCCESS : GetLastError();
    }
    if (!copied && error == ERROR_REQUEST_ABORTED)
        return 0; // stopped: the mirror file stays for the next run
    if (!copied) {
        SetLastError(error);
        LogLastError("Deleted File Copy", log);
        WriteText(log, "WARNING: Unable to move deleted file:\n\tFrom: %ws\n\tTo:   %ws\n", mirror, target);
        return 0;
    }
    if (gSettings.logVerbose)
        WriteText(log, "Copied deleted file:\n\tFrom: %ws\n\tTo:   %ws\n", mirror, target);
    return 1;
}

int HandleDeletedFile(const wchar_t *source, const wchar_t *mirror, FILE *log, const WIN32_FIND_DATAW *entry,
                      JobContext *context)
{
    if (!IsSourceDefinitelyGone(source))
        return 1;
    return RemoveMirrorFile(source, mirror, log, entry, context);
}

int RemoveMirrorFile(const wchar_t *source, const wchar_t *mirror, FILE *log, const WIN32_FIND_DATAW *entry,
                     JobContext *context)
{
    if ((context->config->flags & SaveDeleted) && !KeepDeletedCopy(source, mirror, log, context))
        return 0;
    if (entry->dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
        if (!SetFileAttributesLong(mirror, entry->dwFileAttributes & ~(DWORD)FILE_ATTRIBUTE_READONLY)) {
            LogLastError("Set File Attributes", log);
            WriteText(log, "WARNING: Unable to remove read-only attribute from: %ws\n", mirror);
        }
    }
    if (!DeleteFileLong(mirror)) {
        LogLastError("Delete File", log);
        WriteText(log, "WARNING: Unable to remove deleted file from: %ws\n", mirror);
        return 0;
    }
    ++context->deletedCount;
    if (gSettings.logVerbose)
        WriteText(log, "Removed deleted file from: %ws\n", mirror);
    return 1;
}

// Takes every item of the mirror folder out as a deleted one, then the folder itself (both
// paths end in "\\"); the source folder need not exist. 1 when the folder is gone.
static int RetireMirrorFolder(FILE *log, const std::wstring &source, const std::wstring &mirror, JobContext *context)
{
    FolderListing listing;
    if (!listing.List(mirror.c_str())) {
        LogLastError("Check Folder For Deleted Items - FindFirstFile", log);
        WriteText(log, "WARNING (cffdi): Unable to iterate files in: %ws*\n", mirror.c_str());
        return 0;
    }
    bool failed = false;
    for (size_t i = 0; i < listing.Count() && !failed; ++i) {
        if (IsCancelRequested(context->config))
            return 0;
        WIN32_FIND_DATAW entry;
        listing.ToFindData(listing.At(i), &entry);
        const wchar_t *name = entry.cFileName;
        bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        size_t limit = folder ? kWidePathChars : kWidePathChars + 1;
        if (!CheckJoinedPathLengthW(source.c_str(), name, limit, log) ||
            !CheckJoinedPathLengthW(mirror.c_str(), name, limit, log))
            failed = true;
        else if (folder)
            failed = !RetireMirrorFolder(log, source + name + L"\\", mirror + name + L"\\", context);
        else
            failed = !RemoveMirrorFile((source + name).c_str(), (mirror + name).c_str(), log, &entry, context);
    }
    if (failed)
        return 0;
    std::wstring folder = mirror.substr(0, mirror.size() - 1);
    DWORD attributes = GetFileAttributesLong(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesLong(folder.c_str(), attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY);
    if (!RemoveDirectoryLong(folder.c_str())) {
        LogLastError("Remove Directory", log);
        WriteText(log, "WARNING: Unable to delete folder: %ws\n", folder.c_str());
        return 0;
    }
    if (gSettings.logVerbose)
        WriteText(log, "Removed deleted folder: %ws\n", folder.c_str());
    return 1;
}

int RetireMirrorItem(FILE *log, const wchar_t *source, const wchar_t *mirror, const WIN32_FIND_DATAW &entry,
                     JobContext *context)
{
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return RemoveMirrorFile(source, mirror, log, &entry, context);
    return RetireMirrorFolder(log, std::wstring(source) + L"\\", std::wstring(mirror) + L"\\", context);
}

// 1 when the source folder's listing holds the name as this kind of entry. A name not in it
// still gets the definite look-up before it counts as deleted.
static bool IsListed(const FolderListing *listing, const wchar_t *name, bool folder)
{
    if (listing == nullptr)
        return false;
    const FolderListing::Entry *found = listing->Find(name);
    return found != nullptr && ((found->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folder;
}

static int CheckFolder(FILE *log, const wchar_t *source, const wchar_t *mirror, const volatile uint8_t *cancel,
                       JobContext *context, const WIN32_FIND_DATAW *sourceEntry);

// One entry of the mirror folder; 0 marks the walk failed. *removed is set when a file or
// folder was removed from the mirror folder, which moves its last-write time.
static int CheckMirrorEntry(FILE *log, const wchar_t *source, const wchar_t *mirror, const WIN32_FIND_DATAW &entry,
                            const volatile uint8_t *cancel, JobContext *context, const FolderListing *listing,
                            bool *removed)
{
    wchar_t *sourcePath = static_cast<wchar_t *>(malloc(4 * kWidePathChars * sizeof(wchar_t)));
    if (sourcePath == nullptr)
        return 0;
    wchar_t *mirrorPath = sourcePath + 2 * kWidePathChars;
    int result = 1;
    const wchar_t *name = entry.cFileName;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (!CheckJoinedPathLengthW(source, name, kWidePathChars, log) ||
            !CheckJoinedPathLengthW(mirror, name, kWidePathChars, log)) {
            result = 0;
        } else {
            FormatTextW(sourcePath, 2 * kWidePathChars, L"%ws%ws\\", source, name);
            FormatTextW(mirrorPath, 2 * kWidePathChars, L"%ws%ws", mirror, name);
            // The source folder's entry, when it is listed, gives its times to stamp again.
            bool listed = IsListed(listing, name, true);
            WIN32_FIND_DATAW sourceEntry;
            if (listed)
                listing->ToFindData(*listing->Find(name), &sourceEntry);
            if (!CheckFolder(log, sourcePath, mirrorPath, cancel, context, listed ? &sourceEntry : nullptr))
                result = 0;
            if (!listed && !IsDirectory(sourcePath) && IsSourceDefinitelyGone(sourcePath) &&
                !IsCancelSet(cancel)) {
                if (RemoveDirectoryLong(mirrorPath)) {
                    *removed = true;
                    if (gSettings.logVerbose)
                        WriteText(log, "Removed deleted folder: %ws\n", mirrorPath);
                } else {
                    LogLastError("Remove Directory", log);
                    WriteText(log, "WARNING: Unable to delete folder: %ws\n", mirrorPath);
                    result = 0;
                }
            }
        }
    } else if (!CheckJoinedPathLengthW(source, name, kWidePathChars + 1, log) ||
               !CheckJoinedPathLengthW(mirror, name, kWidePathChars + 1, log)) {
        result = 0;
    } else if (!IsListed(listing, name, false)) {
        FormatTextW(sourcePath, 2 * kWidePathChars, L"%ws%ws", source, name);
        FormatTextW(mirrorPath, 2 * kWidePathChars, L"%ws%ws", mirror, name);
        int32_t deletedBefore = context->deletedCount;
        if (!HandleDeletedFile(sourcePath, mirrorPath, log, &entry, context))
            result = 0;
        if (context->deletedCount != deletedBefore)
            *removed = true;
    }
    free(sourcePath);
    return result;
}

// Walks the mirror folder M against the source folder S (both ending in "\\"), with the
// listings the mirror walk kept of both where it kept them. sourceEntry is S's entry in its
// parent's listing, or NULL.
static int WalkMirrorFolder(FILE *log, const wchar_t *sourceFolder, const wchar_t *mirrorFolder, wchar_t *pattern,
                            const volatile uint8_t *cancel, JobContext *context, const WIN32_FIND_DATAW *sourceEntry)
{
    ListingCache *cache = context->listings;
    FolderListing sourceListing;
    bool sourceListed = (cache != nullptr && cache->Take(sourceFolder, &sourceListing)) ||
                        sourceListing.List(sourceFolder);
    FolderListing mirrorListing;
    if ((cache == nullptr || !cache->Take(mirrorFolder, &mirrorListing)) && !mirrorListing.List(mirrorFolder)) {
        FormatTextW(pattern, kWidePathChars, L"%ws*", mirrorFolder);
        LogLastError("Check Folder For Deleted Items - FindFirstFile", log);
        WriteText(log, "WARNING (cffdi): Unable to iterate files in: %ws\n", pattern);
        return 1;
    }
    bool failed = false;
    bool removed = false;
    for (size_t i = 0; i < mirrorListing.Count(); ++i) {
        if (IsCancelSet(cancel))
            break;
        WIN32_FIND_DATAW entry;
        mirrorListing.ToFindData(mirrorListing.At(i), &entry);
        if (!CheckMirrorEntry(log, sourceFolder, mirrorFolder, entry, cancel, context,
                              sourceListed ? &sourceListing : nullptr, &removed))
            failed = true;
    }
    // As after the mirror walk's copies: the folder carries its source's times again. A source
    // folder that could not be listed may be gone, and its mirror with it.
    if (removed && sourceListed && !IsCancelSet(cancel) &&
        !RestampDirectoryTimes(sourceFolder, mirrorFolder, sourceEntry, log))
        failed = true;
    return failed ? 0 : 1;
}

int CheckFolderForDeletedItems(FILE *log, const wchar_t *source, const wchar_t *mirror,
                               const volatile uint8_t *cancel, JobContext *context)
{
    return CheckFolder(log, source, mirror, cancel, context, nullptr);
}

static int CheckFolder(FILE *log, const wchar_t *source, const wchar_t *mirror, const volatile uint8_t *cancel,
                       JobContext *context, const WIN32_FIND_DATAW *sourceEntry)
{
    if (IsCancelSet(cancel))
        return 1;
    wchar_t *sourceFolder = static_cast<wchar_t *>(malloc(3 * kWidePathChars * sizeof(wchar_t)));
    if (sourceFolder == nullptr)
        return 0;
    wchar_t *mirrorFolder = sourceFolder + kWidePathChars;
    wchar_t *pattern = mirrorFolder + kWidePathChars;
    int result = 0;
    if (!CopyFolderPath(source, sourceFolder, "WARNING (cffdi): Empty path\n", log) ||
        !CopyFolderPath(mirror, mirrorFolder, "WARNING (cffdi): Empty destination path\n", log)) {
        result = 0;
    } else if (wcslen(mirrorFolder) >= kWidePathChars - 1) {
        WriteText(log, "WARNING: Path too long: %ws\n", mirrorFolder);
        result = 0;
    } else {
        result = WalkMirrorFolder(log, sourceFolder, mirrorFolder, pattern, cancel, context, sourceEntry);
    }
    free(sourceFolder);
    return result;
}
