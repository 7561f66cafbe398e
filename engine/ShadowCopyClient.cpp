#include "ShadowCopyClient.h"

#include <ctype.h>
#include <string.h>
#include <wchar.h>

#include "ConfigRuntime.h"
#include "ErrorReport.h"
#include "GlobalSettings.h"
#include "JobSteps.h"
#include "MsvcrtFormat.h"
#include "RequestFields.h"
#include "WaitLimits.h"

namespace {

const DWORD kPollMs = 25;

// Only one job runs at a time, so the library's entry point and the thread running it are
// process-wide. The thread handle is kept so that the library is never unloaded under it.
MakeShadowCopyProc g_makeShadowCopy = nullptr;
HANDLE g_shadowThread = nullptr;

// The current folder when the library was loaded; the library may move it while it works.
wchar_t g_savedFolder[MAX_PATH] = L"";

char g_testFolder[MAX_PATH] = "";
char g_testFileName[64] = "";
DWORD g_testReleaseLimitMs = 0;

enum StatusWait { StatusReported, StatusCancelled, StatusTimedOut, StatusNeverReported };

void AppendLetter(char *letters, size_t size, char letter)
{
    size_t length = strlen(letters);
    if (length + 1 >= size)
        return;
    letters[length] = letter;
    letters[length + 1] = '\0';
}

bool HasLetter(const char *letters, char letter)
{
    return letter != '\0' && strchr(letters, letter) != nullptr;
}

// The upper-case drive letter of a path such as "c:\data", or 0.
char GetPathDriveLetter(const char *path)
{
    if (path[0] == '\0' || path[1] != ':')
        return 0;
    char letter = (char)toupper((unsigned char)path[0]);
    return letter >= 'A' && letter <= 'Z' ? letter : 0;
}

// Sorts the drives of the sources into fixed drives, which are shadowed, and the others.
void CollectSourceDrives(JobContext *context)
{
    const BackupConfig *config = context->config;
    for (int i = 0; i < config->sourceCount; ++i) {
        char letter = GetPathDriveLetter(config->sources[i].path);
        if (letter == 0 || HasLetter(context->shadowSources, letter) || HasLetter(context->unshadowedDrives, letter))
            continue;
        char root[4] = {letter, ':', '\\', '\0'};
        if (GetDriveTypeA(root) == DRIVE_FIXED)
            AppendLetter(context->shadowSources, sizeof(context->shadowSources), letter);
        else
            AppendLetter(context->unshadowedDrives, sizeof(context->unshadowedDrives), letter);
    }
}

// One free letter from E to Z per shadowed drive; false when there are not enough.
bool ChooseTargetLetters(JobContext *context)
{
    DWORD used = GetLogicalDrives();
    size_t wanted = strlen(context->shadowSources);
    for (char letter = 'E'; letter <= 'Z' && strlen(context->shadowTargets) < wanted; ++letter) {
        if ((used & (1u << (letter - 'A'))) == 0)
            AppendLetter(context->shadowTargets, sizeof(context->shadowTargets), letter);
    }
    return strlen(context->shadowTargets) == wanted;
}

// A 32-bit program on 64-bit Windows cannot load the 64-bit library: it takes the bridge.
const char *ChooseLibraryName()
{
    if (g_testFileName[0] != '\0')
        return g_testFileName;
    typedef BOOL(WINAPI * IsWow64ProcessProc)(HANDLE, PBOOL);
    IsWow64ProcessProc isWow64 = reinterpret_cast<IsWow64ProcessProc>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
    if (isWow64 == nullptr)
        return "kv_vss.dll";
    BOOL wow64 = FALSE;
    if (!isWow64(GetCurrentProcess(), &wow64)) {
        ShowLastError(nullptr);
        return "kv_vss.dll";
    }
    return wow64 ? "kv64dll.dll" : "kv_vss.dll";
}

// The library's full path: the program's own folder plus its file name.
bool BuildLibraryPath(FILE *log, const char *fileName, char *out, size_t outSize)
{
    char folder[MAX_PATH] = "";
    if (g_testFolder[0] != '\0') {
        lstrcpynA(folder, g_testFolder, sizeof(folder));
    } else {
        GetModuleFileNameA(nullptr, folder, MAX_PATH - 1);
        folder[MAX_PATH - 1] = '\0';
        char *backslash = strrchr(folder, '\\');
        if (backslash == nullptr) {
            LogLastError("No backslash GMFN", log);
            WriteText(log, "ERROR: No backslash GMFN\n");
            return false;
        }
        backslash[1] = '\0';
    }
    FormatText(out, outSize, "%s%s", folder, fileName);
    return true;
}

void SaveCurrentFolder()
{
    DWORD length = GetCurrentDirectoryW(MAX_PATH, g_savedFolder);
    if (length == 0 || length >= MAX_PATH)
        g_savedFolder[0] = L'\0';
}

void RestoreCurrentFolder()
{
    if (g_savedFolder[0] != L'\0')
        SetCurrentDirectoryW(g_savedFolder);
}

void FillRequest(JobContext *context)
{
    ShadowCopyRequest &request = context->shadowRequest;
    memset(&request, 0, sizeof(request));
    char logPath[MAX_PATH + 16];
    FormatText(logPath, sizeof(logPath), "%sVSSLog.txt", dataFolder);
    MultiByteToWideChar(CP_ACP, 0, logPath, -1, request.logPath, 259);
    MultiByteToWideChar(CP_ACP, 0, context->shadowSources, -1, request.sourceLetters, 64);
    MultiByteToWideChar(CP_ACP, 0, context->shadowTargets, -1, request.targetLetters, 64);
    request.verbose = gSettings.logVerbose;
    StoreField(&request.releaseRequest, 0);
    StoreField(&request.status, -1);
    StoreField(&request.active, 1);
}

// Waits 25 ms at a time for the library to leave status -1, watching the job's cancel byte,
// the thread (a library that returns without a status would be waited for in vain) and the limit.
StatusWait WaitForShadowStatus(JobContext *context)
{
    DWORD limit = ShadowWaitLimit(kShadowCreateWaitMs);
    DWORD start = GetTickCount();
    while (LoadField(&context->shadowRequest.status) == -1) {
        if (IsCancelRequested(context->config))
            return StatusCancelled;
        if (WaitForSingleObject(g_shadowThread, 0) == WAIT_OBJECT_0)
            return LoadField(&context->shadowRequest.status) == -1 ? StatusNeverReported : StatusReported;
        if (GetTickCount() - start >= limit)
            return StatusTimedOut;
        Sleep(kPollMs);
    }
    return StatusReported;
}

// How long the end of the library may take once the release is asked for. The 64-bit bridge
// gives its host twice the host's own release limit and half a minute more before it ends it.
DWORD GetReleaseLimit()
{
    if (g_testReleaseLimitMs != 0)
        return g_testReleaseLimitMs;
    return 2 * ShadowWaitLimit(kShadowReleaseWaitMs) + 60000;
}

// Waits for active to drop to 0 and then for the thread to end, both within limitMs.
bool WaitForLibraryEnd(FILE *log, JobContext *context, DWORD limitMs)
{
    if (g_shadowThread == nullptr)
        return true;  // nothing ever ran in the library
    DWORD start = GetTickCount();
    while (LoadField(&context->shadowRequest.active) != 0) {
        if (GetTickCount() - start >= limitMs) {
            if (log != nullptr)
                WriteText(log, "ERROR: The shadow copy library did not release the shadow copies within %lu seconds\n",
                          (unsigned long)(limitMs / 1000));
            break;
        }
        Sleep(kPollMs);
    }
    DWORD spent = GetTickCount() - start;
    DWORD left = spent < limitMs ? limitMs - spent : 0;
    if (WaitForSingleObject(g_shadowThread, left) != WAIT_OBJECT_0) {
        if (log != nullptr)
            WriteText(log, "ERROR: The shadow copy thread did not end within %lu seconds; its library stays loaded\n",
                      (unsigned long)(limitMs / 1000));
        return false;
    }
    return true;
}

// Asks the library to let go, waits for its thread and unloads it only when the thread has
// ended. A library that does not end is left loaded, since unloading it would pull the code
// from under its thread, and its thread may still write the request block, which must then
// outlive the job (shadowRequestInUse). True when the library has ended and is unloaded.
bool FinishShadowLibrary(FILE *log, JobContext *context)
{
    StoreField(&context->shadowRequest.releaseRequest, 1);
    bool ended = WaitForLibraryEnd(log, context, GetReleaseLimit());
    if (!ended)
        context->shadowRequestInUse = 1;
    if (g_shadowThread != nullptr) {
        CloseHandle(g_shadowThread);
        g_shadowThread = nullptr;
    }
    if (ended && context->shadowLibrary != nullptr)
        FreeLibrary(context->shadowLibrary);
    context->shadowLibrary = nullptr;
    g_makeShadowCopy = nullptr;
    StoreField(&context->shadowRequest.active, 0);
    RestoreCurrentFolder();
    return ended;
}

// Loads the library and finds its entry point; false (with the log lines) when either fails.
bool LoadShadowLibrary(FILE *log, JobContext *context)
{
    char path[MAX_PATH + 64];
    if (!BuildLibraryPath(log, ChooseLibraryName(), path, sizeof(path)))
        return false;
    context->shadowLibrary = LoadLibraryA(path);
    RestoreCurrentFolder();
    if (context->shadowLibrary == nullptr) {
        LogLastError("Load Library", log);
        WriteText(log, "ERROR: Unable to load DLL for backing up locked/open files.  VSS library: %s\n", path);
        return false;
    }
    g_makeShadowCopy = reinterpret_cast<MakeShadowCopyProc>(
        reinterpret_cast<void *>(GetProcAddress(context->shadowLibrary, "MakeShadowCopy")));
    if (g_makeShadowCopy == nullptr) {
        LogLastError("Get Procedure Address", log);
        WriteText(log, "ERROR: Unable to get required function in %s\n", path);
        FreeLibrary(context->shadowLibrary);
        context->shadowLibrary = nullptr;
        RestoreCurrentFolder();
        return false;
    }
    return true;
}

// Runs the library on its thread and waits for its status; true when the copies are ready.
bool RunShadowLibrary(FILE *log, JobContext *context)
{
    FillRequest(context);
    g_shadowThread = CreateThread(nullptr, 0, ShadowCopyThreadProc, &context->shadowRequest, 0, nullptr);
    if (g_shadowThread == nullptr) {
        WriteText(log, "ERROR: Unable to launch thread for shadow copy\n");
        return false;
    }
    SetStatusText(context->config, "Creating Volume Shadow");
    StatusWait wait = WaitForShadowStatus(context);
    RestoreCurrentFolder();
    int32_t status = LoadField(&context->shadowRequest.status);
    if (wait == StatusReported && status == 0) {
        if (gSettings.logVerbose)
            WriteText(log, "Successfully created shadow volume(s): %s -> %s\n", context->shadowSources,
                      context->shadowTargets);
        return true;
    }
    if (wait == StatusCancelled)
        WriteText(log, "ERROR: Shadow copy creation cancelled before the shadow copies were ready\n");
    else if (wait == StatusTimedOut)
        WriteText(log, "ERROR: The shadow copy library reported no status within %lu seconds\n",
                  (unsigned long)(ShadowWaitLimit(kShadowCreateWaitMs) / 1000));
    else if (wait == StatusNeverReported)
        WriteText(log, "ERROR: The shadow copy library ended without reporting a status\n");
    if (wait == StatusReported || wait == StatusNeverReported)
        WriteText(log,
                  "ERROR: Unable to create shadow copy.  See '%sVSSLog.txt' for more detail or turn off option to "
                  "backup locked/open files.\n",
                  dataFolder);
    return false;
}

}  // namespace

DWORD WINAPI ShadowCopyThreadProc(LPVOID request)
{
    g_makeShadowCopy(static_cast<ShadowCopyRequest *>(request));
    return 0;
}

int CreateShadowCopies(FILE *log, JobContext *context)
{
    StoreField(&context->shadowRequest.active, 0);
    context->shadowSources[0] = '\0';
    context->unshadowedDrives[0] = '\0';
    context->shadowTargets[0] = '\0';
    if (!gSettings.backupLocked)
        return 1;
    CollectSourceDrives(context);
    if (context->shadowSources[0] == '\0')
        return 1;
    if (!ChooseTargetLetters(context)) {
        WriteText(log, "ERROR: Not enough drive letters available to enable backing up locked/open files.  Free up "
                       "drive letters, backup fewer drives, or turn off the option to backup locked/open files.\n");
        return 0;
    }
    SaveCurrentFolder();
    if (!LoadShadowLibrary(log, context))
        return 0;
    if (RunShadowLibrary(log, context))
        return 1;
    // The library is unloaded only once its thread has left it, on every road of failure.
    FinishShadowLibrary(log, context);
    return 0;
}

bool ReleaseShadowCopies(FILE *log, JobContext *context)
{
    if (LoadField(&context->shadowRequest.active) != 1)
        return context->shadowRequestInUse == 0;
    SetStatusText(context->config, "Releasing Volume Shadow");
    return FinishShadowLibrary(log, context);
}

void MapToShadowPath(const char *path, char *out, size_t outSize, const JobContext *context)
{
    if (outSize == 0)
        return;
    lstrcpynA(out, path, (int)outSize);
    if (LoadField(const_cast<volatile int32_t *>(&context->shadowRequest.active)) != 1)
        return;
    char letter = GetPathDriveLetter(path);
    if (letter == 0 || HasLetter(context->unshadowedDrives, letter))
        return;
    const char *found = strchr(context->shadowSources, letter);
    if (found == nullptr)
        return;
    // A buffer of one holds only the terminator, which must stay.
    size_t index = (size_t)(found - context->shadowSources);
    if (out[0] != '\0' && index < strlen(context->shadowTargets))
        out[0] = context->shadowTargets[index];
}

void MapToShadowPathW(const JobContext *context, const wchar_t *path, wchar_t *out, size_t outChars)
{
    if (outChars == 0)
        return;
    wcsncpy(out, path, outChars - 1);
    out[outChars - 1] = L'\0';
    if (LoadField(const_cast<volatile int32_t *>(&context->shadowRequest.active)) != 1)
        return;
    if (path[0] == L'\0' || path[1] != L':' || path[0] > 0x7f)
        return;
    char letter = (char)toupper((int)path[0]);
    if (letter < 'A' || letter > 'Z' || HasLetter(context->unshadowedDrives, letter))
        return;
    const char *found = strchr(context->shadowSources, letter);
    if (found == nullptr)
        return;
    size_t index = (size_t)(found - context->shadowSources);
    if (out[0] != L'\0' && index < strlen(context->shadowTargets))
        out[0] = (wchar_t)(unsigned char)context->shadowTargets[index];
}

void SetShadowLibraryForTesting(const char *folder, const char *fileName)
{
    lstrcpynA(g_testFolder, folder != nullptr ? folder : "", sizeof(g_testFolder));
    lstrcpynA(g_testFileName, fileName != nullptr ? fileName : "", sizeof(g_testFileName));
}

void SetShadowReleaseLimitForTesting(DWORD milliseconds)
{
    g_testReleaseLimitMs = milliseconds;
}
