// Dialog 155 "Compressed ZIP Date Filter": whether a compressed backup takes all source files or
// only those changed since the last successful backup, and every how many backups it takes all,
// on the record it is opened with (the editor's working copy).
#pragma once
#include <windows.h>

#include "BackupConfig.h"

// The init parameter is the record; ends with 1 when a value changed, else 0.
INT_PTR CALLBACK DateFilterDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Opens the dialog of the chosen size modally; its end code.
int OpenDateFilterDialog(HWND owner, BackupConfig *record);
