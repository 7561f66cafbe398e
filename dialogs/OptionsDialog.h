// Dialog 157 "Options": the program-wide options held in gSettings (written to the registry at
// exit), with dialog 428 "E-Mail Backup Results" for the job-result e-mail's settings.
#pragma once
#include <windows.h>

// The main window's Options command.
void ShowOptionsDialog(HWND owner);

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK JobResultEmailDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The rules of dialog 157's boxes and lists.
int ClampRetryCount(int typed);
int ClampTimeout(int typed);
int VersionCheckIndex(int newVersionFrequency);
int VersionCheckDays(int index);
int DialogSizeIndex(int dialogSize);
int DialogSizePoints(int index);
int JobResultWhenIndex(int jrEmailWhen);
int ApplyJobResultWhen(int jrEmailWhen, int index, bool problemsOnly);
