// The 64-bit shadow-copy library as the host runs it: loaded from the host's own folder, its
// MakeShadowCopy run on a thread of the host's, unloaded only once that thread has ended.
#pragma once
#include <windows.h>
#include <stdio.h>

#include "ShadowCopyRequest.h"

struct HostLibrary {
    HMODULE module;
    MakeShadowCopyProc makeShadowCopy;
    HANDLE thread;
    char savedFolder[MAX_PATH];  // the current folder before the library was loaded
};

// Loads "kv_vss64.dll" beside the program and finds MakeShadowCopy; logs why when it fails.
bool LoadHostLibrary(FILE *log, HostLibrary *library);

// Runs MakeShadowCopy on a new thread with block; logs when the thread cannot start.
bool StartHostShadowCopy(FILE *log, HostLibrary *library, ShadowCopyRequest *block);

// Waits up to the release limit for the library's thread, then unloads the library. When the
// thread is still running the library stays loaded, since unloading it would pull the code
// from under the thread; false then, with an ERROR line.
bool UnloadHostLibrary(FILE *log, HostLibrary *library);

// Asks the library to release the shadow copies if the block is active, waits for it and
// unloads the library. False when the library did not release within the limit.
bool ReleaseHostShadowCopies(FILE *log, HostLibrary *library, ShadowCopyRequest *block);
