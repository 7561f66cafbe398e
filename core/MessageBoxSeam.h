// Every message box of the program goes through ShowMessageBox, so tests can answer them.
#pragma once
#include <windows.h>

typedef int (*MessageBoxHandler)(HWND owner, const char *text, const char *caption, UINT type);

// Installs a handler in place of MessageBoxA; NULL restores the real message box.
void SetMessageBoxHandler(MessageBoxHandler handler);
int ShowMessageBox(HWND owner, const char *text, const char *caption, UINT type);

// The product name, the caption of every message box.
extern const char *const kProductName;
