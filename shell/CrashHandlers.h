// Fatal faults on any thread end the same way: a minidump under the user's temporary folder,
// a message box saying where it is, and exit code 1.
#pragma once
#include <windows.h>

// Installs every process-wide handler; WinMain calls it before anything else.
void InstallFaultHandlers();

// Writes the dump and shows the message box; does not end the process.
void WriteCrashDump(EXCEPTION_POINTERS *pointers);
// The path of the dump file for a crash at `now`; 0 when it would not fit in 260 characters.
int FormatCrashDumpPath(const char *tempFolder, const SYSTEMTIME *now, char *path, size_t size);

// Each writes the dump and ends the process with exit code 1; none returns.
LONG WINAPI CrashExceptionFilter(EXCEPTION_POINTERS *pointers);
void CrashHandler();
void CrashNewHandler();
void __cdecl CrashSignalHandler(int signalNumber);

// Exception information for a handler that got none: the caller's registers and an exception
// record with code 0 at the caller's return address. Never freed.
void CaptureExceptionPointers(EXCEPTION_POINTERS **pointers);
