#include "HostLibrary.h"

#include <string.h>

#include "LogStream.h"
#include "RequestFields.h"
#include "WaitLimits.h"

namespace {

// The thread procedure gets only the block, so the library's entry point is held here; the
// host runs one request per process.
MakeShadowCopyProc g_hostMakeShadowCopy = nullptr;

DWORD WINAPI HostShadowCopyThreadProc(LPVOID parameter)
{
    ShadowCopyRequest *block = static_cast<ShadowCopyRequest *>(parameter);
    g_hostMakeShadowCopy(block);
    return 0;
}

// The library may change the process's current folder; it is put back when the library goes.
void RestoreCurrentFolder(HostLibrary *library)
{
    if (library->savedFolder[0] != '\0')
        SetCurrentDirectoryA(library->savedFolder);
}

}  // namespace

bool LoadHostLibrary(FILE *log, HostLibrary *library)
{
    char path[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(nullptr, path, 259);
    path[length < 259 ? length : 259] = '\0';
    char *slash = strrchr(path, '\\');
    if (slash == nullptr) {
        WriteLogLine(log, "ERROR: No backslash GMFN\n");
        return false;
    }
    strcpy(slash + 1, "kv_vss64.dll");

    DWORD saved = GetCurrentDirectoryA(sizeof library->savedFolder, library->savedFolder);
    if (saved == 0 || saved >= sizeof library->savedFolder)
        library->savedFolder[0] = '\0';

    library->module = LoadLibraryA(path);
    if (library->module == nullptr) {
        WriteLogLine(log, "ERROR: Unable to load DLL for backing up locked/open files.  VSS library: %s\n",
                     path);
        RestoreCurrentFolder(library);
        return false;
    }
    library->makeShadowCopy =
        reinterpret_cast<MakeShadowCopyProc>(
        reinterpret_cast<void *>(GetProcAddress(library->module, "MakeShadowCopy")));
    if (library->makeShadowCopy == nullptr) {
        WriteLogLine(log, "ERROR: Unable to get required function in %s\n", path);
        FreeLibrary(library->module);
        library->module = nullptr;
        RestoreCurrentFolder(library);
        return false;
    }
    g_hostMakeShadowCopy = library->makeShadowCopy;
    return true;
}

bool StartHostShadowCopy(FILE *log, HostLibrary *library, ShadowCopyRequest *block)
{
    library->thread = CreateThread(nullptr, 0, HostShadowCopyThreadProc, block, 0, nullptr);
    if (library->thread == nullptr) {
        WriteLogLine(log, "ERROR: Unable to launch thread for shadow copy\n");
        return false;
    }
    return true;
}

bool UnloadHostLibrary(FILE *log, HostLibrary *library)
{
    if (library->thread != nullptr) {
        DWORD limit = ShadowWaitLimit(kShadowReleaseWaitMs);
        if (WaitForSingleObject(library->thread, limit) != WAIT_OBJECT_0) {
            WriteLogLine(log, "ERROR: The shadow copy thread did not end within %lu seconds; the library stays loaded\n",
                         (unsigned long)(limit / 1000));
            return false;
        }
        CloseHandle(library->thread);
        library->thread = nullptr;
    }
    if (library->module != nullptr) {
        FreeLibrary(library->module);
        library->module = nullptr;
        library->makeShadowCopy = nullptr;
    }
    RestoreCurrentFolder(library);
    return true;
}

bool ReleaseHostShadowCopies(FILE *log, HostLibrary *library, ShadowCopyRequest *block)
{
    if (LoadField(&block->active) != 1)
        return true;
    StoreField(&block->releaseRequest, 1);
    DWORD limit = ShadowWaitLimit(kShadowReleaseWaitMs);
    DWORD start = GetTickCount();
    while (LoadField(&block->active) != 0) {
        if (GetTickCount() - start >= limit) {
            WriteLogLine(log, "ERROR: The shadow copy library did not release the shadow volume(s) within %lu seconds\n",
                         (unsigned long)(limit / 1000));
            return false;
        }
        Sleep(25);
    }
    if (!UnloadHostLibrary(log, library))
        return false;
    WriteLogLine(log, "Successfully released shadow volume(s)\n");
    return true;
}
