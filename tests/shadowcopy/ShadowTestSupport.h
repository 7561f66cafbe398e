// Helpers for the shadow-copy tests: the binaries under test, the data folder of the test's
// Wine prefix, small file helpers and a free drive letter for the test double to expose.
#pragma once
#include <windows.h>
#include <string>

#include "FileText.h"
#include "ScopedEnvironment.h"
#include "ShadowCopyDoubles.h"

// A file in the folder of the binaries under test.
std::string BinPath(const char *file);

// The data folder the companions use, with a trailing backslash; created when missing.
std::string DataFolder();

// A fresh, empty folder under the temporary folder, with a trailing backslash.
std::string MakeTempFolder(const char *name);

bool WriteWholeFile(const std::string &path, const std::string &content);
bool FileExists(const std::string &path);

// A letter E to Z that names no device yet, or 0.
char FindFreeLetter();

// True when the letter is defined and its root can be listed.
bool CanListRoot(char letter, const char *expectedEntry);

// Runs program (no arguments) with the current environment and returns its exit code;
// -1 when it cannot be started, -2 when it had to be ended after timeoutMs.
int RunProgram(const std::string &path, DWORD timeoutMs);

// Polls condition every 25 ms for up to timeoutMs.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(25);
    }
    return true;
}
