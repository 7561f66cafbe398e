#include "JobShell.h"

#include "ConfigTable.h"
#include "resource.h"

static JobShell defaultShell;
static JobShell *installedShell = &defaultShell;

void JobShell::NotifyJobFinished(int uniqueId)
{
    HWND window = mainWindow;
    if (window != nullptr)
        PostMessageA(window, WM_JOBFINISHED, (WPARAM)uniqueId, 0);
}

void SetJobShell(JobShell *shell)
{
    __atomic_store_n(&installedShell, shell != nullptr ? shell : &defaultShell, __ATOMIC_RELEASE);
}

JobShell &CurrentJobShell()
{
    return *__atomic_load_n(&installedShell, __ATOMIC_ACQUIRE);
}
