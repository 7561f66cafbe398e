#include "OptionsDialog.h"

#include <commctrl.h>

#include "CancelAndHelp.h"
#include "ConfigTable.h"
#include "DialogHelpers.h"
#include "DialogShell.h"
#include "EditorPage.h"
#include "GlobalSettings.h"
#include "MsvcrtFormat.h"
#include "ResourceText.h"
#include "SettingsTest.h"
#include "Shortcuts.h"
#include "resource.h"

namespace {

const int kPopupControls[] = {
    IDC_OPTIONS_VERBOSE_LOG, IDC_OPTIONS_VERBOSE_ZIP_LOG, IDC_OPTIONS_JR_PROBLEMS_ONLY, IDC_OPTIONS_NO_PLAIN_REMOTE,
    IDC_OPTIONS_WARN_EXCLUSIONS, IDC_OPTIONS_MANAGE_BURNING, IDC_OPTIONS_FTP_RETRY, IDC_OPTIONS_SEND_TIMEOUT,
    IDC_OPTIONS_RECV_TIMEOUT, IDC_OPTIONS_BACKUP_LOCKED, IDC_OPTIONS_SMTP_RETRY, IDC_OPTIONS_REMOVE_EXCLUDED,
    IDC_OPTIONS_SHOW_LOG, IDC_OPTIONS_IN_STARTUP, IDC_OPTIONS_JR_WHEN, IDC_OPTIONS_JR_CONFIGURE,
    IDC_OPTIONS_BUTTON_SIZE, IDC_OPTIONS_VERSION_CHECK, IDC_OPTIONS_DIALOG_SIZE, 0,
};
const EditorPageHelp kHelp = {IDS_HELPKEY_OPTIONS, "Options.txt", kPopupControls};

// The check boxes: shown checked only when the option is exactly 1.
struct OptionBox {
    int id;
    int GlobalSettings::*option;
};
// In the order OK stores them; the start-up shortcut follows `instartup`, the logging options
// come after it.
const OptionBox kBoxesBeforeShortcut[] = {
    {IDC_OPTIONS_CONFIRM_EXIT, &GlobalSettings::askExit},
    {IDC_OPTIONS_SHOW_LOG, &GlobalSettings::autoShowLog},
    {IDC_OPTIONS_MANAGE_BURNING, &GlobalSettings::weBurn},
    {IDC_OPTIONS_WARN_EXCLUSIONS, &GlobalSettings::warnBadExclusions},
    {IDC_OPTIONS_NO_PLAIN_REMOTE, &GlobalSettings::remoteRequiresEncryption},
    {IDC_OPTIONS_BACKUP_LOCKED, &GlobalSettings::backupLocked},
    {IDC_OPTIONS_REMOVE_EXCLUDED, &GlobalSettings::removeExcluded},
    {IDC_OPTIONS_IN_STARTUP, &GlobalSettings::inStartup},
};
const OptionBox kBoxesAfterShortcut[] = {
    {IDC_OPTIONS_VERBOSE_LOG, &GlobalSettings::logVerbose},
    {IDC_OPTIONS_VERBOSE_ZIP_LOG, &GlobalSettings::logCompression},
};

struct NumberBox {
    int id;
    int spinId;
    int GlobalSettings::*option;
    int (*clamp)(int typed);
};
const NumberBox kNumbers[] = {
    {IDC_OPTIONS_FTP_RETRY, IDC_OPTIONS_FTP_RETRY_SPIN, &GlobalSettings::ftpRetry, ClampRetryCount},
    {IDC_OPTIONS_SMTP_RETRY, IDC_OPTIONS_SMTP_RETRY_SPIN, &GlobalSettings::smtpRetry, ClampRetryCount},
    {IDC_OPTIONS_SEND_TIMEOUT, IDC_OPTIONS_SEND_TIMEOUT_SPIN, &GlobalSettings::emailSendTimeout, ClampTimeout},
    {IDC_OPTIONS_RECV_TIMEOUT, IDC_OPTIONS_RECV_TIMEOUT_SPIN, &GlobalSettings::emailRecvTimeout, ClampTimeout},
};

const char *const kDialogSizes[] = {"Standard (8pt)", "Large (10pt)", "X-Large (12pt)"};
const char *const kVersionChecks[] = {"Every Day", "Every 7 Days", "Every 30 Days", "Never"};
const int kVersionCheckDays[] = {1, 7, 30, 0};
const int kJobResultWhenBits[] = {0x1, 0x2, 0x4, 0x8};
const int kJobResultProblemsOnly = 0x10;
const int kButtonSizeCount = 5;

int Clamp(int value, int lowest, int highest)
{
    return value < lowest ? lowest : value > highest ? highest : value;
}

void FillList(HWND dialog, int id, const char *const *texts, int count, int selected)
{
    HWND list = GetDlgItem(dialog, id);
    for (int i = 0; i < count; ++i)
        SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)texts[i]);
    SendMessageA(list, CB_SETCURSEL, (WPARAM)selected, 0);
}

void FillListFromStrings(HWND dialog, int id, UINT firstString, int count, int selected)
{
    char texts[kButtonSizeCount][64];
    const char *pointers[kButtonSizeCount];
    for (int i = 0; i < count && i < kButtonSizeCount; ++i) {
        LoadResourceText(firstString + (UINT)i, texts[i], sizeof texts[i]);
        pointers[i] = texts[i];
    }
    FillList(dialog, id, pointers, count, selected);
}

int SelectedIndex(HWND dialog, int id)
{
    return (int)SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
}

void OnOptionsInit(HWND dialog)
{
    CenterDialog(dialog);
    for (const OptionBox &box : kBoxesBeforeShortcut)
        CheckDlgButton(dialog, box.id, gSettings.*box.option == 1 ? BST_CHECKED : BST_UNCHECKED);
    for (const OptionBox &box : kBoxesAfterShortcut)
        CheckDlgButton(dialog, box.id, gSettings.*box.option == 1 ? BST_CHECKED : BST_UNCHECKED);
    for (const NumberBox &number : kNumbers) {
        char text[16];
        FormatText(text, sizeof text, "%d", gSettings.*number.option);
        SetDlgItemTextA(dialog, number.id, text);
        SendDlgItemMessageA(dialog, number.spinId, UDM_SETRANGE32, 0, 9999);
    }
    FillListFromStrings(dialog, IDC_OPTIONS_BUTTON_SIZE, IDS_BTNSIZE_BASE, kButtonSizeCount, gSettings.buttonSize);
    FillList(dialog, IDC_OPTIONS_DIALOG_SIZE, kDialogSizes, 3, DialogSizeIndex(gSettings.dialogSize));
    FillList(dialog, IDC_OPTIONS_VERSION_CHECK, kVersionChecks, 4, VersionCheckIndex(gSettings.newVersionFrequency));
    FillListFromStrings(dialog, IDC_OPTIONS_JR_WHEN, IDS_JR_WHEN_BASE, 4, JobResultWhenIndex(gSettings.jrEmailWhen));
    CheckDlgButton(dialog, IDC_OPTIONS_JR_PROBLEMS_ONLY,
                   (gSettings.jrEmailWhen & kJobResultProblemsOnly) ? BST_CHECKED : BST_UNCHECKED);
    SendMessageA(dialog, WM_REFRESHSTATES, 0, 0);
}

void OnOptionsRefresh(HWND dialog)
{
    BOOL sending = SelectedIndex(dialog, IDC_OPTIONS_JR_WHEN) != 0;
    EnableWindow(GetDlgItem(dialog, IDC_OPTIONS_JR_PROBLEMS_ONLY), sending);
    EnableWindow(GetDlgItem(dialog, IDC_OPTIONS_JR_CONFIGURE), sending);
}

void StoreBoxes(HWND dialog, const OptionBox *boxes, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        gSettings.*boxes[i].option = IsDlgButtonChecked(dialog, boxes[i].id) == BST_CHECKED ? 1 : 0;
}

void OnOptionsOk(HWND dialog)
{
    StoreBoxes(dialog, kBoxesBeforeShortcut, sizeof kBoxesBeforeShortcut / sizeof kBoxesBeforeShortcut[0]);
    UpdateStartupShortcut(dialog);
    StoreBoxes(dialog, kBoxesAfterShortcut, sizeof kBoxesAfterShortcut / sizeof kBoxesAfterShortcut[0]);
    for (const NumberBox &number : kNumbers)
        gSettings.*number.option = number.clamp(ReadBoxNumber(dialog, number.id, 5));
    int buttonSize = Clamp(SelectedIndex(dialog, IDC_OPTIONS_BUTTON_SIZE), 0, kButtonSizeCount - 1);
    if (buttonSize != gSettings.buttonSize) {
        gSettings.buttonSize = buttonSize;
        CurrentDialogShell().RebuildToolbar();
    }
    gSettings.dialogSize = DialogSizePoints(SelectedIndex(dialog, IDC_OPTIONS_DIALOG_SIZE));
    gSettings.newVersionFrequency = VersionCheckDays(SelectedIndex(dialog, IDC_OPTIONS_VERSION_CHECK));
    gSettings.jrEmailWhen = ApplyJobResultWhen(gSettings.jrEmailWhen, SelectedIndex(dialog, IDC_OPTIONS_JR_WHEN),
                                               IsDlgButtonChecked(dialog, IDC_OPTIONS_JR_PROBLEMS_ONLY) == BST_CHECKED);
    EndDialog(dialog, 1);
}

INT_PTR OnOptionsCommand(HWND dialog, int id, int code)
{
    switch (id) {
    case IDOK:
        OnOptionsOk(dialog);
        return TRUE;
    case IDC_OPTIONS_JR_WHEN:
        if (code == CBN_SELCHANGE)
            PostMessageA(dialog, WM_REFRESHSTATES, 0, 0);
        return TRUE;
    case IDC_OPTIONS_JR_CONFIGURE:
        OpenModalDialog(IDD_JOBRESULT_EMAIL, dialog, JobResultEmailDialogProc, 0);
        SetFocus(GetDlgItem(dialog, IDC_OPTIONS_JR_CONFIGURE));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int ClampRetryCount(int typed)
{
    return Clamp(typed, 0, 9999);
}

int ClampTimeout(int typed)
{
    return Clamp(typed, 1, 9999);
}

int VersionCheckIndex(int newVersionFrequency)
{
    if (newVersionFrequency == 1)
        return 0;
    if (newVersionFrequency == 30)
        return 2;
    if (newVersionFrequency <= 0)
        return 3;
    return 1;
}

int VersionCheckDays(int index)
{
    return index >= 0 && index < 4 ? kVersionCheckDays[index] : 7;
}

int DialogSizeIndex(int dialogSize)
{
    return dialogSize == 12 ? 2 : dialogSize == 10 ? 1 : 0;
}

int DialogSizePoints(int index)
{
    return index == 2 ? 12 : index == 1 ? 10 : 8;
}

int JobResultWhenIndex(int jrEmailWhen)
{
    for (int i = 0; i < 3; ++i) {
        if (jrEmailWhen & kJobResultWhenBits[i])
            return i;
    }
    return 3;
}

int ApplyJobResultWhen(int jrEmailWhen, int index, bool problemsOnly)
{
    jrEmailWhen &= ~0xF;
    jrEmailWhen |= index >= 1 && index <= 3 ? kJobResultWhenBits[index] : kJobResultWhenBits[0];
    if (problemsOnly)
        jrEmailWhen |= kJobResultProblemsOnly;
    else
        jrEmailWhen &= ~kJobResultProblemsOnly;
    return jrEmailWhen;
}

void ShowOptionsDialog(HWND owner)
{
    OpenModalDialog(IDD_OPTIONS, owner, OptionsDialogProc, 0);
}

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (AnswerCancelAndHelp(dialog, message, wParam, lParam, IDC_OPTIONS_HELP, kHelp))
        return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        OnOptionsInit(dialog);
        return TRUE;
    case WM_COMMAND:
        return OnOptionsCommand(dialog, LOWORD(wParam), HIWORD(wParam));
    case WM_REFRESHSTATES:
        OnOptionsRefresh(dialog);
        return TRUE;
    }
    return FALSE;
}
