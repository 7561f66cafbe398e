// Notification-area icon, status bar and menu help of the main window. The icon's tip and the
// status bar's first part carry the same status line.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <stddef.h>

const UINT kTrayRetryTimerId = 2;

// ---- Status line and status bar ----
// Writes the status line for the local time now and returns the number of running jobs.
int FormatStatusLine(char *buffer, size_t size);
int FormatStatusLineAt(char *buffer, size_t size, const SYSTEMTIME *now);
HWND CreateStatusBar(HWND parent);
// Refreshes the four parts; UpdateStatusBarAt uses a local time the caller already read.
void UpdateStatusBar();
void UpdateStatusBarAt(const SYSTEMTIME *now);
// Measures the four parts for the client width, then refills them.
void LayOutStatusBarParts(int clientWidth);

// ---- Tray icon ----
void UpdateTrayIcon();
// Adds the icon; when the notification area is not there yet, retries from a timer.
void AddTrayIcon(HWND window);
void OnTrayRetryTimer(HWND window);
void RemoveTrayIcon(HWND window);
void OnTrayIconMessage(HWND window, UINT mouseMessage);
// The shell's "TaskbarCreated" broadcast: a restarted notification area has lost the icon.
int IsTaskbarCreatedMessage(UINT message);
void OnTaskbarCreated(HWND window);
// Tests replace Shell_NotifyIconA (which fails without a notification area); NULL restores it.
typedef BOOL (*TrayNotifyFunction)(DWORD message, NOTIFYICONDATAA *data);
void SetTrayNotifyForTesting(TrayNotifyFunction notify);
const NOTIFYICONDATAA *GetTrayRegistration();
HICON GetIdleTrayIcon();
HICON GetRunningTrayIcon();

// ---- Menu help ----
void InitMenuHelp();
LRESULT OnMenuSelect(WPARAM wParam, LPARAM lParam);
// The string with the help text of a command (menu item or toolbar button): the command's id,
// or the Stop text for Run Now while the selected configuration runs.
UINT GetCommandHelpId(UINT commandId);
// The help text of the item that WM_MENUSELECT (wParam, lParam) names; empty when it has none.
void GetMenuItemHelpText(WPARAM wParam, LPARAM lParam, char *out, int outSize);
