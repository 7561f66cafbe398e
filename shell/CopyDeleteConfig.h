// The main window's Copy and Delete commands on the configuration selected in the job list.
#pragma once
#include <windows.h>

void CopyBackupConfig(HWND window);
void DeleteBackupConfig(HWND window);
