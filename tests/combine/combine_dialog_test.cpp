// The Combine Split ZIP dialog in this process, driven from a second thread the way a user
// would (cross-thread messages reach the dialog's own modal loop): the request to browse, a
// whole join ended by the progress timer, and Cancel while the join runs.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <string.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "CombineSplitZip.h"
#include "CombineSplitZipDialog.h"
#include "DialogDriver.h"
#include "JobControl.h"
#include "JobTestSupport.h"
#include "MainWindow.h"
#include "MsvcrtFormat.h"
#include "StoredZip.h"
#include "resource.h"

namespace {

const char kDialogTitle[] = "Combine Split ZIP Files";

bool ControlShown(HWND dialog, int id)
{
    return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

// Opens the dialog modally on this thread while `drive` works it from another; the dialog's
// result. Should `drive` leave the dialog open, Cancel is pressed until it ends.
INT_PTR RunDialog(const std::function<void(HWND)> &drive)
{
    return RunDialog(
        kDialogTitle,
        [] {
            return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_COMBINE_SPLIT_ZIP), nullptr,
                                   CombineSplitZipDialogProc, 0);
        },
        drive, IDC_COMBINE_CANCEL);
}

// The first write of the join waits until the test lets it go on.
HANDLE writeStarted = nullptr;
HANDLE writeMayGoOn = nullptr;

bool HoldFirstWrite(CombineIoStep step)
{
    if (step == CombineIoWrite && WaitForSingleObject(writeStarted, 0) == WAIT_TIMEOUT) {
        SetEvent(writeStarted);
        WaitForSingleObject(writeMayGoOn, 20000);
    }
    return true;
}

class CombineDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
    }
    void TearDown() override { SetCombineIoHookForTesting(nullptr); }
    std::string Part(int number) const
    {
        char name[MAX_PATH];
        FormatText(name, sizeof name, "%sarchive.zip.%03d", folder.path.c_str(), number);
        return name;
    }
    // Writes an archive split into `count` parts of `size` bytes and returns its bytes.
    std::string WriteArchiveParts(int count, size_t size)
    {
        std::string archive = MakeStoredZipOfSize(count * size, 7);
        for (int n = 1; n <= count; ++n)
            EXPECT_TRUE(WriteTextFile(Widen(Part(n)), archive.substr((n - 1) * size, size)));
        return archive;
    }
    ScratchFolder folder;
    BoxRecorder boxes;
};

TEST_F(CombineDialog, ShortPathAsksToBrowseAndStartsNothing)
{
    bool statusShown = true;
    INT_PTR result = RunDialog([&](HWND dialog) {
        SendMessageA(GetDlgItem(dialog, IDC_COMBINE_FIRST_PART), WM_SETTEXT, 0, (LPARAM) "a.zi");
        Press(dialog, IDC_COMBINE_START);
        statusShown = ControlShown(dialog, IDC_COMBINE_STATUS) || ControlShown(dialog, IDC_COMBINE_PROGRESS);
        Press(dialog, IDC_COMBINE_CANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(statusShown);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0],
              "Please pick the first part of the ZIP file to recombine by pressing the \"Browse...\" button");
    EXPECT_EQ(combineJob.running, 0);
}

TEST_F(CombineDialog, JoinEndsWithTheSuccessMessage)
{
    std::string archive = WriteArchiveParts(2, 350000);
    bool startDisabled = false;
    INT_PTR result = RunDialog([&](HWND dialog) {
        SendMessageA(GetDlgItem(dialog, IDC_COMBINE_FIRST_PART), WM_SETTEXT, 0, (LPARAM)Part(1).c_str());
        Press(dialog, IDC_COMBINE_START);
        startDisabled = !IsWindowEnabled(GetDlgItem(dialog, IDC_COMBINE_START)) &&
                        !IsWindowEnabled(GetDlgItem(dialog, IDC_COMBINE_BROWSE));
        WaitUntil([dialog] { return !IsWindowVisible(dialog); });
    });
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(startDisabled);
    std::string output = folder.path + "archive.zip";
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "ZIP Successfully Combined\n\nLocation: " + output);
    EXPECT_EQ(boxes.types[0], (UINT)MB_OK);
    EXPECT_TRUE(ReadTextFile(Widen(output)) == archive);
}

TEST_F(CombineDialog, CancelStopsTheRunningJoin)
{
    WriteArchiveParts(3, kCombineBufferSize + 10);
    writeStarted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    writeMayGoOn = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetCombineIoHookForTesting(HoldFirstWrite);
    std::string statusWhileRunning, cancelText;
    bool progressShown = false, cancelEnabled = true;
    INT_PTR result = RunDialog([&](HWND dialog) {
        SendMessageA(GetDlgItem(dialog, IDC_COMBINE_FIRST_PART), WM_SETTEXT, 0, (LPARAM)Part(1).c_str());
        Press(dialog, IDC_COMBINE_START);
        WaitForSingleObject(writeStarted, 10000);
        // The timer polls the held join and shows its (still zero) progress.
        WaitUntil([&] { return ControlText(dialog, IDC_COMBINE_STATUS) == "0% Complete"; });
        statusWhileRunning = ControlText(dialog, IDC_COMBINE_STATUS);
        progressShown = ControlShown(dialog, IDC_COMBINE_PROGRESS);
        Press(dialog, IDC_COMBINE_CANCEL);
        cancelText = ControlText(dialog, IDC_COMBINE_CANCEL);
        cancelEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_COMBINE_CANCEL)) != FALSE;
        SetEvent(writeMayGoOn);
        WaitUntil([dialog] { return !IsWindowVisible(dialog); });
    });
    CloseHandle(writeStarted);
    CloseHandle(writeMayGoOn);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(statusWhileRunning, "0% Complete");
    EXPECT_TRUE(progressShown);
    EXPECT_EQ(cancelText, "Stopping...");
    EXPECT_FALSE(cancelEnabled);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "Task Cancelled");
    EXPECT_FALSE(FileExists(Widen(folder.path + "archive.zip")));
    EXPECT_FALSE(FileExists(Widen(folder.path + "archive.zip" + kCombineTemporarySuffix)));
}

// The main window's Combine command, with a watcher that presses Cancel on any dialog it sees.
bool CombineCommandOpensDialog(int jobActiveValue)
{
    std::atomic<bool> stop{false}, opened{false};
    std::thread watcher([&] {
        while (!stop) {
            HWND dialog = FindWindowA("#32770", kDialogTitle);
            if (dialog != nullptr) {
                opened = true;
                PostMessageA(dialog, WM_COMMAND, IDC_COMBINE_CANCEL, 0);
            }
            Sleep(10);
        }
    });
    jobActive = jobActiveValue;
    int handled = OnMainCommand(nullptr, IDM_COMBINE);
    jobActive = 0;
    WaitUntil([&] { return opened.load(); }, jobActiveValue == 1 ? 300 : 0);
    stop = true;
    watcher.join();
    EXPECT_EQ(handled, 1);
    return opened;
}

TEST_F(CombineDialog, MainWindowRefusesTheCommandWhileAJobRuns)
{
    EXPECT_FALSE(CombineCommandOpensDialog(1));
    EXPECT_TRUE(CombineCommandOpensDialog(0));
}

}  // namespace
