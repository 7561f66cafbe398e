// Entry points of work that lives elsewhere (configuration dialogs, help, update
// check, shortcuts). They do nothing visible yet.
#pragma once
#include <windows.h>
#include "Toolbar.h"

void ShowColumnChooser(HWND window);
void ShowOptionsDialog(HWND window);
void ShowAboutBox(HWND window);
void CreateDesktopShortcut(HWND window, int index);
// Filter options of the editor's working copy (dialog 149); non-zero when a value changed.
int OpenFilterOptions(HWND owner);
void CheckForUpdateIfDue(HWND window);
void MergeColumnOrderAfterDrag(HWND window);
