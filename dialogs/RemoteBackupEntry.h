// The remote-backup options sheet (e-mail and FTP pages), opened from the Advanced page of the
// configuration editor on the editor's working copy.
#pragma once
#include <windows.h>

// Returns 1 when a field that the sheet edits differs after it closed, else 0.
int EditRemoteBackupOptions(HWND owner);
