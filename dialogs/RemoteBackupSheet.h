// The "Remote Backup Options" sheet that the Advanced page opens: the E-Mail page (dialog 426)
// and the FTP page (154) on the editor's working copy `editedConfig`.
#pragma once
#include <windows.h>

#include "BackupConfig.h"

// Runs the sheet; 1 when a field of the two pages differs afterwards (also after Cancel, when
// an Apply came first), else 0.
int EditRemoteBackupOptions(HWND owner);
// 1 at the first field of the two pages in which the records differ.
int RemoteOptionsDiffer(const BackupConfig &before, const BackupConfig &after);

INT_PTR CALLBACK EmailPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FtpPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// The FTP page's protocol list: the entry that the flags choose, and the flags with the entry's
// bit in place of the three protocol bits.
int FtpProtocolIndex(uint32_t flags);
uint32_t ApplyFtpProtocol(uint32_t flags, int index);
