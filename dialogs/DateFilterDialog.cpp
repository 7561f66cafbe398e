#include "DateFilterDialog.h"

#include <commctrl.h>

#include "CancelAndHelp.h"
#include "DialogHelpers.h"
#include "EditorPage.h"
#include "MsvcrtFormat.h"
#include "resource.h"

namespace {

const int kPopupControls[] = {IDC_DATEFILTER_ALWAYS_ALL, IDC_DATEFILTER_CHANGED_ONLY, IDC_DATEFILTER_EVERY,
                              IDC_DATEFILTER_EVERY_COUNT, 0};
const EditorPageHelp kHelp = {IDS_HELPKEY_ZIP_DATE_FILTER, "DateFilterZIP.txt", kPopupControls};

// GWLP_USERDATA: the record the dialog edits.
BackupConfig *RecordOf(HWND dialog)
{
    return reinterpret_cast<BackupConfig *>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
}

void OnDateFilterInit(HWND dialog, BackupConfig *record)
{
    CenterDialog(dialog);
    SetWindowLongPtrA(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
    CheckRadioButton(dialog, IDC_DATEFILTER_ALWAYS_ALL, IDC_DATEFILTER_CHANGED_ONLY,
                     (record->dateFilterFlags & AlwaysAll) ? IDC_DATEFILTER_ALWAYS_ALL : IDC_DATEFILTER_CHANGED_ONLY);
    CheckDlgButton(dialog, IDC_DATEFILTER_EVERY, (record->dateFilterFlags & EveryNAll) ? BST_CHECKED : BST_UNCHECKED);
    SendDlgItemMessageA(dialog, IDC_DATEFILTER_EVERY_SPIN, UDM_SETRANGE32, 1, 9999);
    char text[32];
    FormatText(text, sizeof text, "%d", (int)record->fullBackupEvery);
    SetDlgItemTextA(dialog, IDC_DATEFILTER_EVERY_COUNT, text);
    PostMessageA(dialog, WM_REFRESHSTATES, 0, 0);
}

void OnDateFilterRefresh(HWND dialog)
{
    bool all = IsBoxChecked(dialog, IDC_DATEFILTER_ALWAYS_ALL);
    bool every = !all && IsBoxChecked(dialog, IDC_DATEFILTER_EVERY);
    EnableWindow(GetDlgItem(dialog, IDC_DATEFILTER_EVERY), !all);
    EnableWindow(GetDlgItem(dialog, IDC_DATEFILTER_EVERY_LABEL), !all);
    EnableWindow(GetDlgItem(dialog, IDC_DATEFILTER_EVERY_COUNT), every);
    EnableWindow(GetDlgItem(dialog, IDC_DATEFILTER_EVERY_SPIN), every);
}

// Sets or clears one flag; true when that changed it.
bool SetFlag(int32_t *flags, int32_t flag, bool on)
{
    int32_t updated = on ? (*flags | flag) : (*flags & ~flag);
    bool changed = updated != *flags;
    *flags = updated;
    return changed;
}

void OnDateFilterOk(HWND dialog)
{
    BackupConfig &c = *RecordOf(dialog);
    int changed = 0;
    // Both bits are kept on their own: Every keeps its state while All is chosen.
    if (SetFlag(&c.dateFilterFlags, AlwaysAll, IsBoxChecked(dialog, IDC_DATEFILTER_ALWAYS_ALL)))
        changed = 1;
    if (SetFlag(&c.dateFilterFlags, EveryNAll, IsBoxChecked(dialog, IDC_DATEFILTER_EVERY)))
        changed = 1;
    int every = ReadBoxNumber(dialog, IDC_DATEFILTER_EVERY_COUNT, 62);
    if (every != c.fullBackupEvery) {
        c.fullBackupEvery = every;
        changed = 1;
    }
    EndDialog(dialog, changed);
}

INT_PTR OnDateFilterCommand(HWND dialog, int id)
{
    switch (id) {
    case IDOK:
        OnDateFilterOk(dialog);
        return TRUE;
    case IDC_DATEFILTER_ALWAYS_ALL:
    case IDC_DATEFILTER_CHANGED_ONLY:
    case IDC_DATEFILTER_EVERY:
        PostMessageA(dialog, WM_REFRESHSTATES, 0, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK DateFilterDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (AnswerCancelAndHelp(dialog, message, wParam, lParam, IDC_DATEFILTER_HELP, kHelp))
        return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        OnDateFilterInit(dialog, reinterpret_cast<BackupConfig *>(lParam));
        return TRUE;
    case WM_COMMAND:
        return OnDateFilterCommand(dialog, LOWORD(wParam));
    case WM_REFRESHSTATES:
        OnDateFilterRefresh(dialog);
        return TRUE;
    }
    return FALSE;
}

int OpenDateFilterDialog(HWND owner, BackupConfig *record)
{
    return OpenRecordDialog(owner, IDD_DATE_FILTER, DateFilterDialogProc, record);
}
