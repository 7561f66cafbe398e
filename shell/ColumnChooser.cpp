// Dialog 422 "Choose Columns to Display": one row per column with a check image, moved up and
// down, reset to the defaults. The settings change only when OK is accepted.
#include "ColumnChooser.h"

#include <commctrl.h>

#include "ConfigTable.h"
#include "DialogHelpers.h"
#include "ErrorReport.h"
#include "GlobalSettings.h"
#include "JobList.h"
#include "HelpAccess.h"
#include "ShellState.h"
#include "resource.h"

namespace {

const int kUnchecked = 1;
const int kChecked = 2;
const int kLastRow = kJobColumnCount - 1;

int changedColumns = 0;

HWND ChooserList(HWND dialog)
{
    return GetDlgItem(dialog, IDC_COLUMNS_LIST);
}

int RowCheck(HWND list, int row)
{
    UINT state = (UINT)SendMessageA(list, LVM_GETITEMSTATE, (WPARAM)row, LVIS_STATEIMAGEMASK);
    return (int)((state & LVIS_STATEIMAGEMASK) >> 12);
}

void SetRowCheck(HWND list, int row, int check)
{
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(check);
    SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)&item);
}

int RowColumnId(HWND list, int row)
{
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageA(list, LVM_GETITEMA, 0, (LPARAM)&item))
        return -1;
    return (int)item.lParam;
}

int SelectedRow(HWND list)
{
    return (int)SendMessageA(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
}

void InsertRow(HWND list, int row, int column, int check, bool selected)
{
    char title[64];
    LoadColumnTitle(column, title);
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
    item.iItem = row;
    item.pszText = title;
    item.lParam = column;
    item.stateMask = LVIS_STATEIMAGEMASK | LVIS_SELECTED | LVIS_FOCUSED;
    item.state = INDEXTOSTATEIMAGEMASK(check) | (selected ? LVIS_SELECTED | LVIS_FOCUSED : 0);
    SendMessageA(list, LVM_INSERTITEMA, 0, (LPARAM)&item);
}

void FillColumnChooser(HWND dialog, const int *order, const int *shown)
{
    HWND list = ChooserList(dialog);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    for (int row = 0; row < kJobColumnCount; ++row)
        InsertRow(list, row, order[row], shown[order[row]] ? kChecked : kUnchecked, false);
    EnableWindow(GetDlgItem(dialog, IDC_COLUMNS_MOVE_UP), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_COLUMNS_MOVE_DOWN), FALSE);
}

void CreateStateImages(HWND list)
{
    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 0);
    if (images == nullptr)
        return;
    HINSTANCE instance = DialogInstance();
    const int icons[] = {IDI_CHOOSER_UNCHECKED, IDI_CHOOSER_CHECKED};
    for (int id : icons) {
        HICON icon = (HICON)LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, 0);
        ImageList_AddIcon(images, icon);
        if (icon != nullptr)
            DestroyIcon(icon);
    }
    SendMessageA(list, LVM_SETIMAGELIST, LVSIL_STATE, (LPARAM)images);
}

void OnChooserInit(HWND dialog)
{
    CenterDialog(dialog);
    MergeColumnOrderAfterDrag();
    HWND list = ChooserList(dialog);
    CreateStateImages(list);
    RECT units = {0, 0, 110, 144};
    MapDialogRect(dialog, &units);
    LVCOLUMNA column;
    ZeroMemory(&column, sizeof(column));
    column.mask = LVCF_WIDTH;
    column.cx = units.right - 2 * GetSystemMetrics(SM_CXEDGE) - GetSystemMetrics(SM_CXVSCROLL);
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, (LPARAM)&column);
    FillColumnChooser(dialog, gSettings.columnOrder, gSettings.columnShown);
    changedColumns = 0;
}

void ToggleRow(HWND list, int row)
{
    if (row < 0)
        return;
    SetRowCheck(list, row, RowCheck(list, row) == kUnchecked ? kChecked : kUnchecked);
}

void OnSelectionChanged(HWND dialog)
{
    int row = SelectedRow(ChooserList(dialog));
    EnableWindow(GetDlgItem(dialog, IDC_COLUMNS_MOVE_UP), row >= 1 && row <= kLastRow);
    EnableWindow(GetDlgItem(dialog, IDC_COLUMNS_MOVE_DOWN), row >= 0 && row < kLastRow);
}

void MoveSelectedRow(HWND dialog, int step, int buttonId)
{
    HWND list = ChooserList(dialog);
    int row = SelectedRow(list);
    int target = row + step;
    if (row < 0 || target < 0 || target > kLastRow)
        return;
    int column = RowColumnId(list, row);
    int check = RowCheck(list, row);
    SendMessageA(list, LVM_DELETEITEM, (WPARAM)row, 0);
    InsertRow(list, target, column, check, true);
    SendMessageA(list, LVM_ENSUREVISIBLE, (WPARAM)target, FALSE);
    OnSelectionChanged(dialog);
    SetFocus(GetDlgItem(dialog, buttonId));
}

void OnChooserOk(HWND dialog)
{
    HWND list = ChooserList(dialog);
    int order[kJobColumnCount];
    int shown[kJobColumnCount] = {};
    int checkedCount = 0;
    for (int row = 0; row < kJobColumnCount; ++row) {
        order[row] = RowColumnId(list, row);
        if (order[row] < 0 || order[row] >= kJobColumnCount)
            return;
        shown[order[row]] = RowCheck(list, row) == kChecked ? 1 : 0;
        checkedCount += shown[order[row]];
    }
    // Nothing is stored while no column is checked: the dialog stays open and Cancel keeps
    // the columns as they were.
    if (checkedCount == 0) {
        MessageBoxFromResource(dialog, IDS_NO_COLUMN_SELECTED, MB_OK);
        return;
    }
    for (int row = 0; row < kJobColumnCount; ++row) {
        int column = order[row];
        if (gSettings.columnOrder[row] != column || (gSettings.columnShown[column] != 0) != (shown[column] != 0))
            changedColumns = 1;
        gSettings.columnOrder[row] = column;
        gSettings.columnShown[column] = shown[column];
    }
    EndDialog(dialog, changedColumns);
    if (changedColumns && jobListWindow != nullptr) {
        SendMessageA(jobListWindow, LVM_DELETEALLITEMS, 0, 0);
        SetUpJobListColumns();
        RebuildJobList(-1);
    }
}

// Columns 0 to 5 and 7 in their natural order; OK is still needed to apply.
void OnChooserReset(HWND dialog)
{
    int order[kJobColumnCount];
    int shown[kJobColumnCount];
    for (int i = 0; i < kJobColumnCount; ++i) {
        order[i] = i;
        shown[i] = (i <= 5 || i == 7) ? 1 : 0;
    }
    HWND list = ChooserList(dialog);
    for (int row = 0; row < kJobColumnCount; ++row) {
        int column = RowColumnId(list, row);
        if (column != order[row] || (RowCheck(list, row) == kChecked) != (shown[row] != 0))
            changedColumns = 1;
    }
    FillColumnChooser(dialog, order, shown);
}

void OnChooserHelp(HWND dialog, const HELPINFO *help)
{
    if (help == nullptr)
        return;
    switch (help->iCtrlId) {
    case IDC_COLUMNS_LIST:
    case IDC_COLUMNS_MOVE_UP:
    case IDC_COLUMNS_MOVE_DOWN:
    case IDC_COLUMNS_RESET:
        if (help->iContextType == HELPINFO_WINDOW) {
            ShowControlHelpPopup(dialog, help->iCtrlId, "ListColumnSelect.txt");
            return;
        }
        break;
    }
    ShowHelpTopic(mainWindow, IDS_HELPKEY_LIST_COLUMNS);
}

INT_PTR OnChooserCommand(HWND dialog, int id)
{
    switch (id) {
    case IDOK:
        OnChooserOk(dialog);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, 0);
        return TRUE;
    case IDC_COLUMNS_MOVE_UP:
        MoveSelectedRow(dialog, -1, IDC_COLUMNS_MOVE_UP);
        return TRUE;
    case IDC_COLUMNS_MOVE_DOWN:
        MoveSelectedRow(dialog, 1, IDC_COLUMNS_MOVE_DOWN);
        return TRUE;
    case IDC_COLUMNS_RESET:
        OnChooserReset(dialog);
        return TRUE;
    case IDC_COLUMNS_HELP:
        ShowHelpTopic(mainWindow, IDS_HELPKEY_LIST_COLUMNS);
        return TRUE;
    }
    return FALSE;
}

void OnChooserNotify(HWND dialog, const NMHDR *header)
{
    if (header->idFrom != IDC_COLUMNS_LIST)
        return;
    HWND list = ChooserList(dialog);
    switch (header->code) {
    case LVN_KEYDOWN:
        if (((const NMLVKEYDOWN *)header)->wVKey == VK_SPACE)
            ToggleRow(list, SelectedRow(list));
        break;
    case NM_CLICK: {
        LVHITTESTINFO hit;
        ZeroMemory(&hit, sizeof(hit));
        hit.pt = ((const NMITEMACTIVATE *)header)->ptAction;
        int row = (int)SendMessageA(list, LVM_HITTEST, 0, (LPARAM)&hit);
        if (row >= 0 && (hit.flags & LVHT_ONITEMSTATEICON) != 0)
            ToggleRow(list, row);
        break;
    }
    case LVN_ITEMCHANGED:
        if ((((const NMLISTVIEW *)header)->uChanged & LVIF_STATE) != 0)
            OnSelectionChanged(dialog);
        break;
    }
}

void OnChooserDestroy(HWND dialog)
{
    HIMAGELIST images = (HIMAGELIST)SendMessageA(ChooserList(dialog), LVM_SETIMAGELIST, LVSIL_STATE, 0);
    if (images != nullptr)
        ImageList_Destroy(images);
}

}  // namespace

INT_PTR CALLBACK ColumnChooserDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnChooserInit(dialog);
        return TRUE;
    case WM_COMMAND:
        return OnChooserCommand(dialog, LOWORD(wParam));
    case WM_NOTIFY:
        OnChooserNotify(dialog, (const NMHDR *)lParam);
        return TRUE;
    case WM_HELP:
        OnChooserHelp(dialog, (const HELPINFO *)lParam);
        return TRUE;
    case WM_CLOSE:
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    case WM_DESTROY:
        OnChooserDestroy(dialog);
        return FALSE;
    }
    return FALSE;
}

void ShowColumnChooser(HWND owner)
{
    OpenModalDialog(IDD_COLUMNS, owner, ColumnChooserDialogProc, 0);
}
