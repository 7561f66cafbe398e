// Page "Notes" of the configuration editor (dialog 429): free text kept with the configuration.
#pragma once
#include <windows.h>

INT_PTR CALLBACK NotesPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
