// The remote backup sheet: which change it reports, the FTP page's protocol list and port, the
// E-Mail page's flags, the Test buttons with the values on screen, passwords that could not be
// stored, and what a Cancel after an Apply keeps.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "ConfigEditor.h"
#include "ConfigTable.h"
#include "DialogTestSupport.h"
#include "EditorPage.h"
#include "RemoteBackupSheet.h"
#include "TextHelpers.h"
#include "resource.h"

namespace {

const char kSheetTitle[] = "Remote Backup Options";
const int kEmailPage = 0;
const int kFtpPage = 1;

TEST(RemoteOptions, EveryFieldOfTheTwoPagesCountsAsAChangeAndNothingElseDoes)
{
    BackupConfig base;
    memset(&base, 0, sizeof base);
    const std::vector<std::pair<const char *, std::function<void(BackupConfig &)>>> changes = {
        {"flags", [](BackupConfig &c) { c.flags ^= VerifyHostName; }},
        {"emailFlags", [](BackupConfig &c) { c.emailFlags ^= DefaultPort; }},
        {"smtpPort", [](BackupConfig &c) { c.smtpPort = 587; }},
        {"ftpPort", [](BackupConfig &c) { c.ftpPort = 2121; }},
        {"ftpServer", [](BackupConfig &c) { strcpy(c.ftpServer, "ftp.example.test"); }},
        {"ftpUsername", [](BackupConfig &c) { strcpy(c.ftpUsername, "u"); }},
        {"ftpPassword", [](BackupConfig &c) { strcpy(c.ftpPassword, "p"); }},
        {"ftpDirectory", [](BackupConfig &c) { strcpy(c.ftpDirectory, "in/"); }},
        {"emailTo", [](BackupConfig &c) { strcpy(c.emailTo, "a@example.test"); }},
        {"mailServer", [](BackupConfig &c) { strcpy(c.mailServer, "smtp"); }},
        {"emailFrom", [](BackupConfig &c) { strcpy(c.emailFrom, "b@example.test"); }},
        {"smtpUsername", [](BackupConfig &c) { strcpy(c.smtpUsername, "u"); }},
        {"smtpPassword", [](BackupConfig &c) { strcpy(c.smtpPassword, "p"); }},
    };
    for (const auto &change : changes) {
        BackupConfig after = base;
        change.second(after);
        EXPECT_EQ(RemoteOptionsDiffer(base, after), 1) << change.first;
    }
    BackupConfig after = base;
    strcpy(after.description, "renamed");
    strcpy(after.zipPassword, "other");
    after.ftpServer[127] = 0;
    EXPECT_EQ(RemoteOptionsDiffer(base, after), 0);
}

TEST(RemoteOptions, ProtocolListFollowsTheFlagsAndSetsOneBit)
{
    const struct {
        uint32_t flags;
        int index;
    } shown[] = {
        {0, 0}, {RemoteFtp | VerifyCertificate, 0}, {Sftp, 1}, {FtpsExplicit, 2}, {FtpsImplicit, 3},
        {Sftp | FtpsImplicit, 1}, {FtpsExplicit | FtpsImplicit, 2},
    };
    for (const auto &c : shown)
        EXPECT_EQ(FtpProtocolIndex(c.flags), c.index) << std::hex << c.flags;
    const uint32_t others = RemoteFtp | VerifyCertificate | VerifyHostName | Compressed;
    const uint32_t all = others | Sftp | FtpsExplicit | FtpsImplicit;
    const uint32_t chosen[] = {others, others | Sftp, others | FtpsExplicit, others | FtpsImplicit};
    for (int index = 0; index < 4; ++index)
        EXPECT_EQ(ApplyFtpProtocol(all, index), chosen[index]) << index;
}

class RemoteSheet : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        SetNewConfigDefaults();
    }
    void TearDown() override
    {
        FreeConfigArrays(&editedConfig);
        configSaved = 0;
        EditorTest::TearDown();
    }
    // Runs the sheet while `drive` works it; `drive` gets the sheet and its page.
    int Run(int pageIndex, const std::function<void(HWND sheet, HWND page)> &drive, HWND owner = nullptr)
    {
        int result = -1;
        RunModal(kSheetTitle,
                 [&] {
                     result = EditRemoteBackupOptions(owner);
                     return (INT_PTR)0;
                 },
                 [&](HWND sheet) { drive(sheet, ShowPage(sheet, pageIndex)); });
        return result;
    }
    static void Ok(HWND sheet)
    {
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    }
    FakeSettingsTests tests;
};

TEST_F(RemoteSheet, DefaultFtpPortShows21AndSpecifyWithoutTypingStoresIt)
{
    editedConfig.ftpPort = 0;
    bool portEnabledAtStart = true, portEnabledAfter = false;
    std::string portText;
    int result = Run(kFtpPage, [&](HWND sheet, HWND page) {
        ClickButton(page, IDC_RMTFTP_ENABLE);
        portText = ControlText(page, IDC_RMTFTP_PORT);
        EXPECT_TRUE(IsChecked(page, IDC_RMTFTP_PORT_DEFAULT));
        portEnabledAtStart = IsEnabled(page, IDC_RMTFTP_PORT);
        ClickButton(page, IDC_RMTFTP_PORT_SPECIFY);
        portEnabledAfter = IsEnabled(page, IDC_RMTFTP_PORT);
        ClickButton(page, IDC_RMTFTP_ENABLE);  // off again: only the port differs
        Ok(sheet);
    });
    EXPECT_EQ(portText, "21");
    EXPECT_FALSE(portEnabledAtStart);
    EXPECT_TRUE(portEnabledAfter);
    EXPECT_EQ(editedConfig.ftpPort, 21);
    EXPECT_EQ(editedConfig.flags & RemoteFtp, 0u);
    EXPECT_EQ(result, 1);
}

TEST_F(RemoteSheet, PlainFtpHidesTheCertificateBoxesButKeepsTheirBits)
{
    editedConfig.flags |= RemoteFtp | Sftp | VerifyCertificate;
    editedConfig.ftpPort = 2222;
    bool shownForSftp = false, shownForPlain = true;
    int result = Run(kFtpPage, [&](HWND sheet, HWND page) {
        EXPECT_EQ(SendDlgItemMessageA(page, IDC_RMTFTP_PROTOCOL, CB_GETCURSEL, 0, 0), 1);
        EXPECT_EQ(ControlText(page, IDC_RMTFTP_PORT), "2222");
        EXPECT_TRUE(IsChecked(page, IDC_RMTFTP_PORT_SPECIFY));
        shownForSftp = IsShown(page, IDC_RMTFTP_VERIFY_CERT) && IsShown(page, IDC_RMTFTP_VERIFY_HOST);
        Choose(page, IDC_RMTFTP_PROTOCOL, 0);
        shownForPlain = IsShown(page, IDC_RMTFTP_VERIFY_CERT) || IsShown(page, IDC_RMTFTP_VERIFY_HOST);
        Ok(sheet);
    });
    EXPECT_TRUE(shownForSftp);
    EXPECT_FALSE(shownForPlain);
    EXPECT_EQ(editedConfig.flags & (Sftp | FtpsExplicit | FtpsImplicit), 0u);
    EXPECT_EQ(editedConfig.flags & (VerifyCertificate | VerifyHostName), (uint32_t)VerifyCertificate);
    EXPECT_EQ(result, 1);
}

TEST_F(RemoteSheet, FtpTestUsesTheValuesOnThePageAndStoresNothing)
{
    editedConfig.flags |= RemoteFtp;
    SetScrambled(editedConfig.ftpPassword, sizeof editedConfig.ftpPassword, "stored pw");
    int result = Run(kFtpPage, [&](HWND sheet, HWND page) {
        EXPECT_EQ(ControlText(page, IDC_RMTFTP_PASSWORD), "stored pw");
        SetControlText(page, IDC_RMTFTP_SERVER, "127.0.0.1");
        SetControlText(page, IDC_RMTFTP_USERNAME, "tester");
        SetControlText(page, IDC_RMTFTP_PASSWORD, "typed \x93pw\x94");
        SetControlText(page, IDC_RMTFTP_DIRECTORY, "backups/");
        Choose(page, IDC_RMTFTP_PROTOCOL, 2);
        ClickButton(page, IDC_RMTFTP_VERIFY_HOST);
        ClickButton(page, IDC_RMTFTP_TEST);
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    });
    auto calls = tests.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, "ftp");
    EXPECT_EQ(calls[0].server, "127.0.0.1");
    EXPECT_EQ(calls[0].user, "tester");
    EXPECT_EQ(calls[0].password, "typed \x93pw\x94");
    EXPECT_EQ(calls[0].folder, "backups/");
    EXPECT_EQ(calls[0].flags, (uint32_t)(FtpsExplicit | VerifyHostName));
    EXPECT_EQ(calls[0].port, 0);
    EXPECT_FALSE(calls[0].buttonEnabled);
    EXPECT_TRUE(calls[0].labelShown);
    EXPECT_EQ(result, 0);
    char stored[64];
    lstrcpynA(stored, editedConfig.ftpPassword, sizeof stored);
    ScramblePassword(stored);
    EXPECT_STREQ(stored, "stored pw");
}

// The test pumps messages (its boxes do), so a click on the busy button must not start a
// second test inside the first.
TEST_F(RemoteSheet, ASecondClickDuringATestStartsNoSecondTest)
{
    editedConfig.flags |= RemoteEmail;
    editedConfig.emailFlags = 0;
    tests.during = [](HWND page) {
        PostMessageA(GetDlgItem(page, IDC_MAIL_TEST), BM_CLICK, 0, 0);
        PostMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_MAIL_TEST, BN_CLICKED), (LPARAM)GetDlgItem(page, IDC_MAIL_TEST));
        MSG message;
        DWORD start = GetTickCount();
        while (GetTickCount() - start < 200) {
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            Sleep(10);
        }
    };
    bool enabledAfter = false, labelAfter = true;
    Run(kEmailPage, [&](HWND sheet, HWND page) {
        ClickButton(page, IDC_MAIL_TEST);
        enabledAfter = IsEnabled(page, IDC_MAIL_TEST);
        labelAfter = IsShown(page, IDC_MAIL_TEST_LABEL);
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    });
    auto calls = tests.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_FALSE(calls[0].buttonEnabled);
    EXPECT_TRUE(enabledAfter);
    EXPECT_FALSE(labelAfter);
}

struct MailFlagsCase {
    bool mapi, plainAddress, authentication, secure, tls, defaultPort;
    uint32_t stored;  // what apply leaves in emailFlags, from 0x40 (a bit no control shows)
    uint32_t tested;  // what the test is sent
};

TEST_F(RemoteSheet, EmailPageFlagsWordOnApplyAndForTheTest)
{
    const MailFlagsCase cases[] = {
        {true, true, false, false, false, false, 0x40 | UseSimpleMapi | MapiPlainAddress, MapiPlainAddress},
        {false, false, true, true, true, true, 0x40 | UseAuthentication | SecureTls | DefaultPort,
         UseAuthentication | SecureTls | DefaultPort},
        {false, false, false, true, false, false, 0x40 | SecureSsl, SecureSsl},
        {false, false, true, false, true, false, 0x40 | UseAuthentication, UseAuthentication},
    };
    for (const MailFlagsCase &c : cases) {
        editedConfig.flags |= RemoteEmail;
        editedConfig.emailFlags = 0x40u | (c.mapi ? 0u : (uint32_t)UseSimpleMapi) | (c.secure ? 0u : (uint32_t)SecureTls);
        Run(kEmailPage, [&](HWND sheet, HWND page) {
            CheckRadioPair(page, IDC_MAIL_USE_MAPI, IDC_MAIL_USE_SMTP, c.mapi);
            CheckDlgButton(page, IDC_MAIL_MAPI_PLAIN_ADDRESS, c.plainAddress ? BST_CHECKED : BST_UNCHECKED);
            CheckDlgButton(page, IDC_MAIL_AUTH, c.authentication ? BST_CHECKED : BST_UNCHECKED);
            CheckDlgButton(page, IDC_MAIL_SECURE, c.secure ? BST_CHECKED : BST_UNCHECKED);
            SendDlgItemMessageA(page, IDC_MAIL_SECURE_KIND, CB_SETCURSEL, c.tls ? 1 : 0, 0);
            CheckRadioPair(page, IDC_MAIL_PORT_DEFAULT, IDC_MAIL_PORT_SPECIFY, c.defaultPort);
            ClickButton(page, IDC_MAIL_TEST);
            Ok(sheet);
        });
        EXPECT_EQ(editedConfig.emailFlags, c.stored) << c.mapi << c.authentication << c.secure << c.tls;
        auto calls = tests.Calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().kind, c.mapi ? "mapi" : "smtp");
        EXPECT_EQ(calls.back().flags, c.tested);
    }
}

TEST_F(RemoteSheet, EmailPageShowsTheStoredValuesAndItsSwitchGreysEverythingElse)
{
    editedConfig.flags &= ~(uint32_t)RemoteEmail;
    editedConfig.emailFlags = UseAuthentication | SecureTls;
    strcpy(editedConfig.emailTo, "ops@example.test");
    strcpy(editedConfig.mailServer, "127.0.0.1");
    SetScrambled(editedConfig.smtpPassword, sizeof editedConfig.smtpPassword, "m\xE4il pass");
    editedConfig.smtpPort = 2525;
    const int others[] = {IDC_MAIL_TO, IDC_MAIL_USE_MAPI, IDC_MAIL_USE_SMTP, IDC_MAIL_SERVER, IDC_MAIL_FROM,
                          IDC_MAIL_AUTH, IDC_MAIL_USERNAME, IDC_MAIL_PASSWORD, IDC_MAIL_PORT, IDC_MAIL_SECURE,
                          IDC_MAIL_SECURE_KIND, IDC_MAIL_TEST, IDC_MAIL_MAPI_PLAIN_ADDRESS};
    int enabledWhileOff = 0;
    int result = Run(kEmailPage, [&](HWND sheet, HWND page) {
        EXPECT_EQ(ControlText(page, IDC_MAIL_TO), "ops@example.test");
        EXPECT_EQ(ControlText(page, IDC_MAIL_PASSWORD), "m\xE4il pass");
        EXPECT_EQ(ControlText(page, IDC_MAIL_PORT), "2525");
        EXPECT_EQ(ControlText(page, IDC_MAIL_SECURE_KIND), "TLS");
        EXPECT_TRUE(IsChecked(page, IDC_MAIL_PORT_SPECIFY));
        for (int id : others)
            enabledWhileOff += IsEnabled(page, id) ? 1 : 0;
        EXPECT_TRUE(IsEnabled(page, IDC_RMTEMAIL_ENABLE));
        ClickButton(page, IDC_RMTEMAIL_ENABLE);
        Settle(page);
        EXPECT_TRUE(IsEnabled(page, IDC_MAIL_PASSWORD));
        EXPECT_TRUE(IsEnabled(page, IDC_MAIL_PORT));
        EXPECT_FALSE(IsEnabled(page, IDC_MAIL_MAPI_PLAIN_ADDRESS));
        SetControlText(page, IDC_MAIL_PORT, "12345");
        Ok(sheet);
    });
    EXPECT_EQ(enabledWhileOff, 0);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(editedConfig.smtpPort, 12345);
    EXPECT_EQ(editedConfig.flags & RemoteEmail, (uint32_t)RemoteEmail);
    char stored[64];
    lstrcpynA(stored, editedConfig.smtpPassword, sizeof stored);
    ScramblePassword(stored);
    EXPECT_STREQ(stored, "m\xE4il pass");
}

TEST_F(RemoteSheet, PasswordsHoldingTheScramblingKeyAreRefusedOnEitherPage)
{
    for (int pageIndex : {kEmailPage, kFtpPage}) {
        SharedBoxRecorder boxes;
        int passwordId = pageIndex == kEmailPage ? IDC_MAIL_PASSWORD : IDC_RMTFTP_PASSWORD;
        editedConfig.flags |= RemoteEmail | RemoteFtp;
        editedConfig.emailFlags = UseAuthentication;
        bool stayed = false;
        HWND focused = nullptr, passwordBox = nullptr;
        int result = Run(pageIndex, [&](HWND sheet, HWND page) {
            passwordBox = GetDlgItem(page, passwordId);
            SetControlText(page, passwordId, "sect\xA7ion");
            SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
            Settle(sheet);
            stayed = IsWindow(sheet) && IsWindowVisible(sheet);
            focused = FocusOf(sheet);
            PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        });
        EXPECT_TRUE(stayed) << pageIndex;
        EXPECT_EQ(focused, passwordBox) << pageIndex;
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kPasswordKeyByteMessage}) << pageIndex;
        EXPECT_EQ(result, 0) << pageIndex;
        EXPECT_EQ(editedConfig.smtpPassword[0], '\0');
        EXPECT_EQ(editedConfig.ftpPassword[0], '\0');
    }
}

// The sheet sits inside the editor's Advanced page: its Cancel is no reset of the editor's pages.
TEST_F(RemoteSheet, CancelAfterApplyKeepsTheAppliedValuesAndTheEditorsSavedState)
{
    configSaved = 1;
    int result = Run(kFtpPage, [&](HWND sheet, HWND page) {
        SetControlText(page, IDC_RMTFTP_SERVER, "ftp.example.test");
        SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_APPLYNOW, 0);
        Settle(sheet);
        SetControlText(page, IDC_RMTFTP_SERVER, "not applied");
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    });
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(editedConfig.ftpServer, "ftp.example.test");
    EXPECT_EQ(configSaved, 1);
}

// While the sheet is open the editor's whole sheet (the page's top-level window) is disabled, so
// the editor cannot end under it.
TEST_F(RemoteSheet, TheOwnersTopLevelWindowIsDisabledWhileTheSheetIsOpen)
{
    HWND top = CreateWindowExA(0, "#32770", "Owner sheet", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                               nullptr, nullptr);
    HWND child = CreateWindowExA(0, "#32770", "", WS_CHILD, 0, 0, 100, 100, top, nullptr, nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    bool topEnabled = true;
    Run(kEmailPage, [&](HWND sheet, HWND) {
        topEnabled = IsWindowEnabled(top) != FALSE;
        EXPECT_EQ(GetWindow(sheet, GW_OWNER), top);
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    }, child);
    EXPECT_FALSE(topEnabled);
    EXPECT_TRUE(IsWindowEnabled(top));
    DestroyWindow(top);
}

}  // namespace

// The record is written to the store as it lies, so a shorter new password must not leave the
// old one's tail behind its terminator.
TEST_F(RemoteSheet, AShorterPasswordLeavesNothingOfTheOldOneInTheRecord)
{
    SetScrambled(editedConfig.smtpPassword, sizeof editedConfig.smtpPassword, "a rather long old password");
    SetScrambled(editedConfig.ftpPassword, sizeof editedConfig.ftpPassword, "another long old password");
    editedConfig.flags |= RemoteEmail | RemoteFtp;
    editedConfig.emailFlags = UseAuthentication;
    Run(kEmailPage, [&](HWND sheet, HWND page) {
        SetControlText(page, IDC_MAIL_PASSWORD, "new");
        HWND ftp = ShowPage(sheet, kFtpPage);
        SetControlText(ftp, IDC_RMTFTP_PASSWORD, "pw");
        Ok(sheet);
    });
    const struct {
        const char *name;
        const char *field;
        size_t length;
    } fields[] = {{"smtpPassword", editedConfig.smtpPassword, 3}, {"ftpPassword", editedConfig.ftpPassword, 2}};
    for (const auto &f : fields) {
        for (size_t i = f.length; i < 64; ++i)
            ASSERT_EQ(f.field[i], '\0') << f.name << " byte " << i;
    }
}
