// The list files of the ZIP step: which files of each source root go into its archive.
#include <stdlib.h>
#include <string.h>

#include <new>

#include "Calendar.h"
#include "ConfigRuntime.h"
#include "ErrorReport.h"
#include "Exclusion.h"
#include "ExtensionFilter.h"
#include "FolderHelpers.h"
#include "LongPath.h"
#include "MirrorPath.h"
#include "MsvcrtFormat.h"
#include "WalkBounds.h"
#include "ZipNameIndex.h"
#include "ZipStep.h"

int GetZipSourceRoot(FILE *log, char *root260, const char *source)
{
    char root[1024];
    if (!GetSourceRoot(source, root, sizeof(root))) {
        if (log != nullptr)
            WriteText(log, "ERROR: Source syntax invalid: %s\n", source);
        return 0;
    }
    if (strlen(root) >= 260) {
        if (log != nullptr)
            WriteText(log, "ERROR 2: Source syntax invalid: %s\n", source);
        return 0;
    }
    strcpy(root260, root);
    return 1;
}

static bool IsAfterLastCompressedRun(const BackupConfig *config, const FILETIME &time)
{
    SYSTEMTIME calendar;
    if (!FileTimeToSystemTime(&time, &calendar))
        return true;
    return IsSystemTimeBefore(&config->lastCompressedRunTime, &calendar) != 0;
}

// A file copied in keeps its last-write time but is created anew.
bool IsModifiedSinceLastBackup(const BackupConfig *config, const WIN32_FIND_DATAW *entry)
{
    return config->dateFilterCount <= 0 || IsAfterLastCompressedRun(config, entry->ftLastWriteTime) ||
           IsAfterLastCompressedRun(config, entry->ftCreationTime);
}

uint64_t GetWriteTime(const WIN32_FIND_DATAW &entry)
{
    return ((uint64_t)entry.ftLastWriteTime.dwHighDateTime << 32) | entry.ftLastWriteTime.dwLowDateTime;
}

// A file moved in keeps its times too: only the record of what was archived tells it is new.
bool BelongsInThisArchive(const JobContext *context, const wchar_t *path, const WIN32_FIND_DATAW &entry)
{
    if (context->includeAllFiles == 1 || IsModifiedSinceLastBackup(context->config, &entry))
        return true;
    uint64_t archived;
    return context->zipArchived != nullptr &&
           (!context->zipArchived->Find(path, &archived) || archived != GetWriteTime(entry));
}

void ReleaseZipNames(ZipOutput *output)
{
    delete output->names;
    output->names = nullptr;
}

static bool IsListed(const ZipOutput &output, const wchar_t *path)
{
    return output.names != nullptr && output.names->Contains(path);
}

// Remembers a listed path; false when memory ran out, which ends the listing.
static bool RememberListed(FILE *log, ZipOutput &output, const wchar_t *path, uint64_t writeTime)
{
    if (output.names == nullptr)
        output.names = new (std::nothrow) ZipNameIndex;
    if (output.names != nullptr && output.names->Add(path, writeTime))
        return true;
    WriteText(log, "Memory allocation error (34j): %d\n", output.fileCount + 1);
    output.fileCount = 0;
    ReleaseZipNames(&output);
    return false;
}

// The list line of a path: relative to the root, in UTF-8, which holds every name a file can
// have. False for a name that is no valid UTF-16 (a lone surrogate).
static bool MakeListLine(const ZipOutput &output, const wchar_t *path, char *line, int lineSize)
{
    int rootLength = MultiByteToWideChar(CP_ACP, 0, output.root, -1, nullptr, 0) - 1;
    const wchar_t *relative = rootLength > 0 && (int)wcslen(path) >= rootLength ? path + rootLength : path;
    int bytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, relative, -1, line, lineSize, nullptr, nullptr);
    return bytes > 0;
}

int AddToZipList(FILE *log, const wchar_t *path, JobContext *context, int index, uint64_t writeTime)
{
    ZipOutput &output = context->zipOutputs[index];
    if (IsListed(output, path))
        return 1;
    // A UTF-8 character takes at most three bytes per UTF-16 unit.
    char line[3 * kWidePathChars + 1];
    if (!MakeListLine(output, path, line, (int)sizeof(line))) {
        WriteText(log, "WARNING (4d): Unable to list file for compression: %ws\n", path);
        return -1;
    }
    if (!RememberListed(log, output, path, writeTime))
        return 0;
    ++output.fileCount;
    WriteText(output.listFile, "%s\n", line);
    return 1;
}

// One file of a folder walk; 0 ends the walk with 0, -1 marks it failed and goes on.
static int ListFolderFile(FILE *log, const wchar_t *folder, const WIN32_FIND_DATAW &entry, JobContext *context,
                          int index, wchar_t *path)
{
    const BackupConfig *config = context->config;
    if (!PassesExtensionFilter(entry.cFileName, config->extensions, config->extensionCount, config->filterFlags))
        return 1;
    size_t folderLength = wcslen(folder);
    if (folderLength + wcslen(entry.cFileName) >= kWidePathChars) {
        // Too long to be listed: a failure when it is new or changed.
        if (context->includeAllFiles != 1 && !IsModifiedSinceLastBackup(config, &entry))
            return 1;
        CheckJoinedPathLengthW(folder, entry.cFileName, kWidePathChars + 1, log);
        return -1;
    }
    wcscpy(path, folder);
    wcscpy(path + folderLength, entry.cFileName);
    if (!BelongsInThisArchive(context, path, entry) || IsExcluded(path, config))
        return 1;
    return AddToZipList(log, path, context, index, GetWriteTime(entry));
}

// Where the listing of one source stands: what it leaves out, and the stretch it is in.
struct ZipWalk {
    const WalkBounds &bounds;
    const WalkFramePtr &frame;
};

static int ListFolderTree(FILE *log, const wchar_t *folder, const ZipWalk &walk, JobContext *context, int index);

// The walk below folder, which ends in "\" and is shorter than kWidePathChars - 1.
static int ListFolderEntries(FILE *log, const wchar_t *folder, const ZipWalk &walk, JobContext *context, int index,
                             wchar_t *path)
{
    const BackupConfig *config = context->config;
    FormatTextW(path, kWidePathChars, L"%ws*", folder);
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileLong(path, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        LogLastError("log_folder_to_list - FindFirstFile", log);
        WriteText(log, "WARNING: Unable to iterate files in: %ws\n", folder);
        return 1;
    }
    int result = 1;
    bool failed = false;
    do {
        if (IsCancelRequested(config))
            break;
        if (IsSkippedByAttributes(entry.dwFileAttributes, config->filterFlags) || IsDotEntry(entry.cFileName))
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!CheckJoinedPathLengthW(folder, entry.cFileName, kWidePathChars, log)) {
                failed = true;
                continue;
            }
            std::wstring subfolder = std::wstring(folder) + entry.cFileName + L"\\";
            // An excluded folder is never looked into, not even to see where a link leads.
            if (IsExcluded(subfolder.c_str(), context->config))
                continue;
            WalkFramePtr inner;
            WalkStep step = walk.bounds.Check(walk.frame, subfolder, entry.dwFileAttributes, &inner);
            if (step != WalkStep::Enter)
                LogFolderLeftOut(log, step, subfolder, context);
            else if (!ListFolderTree(log, subfolder.c_str(), {walk.bounds, inner}, context, index))
                failed = true;
            continue;
        }
        int listed = ListFolderFile(log, folder, entry, context, index, path);
        if (listed == 0) {
            result = 0;
            break;
        }
        if (listed < 0)
            failed = true;
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return result == 0 || failed ? 0 : 1;
}

int log_folder_to_list(FILE *log, const wchar_t *folder, JobContext *context, int index)
{
    // Without the job's bounds (a listing of its own) only folder links are watched.
    WalkBounds ownBounds(nullptr);
    const WalkBounds &bounds = context->walkBounds != nullptr ? *context->walkBounds : ownBounds;
    WalkFramePtr frame = bounds.Begin(folder);
    if (frame == nullptr) {
        WriteText(log, "ERROR: Unable to allocate buffer: %ws\n", folder);
        return 0;
    }
    return ListFolderTree(log, folder, {bounds, frame}, context, index);
}

static int ListFolderTree(FILE *log, const wchar_t *folder, const ZipWalk &walk, JobContext *context, int index)
{
    if (IsCancelRequested(context->config))
        return 1;
    if (folder[0] == L'\0')
        return 0;
    size_t length = wcslen(folder);
    if (length >= kWidePathChars - 1) {
        WriteText(log, "WARNING: Path too long: %ws\n", folder);
        return 0;
    }
    wchar_t *buffers = static_cast<wchar_t *>(malloc(2 * kWidePathChars * sizeof(wchar_t)));
    if (buffers == nullptr) {
        WriteText(log, "ERROR: Unable to allocate buffer: %ws\n", folder);
        return 0;
    }
    wchar_t *base = buffers;
    wchar_t *path = buffers + kWidePathChars;
    wcscpy(base, folder);
    if (base[length - 1] != L'\\')
        wcscat(base, L"\\");
    int result = 1;
    if (IsExcluded(base, context->config)) {
        result = 1;
    } else if (wcslen(base) >= kWidePathChars - 1) {
        WriteText(log, "WARNING: Path too long: %ws\n", base);
        result = 0;
    } else {
        result = ListFolderEntries(log, base, walk, context, index, path);
    }
    free(buffers);
    return result;
}
