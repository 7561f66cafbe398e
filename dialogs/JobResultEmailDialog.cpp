// Dialog 428 "E-Mail Backup Results": the job-result e-mail's settings (the jr_ options), which
// OK puts into gSettings at once, and a test e-mail with the values on screen.
#include <windows.h>
#include <string.h>

#include "DialogHelpers.h"
#include "EditorPage.h"
#include "GlobalSettings.h"
#include "HelpAccess.h"
#include "MailSettingsControls.h"
#include "MessageBoxSeam.h"
#include "OptionsDialog.h"
#include "PasswordRule.h"
#include "TextHelpers.h"
#include "resource.h"

namespace {

const int kPopupControls[] = {
    IDC_MAIL_SERVER, IDC_MAIL_TO, IDC_MAIL_USE_MAPI, IDC_MAIL_USE_SMTP, IDC_MAIL_PORT_DEFAULT, IDC_MAIL_USERNAME,
    IDC_MAIL_TEST, IDC_MAIL_SECURE, IDC_MAIL_SECURE_KIND, IDC_MAIL_PASSWORD, IDC_MAIL_PORT, IDC_MAIL_PORT_SPIN,
    IDC_MAIL_PORT_SPECIFY, IDC_MAIL_MAPI_PLAIN_ADDRESS, IDC_MAIL_FROM, IDC_MAIL_AUTH, 0,
};
const EditorPageHelp kHelp = {IDS_HELPKEY_JOBRESULT_EMAIL, "EmailRes.txt", kPopupControls};

void OnJobResultInit(HWND dialog)
{
    CenterDialog(dialog);
    MailSettings shown;
    memset(&shown, 0, sizeof shown);
    shown.flags = (uint32_t)gSettings.jrOptions;
    lstrcpynA(shown.to, gSettings.jrEmailTo, sizeof shown.to);
    lstrcpynA(shown.server, gSettings.jrServer, sizeof shown.server);
    lstrcpynA(shown.from, gSettings.jrEmailFrom, sizeof shown.from);
    lstrcpynA(shown.user, gSettings.jrEmailUser, sizeof shown.user);
    lstrcpynA(shown.password, gSettings.jrEmailPasswd, sizeof shown.password);
    ScramblePassword(shown.password);
    shown.port = gSettings.jrPort;
    ShowMailSettings(dialog, shown, 0);
    SecureZeroMemory(shown.password, sizeof shown.password);
    PostMessageA(dialog, WM_REFRESHSTATES, 0, 0);
}

void OnJobResultOk(HWND dialog)
{
    MailSettings typed;
    memset(&typed, 0, sizeof typed);
    typed.flags = (uint32_t)gSettings.jrOptions;
    ReadMailSettings(dialog, &typed);
    if (!IsStorablePassword(typed.password)) {
        SecureZeroMemory(typed.password, sizeof typed.password);
        ShowMessageBox(dialog, kUnstorablePasswordText, kProductName, MB_OK);
        SetFocus(GetDlgItem(dialog, IDC_MAIL_PASSWORD));
        return;
    }
    gSettings.jrOptions = (int)typed.flags;
    lstrcpynA(gSettings.jrEmailTo, typed.to, sizeof gSettings.jrEmailTo);
    lstrcpynA(gSettings.jrServer, typed.server, sizeof gSettings.jrServer);
    lstrcpynA(gSettings.jrEmailFrom, typed.from, sizeof gSettings.jrEmailFrom);
    lstrcpynA(gSettings.jrEmailUser, typed.user, sizeof gSettings.jrEmailUser);
    lstrcpynA(gSettings.jrEmailPasswd, typed.password, sizeof gSettings.jrEmailPasswd);
    ScramblePassword(gSettings.jrEmailPasswd);
    SecureZeroMemory(typed.password, sizeof typed.password);
    gSettings.jrPort = typed.port;
    EndDialog(dialog, 1);
}

INT_PTR OnJobResultCommand(HWND dialog, int id, int code)
{
    switch (id) {
    case IDOK:
        OnJobResultOk(dialog);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, 0);
        return TRUE;
    case IDC_JR_HELP:
        ShowHelpTopic(GetParent(dialog), IDS_HELPKEY_JOBRESULT_EMAIL);
        return TRUE;
    }
    OnMailSettingsCommand(dialog, id, code);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK JobResultEmailDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnJobResultInit(dialog);
        return TRUE;
    case WM_COMMAND:
        return OnJobResultCommand(dialog, LOWORD(wParam), HIWORD(wParam));
    case WM_REFRESHSTATES:
        RefreshMailStates(dialog, true);
        return TRUE;
    case WM_HELP:
        ShowPageHelp(dialog, reinterpret_cast<const HELPINFO *>(lParam), kHelp);
        return TRUE;
    case WM_CLOSE:
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }
    return FALSE;
}
