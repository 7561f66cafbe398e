// Dialog 425 "Filename Extension": one extension of the filter, typed with or without its dot.
#include <windows.h>
#include <string.h>

#include "DialogHelpers.h"
#include "FilterOptionsDialog.h"
#include "HelpAccess.h"
#include "MessageBoxSeam.h"
#include "TextHelpers.h"
#include "resource.h"

namespace {

const int kBoxLimit = 8;

void OnExtensionOk(HWND dialog)
{
    char typed[kBoxLimit + 1] = "";
    GetDlgItemTextA(dialog, IDC_EXTENSION_TEXT, typed, sizeof typed);
    char extension[kBoxLimit + 1];
    const char *problem = NormalizeExtension(typed, extension);
    if (problem != nullptr) {
        ShowMessageBox(dialog, problem, kProductName, MB_OK);
        return;
    }
    char *buffer = reinterpret_cast<char *>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
    if (strcmp(extension, buffer) == 0) {
        EndDialog(dialog, 0);
        return;
    }
    lstrcpynA(buffer, extension, kBoxLimit + 1);
    EndDialog(dialog, 1);
}

void OnExtensionHelp(HWND dialog, const HELPINFO *info)
{
    if (info->iContextType == HELPINFO_WINDOW && info->iCtrlId == IDC_EXTENSION_TEXT)
        ShowControlHelpPopup(dialog, IDC_EXTENSION_TEXT, "FileExtension.txt");
    else
        ShowHelpTopic(GetParent(dialog), IDS_HELPKEY_FILE_EXTENSION);
}

}  // namespace

const char *NormalizeExtension(const char *typed, char *out)
{
    char text[kBoxLimit + 2];
    lstrcpynA(text, typed, kBoxLimit + 1);
    TrimTrailingWhitespace(text);
    char *dot = strchr(text, '.');
    if (dot != nullptr) {
        memmove(text, dot, strlen(dot) + 1);
    } else {
        if (strlen(text) > (size_t)kBoxLimit - 1)
            return "Extension too long";
        PrependChar(text, '.');
    }
    CharLowerA(text);
    if (strlen(text) < 2)
        return "Extension too short";
    lstrcpynA(out, text, kBoxLimit + 1);
    return nullptr;
}

INT_PTR CALLBACK ExtensionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
        CenterDialog(dialog);
        SendDlgItemMessageA(dialog, IDC_EXTENSION_TEXT, EM_LIMITTEXT, kBoxLimit, 0);
        SetDlgItemTextA(dialog, IDC_EXTENSION_TEXT, reinterpret_cast<const char *>(lParam));
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnExtensionOk(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        case IDC_EXTENSION_HELP:
            ShowHelpTopic(GetParent(dialog), IDS_HELPKEY_FILE_EXTENSION);
            return TRUE;
        }
        return FALSE;
    case WM_HELP:
        OnExtensionHelp(dialog, reinterpret_cast<const HELPINFO *>(lParam));
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}
