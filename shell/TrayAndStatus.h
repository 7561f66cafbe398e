// Notification-area icon and status bar of the main window.
#pragma once
#include <windows.h>

const UINT kTrayRetryTimerId = 2;

HWND CreateStatusBar(HWND parent);
void UpdateStatusBar();
void UpdateTrayIcon();
// Adds the icon; when the notification area is not there yet, retries from a timer.
void AddTrayIcon(HWND window);
void OnTrayRetryTimer(HWND window);
void RemoveTrayIcon(HWND window);
void OnTrayIconMessage(HWND window, UINT mouseMessage);
void InitMenuHelp();
LRESULT OnMenuSelect(WPARAM wParam, LPARAM lParam);
