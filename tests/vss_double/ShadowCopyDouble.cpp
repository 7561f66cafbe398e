// Test double of the shadow-copy libraries kv_vss.dll and kv_vss64.dll. Wine has no
// shadow-copy service, so the double exposes each source drive itself at its target letter
// with DefineDosDevice (under Wine, whose file system ignores such definitions, through
// Wine's mount manager; see WineDrive.h). It is built under the shipped names into a folder
// of its own, and the tests put it beside the companions; VELLORAN_VSS_DOUBLE says what it does:
//   "ok:<delay-ms>[:<release-delay-ms>]"   wait delay-ms, expose, report 0; on the release
//                     request wait release-delay-ms, then remove the letters
//   "fail:<status>[:<linger-ms>]"   report status at once, then return after linger-ms
#include "ShadowCopyWork.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "LetterPairs.h"
#include "LibraryStatus.h"
#include "LogStream.h"
#include "RequestFields.h"
#include "WineDrive.h"

namespace {

// Removes the definitions made so far, newest first.
void RemoveDoubleLetters(FILE *log, const LetterPairs &pairs, int exposed)
{
    for (int i = exposed - 1; i >= 0; i--) {
        wchar_t device[3];
        FormatDeviceName(pairs.target[i], device);
        bool removed = IsRunningUnderWine() ? RemoveWineDrive(pairs.target[i])
                                            : DefineDosDeviceW(DDD_REMOVE_DEFINITION, device, nullptr) != FALSE;
        if (!removed)
            WriteLogLine(log, "ERROR: Unable to remove %ls (error %lu)\n", device, GetLastError());
    }
}

int32_t ExposeDoubleLetters(FILE *log, const LetterPairs &pairs, int *exposed)
{
    *exposed = 0;
    for (int i = 0; i < pairs.count; i++) {
        wchar_t device[3];
        FormatDeviceName(pairs.target[i], device);
        if (IsLetterInUse(pairs.target[i])) {
            WriteLogLine(log, "ERROR: Target drive %ls is already in use\n", device);
            return kStatusExposeFailed;
        }
        // The target is the drive itself, "C:": a path with its backslash would double
        // the separator in every name under the new letter.
        wchar_t root[3];
        FormatDeviceName(pairs.source[i], root);
        bool defined = IsRunningUnderWine() ? DefineWineDrive(pairs.target[i], pairs.source[i])
                                            : DefineDosDeviceW(0, device, root) != FALSE;
        if (!defined) {
            WriteLogLine(log, "ERROR: Unable to expose %ls as %ls (error %lu)\n", root, device,
                         GetLastError());
            return kStatusExposeFailed;
        }
        *exposed = i + 1;
        WriteLogLine(log, "Exposed %ls as %ls (test double)\n", root, device);
    }
    return kStatusReady;
}

}  // namespace

int32_t FulfilShadowCopyRequest(FILE *log, ShadowCopyRequest *request)
{
    char setting[64] = "";
    DWORD length = GetEnvironmentVariableA("VELLORAN_VSS_DOUBLE", setting, sizeof setting);
    if (length >= sizeof setting)
        setting[0] = '\0';
    WriteLogLine(log, "Shadow copy test double: %s\n", setting);
    if (strncmp(setting, "fail:", 5) == 0) {
        char *rest = nullptr;
        int32_t status = (int32_t)strtol(setting + 5, &rest, 10);
        WriteLogLine(log, "ERROR: Test double reports status %d\n", (int)status);
        StoreField(&request->status, status);
        // Staying a while after the report shows whether the caller waits for this thread.
        if (*rest == ':')
            Sleep((DWORD)strtoul(rest + 1, nullptr, 10));
        return status;
    }
    if (strncmp(setting, "ok:", 3) != 0) {
        WriteLogLine(log, "ERROR: Unknown test double setting\n");
        StoreField(&request->status, kStatusInvalidRequest);
        return kStatusInvalidRequest;
    }

    LetterPairs pairs = {};
    if (!ReadLetterPairs(log, *request, &pairs)) {
        StoreField(&request->status, kStatusInvalidRequest);
        return kStatusInvalidRequest;
    }
    char *rest = nullptr;
    Sleep((DWORD)strtoul(setting + 3, &rest, 10));
    DWORD releaseDelay = *rest == ':' ? (DWORD)strtoul(rest + 1, nullptr, 10) : 0;
    int exposed = 0;
    int32_t status = ExposeDoubleLetters(log, pairs, &exposed);
    if (status != kStatusReady) {
        RemoveDoubleLetters(log, pairs, exposed);
        StoreField(&request->status, status);
        return status;
    }
    // A real library may move the current folder (onto a volume it works on); so does the
    // double, which lets the tests see that the caller's folder comes back.
    wchar_t root[4] = {pairs.source[0], L':', L'\\', L'\0'};
    SetCurrentDirectoryW(root);

    StoreField(&request->status, kStatusReady);
    WaitForReleaseRequest(request);
    Sleep(releaseDelay);
    RemoveDoubleLetters(log, pairs, exposed);
    WriteLogLine(log, "Released %d test double letter(s)\n", exposed);
    return kStatusReady;
}
