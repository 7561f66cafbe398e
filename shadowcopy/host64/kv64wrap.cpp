// kv64wrap: the 64-bit shadow-copy host that kv64dll starts. It reads the request file, runs
// kv_vss64.dll on it, tells kv64dll through a reply file when the shadow copies are ready and
// releases them when the release notice arrives. Its exit code says how it ended.
#include <windows.h>
#include <stdarg.h>
#include <stdio.h>

#include "CheckedFile.h"
#include "ExchangeFile.h"
#include "HostDataFolder.h"
#include "HostExitCode.h"
#include "HostLibrary.h"
#include "HostRequestFile.h"
#include "HostRequestPaths.h"
#include "LibraryStatus.h"
#include "LogStream.h"
#include "MsvcrtFormat.h"
#include "RequestFields.h"
#include "WaitLimits.h"

namespace {

// The process-wide request; the library's thread works on its block.
HostRequest g_request;

// Waits for the library to leave status -1; false after the limit, with an ERROR line.
bool WaitForLibraryStatus(FILE *log, ShadowCopyRequest *block)
{
    DWORD limit = ShadowWaitLimit(kShadowCreateWaitMs);
    DWORD start = GetTickCount();
    while (LoadField(&block->status) == -1) {
        if (GetTickCount() - start >= limit) {
            WriteLogLine(log, "ERROR: The shadow copy library reported no status within %lu seconds\n",
                         (unsigned long)(limit / 1000));
            return false;
        }
        Sleep(25);
    }
    return true;
}

// Polls the release file every 100 ms; the caller's backup may take hours, so no limit.
int WaitForReleaseNotice()
{
    int notice = 0;
    while (!ReadExchangeNumber(g_request.release, &notice))
        Sleep(100);
    return notice;
}

// The host runs elevated in a folder the user can change: it writes only files made anew and
// seen from their handles to be what they seem (CheckedFile.h).
FILE *CreateHostFile(const char *path, FileCheck *check)
{
    return OpenCheckedStream(path, "w", FILE_SHARE_READ | FILE_SHARE_WRITE, check);
}

// The exit code of a file the host could not write: refused, or not made at all.
int ExitForUnwrittenFile(const FileCheck &check, int notMade)
{
    return check.outcome == kFileNotOpened ? notMade : kHostMalformedRequest;
}

// Writes the reply "%d\n" into a file made anew; 0, or the exit code when it cannot be
// written. A refused reply is logged.
int WriteReply(FILE *log, const char *path, int status)
{
    FileCheck check;
    FILE *reply = CreateHostFile(path, &check);
    LogFileCheck(log, check, path);
    if (reply == nullptr)
        return ExitForUnwrittenFile(check, kHostNoReplyFile);
    bool written = WriteText(reply, "%d\n", status) > 0;
    return fclose(reply) == 0 && written ? 0 : kHostNoReplyFile;
}

// Says the status once more on the standard output, a pipe that only kv64dll and the host
// hold: the reply file lies in the user's folder, where any program can write one.
void VouchForReply(int status)
{
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    char text[16];
    int length = FormatText(text, sizeof text, "%d\n", status);
    DWORD written = 0;
    if (output != nullptr && output != INVALID_HANDLE_VALUE && length > 0)
        WriteFile(output, text, (DWORD)length, &written, nullptr);
}

// Writes the one line that says why the request is refused into the own log.
void LogRefusedRequest(const char *ownLog, const char *format, ...)
{
    FileCheck check;
    FILE *log = CreateHostFile(ownLog, &check);
    if (log == nullptr)
        return;
    va_list args;
    va_start(args, format);
    WriteLogLineV(log, format, args);
    va_end(args);
    fclose(log);
}

// Reads the request and checks that every file it names is one the host may write. Returns 0,
// or the exit code; a refusal is logged in the own log and touches no other file.
int TakeRequest(const char *dataFolder, const char *ownLog)
{
    char requestPath[MAX_PATH + 16] = "";
    FormatText(requestPath, sizeof requestPath, "%sVSScom1.txt", dataFolder);
    int code = ReadHostRequestFile(requestPath, &g_request);
    if (code == kHostMalformedRequest)
        LogRefusedRequest(ownLog, "ERROR: Line %d of %s is longer than 259 characters; the request is not carried out\n",
                          g_request.malformedLine, requestPath);
    if (code != 0)
        return code;

    char expected[MAX_PATH + 16] = "";
    int line = FindForeignRequestLine(dataFolder, g_request, expected, sizeof expected);
    if (line != 0) {
        LogRefusedRequest(ownLog, "ERROR: Line %d of %s names a file other than %s; the request is not carried out\n",
                          line, requestPath, expected);
        return kHostMalformedRequest;
    }
    return 0;
}

int RunHost()
{
    char dataFolder[MAX_PATH] = "";
    int code = FindHostDataFolder(dataFolder, sizeof dataFolder);
    if (code != 0)
        return code;
    // Through a linked folder even the own log would land elsewhere: nothing is written.
    char ownLog[MAX_PATH + 16] = "";
    if (!IsDataFolderPlain(dataFolder) || !FormatHostLogPath(dataFolder, ownLog, sizeof ownLog))
        return kHostMalformedRequest;
    code = TakeRequest(dataFolder, ownLog);
    if (code != 0)
        return code;

    FileCheck check;
    FILE *log = CreateHostFile(ownLog, &check);
    if (log == nullptr)
        return ExitForUnwrittenFile(check, kHostNoOwnLog);
    LogFileCheck(log, check, ownLog);

    ShadowCopyRequest *block = &g_request.block;
    HostLibrary library = {};
    code = kHostLibraryFailed;
    if (!LoadHostLibrary(log, &library))
        goto done;
    if (!StartHostShadowCopy(log, &library, block)) {
        UnloadHostLibrary(log, &library);
        StoreField(&block->active, 0);
        goto done;
    }
    if (!WaitForLibraryStatus(log, block)) {
        // The thread still runs in the library: leave it loaded; the exit ends the thread.
        goto done;
    }
    if (int32_t status = LoadField(&block->status); status != 0) {
        if (status == kStatusLogRefused) {
            WriteLogLine(log, "ERROR: The shadow copy library refused its log %s; the request is not carried out\n",
                         g_request.libraryLog);
            code = kHostMalformedRequest;
        } else {
            WriteLogLine(log, "ERROR: Unable to create shadow copy.  See 'VSSLog.txt' for more detail or turn off option to backup locked/open files.\n");
        }
        UnloadHostLibrary(log, &library);
        StoreField(&block->active, 0);
        goto done;
    }

    WriteLogLine(log, "Successfully created shadow volume(s): %ls -> %ls\n", block->sourceLetters,
                 block->targetLetters);
    code = WriteReply(log, g_request.reply, LoadField(&block->status));
    if (code != 0) {
        ReleaseHostShadowCopies(log, &library, block);
        goto done;
    }
    VouchForReply(LoadField(&block->status));
    WriteLogLine(log, "Informed caller that volume shadow(s) are ready for use: %d\n",
                 (int)LoadField(&block->status));

    WriteLogLine(log, "Received notice that caller is done with volume shadow(s): %d\n",
                 WaitForReleaseNotice());
    code = ReleaseHostShadowCopies(log, &library, block) ? kHostReleased : kHostLibraryFailed;

done:
    fclose(log);
    return code;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return RunHost();
}
