// Start-up of the program: the hand-over of a second start's command line, the switches, the
// placement limits and the template of the chosen dialog size.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "DialogHelpers.h"
#include "GlobalSettings.h"
#include "JobControl.h"
#include "MainWindow.h"
#include "RunQueue.h"
#include "ShellState.h"
#include "SingleInstance.h"
#include "resource.h"

namespace {

std::string Copied(const void *data, DWORD cbData, size_t outSize, int *result = nullptr)
{
    COPYDATASTRUCT block{};
    block.cbData = cbData;
    block.lpData = const_cast<void *>(data);
    std::vector<char> out(outSize + 8, 'X');
    int copied = CopyHandedOverText(&block, out.data(), outSize);
    if (result != nullptr)
        *result = copied;
    EXPECT_EQ(out[outSize], 'X') << "wrote past the buffer";
    return out.data();
}

TEST(HandOver, CopiesNoMoreThanTheSenderGaveAndAlwaysTerminates)
{
    // The sender's bytes are followed by a guard the copy must not read.
    const char unterminated[] = {'/', 'r', 'u', 'n', '=', '7', '#', '#'};
    EXPECT_EQ(Copied(unterminated, 6, 64), "/run=7");
    EXPECT_EQ(Copied("/hidden", 8, 64), "/hidden");
    // A line longer than the receiver's buffer is cut, not overrun.
    EXPECT_EQ(Copied("/exitwhendone /run=12", 22, 6), "/exit");
    int result = -1;
    EXPECT_EQ(Copied("ignored", 0, 64, &result), "");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Copied(nullptr, 10, 64, &result), "");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(CopyHandedOverText(nullptr, nullptr, 0), 0);
}

struct CommandLineCase {
    int handedOver;
    int exitBefore;
    const char *text;
    std::vector<int> queued;
    int exitAfter;
};

class CommandLine : public ::testing::TestWithParam<CommandLineCase> {
protected:
    void SetUp() override { FreeRunQueue(); }
    void TearDown() override
    {
        FreeRunQueue();
        exitWhenDone = 0;
    }
};

TEST_P(CommandLine, QueuesTheRunAndSetsExitWhenDoneByTheRules)
{
    const CommandLineCase &c = GetParam();
    exitWhenDone = c.exitBefore;
    ApplyCommandLine(c.handedOver, c.text);
    std::vector<int> queued(runQueue.ids, runQueue.ids + runQueue.count);
    EXPECT_EQ(queued, c.queued);
    EXPECT_EQ(exitWhenDone, c.exitAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, CommandLine,
    ::testing::Values(
        // The program's own line sets and clears exit-when-done freely.
        CommandLineCase{0, 0, "/hidden /exitwhendone /run=3", {3}, 1},
        CommandLineCase{0, 1, "/run=3", {3}, 0},
        CommandLineCase{0, 0, "/EXITWHENDONE /RUN=42", {42}, 1},
        CommandLineCase{0, 0, "/exitwhendone", {}, 1},
        // A handed-over line can clear a pending exit but never set one.
        CommandLineCase{1, 0, "/hidden /exitwhendone /run=7", {7}, 0},
        CommandLineCase{1, 1, "/hidden /exitwhendone /run=7", {7}, 1},
        CommandLineCase{1, 1, "/run=7", {7}, 0},
        CommandLineCase{1, 0, "", {}, 0},
        // The number is read as atoi reads it; only the first switch counts.
        CommandLineCase{0, 0, "/run=", {0}, 0},
        CommandLineCase{0, 0, "/run= 12abc", {12}, 0},
        CommandLineCase{0, 0, "/run=5 /run=6", {5}, 0},
        CommandLineCase{0, 0, "\"C:\\x/run=9\\y\"", {9}, 0}));

TEST(CommandLineQueue, AHandedOverIdAlreadyQueuedIsNotQueuedTwice)
{
    FreeRunQueue();
    ApplyCommandLine(0, "/run=4");
    ApplyCommandLine(1, "/run=4");
    ApplyCommandLine(1, "/run=5");
    std::vector<int> queued(runQueue.ids, runQueue.ids + runQueue.count);
    EXPECT_EQ(queued, (std::vector<int>{4, 5}));
    FreeRunQueue();
}

TEST(DialogTemplates, TheDialogSizeChoosesTheTemplate)
{
    int saved = gSettings.dialogSize;
    const struct {
        int size;
        int expected;
    } cases[] = {{8, 161}, {10, 161 + DLG_OFFSET_10PT}, {12, 161 + DLG_OFFSET_12PT}, {9, 161}, {0, 161}};
    for (const auto &c : cases) {
        gSettings.dialogSize = c.size;
        EXPECT_EQ(GetDialogTemplateId(161), c.expected) << c.size;
    }
    gSettings.dialogSize = saved;
}

TEST(Placement, AWindowOffTheScreenIsPulledBackAndItsSizeBounded)
{
    int vx = GetSystemMetrics(SM_XVIRTUALSCREEN), vy = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int cx = GetSystemMetrics(SM_CXVIRTUALSCREEN), cy = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    int cap = GetSystemMetrics(SM_CYCAPTION);
    ASSERT_GT(cx, 0);
    int savedX = gSettings.sizeX, savedY = gSettings.sizeY;

    gSettings.sizeX = 10 * cx;
    gSettings.sizeY = 1;
    int x = vx + 20 * cx, y = vy - 500;
    ClampRectToScreen(&x, &y);
    EXPECT_EQ(gSettings.sizeX, 2 * cx);
    EXPECT_EQ(gSettings.sizeY, 3 * cap);
    EXPECT_EQ(x, vx + cx - 5 * cap);  // a grip of the window stays on the screen
    EXPECT_EQ(y, vy);

    gSettings.sizeX = 400;
    gSettings.sizeY = 300;
    x = vx - 5000;
    y = vy + cy + 100;
    ClampRectToScreen(&x, &y);
    EXPECT_EQ(x, vx + 5 * cap - 400);
    EXPECT_EQ(y, vy + cy - 5 * cap);

    // A window well inside the screen is left alone.
    x = vx + 10;
    y = vy + 10;
    ClampRectToScreen(&x, &y);
    EXPECT_EQ(x, vx + 10);
    EXPECT_EQ(y, vy + 10);
    EXPECT_EQ(gSettings.sizeX, 400);
    EXPECT_EQ(gSettings.sizeY, 300);
    gSettings.sizeX = savedX;
    gSettings.sizeY = savedY;
}

}  // namespace

namespace {

// Another instance of the program, played by a thread of this process: it holds the mutex,
// makes a window of the program's class after a while, and may end (letting the mutex go).
class OtherInstance {
public:
    OtherInstance(DWORD windowAfterMs, DWORD endAfterMs) : windowAfterMs_(windowAfterMs), endAfterMs_(endAfterMs)
    {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kWindowClassName;
        RegisterClassA(&windowClass);
        ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
        WaitForSingleObject(ready_, 10000);
    }
    ~OtherInstance()
    {
        SetEvent(stop_);
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
        CloseHandle(ready_);
        CloseHandle(stop_);
        UnregisterClassA(kWindowClassName, GetModuleHandleA(nullptr));
    }
    volatile HWND window = nullptr;

private:
    static DWORD WINAPI Run(LPVOID self) { return static_cast<OtherInstance *>(self)->Live(); }
    DWORD Live()
    {
        HANDLE mutex = CreateMutexA(nullptr, TRUE, kMutexName);
        SetEvent(ready_);
        DWORD start = GetTickCount();
        while (WaitForSingleObject(stop_, 10) == WAIT_TIMEOUT) {
            DWORD elapsed = GetTickCount() - start;
            if (window == nullptr && elapsed >= windowAfterMs_)
                window = CreateWindowA(kWindowClassName, "", 0, 0, 0, 10, 10, nullptr, nullptr,
                                       GetModuleHandleA(nullptr), nullptr);
            if (mutex != nullptr && elapsed >= endAfterMs_) {
                ReleaseMutex(mutex);
                CloseHandle(mutex);
                mutex = nullptr;
            }
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&message);
        }
        if (window != nullptr)
            DestroyWindow(window);
        if (mutex != nullptr) {
            ReleaseMutex(mutex);
            CloseHandle(mutex);
        }
        return 0;
    }
    DWORD windowAfterMs_, endAfterMs_;
    HANDLE ready_, stop_, thread_;
};

struct InstanceOutcome {
    int result;
    HWND other;
    DWORD elapsed;
};

InstanceOutcome StartSecondInstance(DWORD waitMs)
{
    DWORD saved = instanceWindowWaitMs;
    instanceWindowWaitMs = waitMs;
    InstanceOutcome outcome{};
    DWORD start = GetTickCount();
    outcome.result = EnsureSingleInstance("/hidden", &outcome.other);
    outcome.elapsed = GetTickCount() - start;
    instanceWindowWaitMs = saved;
    if (singleInstanceMutex != nullptr)
        CloseHandle(singleInstanceMutex);
    singleInstanceMutex = nullptr;
    return outcome;
}

TEST(SingleInstance, AWindowThatComesLateStillTakesTheHandOver)
{
    OtherInstance other(400, INFINITE);
    InstanceOutcome outcome = StartSecondInstance(3000);
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.other, other.window);
    EXPECT_GE(outcome.elapsed, 300u);
}

TEST(SingleInstance, NoWindowWithinTheWaitMeansAFullInstance)
{
    OtherInstance other(INFINITE, INFINITE);
    InstanceOutcome outcome = StartSecondInstance(500);
    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(outcome.other, nullptr);
    EXPECT_GE(outcome.elapsed, 400u);
    EXPECT_LT(outcome.elapsed, 3000u);
}

TEST(SingleInstance, AnInstanceThatEndsWhileWaitedForLeavesTheMutexToUs)
{
    OtherInstance other(INFINITE, 300);
    InstanceOutcome outcome = StartSecondInstance(10000);
    EXPECT_EQ(outcome.result, 1);
    EXPECT_LT(outcome.elapsed, 5000u);
}

}  // namespace
