#include <stdlib.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "CleanupPasses.h"
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
#include "MirrorRename.h"
#include "MsvcrtFormat.h"
#include "SizeCalculation.h"
#include "WalkBounds.h"

namespace {

// A helper's listing of a source folder older than this is made again: what the walk compares
// is to be the file as it is when the walk comes to it, not as it was before a long copy.
const ULONGLONG kFreshListingMs = 1000;

// What every level of one walk shares.
struct MirrorWalk {
    FILE *log;
    const ExtensionEntry *extensions;
    int extensionCount;
    int32_t filterFlags;
    const volatile uint8_t *cancel;
    JobContext *context;
    ListingPrefetch *prefetch; // lists the folders of both sides the walk comes to next; may be NULL
    const WalkBounds *bounds;
};

int MirrorFolder(const MirrorWalk &walk, const WalkFramePtr &frame, const wchar_t *source, const wchar_t *mirror,
                 KnownFolderState mirrorState, const WIN32_FIND_DATAW *sourceEntry, const WIN32_FIND_DATAW *mirrorEntry,
                 bool *created);

bool IsFolderEntry(const WIN32_FIND_DATAW &entry)
{
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// What stands in the mirror under the name of a source entry: its entry in the mirror folder's
// listing, or looked up when there is no listing (its spelling is then taken for the source's).
bool FindMirrorItem(const FolderListing *mirrorListing, const wchar_t *mirrorPath, const wchar_t *name,
                    WIN32_FIND_DATAW *found)
{
    if (mirrorListing != nullptr) {
        const FolderListing::Entry *listed = mirrorListing->Find(name);
        if (listed != nullptr)
            mirrorListing->ToFindData(*listed, found);
        return listed != nullptr;
    }
    if (!LookUpMirrorItem(mirrorPath, found))
        return false;
    lstrcpynW(found->cFileName, name, MAX_PATH);
    return true;
}

// Readies the mirror item under the entry's name for the entry. One of the other kind (the user
// replaced a file by a folder of its name, or the reverse) leaves the mirror as a deleted item,
// so that the new kind can be mirrored in its place; one spelt in another case (renamed by case
// only) takes the source's spelling. *stands and *standing tell what stands there afterwards.
// 0 when the item could not be readied (logged).
int PrepareMirrorItem(const MirrorWalk &walk, const wchar_t *sourcePath, const wchar_t *mirror,
                      const wchar_t *mirrorPath, const WIN32_FIND_DATAW &entry, FolderListing *mirrorListing,
                      WIN32_FIND_DATAW *standing, bool *stands, bool *wroteInto)
{
    *stands = FindMirrorItem(mirrorListing, mirrorPath, entry.cFileName, standing);
    if (!*stands)
        return 1;
    const WIN32_FIND_DATAW *listedAs = &entry;
    if (IsFolderEntry(*standing) != IsFolderEntry(entry)) {
        *wroteInto = true;
        if (!RetireMirrorItem(walk.log, sourcePath, mirrorPath, *standing, walk.context))
            return 0;
        *stands = false;
    } else if (wcscmp(standing->cFileName, entry.cFileName) != 0) {
        *wroteInto = true;
        if (!RenameToSourceCase(mirror, standing->cFileName, entry.cFileName, walk.log))
            return 0;
        lstrcpynW(standing->cFileName, entry.cFileName, MAX_PATH);
        listedAs = standing;
    } else {
        return 1;
    }
    // The deleted-items pass reads this listing next: it must see the item as it is now.
    if (mirrorListing != nullptr)
        mirrorListing->Replace(entry.cFileName, *listedAs);
    return 1;
}

// A source folder whose mirror folder could not be readied: every file the walk would have
// copied from it counts as failed, and the log names the folder, so that nothing is left out
// silently.
void NoteFolderNotBackedUp(const MirrorWalk &walk, const wchar_t *source, const wchar_t *mirror)
{
    double bytes = 0;
    int32_t files = 0;
    SumFolderSize(source, walk.extensions, walk.extensionCount, walk.filterFlags, walk.cancel, &bytes, &files,
                  walk.context->config);
    NoteNotBackedUp(walk.log, source, mirror, true, files, bytes, walk.context);
}

// A folder entry of the walk; 0 marks the walk failed. The backup folder and a folder link
// that leads back are left out; any other folder is mirrored.
int BackupSubfolder(const MirrorWalk &walk, const WalkFramePtr &frame, const wchar_t *sourcePath,
                    const wchar_t *mirror, const wchar_t *mirrorPath, const WIN32_FIND_DATAW &entry,
                    FolderListing *mirrorListing, bool *wroteInto)
{
    // An excluded folder is not entered, and its name in the mirror is not touched.
    std::wstring folder = std::wstring(sourcePath) + L"\\";
    if (IsExcluded(folder.c_str(), walk.context->config))
        return 1;
    WalkFramePtr inner;
    WalkStep step = walk.bounds->Check(frame, folder, entry.dwFileAttributes, &inner);
    if (step != WalkStep::Enter) {
        LogFolderLeftOut(walk.log, step, folder, walk.context);
        return 1;
    }
    WIN32_FIND_DATAW standing;
    bool stands = false;
    if (!PrepareMirrorItem(walk, sourcePath, mirror, mirrorPath, entry, mirrorListing, &standing, &stands,
                           wroteInto)) {
        NoteFolderNotBackedUp(walk, sourcePath, mirrorPath);
        return 0;
    }
    KnownFolderState state = stands ? FolderPresent : mirrorListing != nullptr ? FolderMissing : FolderUnknown;
    bool created = false;
    int result =
        MirrorFolder(walk, inner, sourcePath, mirrorPath, state, &entry, stands ? &standing : nullptr, &created);
    if (created)
        *wroteInto = true;
    return result;
}

// One entry of the walk; 0 marks the walk failed. mirrorListing is the mirror folder's
// listing, or NULL when each mirror file is to be looked up. *wroteInto is set when the entry
// may have changed the mirror folder's own last-write time: a file copied (or tried) into it,
// a subfolder made, renamed or removed in it.
int BackupEntry(const MirrorWalk &walk, const WalkFramePtr &frame, const wchar_t *source, const wchar_t *mirror,
                const WIN32_FIND_DATAW &entry, FolderListing *mirrorListing, bool *wroteInto)
{
    FILE *log = walk.log;
    wchar_t *sourcePath = static_cast<wchar_t *>(malloc(2 * kWidePathChars * sizeof(wchar_t)));
    wchar_t *mirrorPath = static_cast<wchar_t *>(malloc(2 * kWidePathChars * sizeof(wchar_t)));
    int result = 0;
    int32_t changedBefore;
    WIN32_FIND_DATAW standing;
    bool stands = false;
    if (sourcePath == nullptr || mirrorPath == nullptr) {
        WriteText(log, "ERROR: Unable to allocate buffer: %ws\n", entry.cFileName);
        goto done;
    }
    FormatTextW(sourcePath, 2 * kWidePathChars, L"%ws%ws", source, entry.cFileName);
    FormatTextW(mirrorPath, 2 * kWidePathChars, L"%ws%ws", mirror, entry.cFileName);
    if (IsFolderEntry(entry)) {
        if (CheckJoinedPathLengthW(source, entry.cFileName, kWidePathChars, log) &&
            CheckJoinedPathLengthW(mirror, entry.cFileName, kWidePathChars, log))
            result = BackupSubfolder(walk, frame, sourcePath, mirror, mirrorPath, entry, mirrorListing, wroteInto);
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
    if (!PrepareMirrorItem(walk, sourcePath, mirror, mirrorPath, entry, mirrorListing, &standing, &stands,
                           wroteInto)) {
        NoteNotBackedUp(log, sourcePath, mirrorPath, false, 1, entry.nFileSizeHigh * 4294967296.0 + entry.nFileSizeLow,
                        walk.context);
        goto done;
    }
    // Every file that is not found unchanged is counted changed before it is copied.
    changedBefore = walk.context->filesChanged;
    result = BackupListedFile(sourcePath, mirrorPath, log, &entry, stands ? &standing : nullptr, walk.context);
    if (walk.context->filesChanged != changedBefore)
        *wroteInto = true;
done:
    free(sourcePath);
    free(mirrorPath);
    return result;
}

// The mirror folder's listing holds a folder of exactly this name (one the walk enters as it is:
// an item of the other kind is replaced, one spelt otherwise renamed, first) that already has
// its source folder's attributes and times, so the walk will not stamp it.
bool IsMirrorSubfolderReady(const FolderListing &sourceListing, const FolderListing::Entry &sourceEntry,
                            const FolderListing &mirrorListing)
{
    const wchar_t *name = sourceListing.NameOf(sourceEntry);
    const FolderListing::Entry *found = mirrorListing.Find(name);
    if (found == nullptr || !(found->attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        wcscmp(mirrorListing.NameOf(*found), name) != 0)
        return false;
    WIN32_FIND_DATAW source;
    WIN32_FIND_DATAW mirror;
    sourceListing.ToFindData(sourceEntry, &source);
    mirrorListing.ToFindData(*found, &mirror);
    return IsListedStampCurrent(mirror, source);
}

// Names to the prefetch the folders this folder's walk will enter, in its order: each source
// subfolder the walk does not skip, and its mirror folder when the walk will list it as it is
// (a missing one is made, and empty; one to be stamped is listed through the handle that stamps
// it). mirrorListing is NULL when the mirror could not be listed.
void AskForSubfolders(const MirrorWalk &walk, const WalkFrame &frame, const wchar_t *sourceFolder,
                      const wchar_t *mirrorFolder, const FolderListing &sourceListing,
                      const FolderListing *mirrorListing)
{
    if (walk.prefetch == nullptr)
        return;
    std::vector<std::wstring> folders;
    std::wstring sourcePath;
    for (size_t i = 0; i < sourceListing.Count(); ++i) {
        const FolderListing::Entry &entry = sourceListing.At(i);
        const wchar_t *name = sourceListing.NameOf(entry);
        if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY) || IsSkippedByAttributes(entry.attributes, walk.filterFlags) ||
            !CheckJoinedPathLengthW(sourceFolder, name, kWidePathChars - 1, nullptr) ||
            !CheckJoinedPathLengthW(mirrorFolder, name, kWidePathChars - 1, nullptr))
            continue;
        sourcePath = std::wstring(sourceFolder) + name + L"\\";
        // A folder the walk may leave out is left to the walk.
        if (IsExcluded(sourcePath.c_str(), walk.context->config) ||
            WalkBounds::NeedsCheck(frame, sourcePath, entry.attributes))
            continue;
        folders.push_back(sourcePath);
        if (mirrorListing != nullptr && IsMirrorSubfolderReady(sourceListing, entry, *mirrorListing))
            folders.push_back(std::wstring(mirrorFolder) + name + L"\\");
    }
    walk.prefetch->Ask(std::move(folders));
}

// mirrorState is what the parent's listing said of the mirror folder, sourceEntry and
// mirrorEntry the two folders' entries in the parents' listings (NULL for the walk's first
// folder, and mirrorEntry for a mirror folder not there); *created (may be NULL) is set when
// the mirror folder was made.
int MirrorFolder(const MirrorWalk &walk, const WalkFramePtr &frame, const wchar_t *source, const wchar_t *mirror,
                 KnownFolderState mirrorState, const WIN32_FIND_DATAW *sourceEntry, const WIN32_FIND_DATAW *mirrorEntry,
                 bool *created)
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
    bool stampCurrent = false;
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
    // A mirror folder whose entry in its parent's listing already has the source folder's
    // attributes and times (most of them, on every run after the first) is not looked at again.
    // The listing of a folder the mirror has is stamped neither before nor after: what the
    // folder's own attributes and times become changes none of its entries.
    stampCurrent = mirrorState == FolderPresent && sourceEntry != nullptr && mirrorEntry != nullptr &&
                   IsListedStampCurrent(*mirrorEntry, *sourceEntry);
    prefetched = stampCurrent && walk.prefetch != nullptr && walk.prefetch->Take(mirrorFolder, &mirrorListing);
    if (!VerifyKnownDirectory(mirrorFolder, log, stampCurrent ? 0 : 1, sourceFolder, mirrorState, &mirrorCreated,
                              mirrorState == FolderMissing || prefetched ? nullptr : &stamped)) {
        NoteFolderNotBackedUp(walk, sourceFolder, mirrorFolder);
        goto done;
    }
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
    // What each file is when the walk comes to it decides whether it changed: the source folder
    // is listed now, or was listed by a helper a moment ago (a listing from the size count may
    // be hours old by now, and a file edited in place since leaves its folder's time as it was).
    if (!(walk.prefetch != nullptr && walk.prefetch->Take(sourceFolder, &sourceListing, kFreshListingMs)) &&
        !sourceListing.List(sourceFolder)) {
        // A folder that cannot be listed (an unplugged drive, an offline share) is a failure:
        // it is reported, and the clean-up passes must not take its mirror for deleted files.
        FormatTextW(pattern, kWidePathChars, L"%ws*", sourceFolder);
        LogLastError("Backup Folder - FindFirstFile", log);
        WriteText(log, "WARNING: Unable to iterate files in: %ws\n", pattern);
        goto done;
    }
    AskForSubfolders(walk, *frame, sourceFolder, mirrorFolder, sourceListing, mirrorListed ? &mirrorListing : nullptr);
    for (size_t i = 0; i < sourceListing.Count(); ++i) {
        if (IsCancelSet(walk.cancel))
            break;
        WIN32_FIND_DATAW entry;
        sourceListing.ToFindData(sourceListing.At(i), &entry);
        if (IsSkippedByAttributes(entry.dwFileAttributes, walk.filterFlags))
            continue;
        if (!BackupEntry(walk, frame, sourceFolder, mirrorFolder, entry, mirrorListed ? &mirrorListing : nullptr,
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
    // Without the job's bounds (its backup folder not known yet) only folder links are watched.
    WalkBounds ownBounds(nullptr);
    const WalkBounds *bounds = context->walkBounds != nullptr ? context->walkBounds : &ownBounds;
    WalkFramePtr frame = bounds->Begin(source);
    if (frame == nullptr) {
        WriteText(log, "ERROR: Unable to allocate buffer: %ws\n", source);
        return 0;
    }
    ListingPrefetch prefetch;
    MirrorWalk walk = {log, extensions, extensionCount, filterFlags, cancel, context,
                       prefetch.Start() ? &prefetch : nullptr, bounds};
    return MirrorFolder(walk, frame, source, mirror, FolderUnknown, nullptr, nullptr, nullptr);
}
