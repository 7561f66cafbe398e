#include "SplitZipDialog.h"

#include "CancelAndHelp.h"
#include "DialogHelpers.h"
#include "EditorPage.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "ResourceText.h"
#include "resource.h"

namespace {

const int kPopupControls[] = {IDC_SPLIT_SIZE, IDC_SPLIT_ENABLE, IDC_SPLIT_UNIT, 0};
const EditorPageHelp kHelp = {IDS_HELPKEY_SPLIT_ZIP, "SplitZIP.txt", kPopupControls};
const int kUnitCount = 4;

// GWLP_USERDATA: the record the dialog edits.
BackupConfig *RecordOf(HWND dialog)
{
    return reinterpret_cast<BackupConfig *>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
}

void OnSplitInit(HWND dialog, BackupConfig *record)
{
    CenterDialog(dialog);
    SetWindowLongPtrA(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
    CheckDlgButton(dialog, IDC_SPLIT_ENABLE, (record->flags & SplitZip) ? BST_CHECKED : BST_UNCHECKED);
    char text[64];
    FormatText(text, sizeof text, "%d", (int)record->splitSize);
    SetDlgItemTextA(dialog, IDC_SPLIT_SIZE, text);
    for (int unit = 0; unit < kUnitCount; ++unit) {
        LoadResourceText(IDS_SPLIT_UNIT_BASE + unit, text, sizeof text);
        SendDlgItemMessageA(dialog, IDC_SPLIT_UNIT, CB_ADDSTRING, 0, (LPARAM)text);
    }
    SendDlgItemMessageA(dialog, IDC_SPLIT_UNIT, CB_SETCURSEL, (WPARAM)record->splitUnit, 0);
    PostMessageA(dialog, WM_REFRESHSTATES, 0, 0);
}

void OnSplitRefresh(HWND dialog)
{
    bool split = IsBoxChecked(dialog, IDC_SPLIT_ENABLE);
    EnableWindow(GetDlgItem(dialog, IDC_SPLIT_SIZE), split);
    EnableWindow(GetDlgItem(dialog, IDC_SPLIT_UNIT), split);
}

void OnSplitOk(HWND dialog)
{
    BackupConfig &c = *RecordOf(dialog);
    bool split = IsBoxChecked(dialog, IDC_SPLIT_ENABLE);
    int size = ReadBoxNumber(dialog, IDC_SPLIT_SIZE, 62);
    // A size below 1 would give the ZIP step a volume size of nothing.
    if (split && size < 1) {
        ShowMessageBox(dialog, "Please enter a size of at least 1 for the parts of the split ZIP file.",
                       kProductName, MB_OK);
        SetFocus(GetDlgItem(dialog, IDC_SPLIT_SIZE));
        return;
    }
    int changed = 0;
    uint32_t flags = split ? (c.flags | SplitZip) : (c.flags & ~(uint32_t)SplitZip);
    if (flags != c.flags) {
        c.flags = flags;
        changed = 1;
    }
    if (size != c.splitSize) {
        c.splitSize = size;
        changed = 1;
    }
    LRESULT unit = SendDlgItemMessageA(dialog, IDC_SPLIT_UNIT, CB_GETCURSEL, 0, 0);
    if (unit != CB_ERR && unit != c.splitUnit) {
        c.splitUnit = (int32_t)unit;
        changed = 1;
    }
    EndDialog(dialog, changed);
}

INT_PTR OnSplitCommand(HWND dialog, int id)
{
    switch (id) {
    case IDOK:
        OnSplitOk(dialog);
        return TRUE;
    case IDC_SPLIT_ENABLE:
        PostMessageA(dialog, WM_REFRESHSTATES, 0, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK SplitZipDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (AnswerCancelAndHelp(dialog, message, wParam, lParam, IDC_SPLIT_HELP, kHelp))
        return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        OnSplitInit(dialog, reinterpret_cast<BackupConfig *>(lParam));
        return TRUE;
    case WM_COMMAND:
        return OnSplitCommand(dialog, LOWORD(wParam));
    case WM_REFRESHSTATES:
        OnSplitRefresh(dialog);
        return TRUE;
    }
    return FALSE;
}

int OpenSplitZipDialog(HWND owner, BackupConfig *record)
{
    return OpenRecordDialog(owner, IDD_SPLIT_ZIP, SplitZipDialogProc, record);
}
