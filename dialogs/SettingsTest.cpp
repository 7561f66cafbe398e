#include "SettingsTest.h"

#include "FtpUpload.h"
#include "TestMails.h"

namespace {

const SettingsTestApi realTests = {SendMapiTestMail, SendSmtpTestMail, TestFtpUpload};
bool testRunning = false;

// Handles what waits for the thread, so the label paints before the blocking call. A quit
// request found on the way is posted again for the message loop.
void DispatchWaitingMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage((int)message.wParam);
            return;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

const SettingsTestApi *settingsTests = &realTests;

void SetSettingsTestApiForTesting(const SettingsTestApi *api)
{
    settingsTests = api != nullptr ? api : &realTests;
}

bool RunSettingsTest(HWND dialog, int buttonId, int labelId, const std::function<void()> &test)
{
    if (testRunning)
        return false;
    testRunning = true;
    HWND button = GetDlgItem(dialog, buttonId);
    bool buttonHadFocus = GetFocus() == button;
    SetCapture(dialog);
    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    ShowWindow(GetDlgItem(dialog, labelId), SW_SHOW);
    EnableWindow(button, FALSE);
    DispatchWaitingMessages();
    test();
    ShowWindow(GetDlgItem(dialog, labelId), SW_HIDE);
    EnableWindow(button, TRUE);
    if (buttonHadFocus)
        SetFocus(button);
    SetCursor(previous);
    ReleaseCapture();
    testRunning = false;
    return true;
}
