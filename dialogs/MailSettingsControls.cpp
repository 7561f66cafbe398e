#include "MailSettingsControls.h"

#include <commctrl.h>
#include <string.h>

#include <memory>

#include "BackupConfig.h"
#include "EditorPage.h"
#include "MsvcrtFormat.h"
#include "SettingsTest.h"
#include "TextHelpers.h"
#include "resource.h"

namespace {

const uint32_t kShownFlags = UseSimpleMapi | MapiPlainAddress | UseAuthentication | DefaultPort | SecureSsl | SecureTls;
const int kTlsIndex = 1;

void Enable(HWND dialog, int id, bool on)
{
    EnableWindow(GetDlgItem(dialog, id), on ? TRUE : FALSE);
}

void EnableAll(HWND dialog, const int *ids, size_t count, bool on)
{
    for (size_t i = 0; i < count; ++i)
        Enable(dialog, ids[i], on);
}

// What the controls show, the password in plain text.
struct MailSettings {
    uint32_t flags;  // EmailFlags; only the six bits the controls show are read back
    char to[256];
    char server[128];
    char from[256];
    char user[64];
    char password[64];
    int port;
};

void ShowMailSettings(HWND dialog, const MailSettings &settings, int lowestPort)
{
    SendDlgItemMessageA(dialog, IDC_MAIL_TO, EM_LIMITTEXT, sizeof settings.to - 1, 0);
    SetDlgItemTextA(dialog, IDC_MAIL_TO, settings.to);
    CheckRadioPair(dialog, IDC_MAIL_USE_MAPI, IDC_MAIL_USE_SMTP, (settings.flags & UseSimpleMapi) != 0);
    CheckDlgButton(dialog, IDC_MAIL_MAPI_PLAIN_ADDRESS, (settings.flags & MapiPlainAddress) ? BST_CHECKED : BST_UNCHECKED);
    SendDlgItemMessageA(dialog, IDC_MAIL_SERVER, EM_LIMITTEXT, sizeof settings.server - 1, 0);
    SetDlgItemTextA(dialog, IDC_MAIL_SERVER, settings.server);
    SendDlgItemMessageA(dialog, IDC_MAIL_FROM, EM_LIMITTEXT, sizeof settings.from - 1, 0);
    SetDlgItemTextA(dialog, IDC_MAIL_FROM, settings.from);
    CheckDlgButton(dialog, IDC_MAIL_AUTH, (settings.flags & UseAuthentication) ? BST_CHECKED : BST_UNCHECKED);
    SendDlgItemMessageA(dialog, IDC_MAIL_USERNAME, EM_LIMITTEXT, sizeof settings.user - 1, 0);
    SetDlgItemTextA(dialog, IDC_MAIL_USERNAME, settings.user);
    SendDlgItemMessageA(dialog, IDC_MAIL_PASSWORD, EM_LIMITTEXT, sizeof settings.password - 1, 0);
    SetDlgItemTextA(dialog, IDC_MAIL_PASSWORD, settings.password);
    HWND kind = GetDlgItem(dialog, IDC_MAIL_SECURE_KIND);
    SendMessageA(kind, CB_RESETCONTENT, 0, 0);
    SendMessageA(kind, CB_ADDSTRING, 0, (LPARAM) "SSL");
    SendMessageA(kind, CB_ADDSTRING, 0, (LPARAM) "TLS");
    SendMessageA(kind, CB_SETCURSEL, (settings.flags & SecureTls) ? kTlsIndex : 0, 0);
    CheckDlgButton(dialog, IDC_MAIL_SECURE, (settings.flags & (SecureSsl | SecureTls)) ? BST_CHECKED : BST_UNCHECKED);
    CheckRadioPair(dialog, IDC_MAIL_PORT_DEFAULT, IDC_MAIL_PORT_SPECIFY, (settings.flags & DefaultPort) != 0);
    char port[16];
    FormatText(port, sizeof port, "%d", settings.port);
    SetDlgItemTextA(dialog, IDC_MAIL_PORT, port);
    SendDlgItemMessageA(dialog, IDC_MAIL_PORT_SPIN, UDM_SETRANGE32, (WPARAM)lowestPort, 9999);
    ShowWindow(GetDlgItem(dialog, IDC_MAIL_TEST_LABEL), SW_HIDE);
}

uint32_t ReadMailFlags(HWND dialog, uint32_t flags)
{
    flags &= ~kShownFlags;
    if (IsBoxChecked(dialog, IDC_MAIL_USE_MAPI))
        flags |= UseSimpleMapi;
    if (IsBoxChecked(dialog, IDC_MAIL_MAPI_PLAIN_ADDRESS))
        flags |= MapiPlainAddress;
    if (IsBoxChecked(dialog, IDC_MAIL_AUTH))
        flags |= UseAuthentication;
    if (IsBoxChecked(dialog, IDC_MAIL_SECURE))
        flags |= SendDlgItemMessageA(dialog, IDC_MAIL_SECURE_KIND, CB_GETCURSEL, 0, 0) == kTlsIndex ? SecureTls : SecureSsl;
    if (IsBoxChecked(dialog, IDC_MAIL_PORT_DEFAULT))
        flags |= DefaultPort;
    return flags;
}

uint32_t ReadTestMailFlags(HWND dialog)
{
    return ReadMailFlags(dialog, 0) & ~(uint32_t)UseSimpleMapi;
}

void ReadMailSettings(HWND dialog, MailSettings *settings)
{
    settings->flags = ReadMailFlags(dialog, settings->flags);
    GetDlgItemTextA(dialog, IDC_MAIL_TO, settings->to, sizeof settings->to);
    GetDlgItemTextA(dialog, IDC_MAIL_SERVER, settings->server, sizeof settings->server);
    GetDlgItemTextA(dialog, IDC_MAIL_FROM, settings->from, sizeof settings->from);
    GetDlgItemTextA(dialog, IDC_MAIL_USERNAME, settings->user, sizeof settings->user);
    GetDlgItemTextA(dialog, IDC_MAIL_PASSWORD, settings->password, sizeof settings->password);
    settings->port = ReadBoxNumber(dialog, IDC_MAIL_PORT, 5);
}

void RunTestMail(HWND dialog)
{
    // On the heap: the typed password must not lie on the stack while the test runs, where a
    // crash dump would hold it.
    auto shown = std::make_unique<MailSettings>();
    ReadMailSettings(dialog, shown.get());
    uint32_t flags = ReadTestMailFlags(dialog);
    bool mapi = IsBoxChecked(dialog, IDC_MAIL_USE_MAPI);
    RunSettingsTest(dialog, IDC_MAIL_TEST, IDC_MAIL_TEST_LABEL, [&] {
        if (mapi)
            settingsTests->sendMapiTestMail(dialog, shown->to, flags);
        else
            settingsTests->sendSmtpTestMail(dialog, shown->to, flags, shown->server, shown->port, shown->user,
                                            shown->password, shown->from);
    });
    SecureZeroMemory(shown->password, sizeof shown->password);
}

}  // namespace

void ShowStoredMailSettings(HWND dialog, const StoredMailTexts &texts, uint32_t flags, int port, int lowestPort)
{
    MailSettings shown;
    memset(&shown, 0, sizeof shown);
    shown.flags = flags;
    lstrcpynA(shown.to, *texts.to, sizeof shown.to);
    lstrcpynA(shown.server, *texts.server, sizeof shown.server);
    lstrcpynA(shown.from, *texts.from, sizeof shown.from);
    lstrcpynA(shown.user, *texts.user, sizeof shown.user);
    lstrcpynA(shown.password, *texts.password, sizeof shown.password);
    ScramblePassword(shown.password);
    shown.port = port;
    ShowMailSettings(dialog, shown, lowestPort);
    SecureZeroMemory(shown.password, sizeof shown.password);
}

bool StoreMailSettings(HWND dialog, const StoredMailTexts &texts, uint32_t *flags, int *port)
{
    MailSettings typed;
    memset(&typed, 0, sizeof typed);
    typed.flags = *flags;
    ReadMailSettings(dialog, &typed);
    bool storable = CanScramblePassword(typed.password);
    if (storable) {
        *flags = typed.flags;
        lstrcpynA(*texts.to, typed.to, sizeof *texts.to);
        lstrcpynA(*texts.server, typed.server, sizeof *texts.server);
        lstrcpynA(*texts.from, typed.from, sizeof *texts.from);
        lstrcpynA(*texts.user, typed.user, sizeof *texts.user);
        // Cleared first, so no tail of the previous password stays behind the new one.
        SecureZeroMemory(*texts.password, sizeof *texts.password);
        lstrcpynA(*texts.password, typed.password, sizeof *texts.password);
        ScramblePassword(*texts.password);
        *port = typed.port;
    }
    SecureZeroMemory(typed.password, sizeof typed.password);
    return storable;
}

void RefreshMailStates(HWND dialog, bool enabled)
{
    bool mapi = enabled && IsBoxChecked(dialog, IDC_MAIL_USE_MAPI);
    bool smtp = enabled && IsBoxChecked(dialog, IDC_MAIL_USE_SMTP);
    static const int kRoad[] = {IDC_MAIL_TO, IDC_MAIL_HOW_GROUP, IDC_MAIL_USE_MAPI, IDC_MAIL_USE_SMTP, IDC_MAIL_TEST};
    static const int kMapi[] = {IDC_MAIL_MAPI_GROUP, IDC_MAIL_MAPI_PLAIN_ADDRESS};
    static const int kSmtp[] = {IDC_MAIL_SERVER_GROUP, IDC_MAIL_SERVER_LABEL, IDC_MAIL_SERVER, IDC_MAIL_FROM_LABEL,
                                IDC_MAIL_FROM, IDC_MAIL_AUTH, IDC_MAIL_PORT_GROUP, IDC_MAIL_PORT_DEFAULT,
                                IDC_MAIL_PORT_SPECIFY, IDC_MAIL_SECURE};
    static const int kLogin[] = {IDC_MAIL_USERNAME_LABEL, IDC_MAIL_USERNAME, IDC_MAIL_PASSWORD_LABEL, IDC_MAIL_PASSWORD};
    static const int kPort[] = {IDC_MAIL_PORT, IDC_MAIL_PORT_SPIN};
    EnableAll(dialog, kRoad, sizeof kRoad / sizeof kRoad[0], enabled);
    EnableAll(dialog, kMapi, sizeof kMapi / sizeof kMapi[0], mapi);
    EnableAll(dialog, kSmtp, sizeof kSmtp / sizeof kSmtp[0], smtp);
    EnableAll(dialog, kLogin, sizeof kLogin / sizeof kLogin[0], smtp && IsBoxChecked(dialog, IDC_MAIL_AUTH));
    EnableAll(dialog, kPort, sizeof kPort / sizeof kPort[0], smtp && IsBoxChecked(dialog, IDC_MAIL_PORT_SPECIFY));
    Enable(dialog, IDC_MAIL_SECURE_KIND, smtp && IsBoxChecked(dialog, IDC_MAIL_SECURE));
}

int OnMailSettingsCommand(HWND dialog, int id, int code)
{
    switch (id) {
    case IDC_MAIL_USE_MAPI:
    case IDC_MAIL_USE_SMTP:
    case IDC_MAIL_PORT_DEFAULT:
    case IDC_MAIL_PORT_SPECIFY:
    case IDC_MAIL_AUTH:
    case IDC_MAIL_SECURE:
        if (code != BN_CLICKED)
            return 0;
        PostMessageA(dialog, WM_REFRESHSTATES, 0, 0);
        return 1;
    case IDC_MAIL_MAPI_PLAIN_ADDRESS:
        return code == BN_CLICKED ? 1 : 0;
    case IDC_MAIL_TO:
    case IDC_MAIL_SERVER:
    case IDC_MAIL_FROM:
    case IDC_MAIL_USERNAME:
    case IDC_MAIL_PASSWORD:
    case IDC_MAIL_PORT:
        return code == EN_CHANGE ? 1 : 0;
    case IDC_MAIL_TEST:
        if (code == BN_CLICKED)
            RunTestMail(dialog);
        return 0;
    }
    return 0;
}
