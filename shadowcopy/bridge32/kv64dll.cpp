// kv64dll: the 32-bit shadow-copy bridge. A 32-bit process cannot load the 64-bit shadow-copy
// library, so this library hands the request to the 64-bit host kv64wrap.exe through text
// files beside the library's log, and carries the host's answer back into the caller's block.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "BridgeRequestFile.h"
#include "ExchangeFile.h"
#include "ExchangePaths.h"
#include "LogStream.h"
#include "RequestFields.h"
#include "ShadowCopyRequest.h"
#include "WaitLimits.h"

namespace {

const DWORD kPollMs = 100;

// Derives one exchange path and deletes whatever an earlier run left there.
bool DeriveAndClear(const char *logPath, const char *fileName, char *out)
{
    if (!DeriveExchangePath(logPath, fileName, out, 260))
        return false;
    DeleteFileA(out);
    return true;
}

// The host has ended (or cannot be watched): its exit code, -1 when the wait failed.
bool HostHasEnded(HANDLE process, int *exitCode)
{
    DWORD wait = WaitForSingleObject(process, 0);
    if (wait == WAIT_TIMEOUT)
        return false;
    DWORD code = (DWORD)-1;
    if (wait != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &code))
        code = (DWORD)-1;
    *exitCode = (int)code;
    return true;
}

// Waits for the host's exit; past the limit it is ended, so that it does not keep the shadow
// copies for ever. Returns the exit code (-1 when it cannot be read).
int FinishHost(FILE *log, HANDLE process, const char *commandLine, DWORD limitMs)
{
    if (WaitForSingleObject(process, limitMs) != WAIT_OBJECT_0) {
        WriteLogLine(log, "ERROR: %s did not exit within %lu seconds; ending it\n", commandLine,
                     (unsigned long)(limitMs / 1000));
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
    }
    DWORD code = (DWORD)-1;
    if (!GetExitCodeProcess(process, &code))
        code = (DWORD)-1;
    return (int)code;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}

extern "C" int32_t __stdcall MakeShadowCopy(ShadowCopyRequest *request)
{
    FILE *log = nullptr;
    BridgePaths paths = {};
    char ownLog[260] = "";
    char commandLine[64] = "kv64wrap.exe";
    PROCESS_INFORMATION host = {};

    char logPath[260] = "";
    wchar_t wideLog[261] = {};
    memcpy(wideLog, request->logPath, sizeof request->logPath);
    if (WideCharToMultiByte(CP_ACP, 0, wideLog, -1, logPath, sizeof logPath, nullptr, nullptr) == 0)
        logPath[0] = '\0';
    logPath[sizeof logPath - 1] = '\0';
    DeleteFileA(logPath);  // the 64-bit library's log of the previous run

    if (!DeriveExchangePath(logPath, "VSSLog1.txt", ownLog, sizeof ownLog))
        goto done;
    log = fopen(ownLog, "w");
    if (log == nullptr)
        goto done;

    if (!DeriveAndClear(logPath, "VSSLog2.txt", paths.hostLog)) {
        WriteLogLine(log, "Error 312\n");
        goto done;
    }
    if (!DeriveAndClear(logPath, "VSScom1.txt", paths.request)) {
        WriteLogLine(log, "Error 313\n");
        goto done;
    }
    if (!DeriveAndClear(logPath, "VSScom2.txt", paths.reply)) {
        WriteLogLine(log, "Error 314\n");
        goto done;
    }
    if (!DeriveAndClear(logPath, "VSScom3.txt", paths.release)) {
        WriteLogLine(log, "Error 315\n");
        goto done;
    }

    if (!WriteBridgeRequestFile(paths, *request)) {
        WriteLogLine(log, "Error 316\n");
        goto done;
    }
    WriteLogLine(log, "Writing of first communication file complete: %s\n", paths.request);

    {
        // No program name: the system looks for the host beside the main program first.
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &host)) {
            WriteLogLine(log, "Failed to launch %s\n", commandLine);
            goto done;
        }
    }
    WriteLogLine(log, "Launched %s\n", commandLine);

    for (;;) {
        int status = 0;
        if (ReadExchangeNumber(paths.reply, &status)) {
            StoreField(&request->status, status);
            WriteLogLine(log, "%s updated status: %d\n", commandLine, status);
            // The caller decides how long it needs the shadow copies: no limit here.
            while (LoadField(&request->releaseRequest) == 0)
                Sleep(kPollMs);
            WriteLogLine(log, "Parent is done with volume shadow(s)\n");
            break;
        }
        int exitCode = 0;
        if (HostHasEnded(host.hProcess, &exitCode)) {
            WriteLogLine(log, "%s failed (%d)\n", commandLine, exitCode);
            goto done;
        }
        Sleep(kPollMs);
    }

    if (!WriteExchangeNumber(paths.release, 1)) {
        WriteLogLine(log, "Error 317\n");
        // The host would wait for ever for a notice that cannot come, holding the shadow
        // copies: end it instead and note how it ended.
        TerminateProcess(host.hProcess, 1);
        int exitCode = FinishHost(log, host.hProcess, commandLine, 5000);
        WriteLogLine(log, "ERROR: Ended %s without a release notice, exit code: %d\n", commandLine,
                     exitCode);
        goto done;
    }
    WriteLogLine(log, "Writing of third communication file complete: %s\n", paths.release);
    {
        // The host waits at most its own limit for the library twice (release, then thread).
        int exitCode = FinishHost(log, host.hProcess, commandLine,
                                  2 * ShadowWaitLimit(kShadowReleaseWaitMs) + 30000);
        WriteLogLine(log, "%s completed with exit code: %d\n", commandLine, exitCode);
    }

done:
    if (host.hThread != nullptr)
        CloseHandle(host.hThread);
    if (host.hProcess != nullptr)
        CloseHandle(host.hProcess);
    if (log != nullptr)
        fclose(log);
    StoreField(&request->active, 0);
    if (LoadField(&request->status) == -1)
        StoreField(&request->status, 4);
    return LoadField(&request->status);
}
