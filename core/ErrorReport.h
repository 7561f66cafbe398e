// Win32 and WinINet error codes turned into words: in a message box or as a framed block of
// the job log. Also the message box that shows a text of the string table.
#pragma once
#include <windows.h>
#include <stdio.h>

int MessageBoxFromResource(HWND owner, UINT stringId, UINT type);

DWORD ShowLastError(HWND owner);
// The system's text of the code in a box; a code without a text shows its number.
void ShowSystemErrorMessage(HWND owner, DWORD code);
DWORD LogLastError(const char *title, FILE *log);

// Where the server's reply behind WinINet's extended error (12003) is read: by default
// WinINet's record of this thread's last reply. A room whose WinINet calls run on worker
// threads installs a source that knows their replies; false when there is none.
typedef bool (*ServerReplySource)(DWORD *number, char *text, DWORD textSize);
void SetServerReplySource(ServerReplySource source);

// Text of an error code from the system's or, for 12000-12192, WinINet's message table.
// The Task Scheduler's own codes have their texts where the system has none (Wine). An unknown
// code gives an empty text.
void GetErrorText(DWORD code, char *out, DWORD outSize);
bool IsWinInetError(DWORD code);
