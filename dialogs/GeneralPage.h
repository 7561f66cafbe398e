// Page "General" of the configuration editor (dialog 148): description, Enabled, the backup
// sources and the destination, with the running size of the sources.
#pragma once
#include <windows.h>

INT_PTR CALLBACK GeneralPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// The page's apply on the working copy, given the Enabled box and the texts of the description
// and destination boxes: the checks in their order, writing the fields once the sources pass.
// 0 when all pass, else the id of the control to focus (-1: none) with the message in `text`
// (2300 characters). A refused destination stays in the copy in its amended form.
int CheckGeneralPage(bool enabled, const char *description, const char *destination, char *text, size_t textSize);
