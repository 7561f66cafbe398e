// Dialog 153, "Combine Split ZIP Files": the user picks a split archive's first part and the
// parts are joined on a thread of their own while the dialog shows the progress.
#pragma once
#include <windows.h>

// Opens the dialog modally over the owner (the main window's Combine command).
void ShowCombineSplitZip(HWND owner);
INT_PTR CALLBACK CombineSplitZipDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// The open-file dialog for the first part, starting in the remembered folder, into a buffer of
// 260 characters; returns the dialog's result and remembers the chosen folder.
int BrowseFirstZipPart(HWND owner, char *path);
