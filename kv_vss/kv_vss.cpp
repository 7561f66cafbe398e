// Shadow-copy library: one call of MakeShadowCopy makes the shadow copies of the request's
// source volumes, exposes each under its target letter, reports through the block's status,
// holds them until the caller's release request and then removes them. The same source
// builds kv_vss.dll (32-bit) and kv_vss64.dll (64-bit), and with other work behind it (see
// ShadowCopyWork.h) the test doubles of both.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "CheckedFile.h"
#include "LibraryStatus.h"
#include "LogStream.h"
#include "RequestFields.h"
#include "ShadowCopyRequest.h"
#include "ShadowCopyWork.h"

namespace {

// The caller runs elevated and the log lies in the user's data folder: it is made anew and
// seen from its handle to be what it seems. False when its name leads out of its folder;
// *log is then null, as it is for a log that cannot be made at all.
bool OpenLibraryLog(const ShadowCopyRequest &request, FILE **log)
{
    *log = nullptr;
    wchar_t path[261] = {};
    memcpy(path, request.logPath, sizeof request.logPath);
    if (path[0] == L'\0')
        return true;
    FileCheck check;
    *log = OpenCheckedStream(path, "w", FILE_SHARE_READ | FILE_SHARE_WRITE, &check);
    char shown[520] = "";
    WideCharToMultiByte(CP_ACP, 0, path, -1, shown, sizeof shown, nullptr, nullptr);
    LogFileCheck(*log, check, shown);
    return *log != nullptr || check.outcome == kFileNotOpened;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}

extern "C" int32_t __stdcall MakeShadowCopy(ShadowCopyRequest *request)
{
    // The caller's current folder is its own; whatever happens in here, it gets it back.
    wchar_t savedFolder[MAX_PATH] = L"";
    DWORD saved = GetCurrentDirectoryW(MAX_PATH, savedFolder);

    FILE *log = nullptr;
    int32_t status = kStatusLogRefused;
    if (OpenLibraryLog(*request, &log)) {
        WriteLogLine(log, "Shadow copy request: %ls -> %ls\n", request->sourceLetters,
                     request->targetLetters);
        status = FulfilShadowCopyRequest(log, request);
    } else {
        StoreField(&request->status, status);
    }
    if (status != kStatusReady)
        WriteLogLine(log, "ERROR: Shadow copies not made, status %d\n", (int)status);
    if (log != nullptr)
        fclose(log);

    if (saved > 0 && saved < MAX_PATH)
        SetCurrentDirectoryW(savedFolder);
    if (LoadField(&request->status) == -1)
        StoreField(&request->status, kStatusServiceFailed);
    StoreField(&request->active, 0);
    return LoadField(&request->status);
}
