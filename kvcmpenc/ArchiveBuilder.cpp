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

// Wipes a secret before its memory is given back.
struct SecretWiper {
    std::string *secret;
    ~SecretWiper()
    {
        if (!secret->empty())
            SecureZeroMemory(&(*secret)[0], secret->size());
    }
};

bool IsCancelSet(const CompressionRequest &request)
{
    return request.cancelFlag && *request.cancelFlag == 1;
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
    SecretWiper wipeCommand{&command.password};
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

    // AES keys come from the password's bytes; readers take them as UTF-8.
    std::string password;
    SecretWiper wipePassword{&password};
    std::wstring widePassword;
    if (command.encrypted && (!ConvertAnsiToWide(command.password, &widePassword) ||
                              !ConvertWideToUtf8(widePassword, &password))) {
        log.Write("ERROR: Password cannot be converted\n");
        return FinishWith(request, log, CompressionSyntaxError);
    }
    if (!widePassword.empty())
        SecureZeroMemory(&widePassword[0], widePassword.size() * sizeof(wchar_t));

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
