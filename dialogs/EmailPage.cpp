// Page "E-Mail" of the remote backup sheet (dialog 426): whether the compressed backup is
// e-mailed, to whom, through Simple MAPI or the SMTP library, and a test e-mail.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "ConfigTable.h"
#include "DialogHelpers.h"
#include "EditorPage.h"
#include "HelpAccess.h"
#include "MailSettingsControls.h"
#include "RemoteBackupSheet.h"
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

StoredMailTexts ConfigMailTexts()
{
    BackupConfig &c = editedConfig;
    return {&c.emailTo, &c.mailServer, &c.emailFrom, &c.smtpUsername, &c.smtpPassword};
}

void OnEmailInit(HWND page)
{
    CenterDialog(GetParent(page));
    const BackupConfig &c = editedConfig;
    CheckDlgButton(page, IDC_RMTEMAIL_ENABLE, (c.flags & RemoteEmail) ? BST_CHECKED : BST_UNCHECKED);
    ShowStoredMailSettings(page, ConfigMailTexts(), c.emailFlags, c.smtpPort, 1);
    PostMessageA(page, WM_REFRESHSTATES, 0, 0);
    SetWindowLongPtrA(page, GWLP_USERDATA, 1);
}

INT_PTR OnEmailApply(HWND page)
{
    BackupConfig &c = editedConfig;
    int port = c.smtpPort;
    if (!StoreMailSettings(page, ConfigMailTexts(), &c.emailFlags, &port))
        return RefusePageApply(page, kPasswordKeyByteMessage, IDC_MAIL_PASSWORD);
    c.smtpPort = port;
    if (IsDlgButtonChecked(page, IDC_RMTEMAIL_ENABLE) == BST_CHECKED)
        c.flags |= RemoteEmail;
    else
        c.flags &= ~(uint32_t)RemoteEmail;
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
