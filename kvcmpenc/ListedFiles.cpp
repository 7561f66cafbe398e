#include "ListedFiles.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>

#include "ListFile.h"
#include "PathText.h"

namespace {

const size_t MostThreads = 8;
const size_t FilesPerThread = 32;
const size_t FoldersPerThread = 4;

// Runs work(i) for each i below count on this thread and a few more: each item waits for the
// file system (under Wine, for its server), and several waits can overlap. Stops taking items
// for the cancel byte. Throws std::bad_alloc, on this thread, when an item ran out of memory.
void ShareOut(size_t count, size_t itemsPerThread, volatile char *cancelFlag, const std::function<void(size_t)> &work)
{
    std::atomic<size_t> next(0);
    std::atomic<bool> outOfMemory(false);
    int priority = GetThreadPriority(GetCurrentThread());   // the job's, which the user chose
    auto run = [&] {
        SetThreadPriority(GetCurrentThread(), priority);
        try {
            for (size_t i; !outOfMemory && (i = next++) < count && !IsCancelByteSet(cancelFlag);)
                work(i);
        } catch (const std::bad_alloc &) {
            outOfMemory = true;
        }
    };
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    size_t wanted = std::min<size_t>({(size_t)info.dwNumberOfProcessors, MostThreads, count / itemsPerThread});
    std::vector<std::thread> helpers;
    try {
        while (helpers.size() + 1 < wanted)
            helpers.emplace_back(run);
    } catch (const std::system_error &) {
        // This thread does the rest.
    }
    run();
    for (std::thread &helper : helpers)
        helper.join();
    if (outOfMemory)
        throw std::bad_alloc();
}

time_t ConvertFileTimeToUnix(const FILETIME &time)
{
    const uint64_t unixEpoch = 116444736000000000ULL;   // 1970-01-01 in 100 ns steps since 1601
    uint64_t ticks = ((uint64_t)time.dwHighDateTime << 32) | time.dwLowDateTime;
    return ticks < unixEpoch ? 0 : (time_t)((ticks - unixEpoch) / 10000000ULL);
}

void DescribeEntry(DWORD attributes, DWORD sizeHigh, DWORD sizeLow, const FILETIME &modified, ListedFile *listed)
{
    ArchiveEntry *entry = &listed->entry;
    entry->file.size = ((uint64_t)sizeHigh << 32) | sizeLow;
    entry->file.modified = ConvertFileTimeToUnix(modified);
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
    entry->attributes = attributes & kept;
    listed->problem = ListingProblem::None;
}

// The name inside the archive and the path to open; a file that has both stays NotDescribed.
void NameListedFile(const std::string &line, bool utf8List, ListedFile *listed)
{
    ArchiveEntry *entry = &listed->entry;
    std::wstring wide;
    bool converted = utf8List ? ConvertUtf8ToWide(line, &wide) : ConvertAnsiToWide(line, &wide);
    // The log is ANSI text whatever the list's text is.
    entry->listedName = converted ? ConvertWideToAnsi(wide) : line;
    if (!converted || !MakeEntryName(wide, &entry->entryName))
        listed->problem = ListingProblem::InvalidName;
    else if (!MakeFilePath(wide, &entry->file.path))
        listed->problem = ListingProblem::Unresolved;
}

// A file its folder's listing did not describe: opened once to see that it can be, which leaves
// a file that cannot out of the archive now rather than failing the archive later.
void DescribeByOwnOpen(ListedFile *listed)
{
    ArchiveEntry *entry = &listed->entry;
    HANDLE file = OpenInputFile(entry->file.path);
    if (file == INVALID_HANDLE_VALUE) {
        listed->problem = ListingProblem::Unopened;
        listed->error = GetLastError();
        return;
    }
    CloseHandle(file);
    // Read by name, which costs less than through the handle: GetFileInformationByHandle also
    // asks the volume for its serial number (under Wine, a trip to another process), and any
    // question to a handle first fetches its file from the server.
    WIN32_FILE_ATTRIBUTE_DATA info = {};
    if (!GetFileAttributesExW(entry->file.path.c_str(), GetFileExInfoStandard, &info)) {
        listed->problem = ListingProblem::NoInformation;
        listed->error = GetLastError();
        return;
    }
    DescribeEntry(info.dwFileAttributes, info.nFileSizeHigh, info.nFileSizeLow, info.ftLastWriteTime, listed);
}

// A named file, placed by the folder of its path and its name there.
struct PlacedFile {
    size_t index;   // in the list
    size_t split;   // where the name starts in the path
};

class FileOrder {
public:
    explicit FileOrder(const std::vector<ListedFile> &listed) : listed_(listed) {}

    std::wstring_view Folder(const PlacedFile &file) const
    {
        return std::wstring_view(listed_[file.index].entry.file.path).substr(0, file.split);
    }
    std::wstring_view Name(const PlacedFile &file) const
    {
        return std::wstring_view(listed_[file.index].entry.file.path).substr(file.split);
    }
    bool operator()(const PlacedFile &a, const PlacedFile &b) const
    {
        int folder = Folder(a).compare(Folder(b));
        return folder != 0 ? folder < 0 : Name(a) < Name(b);
    }
    // For the search of a listed name among the files of one folder.
    bool operator()(const PlacedFile &a, std::wstring_view name) const { return Name(a) < name; }
    bool operator()(std::wstring_view name, const PlacedFile &b) const { return name < Name(b); }

private:
    const std::vector<ListedFile> &listed_;
};

// The files of one folder, listed once. A name is taken as written: the listing's entry for it
// is the file the name opens. Anything else is left to the file's own open.
void DescribeFromFolderListing(const PlacedFile *begin, const PlacedFile *end, const FileOrder &order,
                               std::vector<ListedFile> *listed)
{
    std::wstring pattern(order.Folder(*begin));
    pattern += L'*';
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        auto same = std::equal_range(begin, end, std::wstring_view(found.cFileName), order);
        for (const PlacedFile *file = same.first; file != same.second; file++)
            DescribeEntry(found.dwFileAttributes, found.nFileSizeHigh, found.nFileSizeLow, found.ftLastWriteTime,
                          &(*listed)[file->index]);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

void LogUnopenedFile(const char *name, DWORD error, CompressionLog &log)
{
    log.Write("WARNING: Unable to open file, skipped: %s (error %lu)\n", name, error);
}

}  // namespace

void DescribeListedFiles(const std::vector<std::string> &lines, bool utf8List, volatile char *cancelFlag,
                         std::vector<ListedFile> *listed)
{
    // Naming takes no trip to the file system, and threads would only wait for each other's
    // memory allocations.
    listed->resize(lines.size());
    for (size_t i = 0; i < lines.size(); i++)
        NameListedFile(lines[i], utf8List, &(*listed)[i]);

    // The named files by folder, each folder's files by name.
    std::vector<PlacedFile> placed;
    for (size_t i = 0; i < listed->size(); i++) {
        const std::wstring &path = (*listed)[i].entry.file.path;
        if ((*listed)[i].problem == ListingProblem::NotDescribed)
            placed.push_back(PlacedFile{i, path.rfind(L'\\') + 1});
    }
    FileOrder order(*listed);
    std::sort(placed.begin(), placed.end(), order);
    std::vector<size_t> folderStarts;
    for (size_t i = 0; i < placed.size(); i++)
        if (i == 0 || order.Folder(placed[i]) != order.Folder(placed[i - 1]))
            folderStarts.push_back(i);
    folderStarts.push_back(placed.size());
    ShareOut(folderStarts.size() - 1, FoldersPerThread, cancelFlag, [&](size_t k) {
        DescribeFromFolderListing(&placed[folderStarts[k]], &placed[0] + folderStarts[k + 1], order, listed);
    });
    if (IsCancelByteSet(cancelFlag))
        return;

    std::vector<size_t> undescribed;
    for (const PlacedFile &file : placed)
        if ((*listed)[file.index].problem == ListingProblem::NotDescribed)
            undescribed.push_back(file.index);
    ShareOut(undescribed.size(), FilesPerThread, cancelFlag,
             [&](size_t k) { DescribeByOwnOpen(&(*listed)[undescribed[k]]); });
}

void LogListingProblem(const ListedFile &listed, CompressionLog &log)
{
    const char *name = listed.entry.listedName.c_str();
    switch (listed.problem) {
    case ListingProblem::InvalidName:
        log.Write("WARNING: Invalid file name in list, skipped: %s\n", name);
        break;
    case ListingProblem::Unresolved:
        log.Write("WARNING: Unable to resolve file path, skipped: %s\n", name);
        break;
    case ListingProblem::Unopened:
        LogUnopenedFile(name, listed.error, log);
        break;
    case ListingProblem::NoInformation:
        log.Write("WARNING: Unable to read file information, skipped: %s (error %lu)\n", name, listed.error);
        break;
    default:
        break;
    }
}

int LeaveOutUnopenableEntries(std::vector<ArchiveEntry> *entries, size_t failed, DWORD error, ReadProgress *progress,
                              CompressionLog &log)
{
    std::vector<DWORD> errors(entries->size(), ERROR_SUCCESS);
    errors[failed] = error != ERROR_SUCCESS ? error : ERROR_OPEN_FAILED;
    size_t first = failed + 1;
    ShareOut(entries->size() - first, FilesPerThread, progress->cancelFlag, [&](size_t k) {
        HANDLE file = OpenInputFile((*entries)[first + k].file.path);
        if (file == INVALID_HANDLE_VALUE)
            errors[first + k] = GetLastError();
        else
            CloseHandle(file);
    });
    size_t kept = 0;
    for (size_t i = 0; i < entries->size(); i++) {
        if (errors[i] == ERROR_SUCCESS) {
            if (kept != i)
                (*entries)[kept] = std::move((*entries)[i]);
            kept++;
            continue;
        }
        LogUnopenedFile((*entries)[i].listedName.c_str(), errors[i], log);
        progress->bytesTotal -= (*entries)[i].file.size;
    }
    int removed = (int)(entries->size() - kept);
    entries->resize(kept);
    return removed;
}
