// Page "E-Mail" of the remote backup sheet (dialog 426): whether the compressed backup is
// e-mailed, to whom, through Simple MAPI or the SMTP library, and a test e-mail.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <string.h>

#include "ConfigTable.h"
#include "DialogHelpers.h"
#include "EditorPage.h"
#include "HelpAccess.h"
#include "MailSettingsControls.h"
#include "PasswordRule.h"
#include "RemoteBackupSheet.h"
#include "TextHelpers.h"
#include "resource.h"

namespace {

const int kPopupControls[] = {
    IDC_MAIL_SERVER, IDC_MAIL_TO, IDC_MAIL_USE_MAPI, IDC_MAIL_USE_SMTP, IDC_MAIL_PORT_DEFAULT, IDC_MAIL_USERNAME,
    IDC_RMTEMAIL_ENABLE, IDC_MAIL_TEST, IDC_MAIL_SECURE, IDC_MAIL_SECURE_KIND, IDC_MAIL_PASSWORD, IDC_MAIL_PORT,
    IDC_MAIL_PORT_SPIN, IDC_MAIL_PORT_SPECIFY, IDC_MAIL_MAPI_PLAIN_ADDRESS, IDC_MAIL_FROM, IDC_MAIL_AUTH, 0,
};

// GWLP_USERDATA is 1 once the page has been filled: edits from then on are the user's.
bool IsReady(HWND page)
{
    return GetWindowLongPtrA(page, GWLP_USERDATA) != 0;
}

void OnEmailInit(HWND page)
{
    CenterDialog(GetParent(page));
    const BackupConfig &c = editedConfig;
    CheckDlgButton(page, IDC_RMTEMAIL_ENABLE, (c.flags & RemoteEmail) ? BST_CHECKED : BST_UNCHECKED);
    MailSettings shown;
    memset(&shown, 0, sizeof shown);
    shown.flags = c.emailFlags;
    lstrcpynA(shown.to, c.emailTo, sizeof shown.to);
    lstrcpynA(shown.server, c.mailServer, sizeof shown.server);
    lstrcpynA(shown.from, c.emailFrom, sizeof shown.from);
    lstrcpynA(shown.user, c.smtpUsername, sizeof shown.user);
    lstrcpynA(shown.password, c.smtpPassword, sizeof shown.password);
    ScramblePassword(shown.password);
    shown.port = c.smtpPort;
    ShowMailSettings(page, shown, 1);
    SecureZeroMemory(shown.password, sizeof shown.password);
    PostMessageA(page, WM_REFRESHSTATES, 0, 0);
    SetWindowLongPtrA(page, GWLP_USERDATA, 1);
}

INT_PTR OnEmailApply(HWND page)
{
    MailSettings typed;
    memset(&typed, 0, sizeof typed);
    typed.flags = editedConfig.emailFlags;
    ReadMailSettings(page, &typed);
    if (!IsStorablePassword(typed.password)) {
        SecureZeroMemory(typed.password, sizeof typed.password);
        return RefusePageApply(page, kUnstorablePasswordText, IDC_MAIL_PASSWORD);
    }
    BackupConfig &c = editedConfig;
    if (IsDlgButtonChecked(page, IDC_RMTEMAIL_ENABLE) == BST_CHECKED)
        c.flags |= RemoteEmail;
    else
        c.flags &= ~(uint32_t)RemoteEmail;
    c.emailFlags = typed.flags;
    lstrcpynA(c.emailTo, typed.to, sizeof c.emailTo);
    lstrcpynA(c.mailServer, typed.server, sizeof c.mailServer);
    lstrcpynA(c.emailFrom, typed.from, sizeof c.emailFrom);
    lstrcpynA(c.smtpUsername, typed.user, sizeof c.smtpUsername);
    lstrcpynA(c.smtpPassword, typed.password, sizeof c.smtpPassword);
    ScramblePassword(c.smtpPassword);
    SecureZeroMemory(typed.password, sizeof typed.password);
    c.smtpPort = typed.port;
    SendMessageA(GetParent(page), PSM_CANCELTOCLOSE, 0, 0);
    SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
    return TRUE;
}

INT_PTR OnEmailNotify(HWND page, const NMHDR *header)
{
    switch (header->code) {
    case PSN_APPLY:
        return OnEmailApply(page);
    case PSN_HELP:
        ShowHelpTopic(GetParent(page), IDS_HELPKEY_REMOTE_EMAIL);
        SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
        return TRUE;
    }
    return FALSE;
}

void OnEmailHelp(HWND page, const HELPINFO *info)
{
    if (info->iContextType != HELPINFO_WINDOW)
        return;
    for (const int *id = kPopupControls; *id != 0; ++id) {
        if (*id == info->iCtrlId) {
            ShowControlHelpPopup(page, info->iCtrlId, "RmtEmail.txt");
            return;
        }
    }
}

INT_PTR OnEmailCommand(HWND page, int id, int code)
{
    if (id == IDC_RMTEMAIL_ENABLE) {
        if (code != BN_CLICKED)
            return FALSE;
        PostMessageA(page, WM_REFRESHSTATES, 0, 0);
        MarkPageChanged(page);
        return TRUE;
    }
    if (OnMailSettingsCommand(page, id, code) && IsReady(page))
        MarkPageChanged(page);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK EmailPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnEmailInit(page);
        return TRUE;
    case WM_COMMAND:
        return OnEmailCommand(page, LOWORD(wParam), HIWORD(wParam));
    case WM_NOTIFY:
        return OnEmailNotify(page, reinterpret_cast<const NMHDR *>(lParam));
    case WM_REFRESHSTATES:
        RefreshMailStates(page, IsDlgButtonChecked(page, IDC_RMTEMAIL_ENABLE) == BST_CHECKED);
        return TRUE;
    case WM_HELP:
        OnEmailHelp(page, reinterpret_cast<const HELPINFO *>(lParam));
        return TRUE;
    }
    return FALSE;
}
