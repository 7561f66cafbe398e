// Entry points of work that lives elsewhere (configuration dialogs, help, update
// check, shortcuts). They do nothing visible yet.
#pragma once
#include <windows.h>
#include "Toolbar.h"

void EditBackupConfig(HWND window, int index);
void DeleteBackupConfig(HWND window);
void CopyBackupConfig(HWND window);
void ShowColumnChooser(HWND window);
void ShowOptionsDialog(HWND window);
void ShowAboutBox(HWND window);
void ShowCombineSplitZip(HWND window);
void CreateDesktopShortcut(HWND window, int index);
void CallHtmlHelp(HWND window, const char *topic, UINT command);
void CheckForUpdateIfDue(HWND window);
void MergeColumnOrderAfterDrag(HWND window);
