// The main window's command table: menus, accelerators, toolbar and context menus.
#include "MainWindow.h"

#include "AboutBox.h"
#include "ColumnChooser.h"
#include "CombineSplitZipDialog.h"
#include "ConfigEditor.h"
#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "CopyDeleteConfig.h"
#include "DialogHelpers.h"
#include "GlobalSettings.h"
#include "HelpAccess.h"
#include "InternalScheduler.h"
#include "JobControl.h"
#include "JobList.h"
#include "OptionsDialog.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "ShellState.h"
#include "Shortcuts.h"
#include "resource.h"

namespace {

// Index of the selected configuration, or -1 when no row within the table is selected.
int SelectedConfig()
{
    int index = GetSelectedJobIndex();
    return (index >= 0 && index < configTable.configCount) ? index : -1;
}

void OnRunCommand(HWND window)
{
    int index = SelectedConfig();
    if (index < 0)
        return;
    if (IsConfigRunning(ConfigAt(index))) {
        StopBackupJob(index);
        return;
    }
    if (jobActive != 0)
        return;
    jobActive = 1;
    exitWhenDone = 0;
    StartBackupJob(window, index, 1);
}

void OnEditCommand(HWND window)
{
    int index = SelectedConfig();
    if (index >= 0 && !IsConfigRunning(ConfigAt(index)))
        EditBackupConfig(window, index);
}

void OnViewLogCommand(HWND window)
{
    int index = SelectedConfig();
    if (index < 0)
        return;
    const BackupConfig *config = ConfigAt(index);
    if (config->runCount < 1) {
        ShowMessageBox(window, "Backup has not been run yet.  There is no log.", kProductName, MB_OK);
        return;
    }
    char path[300];
    FormatText(path, sizeof(path), "%s%d.txt", dataFolder, config->uniqueId);
    OpenWithShell(-1, window, path);
}

void OnExitCommand(HWND window)
{
    // A dialog or a message box still open below would go on with a table that is gone.
    if (mainHandlerDepth > 1) {
        WaitWithExit(window);
        return;
    }
    if (gSettings.askExit == 1 && hasNextDue == 1 && ConfirmExit(window) != 1)
        return;
    ShutDownMainWindow(window);
}

void OnHelpCommand(HWND window)
{
    char module[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, module, sizeof(module));
    if (length == 0 || length >= sizeof(module))
        return;
    char *slash = strrchr(module, '\\');
    if (slash == nullptr)
        return;
    slash[1] = '\0';
    char topic[MAX_PATH + 64];
    FormatText(topic, sizeof(topic), "%s%s::/help/index.htm>mywin", module, "Korrin.chm");
    CallHtmlHelp(window, topic, 0 /* HH_DISPLAY_TOPIC */, 0);
}

void OnRestoreCommand(HWND window)
{
    if (IsIconic(window))
        OpenIcon(window);
    else
        SetForegroundWindow(window);
    ShowWindow(window, SW_SHOW);
}

void OnShortcutCommand(HWND window)
{
    int index = SelectedConfig();
    if (index >= 0)
        CreateDesktopShortcut(window, index);
}

}  // namespace

int OnMainCommand(HWND window, int id)
{
    // Once the end has begun nothing may start.
    if (shutDownDone)
        return 1;
    bool refused = jobActive == 1;
    switch (id) {
    case IDM_NEW:
        if (!refused)
            EditBackupConfig(window, -1);
        return 1;
    case IDM_EDIT:
        if (!refused)
            OnEditCommand(window);
        return 1;
    case IDM_DELETE:
        if (!refused)
            DeleteBackupConfig(window);
        return 1;
    case IDM_COPY:
        if (!refused)
            CopyBackupConfig(window);
        return 1;
    case IDM_RUN:
        OnRunCommand(window);
        return 1;
    case IDM_VIEWLOG:
        OnViewLogCommand(window);
        return 1;
    case IDM_COLUMNS:
        ShowColumnChooser(window);
        return 1;
    case IDM_EXIT:
        OnExitCommand(window);
        return 1;
    case IDM_HIDE:
        ShowWindow(window, SW_HIDE);
        return 1;
    case IDM_OPTIONS:
        if (!refused)
            ShowOptionsDialog(window);
        return 1;
    case IDM_ABOUT:
        ShowAboutBox(window);
        return 1;
    case IDM_HELP:
        OnHelpCommand(window);
        return 1;
    case IDM_UPDATES:
        OpenWithShell(IDS_URL_DOWNLOAD, window, nullptr);
        return 1;
    case IDM_HOMEPAGE:
        OpenWithShell(IDS_URL_HOMEPAGE, window, nullptr);
        return 1;
    case IDM_RESTORE:
        OnRestoreCommand(window);
        return 1;
    case IDM_COMBINE:
        if (!refused)
            ShowCombineSplitZip(window);
        return 1;
    case IDM_SHORTCUT:
        OnShortcutCommand(window);
        return 1;
    case IDM_LISTFONT:
        ChooseListFont();
        return 1;
    }
    return 0;
}
