// Why the program could not start. A start-up step notes its failure; WinMain then tells the
// user and ends with kStartupFailedExitCode, so a script or the Task Scheduler sees that the
// program never ran.
#pragma once
#include <windows.h>

const int kStartupFailedExitCode = 2;

// Keeps the first failure: what could not be done, the Win32 error code (0 for none) and
// whether the user has already seen a message box about it.
void NoteStartupFailure(const char *what, DWORD error, bool told);
bool StartupFailed();
// Writes "Velloran: <what>" and the error's text as one line to standard error and, unless the
// user was already told, shows the same in a message box; when not even that can be shown, a
// second line says so. Returns kStartupFailedExitCode.
int ReportStartupFailure();

// Tests: forget a noted failure.
void ResetStartupFailureForTesting();
