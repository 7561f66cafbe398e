#include "SizeCalculation.h"

#include <stdlib.h>
#include <string.h>

#include "Exclusion.h"
#include "ExtensionFilter.h"
#include "LongPath.h"
#include "MirrorPath.h"
#include "MsvcrtFormat.h"
#include "TextConversion.h"

static bool IsCancelSet(const volatile uint8_t *cancel)
{
    return cancel != nullptr && __atomic_load_n(cancel, __ATOMIC_ACQUIRE) == 1;
}

static void AddFolderEntry(const wchar_t *folder, const WIN32_FIND_DATAW &entry, const ExtensionEntry *extensions,
                           int extensionCount, int32_t filterFlags, const volatile uint8_t *cancel, double *bytes,
                           int32_t *files, const BackupConfig *config)
{
    wchar_t *path = static_cast<wchar_t *>(malloc(2 * kWidePathChars * sizeof(wchar_t)));
    if (path == nullptr)
        return;
    FormatTextW(path, 2 * kWidePathChars, L"%ws%ws", folder, entry.cFileName);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (CheckJoinedPathLengthW(folder, entry.cFileName, kWidePathChars, nullptr))
            SumFolderSize(path, extensions, extensionCount, filterFlags, cancel, bytes, files, config);
    } else if (PassesExtensionFilter(entry.cFileName, extensions, extensionCount, filterFlags) &&
               CheckJoinedPathLengthW(folder, entry.cFileName, kWidePathChars + 1, nullptr) &&
               !IsExcluded(path, config)) {
        *bytes += entry.nFileSizeHigh * 4294967296.0 + entry.nFileSizeLow;
        *files += 1;
    }
    free(path);
}

void SumFolderSize(const wchar_t *folder, const ExtensionEntry *extensions, int extensionCount, int32_t filterFlags,
                   const volatile uint8_t *cancel, double *bytes, int32_t *files, const BackupConfig *config)
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
    WIN32_FIND_DATAW entry;
    HANDLE search = INVALID_HANDLE_VALUE;
    wchar_t pattern[kWidePathChars];
    if (IsExcluded(path, config) || wcslen(path) > kWidePathChars - 2)
        goto done;
    FormatTextW(pattern, kWidePathChars, L"%ws*", path);
    search = FindFirstFileLong(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        goto done;
    do {
        if (IsCancelSet(cancel))
            break;
        if (IsSkippedByAttributes(entry.dwFileAttributes, filterFlags))
            continue;
        if (wcscmp(entry.cFileName, L".") == 0 || wcscmp(entry.cFileName, L"..") == 0)
            continue;
        AddFolderEntry(path, entry, extensions, extensionCount, filterFlags, cancel, bytes, files, config);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
done:
    free(path);
}

int MeasureSource(SourceItem *source, const BackupConfig *config, const volatile uint8_t *cancel)
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
        SumFolderSize(wide, config->extensions, config->extensionCount, config->filterFlags, cancel, &bytes, &files,
                      config);
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

void ComputeConfigSize(BackupConfig *config, const volatile uint8_t *cancel, double *totalBytes, int32_t *totalFiles)
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
        if (!MeasureSource(source, config, cancel))
            return;
        *totalBytes += source->totalBytes;
        *totalFiles += source->fileCount;
    }
}
