#include <stdlib.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "ConfigRuntime.h"
#include "ErrorReport.h"
#include "Exclusion.h"
#include "ExtensionFilter.h"
#include "FolderHelpers.h"
#include "FolderListing.h"
#include "ListingCache.h"
#include "ListingPrefetch.h"
#include "LongPath.h"
#include "MirrorCopy.h"
#include "MirrorPath.h"
#include "MsvcrtFormat.h"

namespace {

// What every level of one walk shares.
struct MirrorWalk {
    FILE *log;
    const ExtensionEntry *extensions;
    int extensionCount;
    int32_t filterFlags;
    const volatile uint8_t *cancel;
    JobContext *context;
    ListingPrefetch *prefetch; // lists the mirror folders the walk comes to next; may be NULL
};

bool IsCancelSet(const volatile uint8_t *cancel)
{
    return cancel != nullptr && __atomic_load_n(cancel, __ATOMIC_ACQUIRE) == 1;
}

int MirrorFolder(const MirrorWalk &walk, const wchar_t *source, const wchar_t *mirror, KnownFolderState mirrorState,
                 const WIN32_FIND_DATAW *sourceEntry, bool *created);

// What the listing of the mirror folder says of the mirror subfolder of this name.
KnownFolderState MirrorSubfolderState(const FolderListing *mirrorListing, const wchar_t *name)
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
// listing, or NULL when each mirror file is to be looked up. *wroteInto is set when the entry
// may have changed the mirror folder's own last-write time: a file copied (or tried) into it,
// a subfolder made in it.
int BackupEntry(const MirrorWalk &walk, const wchar_t *source, const wchar_t *mirror, const WIN32_FIND_DATAW &entry,
                const FolderListing *mirrorListing, bool *wroteInto)
{
    FILE *log = walk.log;
    wchar_t *sourcePath = static_cast<wchar_t *>(malloc(2 * kWidePathChars * sizeof(wchar_t)));
    wchar_t *mirrorPath = static_cast<wchar_t *>(malloc(2 * kWidePathChars * sizeof(wchar_t)));
    int result = 0;
    int32_t changedBefore;
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
        bool created = false;
        result = MirrorFolder(walk, sourcePath, mirrorPath, MirrorSubfolderState(mirrorListing, entry.cFileName),
                              &entry, &created);
        if (created)
            *wroteInto = true;
        goto done;
    }
    if (!PassesExtensionFilter(entry.cFileName, walk.extensions, walk.extensionCount, walk.filterFlags)) {
        result = 1;
        goto done;
    }
    if (!CheckJoinedPathLengthW(source, entry.cFileName, kWidePathChars + 1, log))
        goto done;
    if (IsExcluded(sourcePath, walk.context->config)) {
        result = 1;
        goto done;
    }
    if (!CheckJoinedPathLengthW(mirror, entry.cFileName, kWidePathChars + 1, log))
        goto done;
    // Every file that is not found unchanged is counted changed before it is copied.
    changedBefore = walk.context->filesChanged;
    if (mirrorListing == nullptr) {
        result = BackupFile(sourcePath, mirrorPath, log, &entry, walk.context);
    } else {
        const FolderListing::Entry *listed = mirrorListing->Find(entry.cFileName);
        WIN32_FIND_DATAW existing;
        if (listed != nullptr)
            mirrorListing->ToFindData(*listed, &existing);
        result = BackupListedFile(sourcePath, mirrorPath, log, &entry, listed != nullptr ? &existing : nullptr,
                                  walk.context);
    }
    if (walk.context->filesChanged != changedBefore)
        *wroteInto = true;
done:
    free(sourcePath);
    free(mirrorPath);
    return result;
}

// Names to the prefetch the mirror subfolders this folder's walk will enter, in its order:
// those the mirror already has (a missing one is made, and empty) and the walk does not skip.
void AskForMirrorSubfolders(const MirrorWalk &walk, const wchar_t *sourceFolder, const wchar_t *mirrorFolder,
                            const FolderListing &sourceListing, const FolderListing &mirrorListing)
{
    if (walk.prefetch == nullptr)
        return;
    std::vector<ListingPrefetch::Ahead> folders;
    std::wstring sourcePath;
    for (size_t i = 0; i < sourceListing.Count(); ++i) {
        const FolderListing::Entry &entry = sourceListing.At(i);
        const wchar_t *name = sourceListing.NameOf(entry);
        if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY) || IsSkippedByAttributes(entry.attributes, walk.filterFlags) ||
            !CheckJoinedPathLengthW(sourceFolder, name, kWidePathChars - 1, nullptr) ||
            !CheckJoinedPathLengthW(mirrorFolder, name, kWidePathChars - 1, nullptr) ||
            MirrorSubfolderState(&mirrorListing, name) != FolderPresent)
            continue;
        sourcePath = std::wstring(sourceFolder) + name + L"\\";
        if (!IsExcluded(sourcePath.c_str(), walk.context->config))
            folders.push_back({std::wstring(mirrorFolder) + name + L"\\", sourcePath});
    }
    walk.prefetch->Ask(std::move(folders));
}

// mirrorState is what the parent's listing said of the mirror folder, sourceEntry the
// source folder's entry in the parent's listing (NULL for the walk's first folder); *created
// (may be NULL) is set when the mirror folder was made.
int MirrorFolder(const MirrorWalk &walk, const wchar_t *source, const wchar_t *mirror, KnownFolderState mirrorState,
                 const WIN32_FIND_DATAW *sourceEntry, bool *created)
{
    FILE *log = walk.log;
    if (IsCancelSet(walk.cancel))
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
    ListingCache *cache = walk.context->listings;
    FolderListing sourceListing;
    FolderListing mirrorListing;
    bool mirrorListed = false;
    bool mirrorCreated = false;
    bool wroteInto = false;
    bool prefetched = false;
    HANDLE stamped = INVALID_HANDLE_VALUE;
    if (!CopyFolderPath(source, sourceFolder, "WARNING: Empty path\n", log))
        goto done;
    if (IsExcluded(sourceFolder, walk.context->config)) {
        result = 1;
        goto done;
    }
    if (wcslen(sourceFolder) >= kWidePathChars - 1) {
        WriteText(log, "WARNING: Path too long: %ws\n", sourceFolder);
        goto done;
    }
    if (!CopyFolderPath(mirror, mirrorFolder, "WARNING: Empty destination path\n", log))
        goto done;
    // The listing of a folder the mirror has is stamped neither before nor after: what the
    // folder's own attributes and times become changes none of its entries.
    prefetched = mirrorState == FolderPresent && walk.prefetch != nullptr &&
                 walk.prefetch->Take(mirrorFolder, &mirrorListing);
    if (!VerifyKnownDirectory(mirrorFolder, log, 1, sourceFolder, mirrorState, &mirrorCreated,
                              mirrorState == FolderMissing || prefetched ? nullptr : &stamped))
        goto done;
    if (created != nullptr)
        *created = mirrorCreated;
    // The mirror folder's names, once: a folder made just now is empty, one just stamped is
    // listed through the handle that stamped it, and one that cannot be listed leaves each
    // file to be looked up.
    mirrorListed = prefetched || mirrorCreated ||
                   (stamped != INVALID_HANDLE_VALUE && mirrorListing.ListOpen(stamped)) ||
                   mirrorListing.List(mirrorFolder);
    if (stamped != INVALID_HANDLE_VALUE)
        CloseHandle(stamped);
    // The source folder is listed now, as the walk comes to it: what each file is then decides
    // whether it changed (a listing from the size count may be hours old by now, and a file
    // edited in place since leaves its folder's time as it was).
    if (!sourceListing.List(sourceFolder)) {
        // A folder that cannot be listed (an unplugged drive, an offline share) is a failure:
        // it is reported, and the clean-up passes must not take its mirror for deleted files.
        FormatTextW(pattern, kWidePathChars, L"%ws*", sourceFolder);
        LogLastError("Backup Folder - FindFirstFile", log);
        WriteText(log, "WARNING: Unable to iterate files in: %ws\n", pattern);
        goto done;
    }
    if (mirrorListed)
        AskForMirrorSubfolders(walk, sourceFolder, mirrorFolder, sourceListing, mirrorListing);
    for (size_t i = 0; i < sourceListing.Count(); ++i) {
        if (IsCancelSet(walk.cancel))
            break;
        WIN32_FIND_DATAW entry;
        sourceListing.ToFindData(sourceListing.At(i), &entry);
        if (IsSkippedByAttributes(entry.dwFileAttributes, walk.filterFlags))
            continue;
        if (!BackupEntry(walk, sourceFolder, mirrorFolder, entry, mirrorListed ? &mirrorListing : nullptr,
                         &wroteInto))
            failed = true;
    }
    // What was written into the folder moved its last-write time off its source's: it gets
    // the source's times again, or the next run would find it changed and stamp it again. A
    // stopped walk leaves that to the next run.
    if (wroteInto && !IsCancelSet(walk.cancel) &&
        !RestampDirectoryTimes(sourceFolder, mirrorFolder, sourceEntry, log))
        failed = true;
    // Both listings serve the deleted-items pass over this folder: the names the walk has just
    // copied are all in the source's listing, which is what that pass looks at.
    if (cache != nullptr && mirrorListed) {
        cache->Keep(sourceFolder, std::move(sourceListing));
        cache->Keep(mirrorFolder, std::move(mirrorListing));
    }
    result = failed ? 0 : 1;
done:
    free(sourceFolder);
    return result;
}

} // namespace

int BackupFolder(FILE *log, const wchar_t *source, const wchar_t *mirror, const ExtensionEntry *extensions,
                 int extensionCount, int32_t filterFlags, const volatile uint8_t *cancel, JobContext *context)
{
    ListingPrefetch prefetch;
    MirrorWalk walk = {log, extensions, extensionCount, filterFlags, cancel, context,
                       prefetch.Start() ? &prefetch : nullptr};
    return MirrorFolder(walk, source, mirror, FolderUnknown, nullptr, nullptr);
}
