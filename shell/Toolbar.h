// The main window's toolbar. The job list's command states reach its buttons through
// GetToolbarWindow by command id.
#pragma once
#include <windows.h>

int CreateToolbar(HWND parent);
void DestroyToolbar();
int GetToolbarHeight();
// NULL while there is no toolbar.
HWND GetToolbarWindow();
// The main window's notifications that are not the job list's (the toolbar's tooltips).
LRESULT OnToolbarNotify(HWND window, NMHDR *header);
