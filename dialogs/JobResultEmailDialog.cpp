// Dialog 428 "E-Mail Backup Results": the job-result e-mail's settings (the jr_ options), which
// OK puts into gSettings at once, and a test e-mail with the values on screen.
#include <windows.h>

#include "CancelAndHelp.h"
#include "DialogHelpers.h"
#include "EditorPage.h"
#include "GlobalSettings.h"
#include "MailSettingsControls.h"
#include "MessageBoxSeam.h"
#include "OptionsDialog.h"
#include "resource.h"

namespace {

const int kPopupControls[] = {
    IDC_MAIL_SERVER, IDC_MAIL_TO, IDC_MAIL_USE_MAPI, IDC_MAIL_USE_SMTP, IDC_MAIL_PORT_DEFAULT, IDC_MAIL_USERNAME,
    IDC_MAIL_TEST, IDC_MAIL_SECURE, IDC_MAIL_SECURE_KIND, IDC_MAIL_PASSWORD, IDC_MAIL_PORT, IDC_MAIL_PORT_SPIN,
    IDC_MAIL_PORT_SPECIFY, IDC_MAIL_MAPI_PLAIN_ADDRESS, IDC_MAIL_FROM, IDC_MAIL_AUTH, 0,
};
const EditorPageHelp kHelp = {IDS_HELPKEY_JOBRESULT_EMAIL, "EmailRes.txt", kPopupControls};

StoredMailTexts JobResultMailTexts()
{
    GlobalSettings &g = gSettings;
    return {&g.jrEmailTo, &g.jrServer, &g.jrEmailFrom, &g.jrEmailUser, &g.jrEmailPasswd};
}

void OnJobResultInit(HWND dialog)
{
    CenterDialog(dialog);
    ShowStoredMailSettings(dialog, JobResultMailTexts(), (uint32_t)gSettings.jrOptions, gSettings.jrPort, 0);
    PostMessageA(dialog, WM_REFRESHSTATES, 0, 0);
}

void OnJobResultOk(HWND dialog)
{
    uint32_t flags = (uint32_t)gSettings.jrOptions;
    if (!StoreMailSettings(dialog, JobResultMailTexts(), &flags, &gSettings.jrPort)) {
        ShowMessageBox(dialog, kPasswordKeyByteMessage, kProductName, MB_OK);
        SetFocus(GetDlgItem(dialog, IDC_MAIL_PASSWORD));
        return;
    }
    gSettings.jrOptions = (int)flags;
    EndDialog(dialog, 1);
}

INT_PTR OnJobResultCommand(HWND dialog, int id, int code)
{
    switch (id) {
    case IDOK:
        OnJobResultOk(dialog);
        return TRUE;
    }
    OnMailSettingsCommand(dialog, id, code);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK JobResultEmailDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (AnswerCancelAndHelp(dialog, message, wParam, lParam, IDC_JR_HELP, kHelp))
        return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        OnJobResultInit(dialog);
        return TRUE;
    case WM_COMMAND:
        return OnJobResultCommand(dialog, LOWORD(wParam), HIWORD(wParam));
    case WM_REFRESHSTATES:
        RefreshMailStates(dialog, true);
        return TRUE;
    }
    return FALSE;
}
