// kv64wrap: the 64-bit shadow-copy host that kv64dll starts. It reads the request file, runs
// kv_vss64.dll on it, tells kv64dll through a reply file when the shadow copies are ready and
// releases them when the release notice arrives. Its exit code says how it ended.
#include <windows.h>
#include <stdio.h>

#include "ExchangeFile.h"
#include "HostDataFolder.h"
#include "HostExitCode.h"
#include "HostLibrary.h"
#include "HostRequestFile.h"
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

// Reports a request line that is too long in the own log, when line 1 itself was whole.
void LogMalformedRequest(const char *requestPath)
{
    if (g_request.ownLog[0] == '\0')
        return;
    FILE *log = fopen(g_request.ownLog, "w");
    WriteLogLine(log, "ERROR: Line %d of %s is longer than 259 characters; the request is not carried out\n",
                 g_request.malformedLine, requestPath);
    if (log != nullptr)
        fclose(log);
}

int RunHost()
{
    char dataFolder[MAX_PATH] = "";
    int code = FindHostDataFolder(dataFolder, sizeof dataFolder);
    if (code != 0)
        return code;
    char requestPath[MAX_PATH + 16] = "";
    FormatText(requestPath, sizeof requestPath, "%sVSScom1.txt", dataFolder);
    code = ReadHostRequestFile(requestPath, &g_request);
    if (code == kHostMalformedRequest)
        LogMalformedRequest(requestPath);
    if (code != 0)
        return code;

    FILE *log = fopen(g_request.ownLog, "w");
    if (log == nullptr)
        return kHostNoOwnLog;

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
    if (LoadField(&block->status) != 0) {
        WriteLogLine(log, "ERROR: Unable to create shadow copy.  See 'VSSLog.txt' for more detail or turn off option to backup locked/open files.\n");
        UnloadHostLibrary(log, &library);
        StoreField(&block->active, 0);
        goto done;
    }

    WriteLogLine(log, "Successfully created shadow volume(s): %ls -> %ls\n", block->sourceLetters,
                 block->targetLetters);
    if (!WriteExchangeNumber(g_request.reply, LoadField(&block->status))) {
        ReleaseHostShadowCopies(log, &library, block);
        code = kHostNoReplyFile;
        goto done;
    }
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
