// Start-up: one running instance, the hand-over of a second start's command line and the
// command-line switches.
#pragma once
#include <windows.h>

extern const char *const kMutexName;
extern const char *const kWindowClassName;

// How long a second start looks for the running instance's window when the mutex exists.
extern DWORD instanceWindowWaitMs;

// 1: go on as the running instance. 0: *other holds the running instance's window.
int EnsureSingleInstance(const char *commandLine, HWND *other);
// Sends the command line to the running instance by WM_COPYDATA; the result is not examined.
void HandOverCommandLine(HWND other, const char *commandLine);
// Copies a WM_COPYDATA block's text into out (outSize bytes): at most cbData bytes and never
// past outSize - 1, always terminated. Returns 1 when a text was copied.
int CopyHandedOverText(const COPYDATASTRUCT *block, char *out, size_t outSize);
// handedOver 0: the program's own line; 1: a line from a second start.
void ApplyCommandLine(int handedOver, const char *text);
