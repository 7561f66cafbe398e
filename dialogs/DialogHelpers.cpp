#include "DialogHelpers.h"

#include <shellapi.h>
#include <string.h>

#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "ResourceText.h"
#include "resource.h"

void CenterDialog(HWND dialog)
{
    HWND reference = mainWindow;
    if (reference == nullptr || !IsWindow(reference) || IsIconic(reference))
        reference = GetDesktopWindow();
    RECT client;
    GetClientRect(reference, &client);
    MapWindowPoints(reference, nullptr, (POINT *)&client, 2);
    RECT own;
    GetWindowRect(dialog, &own);
    int width = own.right - own.left;
    int height = own.bottom - own.top;
    int x = client.left + (client.right - client.left) / 2 - width / 2;
    int y = client.top + (client.bottom - client.top) / 2 - height / 2;
    HDC dc = GetDC(dialog);
    int screenWidth = GetDeviceCaps(dc, HORZRES);
    int screenHeight = GetDeviceCaps(dc, VERTRES);
    ReleaseDC(dialog, dc);
    if (x > screenWidth)
        x = screenWidth - width;
    if (x < -(width / 2))
        x = 0;
    if (y > screenHeight)
        y = screenHeight - height;
    if (y < -(height / 2))
        y = 0;
    MoveWindow(dialog, x, y, width, height, FALSE);
}

HINSTANCE DialogInstance()
{
    return programInstance != nullptr ? programInstance : GetModuleHandleA(nullptr);
}

int GetDialogTemplateId(int id)
{
    switch (gSettings.dialogSize) {
    case 10:
        return id + DLG_OFFSET_10PT;
    case 12:
        return id + DLG_OFFSET_12PT;
    default:
        return id;
    }
}

INT_PTR OpenModalDialog(int id, HWND owner, DLGPROC procedure, LPARAM parameter)
{
    return DialogBoxParamA(DialogInstance(), MAKEINTRESOURCEA(GetDialogTemplateId(id)), owner, procedure, parameter);
}

static UINT ShellErrorString(INT_PTR code)
{
    switch (code) {
    case SE_ERR_OOM:
        return IDS_SHELL_OUT_OF_MEMORY;
    case SE_ERR_ASSOCINCOMPLETE:
        return IDS_SHELL_BAD_ASSOCIATION;
    case SE_ERR_NOASSOC:
        return IDS_SHELL_NO_ASSOCIATION;
    default:
        return IDS_SHELL_OTHER_ERROR;
    }
}

int OpenWithShell(int stringId, HWND owner, const char *path)
{
    char target[512];
    if (stringId == -1) {
        if (path == nullptr || strlen(path) > 511)
            return 0;
        lstrcpynA(target, path, sizeof(target));
    } else {
        LoadResourceText((UINT)stringId, target, 201);
    }
    INT_PTR result = (INT_PTR)ShellExecuteA(owner, "open", target, nullptr, nullptr, SW_SHOWNORMAL);
    if (result > 32)
        return 1;
    char text[640];
    if (result == ERROR_FILE_NOT_FOUND)
        FormatText(text, sizeof(text), "The specified file was not found:\n%s", target);
    else
        LoadResourceText(ShellErrorString(result), text, sizeof(text));
    ShowMessageBox(owner, text, kProductName, MB_OK);
    return 0;
}

static void OnConfirmExitInit(HWND dialog)
{
    CenterDialog(dialog);
    CheckDlgButton(dialog, IDC_CONFIRM_EXIT_DONT_ASK, gSettings.askExit == 0 ? BST_CHECKED : BST_UNCHECKED);
}

static void OnConfirmExitAnswer(HWND dialog, int yes)
{
    gSettings.askExit = IsDlgButtonChecked(dialog, IDC_CONFIRM_EXIT_DONT_ASK) == BST_CHECKED ? 0 : 1;
    EndDialog(dialog, yes);
}

INT_PTR CALLBACK ConfirmExitDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnConfirmExitInit(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_CONFIRM_EXIT_YES || LOWORD(wParam) == IDC_CONFIRM_EXIT_NO) {
            OnConfirmExitAnswer(dialog, LOWORD(wParam) == IDC_CONFIRM_EXIT_YES ? 1 : 0);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        PostMessageA(dialog, WM_COMMAND, IDC_CONFIRM_EXIT_NO, 0);
        return TRUE;
    }
    return FALSE;
}

int ConfirmExit(HWND owner)
{
    return OpenModalDialog(IDD_CONFIRM_EXIT, owner, ConfirmExitDialogProc, 0) == 1 ? 1 : 0;
}
