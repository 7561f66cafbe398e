// Dialog 425 "Filename Extension": one extension of the filter, typed with or without its dot.
#include <windows.h>
#include <string.h>

#include "CancelAndHelp.h"
#include "DialogHelpers.h"
#include "FilterOptionsDialog.h"
#include "MessageBoxSeam.h"
#include "TextHelpers.h"
#include "resource.h"

namespace {

const int kBoxLimit = 8;
const int kPopupControls[] = {IDC_EXTENSION_TEXT, 0};
const EditorPageHelp kHelp = {IDS_HELPKEY_FILE_EXTENSION, "FileExtension.txt", kPopupControls};

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
    if (AnswerCancelAndHelp(dialog, message, wParam, lParam, IDC_EXTENSION_HELP, kHelp))
        return TRUE;
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
        }
        return FALSE;
    }
    return FALSE;
}
