// How the engine and the dialogs refresh the program's window: list cells, commands, tray icon,
// status bar and toolbar.
#include "ShellJobShell.h"

#include "DialogShell.h"
#include "JobList.h"
#include "JobShell.h"
#include "Toolbar.h"
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

// RebuildJobList and UpdateTrayIcon answer both the engine and the dialogs.
struct WindowShell : JobShell, DialogShell {
    void UpdateCommandStates() override { ::UpdateCommandStates(); }
    void RefreshJobCell(int index, JobCell cell) override { RefreshJobListCell(index, ColumnOfCell(cell)); }
    void RebuildJobList(int index) override { ::RebuildJobList(index); }
    void UpdateTrayIcon() override { ::UpdateTrayIcon(); }
    void UpdateStatusBar() override { ::UpdateStatusBar(); }
    void RebuildToolbar() override { ::RebuildToolbar(); }
};

WindowShell windowShell;

}  // namespace

void InstallShellJobShell()
{
    SetJobShell(&windowShell);
}

void RemoveShellJobShell()
{
    SetJobShell(nullptr);
}

void InstallShellDialogShell()
{
    SetDialogShell(&windowShell);
}

void RemoveShellDialogShell()
{
    SetDialogShell(nullptr);
}
