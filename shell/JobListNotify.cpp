// Notifications of the job list and its header, as the main window receives them: Enter and
// double click, header clicks, renaming in place, selection changes and the context menus.
#include "JobList.h"

#include <commctrl.h>
#include <string.h>
#include <windowsx.h>

#include "ColumnChooser.h"
#include "ConfigStore.h"
#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "ShellState.h"
#include "Toolbar.h"
#include "TrayAndStatus.h"
#include "resource.h"

namespace {

void PostCommand(int id)
{
    PostMessageA(mainWindow, WM_COMMAND, (WPARAM)id, 0);
}

void OnColumnClick(const NMLISTVIEW *click)
{
    if (click->iSubItem == gSettings.sortColumn)
        gSettings.sortAscending = gSettings.sortAscending == 1 ? 2 : 1;
    gSettings.sortColumn = click->iSubItem;
    SortJobList();
}

// The editor starts with the description, whichever column stands first.
void OnBeginLabelEdit(const NMLVDISPINFOA *info)
{
    HWND edit = (HWND)SendMessageA(jobListWindow, LVM_GETEDITCONTROL, 0, 0);
    if (edit == nullptr)
        return;
    SendMessageA(edit, EM_LIMITTEXT, kDescriptionMaxLength, 0);
    int index = GetJobIndexOfRow(info->item.iItem);
    if (index >= 0 && index < configTable.configCount &&
        GetInsertedColumnAt(0) != JobColumnDescription)
        SetWindowTextA(edit, ConfigAt(index)->description);
}

// The list is told not to take the text itself: the description (cut to its size) is what the
// row shows, in the Description column wherever that stands.
void OnEndLabelEdit(const NMLVDISPINFOA *info)
{
    if (info->item.pszText == nullptr)
        return;
    int index = GetJobIndexOfRow(info->item.iItem);
    if (index < 0 || index >= configTable.configCount)
        return;
    char text[kDescriptionMaxLength + 1];
    lstrcpynA(text, info->item.pszText, sizeof(text));
    BackupConfig *config = ConfigAt(index);
    if (strcmp(text, config->description) == 0)
        return;
    lstrcpynA(config->description, text, sizeof(config->description));
    SetJobCell(index, JobColumnDescription, config->description);
    SaveConfigStore(mainWindow);
}

void OnRowRightClick(const NMITEMACTIVATE *click)
{
    if (click->iItem < 0 || GetSelectedJobIndex() < 0)
        return;
    HMENU menu = LoadMenuA(programInstance, MAKEINTRESOURCEA(IDR_LISTVIEW));
    if (menu == nullptr)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    if (popup != nullptr) {
        PrepareJobListMenu(popup);
        POINT point = click->ptAction;
        ClientToScreen(jobListWindow, &point);
        TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, point.x, point.y, 0, mainWindow, nullptr);
    }
    DestroyMenu(menu);
}

void OnHeaderRightClick()
{
    HMENU menu = LoadMenuA(programInstance, MAKEINTRESOURCEA(IDR_LISTHEAD));
    if (menu == nullptr)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    if (popup != nullptr) {
        HWND header = (HWND)SendMessageA(jobListWindow, LVM_GETHEADER, 0, 0);
        POINT point = GetHeaderMenuPoint(header);
        TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, point.x, point.y, 0, mainWindow, nullptr);
    }
    DestroyMenu(menu);
}

LRESULT OnListNotify(NMHDR *header)
{
    switch (header->code) {
    case LVN_KEYDOWN:
        if (((NMLVKEYDOWN *)header)->wVKey == VK_RETURN)
            PostCommand(IDM_EDIT);
        return 0;
    case NM_DBLCLK:
        if (((NMITEMACTIVATE *)header)->iItem >= 0)
            PostCommand(IDM_EDIT);
        return 0;
    case LVN_COLUMNCLICK:
        OnColumnClick((NMLISTVIEW *)header);
        return 0;
    case LVN_GETDISPINFOA:
        FillJobCellText((NMLVDISPINFOA *)header);
        return 0;
    case LVN_BEGINLABELEDITA:
        OnBeginLabelEdit((NMLVDISPINFOA *)header);
        return FALSE;
    case LVN_ENDLABELEDITA:
        OnEndLabelEdit((NMLVDISPINFOA *)header);
        return FALSE;
    case LVN_ITEMCHANGED:
        if ((((NMLISTVIEW *)header)->uChanged & LVIF_STATE) != 0) {
            UpdateCommandStates();
            UpdateStatusBar();
        }
        return 0;
    case NM_RCLICK:
        OnRowRightClick((NMITEMACTIVATE *)header);
        return 0;
    }
    return 0;
}

}  // namespace

LRESULT OnMainWindowNotify(HWND window, NMHDR *header)
{
    if (header == nullptr)
        return 0;
    if (jobListWindow != nullptr && header->hwndFrom == jobListWindow)
        return OnListNotify(header);
    HWND listHeader = jobListWindow != nullptr ? (HWND)SendMessageA(jobListWindow, LVM_GETHEADER, 0, 0) : nullptr;
    if (listHeader != nullptr && header->hwndFrom == listHeader) {
        if (header->code == HDN_ENDDRAG) {
            PostMessageA(mainWindow, WM_COLUMNSDRAGGED, 0, 0);
        } else if (header->code == NM_RCLICK) {
            OnHeaderRightClick();
            return 1; // handled: the header sends no WM_CONTEXTMENU after it
        }
        return 0;
    }
    return OnToolbarNotify(window, header);
}

// Where the list view does not pass the header's NM_RCLICK on (Wine), the header's
// WM_CONTEXTMENU still reaches this window, passed up through the list view, which may name
// itself as the window clicked: the point tells whether it was over the header.
int OnMainWindowContextMenu(HWND target, LPARAM screenPoint)
{
    HWND listHeader = jobListWindow != nullptr ? (HWND)SendMessageA(jobListWindow, LVM_GETHEADER, 0, 0) : nullptr;
    if (listHeader == nullptr || (target != listHeader && target != jobListWindow))
        return 0;
    POINT point = {GET_X_LPARAM(screenPoint), GET_Y_LPARAM(screenPoint)};
    RECT headerRect;
    if (screenPoint == -1 || !GetWindowRect(listHeader, &headerRect) || !PtInRect(&headerRect, point))
        return 0;
    OnHeaderRightClick();
    return 1;
}
