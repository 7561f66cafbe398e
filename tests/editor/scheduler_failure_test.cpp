// A Task Scheduler whose service is not there raises the RPC runtime's failure from inside its
// calls, as Wine's does in the first moments of a new prefix, or answers that its service does
// not run. Every road into it survives and shows what the program shows of a scheduler error,
// in words: the job list's task reader, the Schedule page opening, saving a task and deleting
// one.
#include <windows.h>
#include <mstask.h>
#include <prsht.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ConfigTable.h"
#include "EditorTestSupport.h"
#include "JobList.h"
#include "TaskViews.h"
#include "TextHelpers.h"
#include "resource.h"

namespace {

const GUID kIidScheduler = {0x148BD527, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
const char kFailedSave[] = "Failed to save scheduled task.\n\nPlease either correct the problem, or choose the "
                           "'Manually Start Backup' option.";

HRESULT RaiseCallFailed()
{
    RaiseException(RPC_S_CALL_FAILED, 0, 0, nullptr);
    return E_UNEXPECTED;  // not reached
}

// Made without trouble; every call of it raises.
class RaisingScheduler final : public ITaskScheduler {
public:
    HRESULT WINAPI QueryInterface(REFIID riid, void **out) override
    {
        *out = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kIidScheduler) ? this : nullptr;
        return *out != nullptr ? S_OK : E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return 2; }
    ULONG WINAPI Release() override { return 1; }  // static: the test owns it
    HRESULT WINAPI SetTargetComputer(LPCWSTR) override { return RaiseCallFailed(); }
    HRESULT WINAPI GetTargetComputer(LPWSTR *) override { return RaiseCallFailed(); }
    HRESULT WINAPI Enum(IEnumWorkItems **) override { return RaiseCallFailed(); }
    HRESULT WINAPI Activate(LPCWSTR, REFIID, IUnknown **) override { return RaiseCallFailed(); }
    HRESULT WINAPI Delete(LPCWSTR) override { return RaiseCallFailed(); }
    HRESULT WINAPI NewWorkItem(LPCWSTR, REFCLSID, REFIID, IUnknown **) override { return RaiseCallFailed(); }
    HRESULT WINAPI AddWorkItem(LPCWSTR, IScheduledWorkItem *) override { return RaiseCallFailed(); }
    HRESULT WINAPI IsOfType(LPCWSTR, REFIID) override { return RaiseCallFailed(); }
};

RaisingScheduler raisingScheduler;

HRESULT RaiseWhileCreating(void **)
{
    return RaiseCallFailed();
}

HRESULT HandOutRaisingScheduler(void **scheduler)
{
    *scheduler = static_cast<ITaskScheduler *>(&raisingScheduler);
    return S_OK;
}

HRESULT AnswerServiceNotRunning(void **)
{
    return SCHED_E_SERVICE_NOT_RUNNING;
}

std::string SystemText(DWORD code)
{
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                   nullptr);
    return text;
}

// As a one-line cell shows it.
std::string TrimmedEnd(std::string text)
{
    TrimTrailingWhitespace(&text[0]);
    return text.c_str();
}

class SchedulerFailure : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        SetTaskSchedulerService(nullptr);
        source = work.path + "src\\";
        MakeFolder(Widen(source));
        index = AddConfig("Documents", {source}, work.path + "out\\");
    }
    void TearDown() override
    {
        ClearTaskViews();
        SetTaskSchedulerFactory(nullptr);
        CoUninitialize();
        EditorTest::TearDown();
    }
    // What the readers behind the job list read, as the list's Schedule and Next Run cells.
    std::vector<std::string> ReadListCells()
    {
        if (!StartTaskViews())
            return {"readers did not start"};
        int id = ConfigAt(index)->uniqueId;
        ReadTaskViews({id});
        TaskView view;
        WaitUntil([&] { return LookUpTaskView(id, &view) == TaskViewAnswer::Known && !IsReadingTaskViews(); });
        char schedule[512], next[512];
        FormatJobCell(index, JobColumnSchedule, schedule, sizeof schedule);
        FormatJobCell(index, JobColumnNextRun, next, sizeof next);
        return {schedule, next};
    }
    // Opens the editor on the Schedule page, lets `change` work it and presses OK.
    void RunSchedulePage(const std::function<void(HWND page)> &change)
    {
        RunEditor(index, [&](HWND sheet, HWND) {
            HWND page = ShowPage(sheet, 1);
            change(page);
            PressSheetButton(sheet, PSBTN_OK);
        });
    }
    // Each road into a scheduler made by `factory`: what the list's cells and the boxes show.
    void WalkEveryRoad(TaskSchedulerFactory factory, const std::string &error, const std::string &how)
    {
        struct Road {
            const char *name;
            std::function<void()> walk;
            std::vector<std::string> cells;  // Schedule and Next Run afterwards
            std::vector<std::string> boxes;
        };
        const Road roads[] = {
            {"job list", [] {}, {TrimmedEnd(error), "none"}, {}},
            {"Schedule page", [this] { RunSchedulePage([](HWND) {}); }, {}, {error}},
            {"saving a task",
             [this] {
                 RunSchedulePage([](HWND page) {
                     ClickButton(page, IDC_SCHEDULE_EVERY);
                     ClickButton(page, IDC_SCHEDULE_WINDOWS_TASK);
                     SetControlText(page, IDC_SCHEDULE_PASSWORD, "secret");
                     SetControlText(page, IDC_SCHEDULE_CONFIRM_PASSWORD, "secret");
                 });
             },
             {},
             {error, error, kFailedSave}},
            // Deleting a task reports nothing: most configurations have none.
            {"deleting a task",
             [this] {
                 RunSchedulePage([](HWND page) {
                     ClickButton(page, IDC_SCHEDULE_EVERY);
                     ClickButton(page, IDC_SCHEDULE_MANUAL);
                 });
             },
             {},
             {error}},
        };
        for (const Road &road : roads) {
            SCOPED_TRACE(std::string(road.name) + ", " + how);
            SetTaskSchedulerFactory(factory);
            SharedBoxRecorder boxes;
            road.walk();
            EXPECT_EQ(boxes.Texts(), road.boxes);
            if (!road.cells.empty()) {
                EXPECT_EQ(ReadListCells(), road.cells);
            }
            ClearTaskViews();
        }
    }
    ScratchFolder work;
    std::string source;
    int index = -1;
};

TEST_F(SchedulerFailure, EveryRoadSurvivesARaisingSchedulerAndShowsItsError)
{
    const std::string error = SystemText(RPC_S_CALL_FAILED);
    ASSERT_FALSE(TrimmedEnd(error).empty());
    WalkEveryRoad(RaiseWhileCreating, error, "raising when creating it");
    WalkEveryRoad(HandOutRaisingScheduler, error, "raising in each call");
}

// The scheduler's own answer when its service does not run, which the system has no text for
// under Wine: the page's box and the list's cell say it, none is empty.
TEST_F(SchedulerFailure, ServiceThatDoesNotRunIsNamedOnEveryRoad)
{
    WalkEveryRoad(AnswerServiceNotRunning, "The Task Scheduler Service is not running.\r\n", "service not running");
}

}  // namespace
