// Shared set-up of the shell tests: a parent window that hands WM_NOTIFY and WM_CONTEXTMENU to
// the main window's handlers and records commands and the popup menus it opens, the job list inside it, a table of configurations, a private
// store path and a Task Scheduler double.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

#include "BackupConfig.h"
#include "ScheduledTask.h"
#include "ScratchFolder.h"

// Tasks by name; a name that is not there has no task.
class FakeTaskScheduler : public TaskSchedulerService {
public:
    struct Task {
        HRESULT loadResult = S_OK;
        std::string triggerText;
        bool hasNextRun = false;
        SYSTEMTIME nextRun{};
    };
    std::map<std::string, Task> tasks;
    // When set, a load waits until it is signalled (the tasks are read behind the window).
    HANDLE loadGate = nullptr;

    HRESULT SaveTask(const CTask &, const char *) override { return E_NOTIMPL; }
    HRESULT LoadTask(CTask &task, const char *taskName, int *found) override;
    HRESULT GetNextRunTime(const char *taskName, SYSTEMTIME *next, int *found) override;
    HRESULT DeleteTask(const wchar_t *taskName) override
    {
        deletedTasks.push_back(taskName);
        return S_OK;
    }
    std::vector<std::wstring> deletedTasks;
};

class JobListTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Appends a configuration with plain values (enabled, never run, no schedule); returns its index.
    int AddConfig(const char *description);
    BackupConfig *Config(int index);
    // Sets up the columns again from the settings and rebuilds the rows.
    void ReloadColumns();
    std::vector<std::string> HeaderTitles();
    std::string CellText(int row, int subitem);
    // The configuration index of each row, top to bottom.
    std::vector<int> RowOrder();
    // Sends a list notification to the main window's handler as the list would.
    LRESULT Notify(NMHDR *header, UINT code);
    // Delivers posted messages, so recorded commands include posted ones.
    void PumpMessages();
    // Selects the row of the configuration at index; -1 clears the selection.
    void SelectConfig(int index);
    bool StoreExists();

    HWND parent = nullptr;
    HWND list = nullptr;
    FakeTaskScheduler scheduler;
    TaskSchedulerService *previousScheduler = nullptr;
    ScratchFolder folder;

public:
    static std::vector<UINT> commands;       // WM_COMMAND ids the parent received
    static std::vector<UINT> columnsDragged; // WM_COLUMNSDRAGGED messages
    static std::vector<UINT> menusShown;     // first command of each popup menu opened
};
