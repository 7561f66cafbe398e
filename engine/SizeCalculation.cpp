#include "SizeCalculation.h"

#include <stdlib.h>
#include <string.h>

#include <utility>

#include "Exclusion.h"
#include "ExtensionFilter.h"
#include "FolderListing.h"
#include "ListingCache.h"
#include "LongPath.h"
#include "MirrorPath.h"
#include "MsvcrtFormat.h"
#include "TextConversion.h"

static bool IsCancelSet(const volatile uint8_t *cancel)
{
    return cancel != nullptr && __atomic_load_n(cancel, __ATOMIC_ACQUIRE) == 1;
}

static void SumListedFolder(const wchar_t *folder, const FILETIME &folderWrite, const ExtensionEntry *extensions,
                            int extensionCount, int32_t filterFlags, const volatile uint8_t *cancel, double *bytes,
                            int32_t *files, const BackupConfig *config, ListingCache *cache);

static void AddFolderEntry(const wchar_t *folder, const WIN32_FIND_DATAW &entry, const ExtensionEntry *extensions,
                           int extensionCount, int32_t filterFlags, const volatile uint8_t *cancel, double *bytes,
                           int32_t *files, const BackupConfig *config, ListingCache *cache)
{
    wchar_t *path = static_cast<wchar_t *>(malloc(2 * kWidePathChars * sizeof(wchar_t)));
    if (path == nullptr)
        return;
    FormatTextW(path, 2 * kWidePathChars, L"%ws%ws", folder, entry.cFileName);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (CheckJoinedPathLengthW(folder, entry.cFileName, kWidePathChars, nullptr))
            SumListedFolder(path, entry.ftLastWriteTime, extensions, extensionCount, filterFlags, cancel, bytes, files,
                            config, cache);
    } else if (PassesExtensionFilter(entry.cFileName, extensions, extensionCount, filterFlags) &&
               CheckJoinedPathLengthW(folder, entry.cFileName, kWidePathChars + 1, nullptr) &&
               !IsExcluded(path, config)) {
        *bytes += entry.nFileSizeHigh * 4294967296.0 + entry.nFileSizeLow;
        *files += 1;
    }
    free(path);
}

// The walk; with a cache, each listing is kept for the mirror walk that follows, together with
// the folder's last-write time from before it was listed (from its parent's listing).
static void SumListedFolder(const wchar_t *folder, const FILETIME &folderWrite, const ExtensionEntry *extensions,
                            int extensionCount, int32_t filterFlags, const volatile uint8_t *cancel, double *bytes,
                            int32_t *files, const BackupConfig *config, ListingCache *cache)
{
    if (IsCancelSet(cancel))
        return;
    size_t length = wcslen(folder);
    if (length == 0 || length >= kWidePathChars - 1)
        return;
    wchar_t *path = static_cast<wchar_t *>(malloc(kWidePathChars * sizeof(wchar_t)));
    if (path == nullptr)
        return;
    wcscpy(path, folder);
    if (path[length - 1] != L'\\')
        wcscat(path, L"\\");
    FolderListing listing;
    if (IsExcluded(path, config) || wcslen(path) > kWidePathChars - 2 || !listing.List(path))
        goto done;
    for (size_t i = 0; i < listing.Count(); ++i) {
        if (IsCancelSet(cancel))
            break;
        WIN32_FIND_DATAW entry;
        listing.ToFindData(listing.At(i), &entry);
        if (IsSkippedByAttributes(entry.dwFileAttributes, filterFlags))
            continue;
        AddFolderEntry(path, entry, extensions, extensionCount, filterFlags, cancel, bytes, files, config, cache);
    }
    if (cache != nullptr)
        cache->Keep(path, std::move(listing), folderWrite);
done:
    free(path);
}

void SumFolderSize(const wchar_t *folder, const ExtensionEntry *extensions, int extensionCount, int32_t filterFlags,
                   const volatile uint8_t *cancel, double *bytes, int32_t *files, const BackupConfig *config)
{
    FILETIME unknown = {0, 0};
    SumListedFolder(folder, unknown, extensions, extensionCount, filterFlags, cancel, bytes, files, config, nullptr);
}

static int MeasureSourceKeeping(SourceItem *source, const BackupConfig *config, const volatile uint8_t *cancel,
                                ListingCache *cache)
{
    if (source->path[0] == '\0') {
        source->sizeKnown = 1;
        return 1;
    }
    wchar_t *wide = AnsiToWideAlloc(source->path);
    if (wide == nullptr)
        return 0;
    double bytes = 0;
    int32_t files = 0;
    size_t length = wcslen(wide);
    if (wide[length - 1] == L'\\') {
        // The folder's time before its listing, so that the mirror walk can tell whether it
        // changed since.
        WIN32_FILE_ATTRIBUTE_DATA folder;
        FILETIME folderWrite = {0, 0};
        if (cache != nullptr && GetFileAttributesExLong(wide, &folder))
            folderWrite = folder.ftLastWriteTime;
        SumListedFolder(wide, folderWrite, config->extensions, config->extensionCount, config->filterFlags, cancel,
                        &bytes, &files, config, cache);
    } else {
        WIN32_FIND_DATAW entry;
        HANDLE search = FindFirstFileLong(wide, &entry);
        if (search != INVALID_HANDLE_VALUE) {
            FindClose(search);
            bytes = entry.nFileSizeHigh * 4294967296.0 + entry.nFileSizeLow;
            files = 1;
        }
    }
    free(wide);
    source->totalBytes = bytes;
    source->fileCount = files;
    if (!IsCancelSet(cancel))
        __atomic_store_n(&source->sizeKnown, 1, __ATOMIC_RELEASE);
    return 1;
}

int MeasureSource(SourceItem *source, const BackupConfig *config, const volatile uint8_t *cancel)
{
    return MeasureSourceKeeping(source, config, cancel, nullptr);
}

void ComputeConfigSize(BackupConfig *config, const volatile uint8_t *cancel, double *totalBytes, int32_t *totalFiles)
{
    ComputeConfigSizeKeeping(config, cancel, totalBytes, totalFiles, nullptr);
}

void ComputeConfigSizeKeeping(BackupConfig *config, const volatile uint8_t *cancel, double *totalBytes,
                              int32_t *totalFiles, ListingCache *cache)
{
    *totalBytes = 0;
    *totalFiles = 0;
    for (int i = 0; i < config->sourceCount; ++i) {
        SourceItem *source = &config->sources[i];
        __atomic_store_n(&source->sizeKnown, 0, __ATOMIC_RELEASE);
        source->totalBytes = 0;
        source->fileCount = 0;
        if (IsCancelSet(cancel))
            return;
        if (!MeasureSourceKeeping(source, config, cancel, cache))
            return;
        *totalBytes += source->totalBytes;
        *totalFiles += source->fileCount;
    }
}
