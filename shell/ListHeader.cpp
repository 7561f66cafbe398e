// The job list header's subclass: it remembers the last mouse position for the header menu.
#include "ColumnChooser.h"

#include <commctrl.h>
#include <windowsx.h>

namespace {

WNDPROC previousHeaderProc = nullptr;
POINT headerMouse = {0, 0};

}  // namespace

LRESULT CALLBACK ListHeaderProc(HWND header, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_MOUSEMOVE) {
        headerMouse.x = GET_X_LPARAM(lParam);
        headerMouse.y = GET_Y_LPARAM(lParam);
    }
    if (previousHeaderProc == nullptr)
        return DefWindowProcA(header, message, wParam, lParam);
    return CallWindowProcA(previousHeaderProc, header, message, wParam, lParam);
}

void InstallListHeaderSubclass(HWND list)
{
    HWND header = (HWND)SendMessageA(list, LVM_GETHEADER, 0, 0);
    if (header == nullptr)
        return;
    WNDPROC previous = (WNDPROC)SetWindowLongPtrA(header, GWLP_WNDPROC, (LONG_PTR)ListHeaderProc);
    if (previous != ListHeaderProc)
        previousHeaderProc = previous;
}

POINT GetHeaderMenuPoint(HWND header)
{
    POINT point = headerMouse;
    ClientToScreen(header, &point);
    return point;
}
