#include "ArchiveBuilder.h"

#include <windows.h>
#include <algorithm>
#include <atomic>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "ArchiveWriter.h"
#include "CommandLine.h"
#include "CompressionLog.h"
#include "InputSource.h"
#include "ListFile.h"
#include "PathText.h"

namespace {

const size_t MostListingThreads = 8;
const size_t FilesPerListingThread = 32;

// The password's bytes as readers take them: UTF-8. Every form of it stays in heap blocks that are
// wiped after use, out of the stack a crash dump would hold.
bool ConvertPasswordToUtf8(const SecretText &ansi, SecretText *utf8)
{
    int length = (int)ansi.Length();
    int wideLength = MultiByteToWideChar(CP_ACP, 0, ansi.Text(), length, nullptr, 0);
    if (wideLength <= 0)
        return false;
    std::vector<wchar_t> wide((size_t)wideLength);
    int utf8Length = 0;
    if (MultiByteToWideChar(CP_ACP, 0, ansi.Text(), length, wide.data(), wideLength) == wideLength)
        utf8Length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    bool converted = false;
    if (utf8Length > 0) {
        *utf8 = SecretText((size_t)utf8Length + 1);
        converted = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, utf8->Buffer(), utf8Length, nullptr,
                                        nullptr) == utf8Length;
    }
    SecureZeroMemory(wide.data(), wide.size() * sizeof(wchar_t));
    return converted;
}

bool IsCancelSet(const CompressionRequest &request)
{
    return request.cancelFlag && *request.cancelFlag == 1;
}

void SetProgress(const CompressionRequest &request, int32_t percent)
{
    if (request.progress)
        *request.progress = percent;
}

time_t ConvertFileTimeToUnix(const FILETIME &time)
{
    const uint64_t unixEpoch = 116444736000000000ULL;   // 1970-01-01 in 100 ns steps since 1601
    uint64_t ticks = ((uint64_t)time.dwHighDateTime << 32) | time.dwLowDateTime;
    return ticks < unixEpoch ? 0 : (time_t)((ticks - unixEpoch) / 10000000ULL);
}

// Why a listed file is left out of the archive.
enum class ListingProblem { None, InvalidName, Unresolved, Unopened, NoInformation, NotDescribed };

struct ListedFile {
    ArchiveEntry entry;
    ListingProblem problem = ListingProblem::NotDescribed;
    DWORD error = 0;
};

// Opens a listed file once to learn its size, time and attributes; a file that cannot be
// opened now is skipped with a warning rather than failing the whole archive later.
void DescribeListedFile(const std::string &line, bool utf8List, ListedFile *listed)
{
    ArchiveEntry *entry = &listed->entry;
    std::wstring wide;
    bool converted = utf8List ? ConvertUtf8ToWide(line, &wide) : ConvertAnsiToWide(line, &wide);
    // The log is ANSI text whatever the list's text is.
    entry->listedName = converted ? ConvertWideToAnsi(wide) : line;
    if (!converted || !MakeEntryName(wide, &entry->entryName)) {
        listed->problem = ListingProblem::InvalidName;
        return;
    }
    if (!MakeFilePath(wide, &entry->file.path)) {
        listed->problem = ListingProblem::Unresolved;
        return;
    }
    HANDLE file = CreateFileW(entry->file.path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
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
    entry->file.size = ((uint64_t)info.nFileSizeHigh << 32) | info.nFileSizeLow;
    entry->file.modified = ConvertFileTimeToUnix(info.ftLastWriteTime);
    entry->attributes = info.dwFileAttributes &
                        (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    listed->problem = ListingProblem::None;
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
        log.Write("WARNING: Unable to open file, skipped: %s (error %lu)\n", name, listed.error);
        break;
    case ListingProblem::NoInformation:
        log.Write("WARNING: Unable to read file information, skipped: %s (error %lu)\n", name, listed.error);
        break;
    default:
        break;
    }
}

// Describes the listed files on a few threads: each open waits for the file system (under
// Wine, for its server), and several waits can overlap. Stops early for the cancel byte; the
// files not reached stay NotDescribed. Throws std::bad_alloc, on this thread, when a
// description ran out of memory.
void DescribeListedFiles(const std::vector<std::string> &lines, bool utf8List, const CompressionRequest &request,
                         std::vector<ListedFile> *listed)
{
    listed->resize(lines.size());
    std::atomic<size_t> next(0);
    std::atomic<bool> outOfMemory(false);
    int priority = GetThreadPriority(GetCurrentThread());   // the job's, which the user chose
    auto describe = [&] {
        SetThreadPriority(GetCurrentThread(), priority);
        try {
            for (size_t i; !outOfMemory && (i = next++) < lines.size() && !IsCancelSet(request);)
                DescribeListedFile(lines[i], utf8List, &(*listed)[i]);
        } catch (const std::bad_alloc &) {
            outOfMemory = true;
        }
    };
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    size_t wanted = std::min<size_t>({(size_t)info.dwNumberOfProcessors, MostListingThreads,
                                      lines.size() / FilesPerListingThread});
    std::vector<std::thread> helpers;
    try {
        while (helpers.size() + 1 < wanted)
            helpers.emplace_back(describe);
    } catch (const std::system_error &) {
        // This thread describes the rest.
    }
    describe();
    for (std::thread &helper : helpers)
        helper.join();
    if (outOfMemory)
        throw std::bad_alloc();
}

const char *DescribeResult(int32_t code)
{
    switch (code) {
    case CompressionOk: return "Archive created";
    case CompressionWarnings: return "Archive created with warnings";
    case CompressionSyntaxError: return "Command line syntax error";
    case CompressionNoMemory: return "Not enough memory";
    case CompressionAborted: return "Cancelled";
    default: return "Failed";
    }
}

// The last log line; the same words go to the caller's message buffer.
int32_t FinishWith(const CompressionRequest &request, CompressionLog &log, int32_t code, bool diskFull = false)
{
    const char *text = diskFull && code == CompressionFailed ? kCompressionDiskFullMessage : DescribeResult(code);
    log.Write("Result %d: %s\n", (int)code, text);
    if (request.messageBuffer)
        lstrcpynA(request.messageBuffer, text, 256);
    return code;
}

}  // namespace

int32_t BuildArchive(const CompressionRequest &request)
{
    SetProgress(request, 0);
    CompressionLog log(request.logPath, request.verbose == 1);
    ArchiveCommand command;
    if (!ParseArchiveCommand(request.commandLine, &command)) {
        // The command line may hold the password, so it is not copied into the log.
        log.Write("ERROR: Command line syntax error\n");
        return FinishWith(request, log, CompressionSyntaxError);
    }
    log.Write("Creating archive: %s\n", command.archivePath.c_str());
    log.Write("File list: %s\n", command.listPath.c_str());
    if (command.volumeSize)
        log.Write("Volume size: %I64u bytes\n", command.volumeSize);
    if (command.encrypted)
        log.Write("Encryption: AES-256\n");

    // AES keys come from the password's bytes.
    SecretText password;
    if (command.encrypted && !ConvertPasswordToUtf8(command.password, &password)) {
        log.Write("ERROR: Password cannot be converted\n");
        return FinishWith(request, log, CompressionSyntaxError);
    }

    std::vector<std::string> lines;
    if (!ReadListFile(command.listPath, &lines)) {
        log.Write("ERROR: Unable to read list file: %s\n", command.listPath.c_str());
        return FinishWith(request, log, CompressionFailed);
    }
    std::vector<ArchiveEntry> entries;
    int skipped = 0;
    ReadProgress progress;
    progress.cancelFlag = request.cancelFlag;
    progress.progress = request.progress;
    std::vector<ListedFile> listed;
    DescribeListedFiles(lines, command.utf8List, request, &listed);
    for (ListedFile &file : listed) {
        if (file.problem == ListingProblem::NotDescribed)
            return FinishWith(request, log, CompressionAborted);
        if (file.problem == ListingProblem::None) {
            progress.bytesTotal += file.entry.file.size;
            entries.push_back(std::move(file.entry));
        } else {
            LogListingProblem(file, log);
            skipped++;
        }
    }
    listed.clear();
    if (IsCancelSet(request))
        return FinishWith(request, log, CompressionAborted);
    // Code 1 promises an archive: a call that made none has failed.
    if (entries.empty()) {
        log.Write("ERROR: No file of the list could be read; no archive written\n");
        return FinishWith(request, log, CompressionFailed);
    }

    ArchiveSummary summary;
    int32_t code = WriteArchiveSkippingUnreadable(command, &entries, password, &progress, log, &summary);
    if (code != CompressionOk)
        return FinishWith(request, log, code, summary.diskFull);
    skipped += summary.skipped;
    if (summary.files.empty()) {
        log.Write("ERROR: No file of the list could be read; no archive written\n");
        return FinishWith(request, log, CompressionFailed);
    }
    SetProgress(request, 100);
    log.Write("Files added: %d, skipped: %d\n", summary.added, skipped);
    log.Write("Archive size: %I64u bytes in %d file(s)\n", summary.size, (int)summary.files.size());
    for (const std::string &file : summary.files)
        log.Detail("\t%s\n", file.c_str());
    return FinishWith(request, log, skipped ? CompressionWarnings : CompressionOk);
}
