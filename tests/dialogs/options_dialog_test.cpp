// The options dialog: what it shows for stored values, what OK stores (clamped and mapped), the
// toolbar rebuilt only for a new button size, and the job-result e-mail dialog inside it.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "ConfigTable.h"
#include "DialogTestSupport.h"
#include "EditorPage.h"
#include "GlobalSettings.h"
#include "OptionsDialog.h"
#include "ShellJobShell.h"
#include "TextHelpers.h"
#include "Toolbar.h"
#include "resource.h"

namespace {

const char kOptionsTitle[] = "Options";
const char kJobResultTitle[] = "E-Mail Backup Results";

std::string Selected(HWND dialog, int id)
{
    return ControlText(dialog, id);
}

class OptionsDialog : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        ResetGlobalSettings();
    }
    void TearDown() override
    {
        ResetGlobalSettings();
        EditorTest::TearDown();
    }
    INT_PTR Run(const std::function<void(HWND)> &drive)
    {
        return RunModal(kOptionsTitle,
                        [&] {
                            return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_OPTIONS), nullptr,
                                                   OptionsDialogProc, 0);
                        },
                        drive);
    }
};

TEST_F(OptionsDialog, StoredValuesAreShownByTheirListEntriesAndOkClampsAndMapsThem)
{
    gSettings.newVersionFrequency = 14;
    gSettings.jrEmailWhen = 0x3;
    gSettings.dialogSize = 9;
    gSettings.buttonSize = 0;
    gSettings.ftpRetry = 500;
    gSettings.logCompression = 2;
    std::string versionShown, whenShown, sizeShown, buttonShown, retryShown;
    bool configureEnabled = true, problemsEnabled = true, compressionShown = true;
    INT_PTR result = Run([&](HWND dialog) {
        versionShown = Selected(dialog, IDC_OPTIONS_VERSION_CHECK);
        whenShown = Selected(dialog, IDC_OPTIONS_JR_WHEN);
        sizeShown = Selected(dialog, IDC_OPTIONS_DIALOG_SIZE);
        buttonShown = Selected(dialog, IDC_OPTIONS_BUTTON_SIZE);
        retryShown = ControlText(dialog, IDC_OPTIONS_FTP_RETRY);
        configureEnabled = IsEnabled(dialog, IDC_OPTIONS_JR_CONFIGURE);
        problemsEnabled = IsEnabled(dialog, IDC_OPTIONS_JR_PROBLEMS_ONLY);
        compressionShown = IsChecked(dialog, IDC_OPTIONS_VERBOSE_ZIP_LOG);
        SetControlText(dialog, IDC_OPTIONS_FTP_RETRY, "12345");
        SetControlText(dialog, IDC_OPTIONS_SMTP_RETRY, "7");
        SetControlText(dialog, IDC_OPTIONS_SEND_TIMEOUT, "0");
        SetControlText(dialog, IDC_OPTIONS_RECV_TIMEOUT, "000123456");
        Choose(dialog, IDC_OPTIONS_JR_WHEN, 2);
        Settle(dialog);
        EXPECT_TRUE(IsEnabled(dialog, IDC_OPTIONS_JR_CONFIGURE));
        ClickButton(dialog, IDC_OPTIONS_JR_PROBLEMS_ONLY);
        Choose(dialog, IDC_OPTIONS_DIALOG_SIZE, 1);
        ClickButton(dialog, IDC_OPTIONS_CONFIRM_EXIT);
        ClickButton(dialog, IDC_OPTIONS_VERBOSE_LOG);
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(versionShown, "Every 7 Days");
    EXPECT_EQ(whenShown, "Never");
    EXPECT_EQ(sizeShown, "Standard (8pt)");
    EXPECT_EQ(buttonShown, "<Automatic>");
    EXPECT_EQ(retryShown, "500");
    EXPECT_FALSE(configureEnabled);
    EXPECT_FALSE(problemsEnabled);
    EXPECT_FALSE(compressionShown) << "shown checked only when exactly 1";
    EXPECT_EQ(result, 1);
    EXPECT_EQ(gSettings.ftpRetry, 9999);
    EXPECT_EQ(gSettings.smtpRetry, 7);
    EXPECT_EQ(gSettings.emailSendTimeout, 1);
    EXPECT_EQ(gSettings.emailRecvTimeout, 12) << "only the first five characters are read";
    EXPECT_EQ(gSettings.newVersionFrequency, 7);
    EXPECT_EQ(gSettings.jrEmailWhen, 0x4 | 0x10);
    EXPECT_EQ(gSettings.dialogSize, 10);
    EXPECT_EQ(gSettings.askExit, 0);
    EXPECT_EQ(gSettings.logVerbose, 1);
    EXPECT_EQ(gSettings.logCompression, 0);
}

TEST_F(OptionsDialog, ListEntriesMapToTheirStoredValues)
{
    const struct {
        int versionIndex, days;
        int whenIndex, whenBits;
        int sizeIndex, points;
    } cases[] = {
        {0, 1, 0, 0x1, 2, 12},
        {2, 30, 1, 0x2, 0, 8},
        {3, 0, 3, 0x8, 1, 10},
    };
    for (const auto &c : cases) {
        gSettings.jrEmailWhen = 0x10 | 0x1;
        Run([&](HWND dialog) {
            Choose(dialog, IDC_OPTIONS_VERSION_CHECK, c.versionIndex);
            Choose(dialog, IDC_OPTIONS_JR_WHEN, c.whenIndex);
            Choose(dialog, IDC_OPTIONS_DIALOG_SIZE, c.sizeIndex);
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        });
        EXPECT_EQ(gSettings.newVersionFrequency, c.days) << c.versionIndex;
        EXPECT_EQ(gSettings.jrEmailWhen, c.whenBits | 0x10) << c.whenIndex;
        EXPECT_EQ(gSettings.dialogSize, c.points) << c.sizeIndex;
    }
    const struct {
        int stored;
        const char *shown;
    } shown[] = {{1, "Every Day"}, {30, "Every 30 Days"}, {0, "Never"}, {-3, "Never"}, {2, "Every 7 Days"}};
    for (const auto &c : shown) {
        gSettings.newVersionFrequency = c.stored;
        std::string text;
        Run([&](HWND dialog) { text = Selected(dialog, IDC_OPTIONS_VERSION_CHECK); });
        EXPECT_EQ(text, c.shown) << c.stored;
    }
    const struct {
        int stored;
        const char *shown;
    } when[] = {{0x3, "Never"}, {0x6, "Manually Started Jobs Only"}, {0x14, "Scheduled Jobs Only"}, {0x18, "All Jobs"},
                {0, "All Jobs"}};
    for (const auto &c : when) {
        gSettings.jrEmailWhen = c.stored;
        std::string text;
        Run([&](HWND dialog) { text = Selected(dialog, IDC_OPTIONS_JR_WHEN); });
        EXPECT_EQ(text, c.shown) << c.stored;
    }
}

TEST_F(OptionsDialog, CancelKeepsWhatTheJobResultDialogConfirmed)
{
    gSettings.jrEmailWhen = 0x8;
    gSettings.jrOptions = 13;
    INT_PTR result = Run([&](HWND dialog) {
        SetControlText(dialog, IDC_OPTIONS_FTP_RETRY, "3");
        PostClick(dialog, IDC_OPTIONS_JR_CONFIGURE);
        HWND mail = WaitForWindow(kJobResultTitle);
        ASSERT_NE(mail, nullptr);
        Settle(mail);
        EXPECT_TRUE(IsChecked(mail, IDC_MAIL_USE_MAPI));
        EXPECT_TRUE(IsEnabled(mail, IDC_MAIL_TO)) << "the recipients are always enabled";
        EXPECT_FALSE(IsEnabled(mail, IDC_MAIL_SERVER));
        ClickButton(mail, IDC_MAIL_USE_SMTP);
        Settle(mail);
        EXPECT_TRUE(IsEnabled(mail, IDC_MAIL_SERVER));
        SetControlText(mail, IDC_MAIL_TO, "admin@example.test");
        SetControlText(mail, IDC_MAIL_SERVER, "127.0.0.1");
        SetControlText(mail, IDC_MAIL_PASSWORD, "jr pass");
        SetControlText(mail, IDC_MAIL_PORT, "2525");
        PostMessageA(mail, WM_COMMAND, IDOK, 0);
        WaitUntil([&] { return !IsWindow(mail); });
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(gSettings.ftpRetry, 500);
    EXPECT_STREQ(gSettings.jrEmailTo, "admin@example.test");
    EXPECT_STREQ(gSettings.jrServer, "127.0.0.1");
    EXPECT_EQ(gSettings.jrPort, 2525);
    EXPECT_EQ(gSettings.jrOptions, UseAuthentication | DefaultPort);
    char password[64];
    lstrcpynA(password, gSettings.jrEmailPasswd, sizeof password);
    EXPECT_STRNE(password, "jr pass") << "held scrambled";
    ScramblePassword(password);
    EXPECT_STREQ(password, "jr pass");
}

class JobResultDialog : public OptionsDialog {
protected:
    INT_PTR RunMail(const std::function<void(HWND)> &drive)
    {
        return RunModal(kJobResultTitle,
                        [&] {
                            return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_JOBRESULT_EMAIL),
                                                   nullptr, JobResultEmailDialogProc, 0);
                        },
                        drive);
    }
    FakeSettingsTests tests;
};

TEST_F(JobResultDialog, TestSendsTheValuesOnScreenAndOkStoresTheFlags)
{
    const struct {
        bool mapi, secure, tls, defaultPort;
        int stored, tested;
    } cases[] = {
        {false, true, false, true, 0x40 | UseAuthentication | SecureSsl | DefaultPort,
         UseAuthentication | SecureSsl | DefaultPort},
        {true, true, true, false, 0x40 | UseSimpleMapi | UseAuthentication | SecureTls, UseAuthentication | SecureTls},
    };
    for (const auto &c : cases) {
        gSettings.jrOptions = 0x40 | UseAuthentication;
        SetScrambled(gSettings.jrEmailPasswd, sizeof gSettings.jrEmailPasswd, "stored");
        RunMail([&](HWND dialog) {
            EXPECT_EQ(ControlText(dialog, IDC_MAIL_PASSWORD), "stored");
            CheckRadioPair(dialog, IDC_MAIL_USE_MAPI, IDC_MAIL_USE_SMTP, c.mapi);
            CheckDlgButton(dialog, IDC_MAIL_SECURE, c.secure ? BST_CHECKED : BST_UNCHECKED);
            SendDlgItemMessageA(dialog, IDC_MAIL_SECURE_KIND, CB_SETCURSEL, c.tls ? 1 : 0, 0);
            CheckRadioPair(dialog, IDC_MAIL_PORT_DEFAULT, IDC_MAIL_PORT_SPECIFY, c.defaultPort);
            SetControlText(dialog, IDC_MAIL_PASSWORD, "typed");
            SetControlText(dialog, IDC_MAIL_PORT, "465");
            ClickButton(dialog, IDC_MAIL_TEST);
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        });
        EXPECT_EQ(gSettings.jrOptions, c.stored);
        auto calls = tests.Calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().kind, c.mapi ? "mapi" : "smtp");
        EXPECT_EQ(calls.back().flags, (uint32_t)c.tested);
        EXPECT_FALSE(calls.back().buttonEnabled);
        if (!c.mapi) {
            EXPECT_EQ(calls.back().password, "typed");
            EXPECT_EQ(calls.back().port, 465);
        }
    }
}

TEST_F(JobResultDialog, APasswordHoldingTheScramblingKeyIsRefused)
{
    SharedBoxRecorder boxes;
    gSettings.jrOptions = UseAuthentication;
    bool stayed = false;
    HWND focused = nullptr, passwordBox = nullptr;
    INT_PTR result = RunMail([&](HWND dialog) {
        passwordBox = GetDlgItem(dialog, IDC_MAIL_PASSWORD);
        SetControlText(dialog, IDC_MAIL_PASSWORD, "\xA7");
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        stayed = IsWindowVisible(dialog) != FALSE;
        focused = FocusOf(dialog);
    });
    EXPECT_TRUE(stayed);
    EXPECT_EQ(focused, passwordBox);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kPasswordKeyByteMessage});
    EXPECT_EQ(result, 0);
    EXPECT_EQ(gSettings.jrEmailPasswd[0], '\0');
}

// A top-level window standing in for the main window; it counts its size changes.
int sizeMessages = 0;
LRESULT CALLBACK CountingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SIZE)
        ++sizeMessages;
    return DefWindowProcA(window, message, wParam, lParam);
}

int ToolbarImageSize()
{
    HIMAGELIST images = (HIMAGELIST)SendMessageA(GetToolbarWindow(), TB_GETIMAGELIST, 0, 0);
    int width = 0, height = 0;
    ImageList_GetIconSize(images, &width, &height);
    return width;
}

TEST_F(OptionsDialog, TheToolbarIsRebuiltOnlyForANewButtonSize)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CountingWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "OptionsTestMain";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "OptionsTestMain", "Main", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    HWND previousMain = mainWindow;
    mainWindow = window;
    InstallShellDialogShell();
    gSettings.buttonSize = 1;
    ASSERT_NE(CreateToolbar(window), nullptr);
    HWND first = GetToolbarWindow();
    EXPECT_EQ(ToolbarImageSize(), 16);

    sizeMessages = 0;
    Run([&](HWND dialog) {
        Choose(dialog, IDC_OPTIONS_BUTTON_SIZE, 1);
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(GetToolbarWindow(), first);
    EXPECT_EQ(sizeMessages, 0);

    RECT before;
    GetWindowRect(window, &before);
    Run([&](HWND dialog) {
        Choose(dialog, IDC_OPTIONS_BUTTON_SIZE, 4);
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(gSettings.buttonSize, 4);
    EXPECT_NE(GetToolbarWindow(), first);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(ToolbarImageSize(), 32);
    EXPECT_EQ(sizeMessages, 2) << "one pixel taller and back";
    RECT after;
    GetWindowRect(window, &after);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);

    DestroyToolbar();
    RemoveShellDialogShell();
    mainWindow = previousMain;
    DestroyWindow(window);
}

}  // namespace
