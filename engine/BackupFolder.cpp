#include <stdlib.h>
#include <string.h>

#include <utility>

#include "ConfigRuntime.h"
#include "ErrorReport.h"
#include "Exclusion.h"
#include "ExtensionFilter.h"
#include "FolderListing.h"
#include "ListingCache.h"
#include "FolderHelpers.h"
#include "LongPath.h"
#include "MirrorCopy.h"
#include "MirrorPath.h"
#include "MsvcrtFormat.h"

static bool IsCancelSet(const volatile uint8_t *cancel)
{
    return cancel != nullptr && __atomic_load_n(cancel, __ATOMIC_ACQUIRE) == 1;
}

static int MirrorFolder(FILE *log, const wchar_t *source, const wchar_t *mirror, const ExtensionEntry *extensions,
                        int extensionCount, int32_t filterFlags, const volatile uint8_t *cancel, JobContext *context,
                        KnownFolderState mirrorState);

// What the listing of the mirror folder says of the mirror subfolder of this name.
static KnownFolderState MirrorSubfolderState(const FolderListing *mirrorListing, const wchar_t *name)
{
    if (mirrorListing == nullptr)
        return FolderUnknown;
    const FolderListing::Entry *found = mirrorListing->Find(name);
    if (found == nullptr)
        return FolderMissing;
    // A file under the folder's name is left to the creation, which reports it.
    return (found->attributes & FILE_ATTRIBUTE_DIRECTORY) ? FolderPresent : FolderUnknown;
}

// One entry of the walk; 0 marks the walk failed. mirrorListing is the mirror folder's
// listing, or NULL when each mirror file is to be looked up.
static int BackupEntry(FILE *log, const wchar_t *source, const wchar_t *mirror, const WIN32_FIND_DATAW &entry,
                       const ExtensionEntry *extensions, int extensionCount, int32_t filterFlags,
                       const volatile uint8_t *cancel, JobContext *context, const FolderListing *mirrorListing)
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
        result = MirrorFolder(log, sourcePath, mirrorPath, extensions, extensionCount, filterFlags, cancel, context,
                              MirrorSubfolderState(mirrorListing, entry.cFileName));
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
    if (mirrorListing == nullptr) {
        result = BackupFile(sourcePath, mirrorPath, log, &entry, context);
    } else {
        const FolderListing::Entry *listed = mirrorListing->Find(entry.cFileName);
        WIN32_FIND_DATAW existing;
        if (listed != nullptr)
            mirrorListing->ToFindData(*listed, &existing);
        result = BackupListedFile(sourcePath, mirrorPath, log, &entry, listed != nullptr ? &existing : nullptr,
                                  context);
    }
done:
    free(sourcePath);
    free(mirrorPath);
    return result;
}

int BackupFolder(FILE *log, const wchar_t *source, const wchar_t *mirror, const ExtensionEntry *extensions,
                 int extensionCount, int32_t filterFlags, const volatile uint8_t *cancel, JobContext *context)
{
    return MirrorFolder(log, source, mirror, extensions, extensionCount, filterFlags, cancel, context, FolderUnknown);
}

// mirrorState is what the parent's listing said of the mirror folder.
static int MirrorFolder(FILE *log, const wchar_t *source, const wchar_t *mirror, const ExtensionEntry *extensions,
                        int extensionCount, int32_t filterFlags, const volatile uint8_t *cancel, JobContext *context,
                        KnownFolderState mirrorState)
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
    ListingCache *cache = context->listings;
    FILETIME unknownTime = {0, 0};
    FolderListing sourceListing;
    FolderListing mirrorListing;
    bool mirrorListed = false;
    bool mirrorCreated = false;
    HANDLE stamped = INVALID_HANDLE_VALUE;
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
    if (!VerifyKnownDirectory(mirrorFolder, log, 1, sourceFolder, mirrorState, &mirrorCreated,
                              mirrorState == FolderMissing ? nullptr : &stamped))
        goto done;
    // The mirror folder's names, once: a folder made just now is empty, one just stamped is
    // listed through the handle that stamped it, and one that cannot be listed leaves each
    // file to be looked up.
    mirrorListed = mirrorCreated || (stamped != INVALID_HANDLE_VALUE && mirrorListing.ListOpen(stamped)) ||
                   mirrorListing.List(mirrorFolder);
    if (stamped != INVALID_HANDLE_VALUE)
        CloseHandle(stamped);
    // The size count listed the source folder a moment ago; unless it has changed since, that
    // listing is the walk's.
    if ((cache == nullptr || !cache->TakeUnchanged(sourceFolder, &sourceListing)) &&
        !sourceListing.List(sourceFolder)) {
        // A folder that cannot be listed (an unplugged drive, an offline share) is a failure:
        // it is reported, and the clean-up passes must not take its mirror for deleted files.
        FormatTextW(pattern, kWidePathChars, L"%ws*", sourceFolder);
        LogLastError("Backup Folder - FindFirstFile", log);
        WriteText(log, "WARNING: Unable to iterate files in: %ws\n", pattern);
        goto done;
    }
    for (size_t i = 0; i < sourceListing.Count(); ++i) {
        if (IsCancelSet(cancel))
            break;
        WIN32_FIND_DATAW entry;
        sourceListing.ToFindData(sourceListing.At(i), &entry);
        if (IsSkippedByAttributes(entry.dwFileAttributes, filterFlags))
            continue;
        if (!BackupEntry(log, sourceFolder, mirrorFolder, entry, extensions, extensionCount, filterFlags, cancel,
                         context, mirrorListed ? &mirrorListing : nullptr))
            failed = true;
    }
    // Both listings serve the deleted-items pass over this folder: the names the walk has just
    // copied are all in the source's listing, which is what that pass looks at.
    if (cache != nullptr && mirrorListed) {
        cache->Keep(sourceFolder, std::move(sourceListing), unknownTime);
        cache->Keep(mirrorFolder, std::move(mirrorListing), unknownTime);
    }
    result = failed ? 0 : 1;
done:
    free(sourceFolder);
    return result;
}
