#include "AboutBox.h"

#include "DialogHelpers.h"
#include "HelpAccess.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "ProgramVersion.h"
#include "ShellState.h"
#include "resource.h"

namespace {

// Only one about box is open at a time.
WNDPROC previousTitleProc = nullptr;

void OnAboutInit(HWND dialog)
{
    CenterDialog(dialog);
    HWND title = GetDlgItem(dialog, IDC_ABOUT_TITLE);
    SetWindowTextA(title, "");
    previousTitleProc = (WNDPROC)SetWindowLongPtrA(title, GWLP_WNDPROC, (LONG_PTR)AboutTitleProc);
    int major = 0, minor = 0, third = 0;
    GetProgramVersion(&major, &minor, &third);
    char version[64];
    FormatText(version, sizeof(version), "Version %d.%d", major, minor);
    SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, version);
}

void OnAboutHelp(HWND dialog, const HELPINFO *help)
{
    if (help == nullptr || help->iContextType != HELPINFO_WINDOW)
        return;
    if (help->iCtrlId == IDC_ABOUT_WEBPAGE || help->iCtrlId == IDC_ABOUT_CONTACT)
        ShowControlHelpPopup(dialog, help->iCtrlId, "About.txt");
    else
        ShowHelpTopic(GetParent(dialog), IDS_HELPKEY_CONTACT);
}

INT_PTR OnAboutCommand(HWND dialog, int id)
{
    switch (id) {
    case IDOK:
        EndDialog(dialog, 1);
        return TRUE;
    case IDCANCEL:
        // Escape and the close box: the dialog has no Cancel, so they mean OK.
        EndDialog(dialog, 1);
        return TRUE;
    case IDC_ABOUT_WEBPAGE:
        OpenWithShell(IDS_URL_MAKER, dialog, nullptr);
        return TRUE;
    case IDC_ABOUT_CONTACT:
        ShowHelpTopic(GetParent(dialog), IDS_HELPKEY_CONTACT);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void DrawAboutTitle(HDC dc, const RECT *client)
{
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_CENTER | TA_TOP);
    int height = -MulDiv(16, GetDeviceCaps(dc, LOGPIXELSY), 72);
    HFONT font = CreateFontA(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, "Arial");
    HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
    int length = lstrlenA(kProductName);
    SIZE extent = {0, 0};
    GetTextExtentPoint32A(dc, kProductName, length, &extent);
    int x = (client->right - client->left) / 2;
    int y = (client->bottom - client->top) / 2 - extent.cy / 2;
    SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
    TextOutA(dc, x + 2, y + 2, kProductName, length);
    SetTextColor(dc, kAboutTitleColor);
    TextOutA(dc, x, y, kProductName, length);
    if (previous != nullptr)
        SelectObject(dc, previous);
    if (font != nullptr)
        DeleteObject(font);
}

void PaintAboutTitle(HWND window)
{
    HDC dc = GetDC(window);
    if (dc == nullptr)
        return;
    RECT client;
    GetClientRect(window, &client);
    DrawAboutTitle(dc, &client);
    ReleaseDC(window, dc);
}

// The control is validated before the title is drawn, so the static's own painting that
// follows draws nothing over it.
LRESULT CALLBACK AboutTitleProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        PaintAboutTitle(window);
    }
    if (previousTitleProc == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    return CallWindowProcA(previousTitleProc, window, message, wParam, lParam);
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnAboutInit(dialog);
        return TRUE;
    case WM_COMMAND:
        return OnAboutCommand(dialog, LOWORD(wParam));
    case WM_CLOSE:
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        return TRUE;
    case WM_HELP:
        OnAboutHelp(dialog, (const HELPINFO *)lParam);
        return TRUE;
    }
    return FALSE;
}

void ShowAboutBox(HWND owner)
{
    OpenModalDialog(IDD_ABOUT, owner, AboutDialogProc, 0);
}
