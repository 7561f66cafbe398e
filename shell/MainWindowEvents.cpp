// Handlers of the main window's move, size, close and hand-over messages.
#include "MainWindow.h"

#include <stdlib.h>

#include "GlobalSettings.h"
#include "InternalScheduler.h"
#include "JobControl.h"
#include "Toolbar.h"
#include "ShellState.h"
#include "SingleInstance.h"
#include "TrayAndStatus.h"
#include "resource.h"

// A handed-over command line longer than this is cut; no command line can be longer.
static const DWORD kHandedOverLimit = 32768;

void SetMainWindowTitle(HWND window)
{
    SetWindowTextA(window, kWindowClassName);
}

void OnMainWindowMove(HWND window)
{
    if (IsIconic(window) || IsZoomed(window))
        return;
    RECT rect;
    if (GetWindowRect(window, &rect)) {
        gSettings.positionX = rect.left;
        gSettings.positionY = rect.top;
    }
}

static void TakePlacementFromWindow(HWND window)
{
    RECT rect;
    if (!GetWindowRect(window, &rect))
        return;
    gSettings.sizeX = rect.right - rect.left;
    gSettings.sizeY = rect.bottom - rect.top;
    gSettings.positionX = rect.left;
    gSettings.positionY = rect.top;
}

void OnMainWindowSize(HWND window, UINT type, int width, int height)
{
    if (type == SIZE_MINIMIZED)
        return;
    clientWidth = width;
    clientHeight = height;
    RECT rect;
    if (GetWindowRect(window, &rect)) {
        gSettings.sizeX = rect.right - rect.left;
        gSettings.sizeY = rect.bottom - rect.top;
    }
    int barHeight = LayOutToolbar(clientWidth);
    int statusHeight = 0;
    if (statusBarWindow != nullptr) {
        SendMessageA(statusBarWindow, WM_SIZE, 0, 0);
        RECT status;
        if (GetWindowRect(statusBarWindow, &status))
            statusHeight = status.bottom - status.top;
    }
    if (jobListWindow != nullptr) {
        int listHeight = clientHeight - statusHeight - barHeight;
        MoveWindow(jobListWindow, 0, barHeight, clientWidth, listHeight > 0 ? listHeight : 0, TRUE);
    }
    LayOutStatusBarParts(clientWidth);
    TakePlacementFromWindow(window);
}

void OnMainWindowClose(HWND window)
{
    int command = (hasNextDue == 1 || jobActive == 1) ? IDM_HIDE : IDM_EXIT;
    PostMessageA(window, WM_COMMAND, (WPARAM)command, 0);
}

LRESULT OnMainWindowCopyData(HWND window, const COPYDATASTRUCT *block)
{
    if (block == nullptr)
        return TRUE;
    DWORD size = block->cbData < kHandedOverLimit ? block->cbData : kHandedOverLimit;
    char *text = (char *)malloc((size_t)size + 1);
    if (text == nullptr)
        return TRUE;
    CopyHandedOverText(block, text, (size_t)size + 1);
    SendMessageA(window, WM_COMMANDLINE, 1, (LPARAM)text);
    free(text);
    return TRUE;
}
