// Help texts of the highlighted menu item, shown in the status bar's simple mode while a menu
// is open. A popup's text is its menu's first string id plus the popup's position; a
// command's text is the string with the command's id.
#include "TrayAndStatus.h"

#include <commctrl.h>

#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "JobList.h"
#include "ShellState.h"
#include "resource.h"

namespace {

struct MenuHelpPair {
    HMENU menu;
    UINT firstStringId;
};

// An empty first pair, the menu bar, its Help popup and two empty pairs.
const int kMenuHelpPairs = 5;
MenuHelpPair menuHelpTable[kMenuHelpPairs];

int IsSelectedConfigRunning()
{
    int index = GetSelectedJobIndex();
    return index >= 0 && index < configTable.configCount && IsConfigRunning(ConfigAt(index));
}

UINT FindPopupStringId(HMENU menu, UINT position)
{
    for (int i = 1; i < kMenuHelpPairs; ++i)
        if (menu != nullptr && menuHelpTable[i].menu == menu)
            return menuHelpTable[i].firstStringId + position;
    return 0;
}

}  // namespace

void InitMenuHelp()
{
    ZeroMemory(menuHelpTable, sizeof(menuHelpTable));
    menuHelpTable[1].menu = mainMenu;
    menuHelpTable[1].firstStringId = IDS_MENUHELP_MAIN_BASE;
    menuHelpTable[2].menu = mainMenu != nullptr ? GetSubMenu(mainMenu, 3) : nullptr;
    menuHelpTable[2].firstStringId = IDS_MENUHELP_HELPMENU_BASE;
}

UINT GetCommandHelpId(UINT commandId)
{
    if (commandId == IDM_RUN && IsSelectedConfigRunning())
        return IDS_HELP_STOP;
    return commandId;
}

void GetMenuItemHelpText(WPARAM wParam, LPARAM lParam, char *out, int outSize)
{
    UINT flags = HIWORD(wParam);
    UINT item = LOWORD(wParam);
    UINT stringId = 0;
    if ((flags & MF_POPUP) != 0 && (flags & MF_SYSMENU) == 0)
        stringId = FindPopupStringId((HMENU)lParam, item);
    else if ((flags & (MF_POPUP | MF_SYSMENU | MF_SEPARATOR)) == 0)
        stringId = GetCommandHelpId(item);
    out[0] = '\0';
    if (stringId != 0 && LoadStringA(programInstance, stringId, out, outSize) <= 0)
        out[0] = '\0';
}

LRESULT OnMenuSelect(WPARAM wParam, LPARAM lParam)
{
    if (statusBarWindow == nullptr || !IsWindow(statusBarWindow))
        return 0;
    if (HIWORD(wParam) == 0xFFFF && lParam == 0) {
        SendMessageA(statusBarWindow, SB_SIMPLE, FALSE, 0);
        UpdateStatusBar();
        return 0;
    }
    char text[256];
    GetMenuItemHelpText(wParam, lParam, text, sizeof(text));
    SendMessageA(statusBarWindow, SB_SETTEXTA, 255 | SBT_NOBORDERS, (LPARAM)text);
    SendMessageA(statusBarWindow, SB_SIMPLE, TRUE, 0);
    return 0;
}
