// Page "FTP" of the remote backup sheet (dialog 154): uploading the compressed backup by plain
// FTP, SFTP or FTPS, the server's settings, and a test upload with the values on the page.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <string.h>

#include "ConfigTable.h"
#include "EditorPage.h"
#include "HelpAccess.h"
#include "MsvcrtFormat.h"
#include "RemoteBackupSheet.h"
#include "SecretText.h"
#include "SettingsTest.h"
#include "TextHelpers.h"
#include "resource.h"

namespace {

const uint32_t kProtocolBits = FtpsImplicit | FtpsExplicit | Sftp;
// The protocol list in its order, with the flag of each entry.
const struct {
    const char *text;
    uint32_t bit;
} kProtocols[] = {
    {"Plain FTP (insecure)", 0},
    {"SFTP - SSH File Transfer protocol", Sftp},
    {"FTPS - Explicit FTP over TLS", FtpsExplicit},
    {"FTPS - Implicit FTP over TLS", FtpsImplicit},
};
const int kProtocolCount = sizeof kProtocols / sizeof kProtocols[0];
const int kDefaultFtpPort = 21;

const int kPopupControls[] = {
    IDC_RMTFTP_SERVER, IDC_RMTFTP_DIRECTORY, IDC_RMTFTP_PORT_DEFAULT, IDC_RMTFTP_ENABLE, IDC_RMTFTP_USERNAME,
    IDC_RMTFTP_PASSWORD, IDC_RMTFTP_TEST, IDC_RMTFTP_PROTOCOL, IDC_RMTFTP_VERIFY_CERT, IDC_RMTFTP_VERIFY_HOST,
    IDC_RMTFTP_PORT, IDC_RMTFTP_PORT_SPIN, IDC_RMTFTP_PORT_SPECIFY, 0,
};
const EditorPageHelp kHelp = {IDS_HELPKEY_REMOTE_FTP, "RmtFTP.txt", kPopupControls};

// GWLP_USERDATA is 1 once the page has been filled: edits from then on are the user's.
bool IsReady(HWND page)
{
    return GetWindowLongPtrA(page, GWLP_USERDATA) != 0;
}

int SelectedProtocol(HWND page)
{
    int index = (int)SendDlgItemMessageA(page, IDC_RMTFTP_PROTOCOL, CB_GETCURSEL, 0, 0);
    return index >= 0 && index < kProtocolCount ? index : 0;
}

// The port as the page sets it: 0 with Default, else the number typed.
int ReadFtpPort(HWND page)
{
    return IsBoxChecked(page, IDC_RMTFTP_PORT_DEFAULT) ? 0 : ReadBoxNumber(page, IDC_RMTFTP_PORT, 5);
}

// The flags the page shows, put into `flags`.
uint32_t ReadFtpFlags(HWND page, uint32_t flags)
{
    flags = ApplyFtpProtocol(flags, SelectedProtocol(page));
    flags &= ~(uint32_t)(VerifyCertificate | VerifyHostName);
    if (IsBoxChecked(page, IDC_RMTFTP_VERIFY_CERT))
        flags |= VerifyCertificate;
    if (IsBoxChecked(page, IDC_RMTFTP_VERIFY_HOST))
        flags |= VerifyHostName;
    return flags;
}

void SetLimitedText(HWND page, int id, const char *text, int limit)
{
    SendDlgItemMessageA(page, id, EM_LIMITTEXT, (WPARAM)limit, 0);
    SetDlgItemTextA(page, id, text);
}

void OnFtpInit(HWND page)
{
    const BackupConfig &c = editedConfig;
    CheckDlgButton(page, IDC_RMTFTP_ENABLE, (c.flags & RemoteFtp) ? BST_CHECKED : BST_UNCHECKED);
    SetLimitedText(page, IDC_RMTFTP_SERVER, c.ftpServer, sizeof c.ftpServer - 1);
    SetLimitedText(page, IDC_RMTFTP_USERNAME, c.ftpUsername, sizeof c.ftpUsername - 1);
    char password[sizeof c.ftpPassword];
    lstrcpynA(password, c.ftpPassword, sizeof password);
    ScramblePassword(password);
    SetLimitedText(page, IDC_RMTFTP_PASSWORD, password, sizeof password - 1);
    SecureZeroMemory(password, sizeof password);
    SetLimitedText(page, IDC_RMTFTP_DIRECTORY, c.ftpDirectory, sizeof c.ftpDirectory - 1);
    HWND list = GetDlgItem(page, IDC_RMTFTP_PROTOCOL);
    for (int i = 0; i < kProtocolCount; ++i)
        SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)kProtocols[i].text);
    SendMessageA(list, CB_SETCURSEL, (WPARAM)FtpProtocolIndex(c.flags), 0);
    CheckDlgButton(page, IDC_RMTFTP_VERIFY_CERT, (c.flags & VerifyCertificate) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(page, IDC_RMTFTP_VERIFY_HOST, (c.flags & VerifyHostName) ? BST_CHECKED : BST_UNCHECKED);
    CheckRadioPair(page, IDC_RMTFTP_PORT_DEFAULT, IDC_RMTFTP_PORT_SPECIFY, c.ftpPort == 0);
    char port[16];
    FormatText(port, sizeof port, "%d", c.ftpPort != 0 ? c.ftpPort : kDefaultFtpPort);
    SetDlgItemTextA(page, IDC_RMTFTP_PORT, port);
    SendDlgItemMessageA(page, IDC_RMTFTP_PORT_SPIN, UDM_SETRANGE32, 1, 9999);
    ShowWindow(GetDlgItem(page, IDC_RMTFTP_TEST_LABEL), SW_HIDE);
    PostMessageA(page, WM_REFRESHSTATES, 0, 0);
    SetWindowLongPtrA(page, GWLP_USERDATA, 1);
}

void OnFtpRefresh(HWND page)
{
    bool on = IsBoxChecked(page, IDC_RMTFTP_ENABLE);
    static const int kServerControls[] = {
        IDC_RMTFTP_SERVER_LABEL, IDC_RMTFTP_SERVER, IDC_RMTFTP_USERNAME_LABEL, IDC_RMTFTP_USERNAME,
        IDC_RMTFTP_PASSWORD_LABEL, IDC_RMTFTP_PASSWORD, IDC_RMTFTP_DIRECTORY_LABEL, IDC_RMTFTP_DIRECTORY,
        IDC_RMTFTP_PROTOCOL, IDC_RMTFTP_TEST, IDC_RMTFTP_PORT_GROUP, IDC_RMTFTP_PORT_DEFAULT, IDC_RMTFTP_PORT_SPECIFY,
    };
    for (int id : kServerControls)
        EnableWindow(GetDlgItem(page, id), on ? TRUE : FALSE);
    int certificateBoxes = on && SelectedProtocol(page) != 0 ? SW_SHOW : SW_HIDE;
    ShowWindow(GetDlgItem(page, IDC_RMTFTP_VERIFY_CERT), certificateBoxes);
    ShowWindow(GetDlgItem(page, IDC_RMTFTP_VERIFY_HOST), certificateBoxes);
    BOOL port = on && IsBoxChecked(page, IDC_RMTFTP_PORT_SPECIFY) ? TRUE : FALSE;
    EnableWindow(GetDlgItem(page, IDC_RMTFTP_PORT), port);
    EnableWindow(GetDlgItem(page, IDC_RMTFTP_PORT_SPIN), port);
}

void OnFtpTest(HWND page)
{
    char server[128], user[64], folder[260];
    GetDlgItemTextA(page, IDC_RMTFTP_SERVER, server, sizeof server);
    GetDlgItemTextA(page, IDC_RMTFTP_USERNAME, user, sizeof user);
    // Off the stack while the test runs: a crash dump would hold it there.
    SecretText password(sizeof editedConfig.ftpPassword);
    GetDlgItemTextA(page, IDC_RMTFTP_PASSWORD, password.Buffer(), (int)password.Size());
    GetDlgItemTextA(page, IDC_RMTFTP_DIRECTORY, folder, sizeof folder);
    uint32_t flags = ReadFtpFlags(page, 0);
    int port = ReadFtpPort(page);
    RunSettingsTest(page, IDC_RMTFTP_TEST, IDC_RMTFTP_TEST_LABEL, [&] {
        settingsTests->testFtpUpload(page, folder, server, user, password.Text(), flags, port);
    });
}

INT_PTR OnFtpApply(HWND page)
{
    BackupConfig &c = editedConfig;
    char password[sizeof c.ftpPassword];
    GetDlgItemTextA(page, IDC_RMTFTP_PASSWORD, password, sizeof password);
    if (!CanScramblePassword(password)) {
        SecureZeroMemory(password, sizeof password);
        return RefusePageApply(page, kPasswordKeyByteMessage, IDC_RMTFTP_PASSWORD);
    }
    if (IsBoxChecked(page, IDC_RMTFTP_ENABLE))
        c.flags |= RemoteFtp;
    else
        c.flags &= ~(uint32_t)RemoteFtp;
    GetDlgItemTextA(page, IDC_RMTFTP_SERVER, c.ftpServer, sizeof c.ftpServer);
    GetDlgItemTextA(page, IDC_RMTFTP_USERNAME, c.ftpUsername, sizeof c.ftpUsername);
    ScramblePassword(password);
    // Cleared first, so no tail of the previous password stays behind the new one.
    SecureZeroMemory(c.ftpPassword, sizeof c.ftpPassword);
    lstrcpynA(c.ftpPassword, password, sizeof c.ftpPassword);
    SecureZeroMemory(password, sizeof password);
    GetDlgItemTextA(page, IDC_RMTFTP_DIRECTORY, c.ftpDirectory, sizeof c.ftpDirectory);
    c.flags = ReadFtpFlags(page, c.flags);
    c.ftpPort = ReadFtpPort(page);
    SendMessageA(GetParent(page), PSM_CANCELTOCLOSE, 0, 0);
    SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
    return TRUE;
}

INT_PTR OnFtpCommand(HWND page, int id, int code)
{
    switch (id) {
    case IDC_RMTFTP_SERVER:
    case IDC_RMTFTP_DIRECTORY:
    case IDC_RMTFTP_USERNAME:
    case IDC_RMTFTP_PASSWORD:
    case IDC_RMTFTP_PORT:
        if (code == EN_CHANGE && IsReady(page))
            MarkPageChanged(page);
        return TRUE;
    case IDC_RMTFTP_ENABLE:
    case IDC_RMTFTP_PORT_DEFAULT:
    case IDC_RMTFTP_PORT_SPECIFY:
    case IDC_RMTFTP_PROTOCOL:
        if (code != (id == IDC_RMTFTP_PROTOCOL ? CBN_SELCHANGE : BN_CLICKED))
            return TRUE;
        SendMessageA(page, WM_REFRESHSTATES, 0, 0);
        MarkPageChanged(page);
        return TRUE;
    case IDC_RMTFTP_VERIFY_CERT:
    case IDC_RMTFTP_VERIFY_HOST:
        if (code == BN_CLICKED)
            MarkPageChanged(page);
        return TRUE;
    case IDC_RMTFTP_TEST:
        if (code == BN_CLICKED)
            OnFtpTest(page);
        return TRUE;
    }
    return FALSE;
}

INT_PTR OnFtpNotify(HWND page, const NMHDR *header)
{
    switch (header->code) {
    case PSN_APPLY:
        return OnFtpApply(page);
    case PSN_HELP:
        ShowHelpTopic(GetParent(page), kHelp.topicId);
        SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int FtpProtocolIndex(uint32_t flags)
{
    for (int i = 1; i < kProtocolCount; ++i) {
        if (flags & kProtocols[i].bit)
            return i;
    }
    return 0;
}

uint32_t ApplyFtpProtocol(uint32_t flags, int index)
{
    flags &= ~kProtocolBits;
    if (index > 0 && index < kProtocolCount)
        flags |= kProtocols[index].bit;
    return flags;
}

INT_PTR CALLBACK FtpPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnFtpInit(page);
        return TRUE;
    case WM_COMMAND:
        return OnFtpCommand(page, LOWORD(wParam), HIWORD(wParam));
    case WM_NOTIFY:
        return OnFtpNotify(page, reinterpret_cast<const NMHDR *>(lParam));
    case WM_REFRESHSTATES:
        OnFtpRefresh(page);
        return TRUE;
    case WM_HELP:
        ShowPageHelp(page, reinterpret_cast<const HELPINFO *>(lParam), kHelp);
        return TRUE;
    }
    return FALSE;
}
