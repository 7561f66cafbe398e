// How the engine refreshes the program's window: list cells, commands, tray icon, status bar.
#include "ShellJobShell.h"

#include "JobList.h"
#include "JobShell.h"
#include "TrayAndStatus.h"

namespace {

int ColumnOfCell(JobCell cell)
{
    switch (cell) {
    case JobCell::LastRun:
        return 3;
    case JobCell::LastResult:
        return 4;
    case JobCell::NextRun:
        return 5;
    case JobCell::RunCount:
        return 17;
    case JobCell::Size:
        return kColumnSize;
    }
    return -1;
}

struct WindowJobShell : JobShell {
    void UpdateCommandStates() override { ::UpdateCommandStates(); }
    void RefreshJobCell(int index, JobCell cell) override { RefreshJobListCell(index, ColumnOfCell(cell)); }
    void RebuildJobList(int index) override { ::RebuildJobList(index); }
    void UpdateTrayIcon() override { ::UpdateTrayIcon(); }
    void UpdateStatusBar() override { ::UpdateStatusBar(); }
};

WindowJobShell windowShell;

}  // namespace

void InstallShellJobShell()
{
    SetJobShell(&windowShell);
}

void RemoveShellJobShell()
{
    SetJobShell(nullptr);
}
