// Which commands are available, by menu item and toolbar button, for the selected
// configuration and whether a job runs.
#include "JobList.h"

#include <commctrl.h>

#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "JobControl.h"
#include "ShellState.h"
#include "Toolbar.h"
#include "resource.h"

namespace {

void EnableItem(HMENU menu, int id, bool enabled)
{
    if (menu != nullptr)
        EnableMenuItem(menu, (UINT)id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void EnableButton(HWND toolbar, int id, bool enabled)
{
    if (toolbar != nullptr)
        SendMessageA(toolbar, TB_ENABLEBUTTON, (WPARAM)id, MAKELPARAM(enabled ? TRUE : FALSE, 0));
}

void EnableCommand(HMENU menu, HWND toolbar, int id, bool enabled)
{
    EnableItem(menu, id, enabled);
    EnableButton(toolbar, id, enabled);
}

void SetItemText(HMENU menu, int id, const char *text)
{
    if (menu == nullptr)
        return;
    MENUITEMINFOA item;
    ZeroMemory(&item, sizeof(item));
    item.cbSize = sizeof(item);
    item.fMask = MIIM_STRING;
    item.dwTypeData = (LPSTR)text;
    SetMenuItemInfoA(menu, (UINT)id, FALSE, &item);
}

void SetRunButton(HWND toolbar, const char *text, int image)
{
    if (toolbar == nullptr)
        return;
    TBBUTTONINFOA button;
    ZeroMemory(&button, sizeof(button));
    button.cbSize = sizeof(button);
    button.dwMask = TBIF_TEXT | TBIF_IMAGE;
    button.pszText = (LPSTR)text;
    button.iImage = image;
    SendMessageA(toolbar, TB_SETBUTTONINFOA, IDM_RUN, (LPARAM)&button);
}

// The selected configuration, or NULL.
const BackupConfig *SelectedConfig()
{
    int index = GetSelectedJobIndex();
    return (index >= 0 && index < configTable.configCount) ? ConfigAt(index) : nullptr;
}

}  // namespace

void ApplyCommandStates(HMENU menu, HWND toolbar)
{
    bool idle = jobActive == 0;
    EnableCommand(menu, toolbar, IDM_NEW, idle);
    EnableItem(menu, IDM_OPTIONS, idle);
    EnableItem(menu, IDM_COMBINE, idle);
    const BackupConfig *config = SelectedConfig();
    if (config == nullptr) {
        const int kSelectionCommands[] = {IDM_EDIT, IDM_DELETE, IDM_COPY, IDM_RUN, IDM_VIEWLOG};
        for (int id : kSelectionCommands)
            EnableCommand(menu, toolbar, id, false);
        return;
    }
    if (IsConfigRunning(config)) {
        SetItemText(menu, IDM_RUN, "&Stop\tCtrl + R");
        SetRunButton(toolbar, "Stop", TBIMG_STOP);
        EnableCommand(menu, toolbar, IDM_RUN, true);
    } else {
        SetItemText(menu, IDM_RUN, "&Run Now\tCtrl + R");
        SetRunButton(toolbar, "Run Now", TBIMG_RUN);
        EnableCommand(menu, toolbar, IDM_RUN, idle && (config->flags & Enabled) != 0);
    }
    EnableCommand(menu, toolbar, IDM_EDIT, idle);
    EnableCommand(menu, toolbar, IDM_COPY, idle);
    EnableCommand(menu, toolbar, IDM_DELETE, idle);
    EnableCommand(menu, toolbar, IDM_VIEWLOG, config->runCount > 0);
}

void UpdateCommandStates()
{
    ApplyCommandStates(mainMenu, GetToolbarWindow());
    if (mainWindow != nullptr && mainMenu != nullptr)
        DrawMenuBar(mainWindow);
}

void PrepareJobListMenu(HMENU popup)
{
    bool active = jobActive == 1;
    if (active) {
        EnableItem(popup, IDM_EDIT, false);
        EnableItem(popup, IDM_DELETE, false);
        EnableItem(popup, IDM_COPY, false);
    }
    const BackupConfig *config = SelectedConfig();
    if (config != nullptr && IsConfigRunning(config))
        SetItemText(popup, IDM_RUN, "&Stop");
    else if (active)
        EnableItem(popup, IDM_RUN, false);
}
