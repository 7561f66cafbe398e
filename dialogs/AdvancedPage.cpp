#include "AdvancedPage.h"

#include <commctrl.h>
#include <prsht.h>
#include <string.h>

#include "ConfigEditor.h"
#include "ConfigTable.h"
#include "DateFilterDialog.h"
#include "EditorPage.h"
#include "FileChoosers.h"
#include "MsvcrtFormat.h"
#include "RemoteBackupSheet.h"
#include "ResourceText.h"
#include "SplitZipDialog.h"
#include "TextHelpers.h"
#include "resource.h"

namespace {

const int kPopupControls[] = {
    IDC_ADVANCED_SAVE_REVISIONS, IDC_ADVANCED_SAVE_DELETED, IDC_ADVANCED_REVISIONS, IDC_ADVANCED_UNCOMPRESSED,
    IDC_ADVANCED_COMPRESSED, IDC_ADVANCED_ZIP_NAME, IDC_ADVANCED_ENCRYPT, IDC_ADVANCED_PASSWORD,
    IDC_ADVANCED_PASSWORD_AGAIN, IDC_ADVANCED_PRIORITY, IDC_ADVANCED_RUN_BEFORE, IDC_ADVANCED_PROGRAM_BEFORE,
    IDC_ADVANCED_BROWSE_BEFORE, IDC_ADVANCED_RUN_AFTER, IDC_ADVANCED_PROGRAM_AFTER, IDC_ADVANCED_BROWSE_AFTER,
    IDC_ADVANCED_REMOTE, IDC_ADVANCED_SPLITTING, IDC_ADVANCED_DATE_FILTER, 0,
};
const EditorPageHelp kHelp = {IDS_HELPKEY_CFG_ADVANCED, "CfgAdvanced.txt", kPopupControls};
const int kPriorityCount = 4;

RemoteBackupEditor remoteBackupEditor = nullptr;

// GWLP_USERDATA: 1 once the page has filled its boxes, so later updates are the user's.
bool IsPageReady(HWND page)
{
    return GetWindowLongPtrA(page, GWLP_USERDATA) != 0;
}

void SetCheck(HWND page, int id, uint32_t flag)
{
    CheckDlgButton(page, id, (editedConfig.flags & flag) ? BST_CHECKED : BST_UNCHECKED);
}

void SetFlag(uint32_t flag, bool on)
{
    if (on)
        editedConfig.flags |= flag;
    else
        editedConfig.flags &= ~flag;
}

void SetBoxText(HWND page, int id, const char *text, int limit)
{
    SendDlgItemMessageA(page, id, EM_LIMITTEXT, (WPARAM)limit, 0);
    SetDlgItemTextA(page, id, text);
}

void OnAdvancedInit(HWND page)
{
    SetCheck(page, IDC_ADVANCED_UNCOMPRESSED, Uncompressed);
    SetCheck(page, IDC_ADVANCED_SAVE_REVISIONS, SaveRevisions);
    SetCheck(page, IDC_ADVANCED_SAVE_DELETED, SaveDeleted);
    SetCheck(page, IDC_ADVANCED_COMPRESSED, Compressed);
    SetCheck(page, IDC_ADVANCED_ENCRYPT, Encrypted);
    SetCheck(page, IDC_ADVANCED_RUN_BEFORE, RunProgramBefore);
    SetCheck(page, IDC_ADVANCED_RUN_AFTER, RunProgramAfter);
    SendDlgItemMessageA(page, IDC_ADVANCED_REVISIONS_SPIN, UDM_SETRANGE32, 0, 999);
    char text[260];
    FormatText(text, sizeof text, "%d", (int)editedConfig.revisionCount);
    SetDlgItemTextA(page, IDC_ADVANCED_REVISIONS, text);
    SetBoxText(page, IDC_ADVANCED_ZIP_NAME, editedConfig.compressedFileName, 259);
    // The stored password is scrambled; the boxes show it plain, from a copy.
    char password[sizeof editedConfig.zipPassword];
    lstrcpynA(password, editedConfig.zipPassword, sizeof password);
    ScramblePassword(password);
    SetBoxText(page, IDC_ADVANCED_PASSWORD, password, 255);
    SetBoxText(page, IDC_ADVANCED_PASSWORD_AGAIN, password, 255);
    SecureZeroMemory(password, sizeof password);
    for (int i = 0; i < kPriorityCount; ++i) {
        LoadResourceText(IDS_PRIORITY_BASE + i, text, 64);
        SendDlgItemMessageA(page, IDC_ADVANCED_PRIORITY, CB_ADDSTRING, 0, (LPARAM)text);
    }
    SendDlgItemMessageA(page, IDC_ADVANCED_PRIORITY, CB_SETCURSEL, (WPARAM)editedConfig.priority, 0);
    SetBoxText(page, IDC_ADVANCED_PROGRAM_BEFORE, editedConfig.programBefore, 259);
    SetBoxText(page, IDC_ADVANCED_PROGRAM_AFTER, editedConfig.programAfter, 259);
    PostMessageA(page, WM_REFRESHSTATES, 0, 0);
    SetWindowLongPtrA(page, GWLP_USERDATA, 1);
}

void EnableControls(HWND page, const int *ids, bool on)
{
    for (; *ids != 0; ++ids)
        EnableWindow(GetDlgItem(page, *ids), on);
}

void OnAdvancedRefresh(HWND page)
{
    bool uncompressed = IsBoxChecked(page, IDC_ADVANCED_UNCOMPRESSED);
    const int mirror[] = {IDC_ADVANCED_SAVE_DELETED, IDC_ADVANCED_SAVE_REVISIONS, IDC_ADVANCED_REVISIONS_LABEL,
                          IDC_ADVANCED_TIP, 0};
    EnableControls(page, mirror, uncompressed);
    const int revisions[] = {IDC_ADVANCED_REVISIONS, IDC_ADVANCED_REVISIONS_SPIN, 0};
    EnableControls(page, revisions, uncompressed && IsBoxChecked(page, IDC_ADVANCED_SAVE_REVISIONS));

    bool compressed = IsBoxChecked(page, IDC_ADVANCED_COMPRESSED);
    const int zip[] = {IDC_ADVANCED_ZIP_NAME, IDC_ADVANCED_REMOTE, IDC_ADVANCED_SPLITTING, IDC_ADVANCED_DATE_FILTER,
                       IDC_ADVANCED_ENCRYPT, 0};
    EnableControls(page, zip, compressed);
    const int password[] = {IDC_ADVANCED_PASSWORD, IDC_ADVANCED_PASSWORD_AGAIN, IDC_ADVANCED_PASSWORD_LABEL,
                            IDC_ADVANCED_PASSWORD_AGAIN_LABEL, 0};
    EnableControls(page, password, compressed && IsBoxChecked(page, IDC_ADVANCED_ENCRYPT));

    const int before[] = {IDC_ADVANCED_PROGRAM_BEFORE, IDC_ADVANCED_BROWSE_BEFORE, 0};
    EnableControls(page, before, IsBoxChecked(page, IDC_ADVANCED_RUN_BEFORE));
    const int after[] = {IDC_ADVANCED_PROGRAM_AFTER, IDC_ADVANCED_BROWSE_AFTER, 0};
    EnableControls(page, after, IsBoxChecked(page, IDC_ADVANCED_RUN_AFTER));
}

INT_PTR OnAdvancedApply(HWND page)
{
    char revisions[127] = "", zipName[260] = "", password[256] = "", again[256] = "";
    char before[260] = "", after[260] = "";
    GetDlgItemTextA(page, IDC_ADVANCED_REVISIONS, revisions, sizeof revisions);
    GetDlgItemTextA(page, IDC_ADVANCED_ZIP_NAME, zipName, sizeof zipName);
    GetDlgItemTextA(page, IDC_ADVANCED_PASSWORD, password, sizeof password);
    GetDlgItemTextA(page, IDC_ADVANCED_PASSWORD_AGAIN, again, sizeof again);
    GetDlgItemTextA(page, IDC_ADVANCED_PROGRAM_BEFORE, before, sizeof before);
    GetDlgItemTextA(page, IDC_ADVANCED_PROGRAM_AFTER, after, sizeof after);
    LRESULT priority = SendDlgItemMessageA(page, IDC_ADVANCED_PRIORITY, CB_GETCURSEL, 0, 0);
    AdvancedFields fields = {
        IsBoxChecked(page, IDC_ADVANCED_SAVE_REVISIONS), IsBoxChecked(page, IDC_ADVANCED_SAVE_DELETED),
        IsBoxChecked(page, IDC_ADVANCED_UNCOMPRESSED), IsBoxChecked(page, IDC_ADVANCED_COMPRESSED),
        IsBoxChecked(page, IDC_ADVANCED_ENCRYPT), IsBoxChecked(page, IDC_ADVANCED_RUN_BEFORE),
        IsBoxChecked(page, IDC_ADVANCED_RUN_AFTER), revisions, zipName, password, again,
        priority == CB_ERR ? -1 : (int)priority, before, after,
    };
    char text[512];
    int focus = CheckAdvancedPage(fields, text, sizeof text);
    SecureZeroMemory(password, sizeof password);
    SecureZeroMemory(again, sizeof again);
    if (focus != 0)
        return RefusePageApply(page, text, focus);
    return AcceptPageApply(page);
}

void OnBrowseProgram(HWND page, int boxId)
{
    char path[260];
    if (ChooseProgramFile(page, path))
        SetDlgItemTextA(page, boxId, path);
}

void OnRemoteBackup(HWND page)
{
    RemoteBackupEditor edit = remoteBackupEditor != nullptr ? remoteBackupEditor : EditRemoteBackupOptions;
    if (!edit(page))
        return;
    // A new remote destination should receive every file.
    ResetEditedDateFilterCount();
    MarkPageChanged(page);
}

INT_PTR OnAdvancedCommand(HWND page, int id, int code)
{
    switch (id) {
    case IDC_ADVANCED_SAVE_REVISIONS:
    case IDC_ADVANCED_SAVE_DELETED:
    case IDC_ADVANCED_UNCOMPRESSED:
    case IDC_ADVANCED_COMPRESSED:
    case IDC_ADVANCED_ENCRYPT:
    case IDC_ADVANCED_RUN_BEFORE:
    case IDC_ADVANCED_RUN_AFTER:
        if (code == BN_CLICKED) {
            PostMessageA(page, WM_REFRESHSTATES, 0, 0);
            MarkPageChanged(page);
        }
        return TRUE;
    case IDC_ADVANCED_REVISIONS:
    case IDC_ADVANCED_ZIP_NAME:
    case IDC_ADVANCED_PASSWORD:
    case IDC_ADVANCED_PASSWORD_AGAIN:
    case IDC_ADVANCED_PROGRAM_BEFORE:
    case IDC_ADVANCED_PROGRAM_AFTER:
        if (code == EN_CHANGE && IsPageReady(page))
            MarkPageChanged(page);
        return TRUE;
    case IDC_ADVANCED_PRIORITY:
        if (code == CBN_SELCHANGE)
            MarkPageChanged(page);
        return TRUE;
    case IDC_ADVANCED_BROWSE_BEFORE:
        OnBrowseProgram(page, IDC_ADVANCED_PROGRAM_BEFORE);
        return TRUE;
    case IDC_ADVANCED_BROWSE_AFTER:
        OnBrowseProgram(page, IDC_ADVANCED_PROGRAM_AFTER);
        return TRUE;
    case IDC_ADVANCED_REMOTE:
        OnRemoteBackup(page);
        return TRUE;
    case IDC_ADVANCED_SPLITTING:
        if (OpenSplitZipDialog(page, &editedConfig))
            MarkPageChanged(page);
        return TRUE;
    case IDC_ADVANCED_DATE_FILTER:
        if (OpenDateFilterDialog(page, &editedConfig))
            MarkPageChanged(page);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int CheckAdvancedPage(const AdvancedFields &f, char *text, size_t textSize)
{
    BackupConfig &c = editedConfig;
    SetFlag(SaveRevisions, f.saveRevisions);
    c.revisionCount = ParseBoxNumber(f.revisions);
    SetFlag(SaveDeleted, f.saveDeleted);
    SetFlag(Uncompressed, f.uncompressed);
    SetFlag(Compressed, f.compressed);
    if (!IsValidFileName(f.zipName)) {
        if (f.compressed) {
            lstrcpynA(text, "Please enter a valid filename for the compressed file.\n\nExample: MyBackup.zip",
                      (int)textSize);
            return IDC_ADVANCED_ZIP_NAME;
        }
    } else {
        lstrcpynA(c.compressedFileName, f.zipName, sizeof c.compressedFileName);
    }
    SetFlag(Encrypted, f.encrypted);
    const char *refusal = nullptr;
    if (f.compressed && f.encrypted) {
        if (f.password[0] == '\0')
            refusal = "Please enter a password for encryption";
        else if (strcmp(f.password, f.passwordAgain) != 0)
            refusal = "Password and re-entered password do not match";
        else if (strchr(f.password, '"') != nullptr)
            refusal = "Password cannot contain the double quote (\") character";
        else if (!CanScramblePassword(f.password))
            refusal = kPasswordKeyByteMessage;
    }
    if (refusal != nullptr) {
        lstrcpynA(text, refusal, (int)textSize);
        return IDC_ADVANCED_PASSWORD;
    }
    // Scrambling would cut a password at the key's byte, and the archive would get another
    // password than the one typed; such a password is never stored (with encryption on it was
    // refused above, where the user can change it).
    if (f.password[0] != '\0' && strcmp(f.password, f.passwordAgain) == 0 && CanScramblePassword(f.password)) {
        lstrcpynA(c.zipPassword, f.password, sizeof c.zipPassword);
        ScramblePassword(c.zipPassword);
    }
    if (f.priority >= 0)
        c.priority = f.priority;
    SetFlag(RunProgramBefore, f.runBefore);
    if (f.programBefore[0] == '\0' && f.runBefore) {
        lstrcpynA(text, "Please enter a program to run before the backup", (int)textSize);
        return IDC_ADVANCED_PROGRAM_BEFORE;
    }
    lstrcpynA(c.programBefore, f.programBefore, sizeof c.programBefore);
    SetFlag(RunProgramAfter, f.runAfter);
    if (f.programAfter[0] == '\0' && f.runAfter) {
        lstrcpynA(text, "Please enter a program to run after the backup", (int)textSize);
        return IDC_ADVANCED_PROGRAM_AFTER;
    }
    lstrcpynA(c.programAfter, f.programAfter, sizeof c.programAfter);
    return 0;
}

void SetRemoteBackupEditorForTesting(RemoteBackupEditor editor)
{
    remoteBackupEditor = editor;
}

INT_PTR CALLBACK AdvancedPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnAdvancedInit(page);
        return TRUE;
    case WM_COMMAND:
        return OnAdvancedCommand(page, LOWORD(wParam), HIWORD(wParam));
    case WM_NOTIFY:
        if (IsApplyNotification(lParam))
            return OnAdvancedApply(page);
        break;
    case WM_REFRESHSTATES:
        OnAdvancedRefresh(page);
        return TRUE;
    }
    return AnswerCommonPageMessage(page, message, lParam, kHelp);
}
