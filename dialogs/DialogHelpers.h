// Routines every dialog uses: centring, the template of the chosen size, opening with the shell.
#pragma once
#include <windows.h>

void CenterDialog(HWND dialog);
// The module that holds the dialog templates: the program's own, also in test programs.
HINSTANCE DialogInstance();
int GetDialogTemplateId(int id);
// Shows dialog `id` in the chosen size modally and returns its result (-1 when it did not open).
INT_PTR OpenModalDialog(int id, HWND owner, DLGPROC procedure, LPARAM parameter);
// stringId -1 opens path; otherwise the string resource's text.
int OpenWithShell(int stringId, HWND owner, const char *path);
INT_PTR CALLBACK ConfirmExitDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Opens dialog 161; 1 for Yes, 0 for No.
int ConfirmExit(HWND owner);
