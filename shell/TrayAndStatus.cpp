// The notification-area icon: idle or running icon, with the status line in its tip. The
// registration block is kept for the whole run so an unchanged state sends nothing.
#include "TrayAndStatus.h"

#include <string.h>

#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "ShellState.h"
#include "resource.h"

#ifndef _WIN64
static_assert(sizeof(NOTIFYICONDATAA) == 508, "the registration block is the 508-byte form");
#endif

namespace {

const int kTrayRetries = 101;
const UINT kTrayRetryMilliseconds = 100;
const size_t kTrayStatusSize = 90;

NOTIFYICONDATAA trayIcon;
int trayIconAdded = 0;
int trayRetriesLeft = 0;
HICON idleIcon = nullptr;
HICON runningIcon = nullptr;
TrayNotifyFunction trayNotify = nullptr;

BOOL NotifyTray(DWORD message)
{
    if (trayNotify != nullptr)
        return trayNotify(message, &trayIcon);
    return Shell_NotifyIconA(message, &trayIcon);
}

void LoadTrayIcons()
{
    if (idleIcon == nullptr)
        idleIcon = (HICON)LoadImageA(programInstance, MAKEINTRESOURCEA(IDI_VELLORAN), IMAGE_ICON, 16, 16, LR_SHARED);
    if (runningIcon == nullptr)
        runningIcon = (HICON)LoadImageA(programInstance, MAKEINTRESOURCEA(IDI_RUNNING), IMAGE_ICON, 16, 16, LR_SHARED);
}

int TryAddTrayIcon()
{
    trayIconAdded = NotifyTray(NIM_ADD) ? 1 : 0;
    return trayIconAdded;
}

// A notification area that is not there yet (early in a session) is asked again every 100 ms,
// 101 more times, from a timer, so the window is usable meanwhile.
void AddOrRetry(HWND window)
{
    if (TryAddTrayIcon()) {
        UpdateTrayIcon();
        return;
    }
    trayRetriesLeft = kTrayRetries;
    SetTimer(window, kTrayRetryTimerId, kTrayRetryMilliseconds, nullptr);
}

void ShowTrayMenu(HWND window)
{
    HMENU menu = LoadMenuA(programInstance, MAKEINTRESOURCEA(IDR_TASKTRAY));
    if (menu == nullptr)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    // The menu closes on a click elsewhere only when the window is in the foreground.
    SetForegroundWindow(window);
    if (popup != nullptr)
        TrackPopupMenuEx(popup, TPM_BOTTOMALIGN | TPM_RIGHTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, window,
                         nullptr);
    PostMessageA(window, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

}  // namespace

void SetTrayNotifyForTesting(TrayNotifyFunction notify)
{
    trayNotify = notify;
}

const NOTIFYICONDATAA *GetTrayRegistration()
{
    return &trayIcon;
}

HICON GetIdleTrayIcon()
{
    LoadTrayIcons();
    return idleIcon;
}

HICON GetRunningTrayIcon()
{
    LoadTrayIcons();
    return runningIcon;
}

void UpdateTrayIcon()
{
    LoadTrayIcons();
    char status[kTrayStatusSize];
    int running = FormatStatusLine(status, sizeof(status));
    char tip[sizeof(trayIcon.szTip)];
    if (strlen(kProductName) + 1 + strlen(status) >= sizeof(tip))
        lstrcpynA(tip, status, sizeof(tip));
    else
        FormatText(tip, sizeof(tip), "%s\n%s", kProductName, status);
    HICON icon = running > 0 ? runningIcon : idleIcon;
    if (icon == trayIcon.hIcon && strcmp(tip, trayIcon.szTip) == 0)
        return;
    trayIcon.hIcon = icon;
    lstrcpynA(trayIcon.szTip, tip, sizeof(trayIcon.szTip));
    if (trayIconAdded)
        NotifyTray(NIM_MODIFY);
}

void AddTrayIcon(HWND window)
{
    LoadTrayIcons();
    ZeroMemory(&trayIcon, sizeof(trayIcon));
    trayIcon.cbSize = sizeof(trayIcon);
    trayIcon.hWnd = window;
    trayIcon.uID = TRAY_ICON_UID;
    trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    trayIcon.uCallbackMessage = WM_TRAYICON;
    trayIcon.hIcon = idleIcon;
    lstrcpynA(trayIcon.szTip, kProductName, sizeof(trayIcon.szTip));
    trayIconAdded = 0;
    AddOrRetry(window);
}

void OnTrayRetryTimer(HWND window)
{
    if (TryAddTrayIcon() || --trayRetriesLeft <= 0) {
        KillTimer(window, kTrayRetryTimerId);
        if (trayIconAdded)
            UpdateTrayIcon();
    }
}

int IsTaskbarCreatedMessage(UINT message)
{
    static UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    return taskbarCreated != 0 && message == taskbarCreated;
}

// A new notification area knows nothing of the icon: add it again with its current state.
void OnTaskbarCreated(HWND window)
{
    if (trayIcon.hWnd != window)
        return;
    KillTimer(window, kTrayRetryTimerId);
    AddOrRetry(window);
}

// Called while the window still exists: the notification area drops an icon by its window.
void RemoveTrayIcon(HWND window)
{
    KillTimer(window, kTrayRetryTimerId);
    if (trayIconAdded)
        NotifyTray(NIM_DELETE);
    trayIconAdded = 0;
}

void OnTrayIconMessage(HWND window, UINT mouseMessage)
{
    if (mouseMessage == WM_LBUTTONDOWN)
        SendMessageA(window, WM_COMMAND, IsWindowVisible(window) ? IDM_HIDE : IDM_RESTORE, 0);
    else if (mouseMessage == WM_RBUTTONDOWN)
        ShowTrayMenu(window);
}
