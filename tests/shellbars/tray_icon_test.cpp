// The tray icon through a recording stand-in for the notification area: registration, tip and
// icon per job state, retries, re-adding, the mouse and removal before the window goes.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BarsTestSupport.h"
#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "InternalScheduler.h"
#include "JobControl.h"
#include "MainWindow.h"
#include "ShellState.h"
#include "TrayAndStatus.h"
#include "resource.h"

namespace {

struct TrayCall {
    DWORD message;
    NOTIFYICONDATAA data;
    bool windowAlive;
};

std::vector<TrayCall> trayCalls;
int failuresLeft = 0;  // -1: the notification area never answers

BOOL RecordTrayCall(DWORD message, NOTIFYICONDATAA *data)
{
    trayCalls.push_back({message, *data, IsWindow(data->hWnd) != FALSE});
    if (message == NIM_ADD && failuresLeft != 0) {
        if (failuresLeft > 0)
            --failuresLeft;
        return FALSE;
    }
    return TRUE;
}

int CountCalls(DWORD message)
{
    int count = 0;
    for (const TrayCall &call : trayCalls)
        count += call.message == message;
    return count;
}

std::vector<std::string> shutDownSteps;
void RecordStep(const char *step)
{
    shutDownSteps.push_back(step);
}

// Records the popup menus the main window opens, and closes each at once.
std::vector<std::string> openedMenuItems;
WNDPROC recordedProc = nullptr;
LRESULT CALLBACK RecordingMenuProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITMENUPOPUP) {
        HMENU menu = (HMENU)wParam;
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            char text[64] = "";
            GetMenuStringA(menu, i, text, sizeof(text), MF_BYPOSITION);
            openedMenuItems.push_back(std::to_string(GetMenuItemID(menu, i)) + " " + text);
        }
        PostMessageA(window, WM_CANCELMODE, 0, 0);
    }
    return CallWindowProcA(recordedProc, window, message, wParam, lParam);
}

class TrayIconTest : public BarsTest {
protected:
    void SetUp() override
    {
        BarsTest::SetUp();
        trayCalls.clear();
        failuresLeft = 0;
        SetTrayNotifyForTesting(RecordTrayCall);
    }
    void TearDown() override
    {
        RemoveTrayIcon(window);
        SetShutDownStepObserver(nullptr);
        BarsTest::TearDown();
    }
    std::string Tip() const { return GetTrayRegistration()->szTip; }
};

}  // namespace

TEST_F(TrayIconTest, RegistersTheIdleIconThenShowsTheStatusLineInTheTip)
{
    AddTrayIcon(window);
    ASSERT_EQ(trayCalls.size(), 2u);
    const NOTIFYICONDATAA &added = trayCalls[0].data;
    EXPECT_EQ(trayCalls[0].message, (DWORD)NIM_ADD);
#ifdef _WIN64
    EXPECT_EQ(added.cbSize, 528u); // the same form with a pointer-sized window handle
#else
    EXPECT_EQ(added.cbSize, 508u);
#endif
    EXPECT_EQ(added.hWnd, window);
    EXPECT_EQ(added.uID, 100u);
    EXPECT_EQ(added.uFlags, 7u);
    EXPECT_EQ(added.uCallbackMessage, 1025u);
    EXPECT_STREQ(added.szTip, "Velloran");
    ASSERT_NE(GetIdleTrayIcon(), nullptr);
    EXPECT_EQ(added.hIcon, GetIdleTrayIcon());
    EXPECT_EQ(trayCalls[1].message, (DWORD)NIM_MODIFY);
    EXPECT_STREQ(trayCalls[1].data.szTip, "Velloran\nNo Jobs Scheduled");

    // Nothing changed, nothing sent.
    UpdateTrayIcon();
    EXPECT_EQ(trayCalls.size(), 2u);
}

TEST_F(TrayIconTest, RunningJobShowsTheRunningIconAndProgressThenTheIdleIconAgain)
{
    int a = AddConfig("A");
    AddTrayIcon(window);
    trayCalls.clear();
    jobActive = 1;
    SetConfigRunning(ConfigAt(a), 1);
    SetProgressPercent(ConfigAt(a), 50);
    UpdateTrayIcon();
    ASSERT_EQ(trayCalls.size(), 1u);
    ASSERT_NE(GetRunningTrayIcon(), nullptr);
    EXPECT_NE(GetRunningTrayIcon(), GetIdleTrayIcon());
    EXPECT_EQ(trayCalls[0].data.hIcon, GetRunningTrayIcon());
    EXPECT_STREQ(trayCalls[0].data.szTip, "Velloran\nBackup Running: 50% Complete");

    SetProgressPercent(ConfigAt(a), 51);
    UpdateTrayIcon();
    ASSERT_EQ(trayCalls.size(), 2u);
    EXPECT_STREQ(trayCalls[1].data.szTip, "Velloran\nBackup Running: 51% Complete");

    // A very long status text: the tip stays within 127 characters.
    SetStatusText(ConfigAt(a), std::string(400, 'x').c_str());
    UpdateTrayIcon();
    ASSERT_EQ(trayCalls.size(), 3u);
    std::string tip = trayCalls[2].data.szTip;
    EXPECT_LE(tip.size(), 127u);
    EXPECT_EQ(tip.rfind("Velloran\nBackup Running: 51% Complete - xxx", 0), 0u) << tip;

    SetConfigRunning(ConfigAt(a), 0);
    jobActive = 0;
    UpdateTrayIcon();
    ASSERT_EQ(trayCalls.size(), 4u);
    EXPECT_EQ(trayCalls[3].data.hIcon, GetIdleTrayIcon());
    EXPECT_STREQ(trayCalls[3].data.szTip, "Velloran\nNo Jobs Scheduled");
}

TEST_F(TrayIconTest, MissingNotificationAreaIsAskedAgainFromTheTimerUntilItAnswers)
{
    failuresLeft = 3;
    AddTrayIcon(window);
    EXPECT_EQ(CountCalls(NIM_ADD), 1);
    PumpMessages(800);
    EXPECT_EQ(CountCalls(NIM_ADD), 4);
    EXPECT_EQ(CountCalls(NIM_MODIFY), 1);
    EXPECT_STREQ(trayCalls.back().data.szTip, "Velloran\nNo Jobs Scheduled");
    // Once added, the retries stop.
    PumpMessages(300);
    EXPECT_EQ(CountCalls(NIM_ADD), 4);
}

TEST_F(TrayIconTest, GivesUpAfterOneHundredAndOneRetriesAndRunsWithoutTheIcon)
{
    failuresLeft = -1;
    AddTrayIcon(window);
    for (int i = 0; i < 101; ++i)
        OnTrayRetryTimer(window);
    EXPECT_EQ(CountCalls(NIM_ADD), 102);
    PumpMessages(300);
    EXPECT_EQ(CountCalls(NIM_ADD), 102);
    UpdateTrayIcon();
    RemoveTrayIcon(window);
    EXPECT_EQ(CountCalls(NIM_MODIFY), 0);
    EXPECT_EQ(CountCalls(NIM_DELETE), 0);
}

TEST_F(TrayIconTest, RestartedTaskbarGetsTheIconAgainWithItsCurrentState)
{
    int a = AddConfig("A");
    AddTrayIcon(window);
    jobActive = 1;
    SetConfigRunning(ConfigAt(a), 1);
    UpdateTrayIcon();
    trayCalls.clear();
    SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    ASSERT_EQ(CountCalls(NIM_ADD), 1);
    EXPECT_EQ(trayCalls[0].data.hIcon, GetRunningTrayIcon());
    EXPECT_STREQ(trayCalls[0].data.szTip, "Velloran\nBackup Running: 0% Complete");
}

TEST_F(TrayIconTest, LeftClickHidesAVisibleWindowAndRestoresAHiddenOne)
{
    AddTrayIcon(window);
    ShowWindow(window, SW_SHOW);
    SendMessageA(window, WM_TRAYICON, TRAY_ICON_UID, WM_LBUTTONDOWN);
    EXPECT_FALSE(IsWindowVisible(window));
    SendMessageA(window, WM_TRAYICON, TRAY_ICON_UID, WM_LBUTTONDOWN);
    EXPECT_TRUE(IsWindowVisible(window));
    // Other mouse messages do nothing.
    SendMessageA(window, WM_TRAYICON, TRAY_ICON_UID, WM_MOUSEMOVE);
    SendMessageA(window, WM_TRAYICON, TRAY_ICON_UID, WM_LBUTTONUP);
    EXPECT_TRUE(IsWindowVisible(window));
}

TEST_F(TrayIconTest, RightClickOpensTheTrayMenuAndThenWakesTheWindow)
{
    AddTrayIcon(window);
    openedMenuItems.clear();
    recordedProc = (WNDPROC)SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)RecordingMenuProc);
    SendMessageA(window, WM_TRAYICON, TRAY_ICON_UID, WM_RBUTTONDOWN);
    SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)recordedProc);
    const std::vector<std::string> expected = {std::to_string(IDM_RESTORE) + " Restore Window...",
                                               std::to_string(IDM_EXIT) + " E&xit"};
    EXPECT_EQ(openedMenuItems, expected);
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, window, WM_NULL, WM_NULL, PM_REMOVE));
}

TEST_F(TrayIconTest, ShutDownRemovesTheIconWhileTheWindowStillExists)
{
    AddTrayIcon(window);
    shutDownSteps.clear();
    SetShutDownStepObserver(RecordStep);
    ShutDownMainWindow(window);
    ASSERT_EQ(CountCalls(NIM_DELETE), 1);
    EXPECT_TRUE(trayCalls.back().windowAlive);
    EXPECT_EQ(trayCalls.back().data.uID, 100u);
    EXPECT_FALSE(IsWindow(window));
    auto at = [](const char *step) {
        for (size_t i = 0; i < shutDownSteps.size(); ++i)
            if (shutDownSteps[i] == step)
                return (int)i;
        return -1;
    };
    EXPECT_GE(at("tray icon"), 0);
    EXPECT_LT(at("tray icon"), at("window"));
    window = nullptr;
}
