// The program's message loop and its accelerator rule.
#pragma once
#include <windows.h>

// Translates the main window's accelerators, except while the job list's label editor is open:
// then Ctrl+C, Del and the rest belong to the edit text. Returns 1 when the message was used.
int TranslateMainAccelerator(HWND window, HACCEL accelerators, MSG *message);
// Runs until WM_QUIT and returns its exit code.
int RunMessageLoop(HWND window);
