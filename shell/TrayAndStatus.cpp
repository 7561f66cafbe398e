// Notification-area icon and status bar: the icon with the program's name as its tip, and a
// status bar with one part. The tip's status line, the four parts and the menu help come with
// their own work.
#include "TrayAndStatus.h"

#include <commctrl.h>
#include <shellapi.h>

#include "ConfigTable.h"
#include "ShellState.h"
#include "resource.h"

static NOTIFYICONDATAA trayIcon;
static int trayIconAdded = 0;
static int trayRetriesLeft = 0;

HWND CreateStatusBar(HWND parent)
{
    return CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, parent,
                           (HMENU)(INT_PTR)IDC_MAIN_STATUSBAR, programInstance, nullptr);
}

void UpdateStatusBar()
{
}

void UpdateTrayIcon()
{
}

static int TryAddTrayIcon()
{
    trayIconAdded = Shell_NotifyIconA(NIM_ADD, &trayIcon) ? 1 : 0;
    return trayIconAdded;
}

// A notification area that is not there yet (early in a session) is asked again every 100 ms,
// 101 more times, from a timer: the window keeps working meanwhile.
void AddTrayIcon(HWND window)
{
    ZeroMemory(&trayIcon, sizeof(trayIcon));
    trayIcon.cbSize = sizeof(trayIcon);
    trayIcon.hWnd = window;
    trayIcon.uID = TRAY_ICON_UID;
    trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    trayIcon.uCallbackMessage = WM_TRAYICON;
    trayIcon.hIcon = (HICON)LoadImageA(programInstance, MAKEINTRESOURCEA(IDI_VELLORAN), IMAGE_ICON, 16, 16, LR_SHARED);
    lstrcpynA(trayIcon.szTip, "Velloran", sizeof(trayIcon.szTip));
    if (TryAddTrayIcon()) {
        UpdateTrayIcon();
        return;
    }
    trayRetriesLeft = 101;
    SetTimer(window, kTrayRetryTimerId, 100, nullptr);
}

void OnTrayRetryTimer(HWND window)
{
    if (TryAddTrayIcon() || --trayRetriesLeft <= 0) {
        KillTimer(window, kTrayRetryTimerId);
        if (trayIconAdded)
            UpdateTrayIcon();
    }
}

void RemoveTrayIcon(HWND window)
{
    KillTimer(window, kTrayRetryTimerId);
    if (trayIconAdded)
        Shell_NotifyIconA(NIM_DELETE, &trayIcon);
    trayIconAdded = 0;
}

void OnTrayIconMessage(HWND window, UINT mouseMessage)
{
    if (mouseMessage == WM_LBUTTONDOWN)
        SendMessageA(window, WM_COMMAND, IsWindowVisible(window) ? IDM_HIDE : IDM_RESTORE, 0);
}

void InitMenuHelp()
{
}

LRESULT OnMenuSelect(WPARAM, LPARAM)
{
    return 0;
}
