// The Task Scheduler object kept by the window thread and the batches of the walks over all
// configurations, against Wine's real Task Scheduler seen through a counting wrapper.
#include <windows.h>
#include <objbase.h>
#include <initguid.h>
#include <mstask.h>
#include <gtest/gtest.h>
#include <string.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "ScheduledTask.h"

namespace {

const GUID kClsidScheduler = {0x148BD52A, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
const GUID kIidScheduler = {0x148BD527, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};

// Hands every call to the real scheduler and counts them; a failure can be put in front of
// Activate and Enum.
class CountingScheduler final : public ITaskScheduler {
public:
    explicit CountingScheduler(ITaskScheduler *real) : real_(real) {}
    ~CountingScheduler() { real_->Release(); }

    HRESULT WINAPI QueryInterface(REFIID riid, void **out) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kIidScheduler)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return (ULONG)++references; }
    ULONG WINAPI Release() override { return (ULONG)--references; }  // the test owns the object
    HRESULT WINAPI SetTargetComputer(LPCWSTR computer) override { return real_->SetTargetComputer(computer); }
    HRESULT WINAPI GetTargetComputer(LPWSTR *computer) override { return real_->GetTargetComputer(computer); }
    HRESULT WINAPI Enum(IEnumWorkItems **items) override
    {
        ++listings;
        return FAILED(enumFailure) ? enumFailure : real_->Enum(items);
    }
    HRESULT WINAPI Activate(LPCWSTR name, REFIID riid, IUnknown **task) override
    {
        ++activations[name];
        return FAILED(activateFailure) ? activateFailure : real_->Activate(name, riid, task);
    }
    HRESULT WINAPI Delete(LPCWSTR name) override { return real_->Delete(name); }
    HRESULT WINAPI NewWorkItem(LPCWSTR name, REFCLSID clsid, REFIID riid, IUnknown **item) override
    {
        return real_->NewWorkItem(name, clsid, riid, item);
    }
    HRESULT WINAPI AddWorkItem(LPCWSTR name, IScheduledWorkItem *item) override { return real_->AddWorkItem(name, item); }
    HRESULT WINAPI IsOfType(LPCWSTR name, REFIID riid) override { return real_->IsOfType(name, riid); }

    int references = 1;
    int listings = 0;
    std::map<std::wstring, int> activations;
    HRESULT activateFailure = S_OK;
    HRESULT enumFailure = S_OK;

private:
    ITaskScheduler *real_;
};

std::vector<CountingScheduler *> made;
HRESULT nextActivateFailure = S_OK;
HRESULT nextEnumFailure = S_OK;

HRESULT MakeCountingScheduler(void **out)
{
    ITaskScheduler *real = nullptr;
    HRESULT hr = CoCreateInstance(kClsidScheduler, nullptr, CLSCTX_INPROC_SERVER, kIidScheduler, (void **)&real);
    if (FAILED(hr))
        return hr;
    CountingScheduler *scheduler = new CountingScheduler(real);
    scheduler->activateFailure = nextActivateFailure;
    scheduler->enumFailure = nextEnumFailure;
    made.push_back(scheduler);
    *out = static_cast<ITaskScheduler *>(scheduler);
    return S_OK;
}

class KeptScheduler : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        nextActivateFailure = S_OK;
        nextEnumFailure = S_OK;
        previous = SetTaskSchedulerFactory(MakeCountingScheduler);
    }
    void TearDown() override
    {
        ReleaseTaskScheduler();
        for (const wchar_t *name : {L"Velloran Config 911", L"Velloran Config 912", L"Velloran Config 913"})
            DeleteTask(name);
        SetTaskSchedulerFactory(previous);
        for (CountingScheduler *scheduler : made)
            delete scheduler;
        made.clear();
        CoUninitialize();
    }
    static void SaveTask(const char *name, WORD year)
    {
        CTask task;
        task.runAsAccount = 0;  // Wine keeps no account
        task.startTime.wYear = year;
        ASSERT_EQ(task.Save(name), S_OK) << name;
    }
    static int NextRunYear(const char *name, int *found)
    {
        SYSTEMTIME next = {};
        EXPECT_TRUE(SUCCEEDED(GetTaskNextRunTime(name, &next, found))) << name;
        return *found ? next.wYear : 0;
    }
    TaskSchedulerFactory previous = nullptr;
};

}  // namespace

TEST_F(KeptScheduler, OneObjectServesTheKeepingThreadUntilItIsReleased)
{
    KeepTaskScheduler();
    int found = 1;
    SYSTEMTIME next;
    EXPECT_EQ(GetTaskNextRunTime("Velloran Config 912", &next, &found), S_OK);
    CTask task;
    EXPECT_EQ(task.Load("Velloran Config 912", &found), S_OK);
    EXPECT_EQ(found, 0);
    DeleteTask(L"Velloran Config 912");
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0]->references, 1) << "only the kept reference is left between calls";

    // Another thread has its own apartment: it makes and lets go of its own objects.
    std::thread other([] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        int otherFound = 1;
        SYSTEMTIME otherNext;
        GetTaskNextRunTime("Velloran Config 912", &otherNext, &otherFound);
        CoUninitialize();
    });
    other.join();
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(made[1]->references, 0);
    EXPECT_EQ(made[0]->activations[L"Velloran Config 912"], 2);

    ReleaseTaskScheduler();
    EXPECT_EQ(made[0]->references, 0);
    // Without a keeper each call has its own object again.
    GetTaskNextRunTime("Velloran Config 912", &next, &found);
    ASSERT_EQ(made.size(), 3u);
    EXPECT_EQ(made[2]->references, 0);
}

TEST_F(KeptScheduler, AnObjectThatLostItsServerIsLetGoAfterTheFailure)
{
    struct Case {
        HRESULT failure;
        bool letGo;
    };
    const Case cases[] = {
        {RPC_E_DISCONNECTED, true},
        {HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), true},
        {HRESULT_FROM_WIN32(RPC_S_CALL_FAILED), true},
        {E_ACCESSDENIED, false},
        {HRESULT_FROM_WIN32(ERROR_INVALID_USER_BUFFER), false},  // the first code after RPC's
    };
    for (const Case &c : cases) {
        KeepTaskScheduler();
        nextActivateFailure = c.failure;
        int found = 1;
        SYSTEMTIME next;
        EXPECT_EQ(GetTaskNextRunTime("Velloran Config 912", &next, &found), c.failure);
        EXPECT_EQ(found, 0);
        CountingScheduler *first = made.back();
        EXPECT_EQ(first->references, c.letGo ? 0 : 1) << std::hex << c.failure;
        nextActivateFailure = S_OK;
        GetTaskNextRunTime("Velloran Config 912", &next, &found);
        EXPECT_EQ(made.back() != first, c.letGo) << std::hex << c.failure;
        ReleaseTaskScheduler();
    }
}

TEST_F(KeptScheduler, ABatchListsTheTasksOnceAndReadsEachTaskOnce)
{
    SaveTask("Velloran Config 911", 2037);
    SaveTask("Velloran Config 913", 2038);
    KeepTaskScheduler();
    int found = 0;
    EXPECT_EQ(NextRunYear("Velloran Config 911", &found), 2037);
    const size_t before = made.size();
    {
        TaskBatch batch;
        TaskBatch inner;  // nested walks share the outer batch
        EXPECT_EQ(NextRunYear("Velloran Config 911", &found), 2037);
        EXPECT_EQ(NextRunYear("Velloran Config 911", &found), 2037);
        CTask task;
        task.Load("Velloran Config 911", &found);
        // Task names are file names: the case does not matter.
        EXPECT_EQ(NextRunYear("velloran config 913", &found), 2038);
        NextRunYear("Velloran Config 912", &found);
        EXPECT_EQ(found, 0);
        EXPECT_EQ(task.Load("Velloran Config 912", &found), S_OK);
        EXPECT_EQ(found, 0);
    }
    ASSERT_EQ(made.size(), before) << "the kept object serves the batch";
    CountingScheduler *scheduler = made.back();
    EXPECT_EQ(scheduler->listings, 1);
    EXPECT_EQ(scheduler->activations[L"Velloran Config 911"], 2) << "once before the batch, once in it";
    EXPECT_EQ(scheduler->activations[L"Velloran Config 912"], 0) << "not listed, so not looked for";
    EXPECT_EQ(scheduler->references, 1) << "the batch let its tasks go";

    // Saving or deleting in a batch makes it read again; a batch sees what changed before it.
    {
        TaskBatch batch;
        EXPECT_EQ(NextRunYear("Velloran Config 912", &found), 0);
        SaveTask("Velloran Config 912", 2039);
        EXPECT_EQ(NextRunYear("Velloran Config 912", &found), 2039);
        ASSERT_EQ(DeleteTask(L"Velloran Config 911"), S_OK);
        NextRunYear("Velloran Config 911", &found);
        EXPECT_EQ(found, 0);
    }
    EXPECT_EQ(scheduler->listings, 4);
    SaveTask("Velloran Config 911", 2040);
    TaskBatch later;
    EXPECT_EQ(NextRunYear("Velloran Config 911", &found), 2040);
}

TEST_F(KeptScheduler, ABatchWithoutAListAsksForEveryTask)
{
    SaveTask("Velloran Config 913", 2038);
    nextEnumFailure = E_NOTIMPL;
    KeepTaskScheduler();
    TaskBatch batch;
    int found = 1;
    EXPECT_EQ(NextRunYear("Velloran Config 912", &found), 0);
    EXPECT_EQ(NextRunYear("Velloran Config 912", &found), 0);
    EXPECT_EQ(NextRunYear("Velloran Config 913", &found), 2038);
    CountingScheduler *kept = made.back();
    EXPECT_EQ(kept->listings, 1);
    EXPECT_EQ(kept->activations[L"Velloran Config 912"], 1) << "a missing task is remembered too";
}
