#include "EditorPage.h"

#include <prsht.h>
#include <limits.h>
#include <stdlib.h>

#include "ConfigEditor.h"
#include "DialogHelpers.h"
#include "HelpAccess.h"
#include "MessageBoxSeam.h"

const char kPasswordKeyByteMessage[] =
    "Password cannot contain the section sign (\xA7) character.\n\nPlease choose a password without it.";

void MarkPageChanged(HWND page)
{
    SendMessageA(GetParent(page), PSM_CHANGED, (WPARAM)page, 0);
}

INT_PTR RefusePageApply(HWND page, const char *text, int focusId)
{
    // Also the remote backup sheet's pages refuse here; no apply round of the editor's is then
    // under way, so the note changes nothing.
    NoteEditorPageRefused();
    ShowMessageBox(page, text, kProductName, MB_OK);
    if (focusId != 0)
        SetFocus(GetDlgItem(page, focusId));
    SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_INVALID);
    return TRUE;
}

INT_PTR AcceptPageApply(HWND page)
{
    configSaved = 1;
    PostMessageA(GetParent(page), PSM_CANCELTOCLOSE, 0, 0);
    return PassPageApply(page);
}

INT_PTR PassPageApply(HWND page)
{
    NoteEditorPagePassed(page);
    SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
    return TRUE;
}

INT_PTR HandleCommonPageNotify(HWND page, const NMHDR *header, const EditorPageHelp &help)
{
    switch (header->code) {
    case PSN_RESET:
        configSaved = 0;
        break;
    case PSN_HELP:
        ShowHelpTopic(GetParent(page), help.topicId);
        break;
    default:
        return FALSE;
    }
    SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
    return TRUE;
}

void ShowPageHelp(HWND page, const HELPINFO *info, const EditorPageHelp &help)
{
    if (info->iContextType == HELPINFO_WINDOW) {
        for (const int *id = help.popupIds; *id != 0; ++id) {
            if (*id == info->iCtrlId) {
                ShowControlHelpPopup(page, info->iCtrlId, help.popupFile);
                return;
            }
        }
    }
    ShowHelpTopic(GetParent(page), help.topicId);
}

INT_PTR AnswerCommonPageMessage(HWND page, UINT message, LPARAM lParam, const EditorPageHelp &help)
{
    switch (message) {
    case WM_NOTIFY:
        return HandleCommonPageNotify(page, reinterpret_cast<const NMHDR *>(lParam), help);
    case WM_HELP:
        ShowPageHelp(page, reinterpret_cast<const HELPINFO *>(lParam), help);
        return TRUE;
    case WM_DESTROY:
        SetWindowLongPtrA(page, GWLP_USERDATA, 0);
        return FALSE;
    }
    return FALSE;
}

bool IsApplyNotification(LPARAM lParam)
{
    return reinterpret_cast<const NMHDR *>(lParam)->code == PSN_APPLY;
}

int ParseBoxNumber(const char *text)
{
    long long value = strtoll(text, nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return (int)value;
}

int ReadBoxNumber(HWND dialog, int id, int maxChars)
{
    char text[128] = "";
    int size = maxChars + 1 < (int)sizeof text ? maxChars + 1 : (int)sizeof text;
    GetDlgItemTextA(dialog, id, text, size);
    return ParseBoxNumber(text);
}

bool IsBoxChecked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void CheckRadioPair(HWND dialog, int first, int second, bool firstChosen)
{
    CheckDlgButton(dialog, first, firstChosen ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, second, firstChosen ? BST_UNCHECKED : BST_CHECKED);
}

int OpenRecordDialog(HWND owner, int templateId, DLGPROC procedure, void *record)
{
    return OpenModalDialog(templateId, owner, procedure, (LPARAM)record) == 1 ? 1 : 0;
}
