#include "ArchiveBuilder.h"

#include <windows.h>
#include <string>
#include <utility>
#include <vector>

#include "ArchiveWriter.h"
#include "CommandLine.h"
#include "CompressionLog.h"
#include "InputSource.h"
#include "ListFile.h"
#include "ListedFiles.h"
#include "PathText.h"

namespace {

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

void SetProgress(const CompressionRequest &request, int32_t percent)
{
    if (request.progress)
        *request.progress = percent;
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
    DescribeListedFiles(lines, command.utf8List, request.cancelFlag, &listed);
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
    if (IsCancelByteSet(request.cancelFlag))
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
