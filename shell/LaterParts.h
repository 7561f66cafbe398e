// Entry points of work that lives elsewhere (the options dialog and the editor's filter
// options). They do nothing visible yet.
#pragma once
#include <windows.h>
#include "Toolbar.h"

void ShowOptionsDialog(HWND window);
// Filter options of the editor's working copy (dialog 149); non-zero when a value changed.
int OpenFilterOptions(HWND owner);
