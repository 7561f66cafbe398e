// kv64dll: the 32-bit shadow-copy bridge. A 32-bit process cannot load the 64-bit shadow-copy
// library, so this library hands the request to the 64-bit host kv64wrap.exe through text
// files beside the library's log, and carries the host's answer back into the caller's block.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "BridgeRequestFile.h"
#include "CheckedFile.h"
#include "ExchangeFile.h"
#include "ExchangePaths.h"
#include "LogStream.h"
#include "RequestFields.h"
#include "ShadowCopyRequest.h"
#include "WaitLimits.h"

namespace {

const DWORD kPollMs = 100;

// Derives one exchange path and deletes whatever an earlier run left there; false, with the
// refusal logged, when its name leads out of the folder.
bool DeriveAndClear(FILE *log, const char *logPath, const char *fileName, char *out)
{
    if (!DeriveExchangePath(logPath, fileName, out, 260))
        return false;
    FileCheck check;
    if (DeleteFileChecked(out, &check) || check.outcome == kFileNotOpened)
        return true;
    LogFileCheck(log, check, out);
    return false;
}

// What the host says on its standard output, a pipe that only this library and the host hold.
// The reply file lies in the user's data folder, where any program can write one; a reply is
// taken only when the host says the same.
struct HostWord {
    HANDLE pipe;
    char text[16];
    DWORD length;
};

// Reads what the host has said so far, without waiting. True once its line is whole, with its
// number in *status.
bool ReadHostWord(HostWord *word, int *status)
{
    DWORD available = 0;
    while (word->length < sizeof word->text - 1 && PeekNamedPipe(word->pipe, nullptr, 0, nullptr, &available, nullptr) &&
           available > 0) {
        DWORD room = sizeof word->text - 1 - word->length, got = 0;
        if (!ReadFile(word->pipe, word->text + word->length, available < room ? available : room, &got, nullptr) ||
            got == 0)
            break;
        word->length += got;
    }
    word->text[word->length] = '\0';
    if (strchr(word->text, '\n') == nullptr)
        return false;
    *status = ParseExchangeNumber(word->text);
    return true;
}

// Starts the host by its bare name, so that the system looks for it beside the main program
// first, with the write end of the word pipe as its standard output: the one handle it
// inherits. The write end is closed here once the host has its own.
bool StartHost(char *commandLine, HostWord *word, PROCESS_INFORMATION *host)
{
    HANDLE output = nullptr;
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    if (!CreatePipe(&word->pipe, &output, &inherited, 0))
        return false;
    SetHandleInformation(word->pipe, HANDLE_FLAG_INHERIT, 0);
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    auto attributes = static_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(HeapAlloc(GetProcessHeap(), 0, size));
    bool started = false;
    if (attributes != nullptr && InitializeProcThreadAttributeList(attributes, 1, 0, &size)) {
        if (UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &output, sizeof output, nullptr,
                                      nullptr)) {
            STARTUPINFOEXA startup = {};
            startup.StartupInfo.cb = sizeof startup;
            startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
            startup.StartupInfo.hStdOutput = output;
            startup.lpAttributeList = attributes;
            started = CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, EXTENDED_STARTUPINFO_PRESENT, nullptr,
                                     nullptr, &startup.StartupInfo, host) != FALSE;
        }
        DeleteProcThreadAttributeList(attributes);
    }
    if (attributes != nullptr)
        HeapFree(GetProcessHeap(), 0, attributes);
    CloseHandle(output);
    return started;
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
    FileCheck check;
    HostWord word = {};
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
    DeleteFileChecked(logPath, &check);  // the 64-bit library's log of the previous run

    // The main program runs elevated and these files lie in the user's data folder: each is
    // made anew and seen from its handle to be what it seems (CheckedFile.h).
    if (!DeriveExchangePath(logPath, "VSSLog1.txt", ownLog, sizeof ownLog))
        goto done;
    log = OpenCheckedStream(ownLog, "w", FILE_SHARE_READ | FILE_SHARE_WRITE, &check);
    if (log == nullptr)
        goto done;
    LogFileCheck(log, check, ownLog);

    if (!DeriveAndClear(log, logPath, "VSSLog2.txt", paths.hostLog)) {
        WriteLogLine(log, "Error 312\n");
        goto done;
    }
    if (!DeriveAndClear(log, logPath, "VSScom1.txt", paths.request)) {
        WriteLogLine(log, "Error 313\n");
        goto done;
    }
    if (!DeriveAndClear(log, logPath, "VSScom2.txt", paths.reply)) {
        WriteLogLine(log, "Error 314\n");
        goto done;
    }
    if (!DeriveAndClear(log, logPath, "VSScom3.txt", paths.release)) {
        WriteLogLine(log, "Error 315\n");
        goto done;
    }

    {
        bool written = WriteBridgeRequestFile(paths, *request, &check);
        LogFileCheck(log, check, paths.request);
        if (!written) {
            WriteLogLine(log, "Error 316\n");
            goto done;
        }
    }
    WriteLogLine(log, "Writing of first communication file complete: %s\n", paths.request);

    if (!StartHost(commandLine, &word, &host)) {
        WriteLogLine(log, "Failed to launch %s\n", commandLine);
        goto done;
    }
    WriteLogLine(log, "Launched %s\n", commandLine);

    for (;;) {
        int status = 0, said = 0;
        if (ReadExchangeNumber(paths.reply, &status) && ReadHostWord(&word, &said)) {
            if (said != status) {
                WriteLogLine(log, "ERROR: %s holds %d, but %s said %d; the shadow copies are not used\n",
                             paths.reply, status, commandLine, said);
                break;  // the host is released below; the caller sees a failure
            }
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

    if (!WriteExchangeNumber(paths.release, 1, &check)) {
        LogFileCheck(log, check, paths.release);
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
    if (word.pipe != nullptr)
        CloseHandle(word.pipe);
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
