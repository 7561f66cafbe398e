#include "SizeCalculation.h"

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ConfigRuntime.h"
#include "DateVariables.h"
#include "Exclusion.h"
#include "ExtensionFilter.h"
#include "FolderListing.h"
#include "LongPath.h"
#include "MirrorPath.h"
#include "MsvcrtFormat.h"
#include "TextConversion.h"
#include "WalkBounds.h"

namespace {

// What a count applies besides the folder itself.
struct CountRules {
    const ExtensionEntry *extensions;
    int extensionCount;
    int32_t filterFlags;
    const volatile uint8_t *cancel;
    const BackupConfig *config;
    const WalkBounds *bounds;
};

// A folder still to count, with the stretch of the walk it lies in.
struct PendingFolder {
    std::wstring path;
    WalkFramePtr frame;
};

// Counts the included files of one folder (not those of its subfolders) into *bytes and
// *files, and appends the subfolders to count to *subfolders; false when the folder is not
// counted at all (excluded, too long, not listable, or the count was stopped).
bool CountFolder(const PendingFolder &pending, const CountRules &rules, double *bytes, int32_t *files,
                 std::vector<PendingFolder> *subfolders)
{
    const wchar_t *folder = pending.path.c_str();
    if (IsCancelSet(rules.cancel))
        return false;
    size_t length = wcslen(folder);
    if (length == 0 || length >= kWidePathChars - 1)
        return false;
    std::wstring path(folder);
    if (path.back() != L'\\')
        path += L'\\';
    FolderListing listing;
    if (IsExcluded(path.c_str(), rules.config) || path.size() > kWidePathChars - 2 || !listing.List(path.c_str()))
        return false;
    std::wstring item;
    for (size_t i = 0; i < listing.Count(); ++i) {
        if (IsCancelSet(rules.cancel))
            break;
        WIN32_FIND_DATAW entry;
        listing.ToFindData(listing.At(i), &entry);
        if (IsSkippedByAttributes(entry.dwFileAttributes, rules.filterFlags))
            continue;
        item = path + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            PendingFolder subfolder = {item + L"\\", nullptr};
            if (CheckJoinedPathLengthW(path.c_str(), entry.cFileName, kWidePathChars, nullptr) &&
                rules.bounds->Check(pending.frame, subfolder.path, entry.dwFileAttributes, &subfolder.frame) ==
                    WalkStep::Enter)
                subfolders->push_back(std::move(subfolder));
        } else if (PassesExtensionFilter(entry.cFileName, rules.extensions, rules.extensionCount, rules.filterFlags) &&
                   CheckJoinedPathLengthW(path.c_str(), entry.cFileName, kWidePathChars + 1, nullptr) &&
                   !IsExcluded(item.c_str(), rules.config)) {
            *bytes += entry.nFileSizeHigh * 4294967296.0 + entry.nFileSizeLow;
            *files += 1;
        }
    }
    return true;
}

// The walk of a tree on this thread alone.
void CountTree(const PendingFolder &folder, const CountRules &rules, double *bytes, int32_t *files)
{
    std::vector<PendingFolder> subfolders;
    if (!CountFolder(folder, rules, bytes, files, &subfolders))
        return;
    for (const PendingFolder &subfolder : subfolders)
        CountTree(subfolder, rules, bytes, files);
}

// The job's walk, on two threads: a listing mostly waits (on the disk, on a share, and under
// Wine on its server), so two overlap well; more did not help. The sums are of whole numbers
// far below 2^53, so the order of the additions does not matter. The listings are not kept:
// the mirror walk lists each folder again when it comes to it, as a file may change in place
// long after the count (an edit moves no folder's time).
struct SharedCount {
    const CountRules *rules;
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE changed;
    std::vector<PendingFolder> pending;
    int busy = 0; // folders being counted now
    double bytes = 0;
    int32_t files = 0;
};

DWORD WINAPI CountPendingFolders(LPVOID argument)
{
    SharedCount &shared = *static_cast<SharedCount *>(argument);
    EnterCriticalSection(&shared.lock);
    for (;;) {
        while (shared.pending.empty() && shared.busy > 0)
            SleepConditionVariableCS(&shared.changed, &shared.lock, INFINITE);
        if (shared.pending.empty())
            break;
        PendingFolder next = std::move(shared.pending.back());
        shared.pending.pop_back();
        ++shared.busy;
        LeaveCriticalSection(&shared.lock);
        double bytes = 0;
        int32_t files = 0;
        std::vector<PendingFolder> subfolders;
        bool counted = CountFolder(next, *shared.rules, &bytes, &files, &subfolders);
        EnterCriticalSection(&shared.lock);
        if (counted) {
            shared.bytes += bytes;
            shared.files += files;
            for (PendingFolder &subfolder : subfolders)
                shared.pending.push_back(std::move(subfolder));
        }
        --shared.busy;
        WakeAllConditionVariable(&shared.changed);
    }
    LeaveCriticalSection(&shared.lock);
    return 0;
}

void CountTreeShared(const PendingFolder &folder, const CountRules &rules, double *bytes, int32_t *files)
{
    SharedCount shared;
    shared.rules = &rules;
    InitializeCriticalSection(&shared.lock);
    InitializeConditionVariable(&shared.changed);
    shared.pending.push_back(folder);
    // Without a second thread this one counts alone.
    HANDLE helper = CreateThread(nullptr, 0, CountPendingFolders, &shared, 0, nullptr);
    CountPendingFolders(&shared);
    if (helper != nullptr) {
        WaitForSingleObject(helper, INFINITE);
        CloseHandle(helper);
    }
    DeleteCriticalSection(&shared.lock);
    *bytes += shared.bytes;
    *files += shared.files;
}

// The configuration's backup folder as its destination names it now; empty when it names none.
std::wstring BackupFolderOf(const BackupConfig *config)
{
    char folder[260];
    lstrcpynA(folder, config->destination, sizeof(folder));
    if (folder[0] == '\0' || !ExpandDateVariables(config, folder) || !AppendBackupFolderName(config, folder, nullptr))
        return std::wstring();
    wchar_t *wide = AnsiToWideAlloc(folder);
    std::wstring path = wide != nullptr ? wide : L"";
    free(wide);
    return path;
}

} // namespace

void SumFolderSize(const wchar_t *folder, const ExtensionEntry *extensions, int extensionCount, int32_t filterFlags,
                   const volatile uint8_t *cancel, double *bytes, int32_t *files, const BackupConfig *config)
{
    WalkBounds bounds(nullptr);
    CountRules rules = {extensions, extensionCount, filterFlags, cancel, config, &bounds};
    PendingFolder start = {folder, bounds.Begin(folder)};
    if (start.frame != nullptr)
        CountTree(start, rules, bytes, files);
}

// bounds: what the walk leaves out; twoThreads: the job's count, on two threads; the background
// threads count on one.
static int MeasureSourceOn(SourceItem *source, const BackupConfig *config, const volatile uint8_t *cancel,
                           const WalkBounds &bounds, bool twoThreads)
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
        CountRules rules = {config->extensions, config->extensionCount, config->filterFlags, cancel, config, &bounds};
        PendingFolder start = {wide, bounds.Begin(wide)};
        if (start.frame != nullptr && twoThreads)
            CountTreeShared(start, rules, &bytes, &files);
        else if (start.frame != nullptr)
            CountTree(start, rules, &bytes, &files);
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

int MeasureUnknownSources(BackupConfig *config, const volatile uint8_t *cancel)
{
    std::unique_ptr<WalkBounds> bounds;
    for (int i = 0; i < config->sourceCount; ++i) {
        if (IsCancelSet(cancel))
            return 0;
        SourceItem *source = &config->sources[i];
        if (__atomic_load_n(&source->sizeKnown, __ATOMIC_ACQUIRE) != 0)
            continue;
        if (bounds == nullptr)
            bounds.reset(new WalkBounds(BackupFolderOf(config).c_str()));
        if (!MeasureSourceOn(source, config, cancel, *bounds, false))
            return 0;
    }
    return 1;
}

void ComputeConfigSize(BackupConfig *config, const volatile uint8_t *cancel, double *totalBytes, int32_t *totalFiles)
{
    *totalBytes = 0;
    *totalFiles = 0;
    WalkBounds bounds(BackupFolderOf(config).c_str());
    for (int i = 0; i < config->sourceCount; ++i) {
        SourceItem *source = &config->sources[i];
        __atomic_store_n(&source->sizeKnown, 0, __ATOMIC_RELEASE);
        source->totalBytes = 0;
        source->fileCount = 0;
        if (IsCancelSet(cancel))
            return;
        if (!MeasureSourceOn(source, config, cancel, bounds, true))
            return;
        *totalBytes += source->totalBytes;
        *totalFiles += source->fileCount;
    }
}
