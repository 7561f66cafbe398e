#include "NotesPage.h"

#include <prsht.h>
#include <string.h>

#include "ConfigEditor.h"
#include "ConfigTable.h"
#include "EditorPage.h"
#include "resource.h"

namespace {

const int kNotesLimit = 4095;
const int kPopupControls[] = {IDC_NOTES_TEXT, 0};
const EditorPageHelp kHelp = {IDS_HELPKEY_CFG_NOTES, "CfgNotes.txt", kPopupControls};

// GWLP_USERDATA: 1 once the page has filled its box, so later updates are the user's.
bool IsPageReady(HWND page)
{
    return GetWindowLongPtrA(page, GWLP_USERDATA) != 0;
}

// The dialog manager selects the whole text when the box gets the focus; the note stays
// unselected so that a key press does not replace it.
void RemoveSelection(HWND page)
{
    PostMessageA(GetDlgItem(page, IDC_NOTES_TEXT), EM_SETSEL, (WPARAM)-1, 0);
}

void OnNotesInit(HWND page)
{
    SendDlgItemMessageA(page, IDC_NOTES_TEXT, EM_LIMITTEXT, kNotesLimit, 0);
    SetDlgItemTextA(page, IDC_NOTES_TEXT, editedConfig.notes);
    RemoveSelection(page);
    SetWindowLongPtrA(page, GWLP_USERDATA, 1);
}

INT_PTR OnNotesApply(HWND page)
{
    char notes[kNotesLimit + 1] = "";
    GetDlgItemTextA(page, IDC_NOTES_TEXT, notes, sizeof notes);
    if (strcmp(notes, editedConfig.notes) != 0) {
        lstrcpynA(editedConfig.notes, notes, sizeof editedConfig.notes);
        return AcceptPageApply(page);
    }
    // Unchanged notes count as no edit of their own, yet Cancel becomes Close all the same.
    PostMessageA(GetParent(page), PSM_CANCELTOCLOSE, 0, 0);
    return PassPageApply(page);
}

INT_PTR OnNotesCommand(HWND page, int id, int code)
{
    if (id != IDC_NOTES_TEXT)
        return FALSE;
    if (code == EN_SETFOCUS)
        RemoveSelection(page);
    else if (code == EN_CHANGE && IsPageReady(page))
        MarkPageChanged(page);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK NotesPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnNotesInit(page);
        return TRUE;
    case WM_COMMAND:
        return OnNotesCommand(page, LOWORD(wParam), HIWORD(wParam));
    case WM_NOTIFY:
        if (IsApplyNotification(lParam))
            return OnNotesApply(page);
        break;
    }
    return AnswerCommonPageMessage(page, message, lParam, kHelp);
}
