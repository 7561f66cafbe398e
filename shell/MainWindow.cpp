// The main window's procedure: each message is unpacked and handed to its handler.
#include "MainWindow.h"

#include "ColumnChooser.h"
#include "ConfigTable.h"
#include "InternalScheduler.h"
#include "JobControl.h"
#include "JobList.h"
#include "ShellState.h"
#include "SingleInstance.h"
#include "TrayAndStatus.h"
#include "resource.h"

int RegisterMainWindowClass(HINSTANCE instance)
{
    WNDCLASSEXA windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_OWNDC | CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_VELLORAN));
    windowClass.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClassName;
    return RegisterClassExA(&windowClass) != 0 ? 1 : 0;
}

HWND CreateMainWindow(HINSTANCE instance)
{
    mainMenu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_MAINMENU));
    return CreateWindowExA(0, kWindowClassName, kWindowClassName, WS_OVERLAPPEDWINDOW, 0, 0, CW_USEDEFAULT,
                           CW_USEDEFAULT, nullptr, mainMenu, instance, nullptr);
}

static void OnMainWindowPaint(HWND window)
{
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
}

static LRESULT HandleMainWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        if (!OnMainWindowCreate(window))
            PostQuitMessage(0);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_MOVE:
        OnMainWindowMove(window);
        return 0;
    case WM_SIZE:
        OnMainWindowSize(window, (UINT)wParam, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_PAINT:
        OnMainWindowPaint(window);
        return 0;
    case WM_CLOSE:
        OnMainWindowClose(window);
        return 0;
    case WM_QUERYENDSESSION:
        ShutDownMainWindow(window);
        return TRUE;
    case WM_ENDSESSION:
        // The session may end without having been asked (a forced log-off).
        if (wParam)
            ShutDownMainWindow(window);
        return 0;
    case WM_WININICHANGE:
        RebuildJobList(-1);
        return 0;
    case WM_COPYDATA:
        return OnMainWindowCopyData(window, (const COPYDATASTRUCT *)lParam);
    case WM_NOTIFY:
        return OnMainWindowNotify(window, (NMHDR *)lParam);
    case WM_CONTEXTMENU:
        if (OnMainWindowContextMenu((HWND)wParam, lParam))
            return 0;
        break;
    case WM_COMMAND:
        if (OnMainCommand(window, LOWORD(wParam)))
            return 0;
        break;
    case WM_TIMER:
        OnMainTimer(window, (UINT_PTR)wParam);
        return 0;
    case WM_MENUSELECT:
        return OnMenuSelect(wParam, lParam);
    case WM_TRAYICON:
        OnTrayIconMessage(window, (UINT)lParam);
        return 0;
    case WM_JOBFINISHED:
        OnJobFinished(window, (int)wParam);
        return 0;
    case WM_COMMANDLINE:
        OnMainWindowCommandLine(window, (int)wParam, (const char *)lParam);
        return 0;
    case WM_COLUMNSDRAGGED:
        MergeColumnOrderAfterDrag();
        return 0;
    }
    if (IsTaskbarCreatedMessage(message)) {
        OnTaskbarCreated(window);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    ++mainHandlerDepth;
    LRESULT result = HandleMainWindowMessage(window, message, wParam, lParam);
    if (--mainHandlerDepth == 0)
        OnMainHandlersReturned(window);
    return result;
}
