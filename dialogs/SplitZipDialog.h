// Dialog 151 "Split Compressed ZIP": whether the ZIP file is split into volumes and how large
// they are, on the record it is opened with (the editor's working copy).
#pragma once
#include <windows.h>

#include "BackupConfig.h"

// The init parameter is the record; ends with 1 when a value changed, else 0.
INT_PTR CALLBACK SplitZipDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Opens the dialog of the chosen size modally; its end code.
int OpenSplitZipDialog(HWND owner, BackupConfig *record);
