// A plain report view of the configurations, one column per column id, so the window runs.
// Cell texts, sorting, label editing and the column chooser come with the full job list.
#include "JobList.h"

#include <commctrl.h>

#include "ConfigTable.h"
#include "DisplayFormats.h"
#include "GlobalSettings.h"
#include "MsvcrtFormat.h"
#include "ResourceText.h"
#include "ShellState.h"
#include "resource.h"

static const int kPlainColumnWidth = 100;

HWND CreateJobList(HWND parent)
{
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP | LVS_REPORT |
                  LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_EDITLABELS;
    HWND list = CreateWindowExA(0, WC_LISTVIEWA, "", style, 0, 0, 0, 0, parent, (HMENU)(INT_PTR)IDC_MAIN_JOBLIST,
                                programInstance, nullptr);
    if (list == nullptr)
        return nullptr;
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP);
    SendMessageA(list, LVM_SETBKCOLOR, 0, (LPARAM)gSettings.backColor);
    SendMessageA(list, LVM_SETTEXTBKCOLOR, 0, (LPARAM)gSettings.backColor);
    SendMessageA(list, LVM_SETTEXTCOLOR, 0, (LPARAM)gSettings.textColor);
    ApplySavedListFont(list);
    return list;
}

int CreateJobListImageList()
{
    return 1;
}

void DestroyJobListImageLists()
{
}

int SetUpJobListColumns()
{
    for (int i = 0; i < kJobColumnCount; ++i) {
        char title[64];
        if (LoadResourceText((UINT)(IDS_COL_BASE + i), title, sizeof(title)) == 0)
            FormatText(title, sizeof(title), "%d", i);
        LVCOLUMNA column;
        ZeroMemory(&column, sizeof(column));
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = title;
        column.cx = gSettings.columnShown[i] ? kPlainColumnWidth : 0;
        if (SendMessageA(jobListWindow, LVM_INSERTCOLUMNA, (WPARAM)i, (LPARAM)&column) < 0)
            return 0;
    }
    return 1;
}

int GetJobListTotalWidth()
{
    int total = 0;
    for (int i = 0; i < kJobColumnCount; ++i)
        if (gSettings.columnShown[i])
            total += kPlainColumnWidth;
    return total;
}

void SetJobCell(int index, int column, const char *text)
{
    if (jobListWindow == nullptr || column < 0)
        return;
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.iSubItem = column;
    item.pszText = (LPSTR)text;
    SendMessageA(jobListWindow, LVM_SETITEMTEXTA, (WPARAM)index, (LPARAM)&item);
}

static void FormatPlainCell(int index, int column, char *text, size_t size)
{
    const BackupConfig *config = ConfigAt(index);
    char unused[64];
    text[0] = '\0';
    switch (column) {
    case 0:
        lstrcpynA(text, config->description, (int)size);
        break;
    case 1:
        FormatConfigTotals(config, text, size, unused, sizeof(unused));
        break;
    case 2:
        lstrcpynA(text, config->destination, (int)size);
        break;
    case 4:
        GetJobResultText(config->lastResult, text, size);
        break;
    case 17:
        FormatText(text, size, "%d", config->runCount);
        break;
    case 21:
        FormatText(text, size, "%d", config->uniqueId);
        break;
    }
}

void RefreshJobListCell(int index, int column)
{
    if (index < 0 || index >= configTable.configCount || column < 0)
        return;
    char text[300];
    FormatPlainCell(index, column, text, sizeof(text));
    SetJobCell(index, column, text);
}

static void FillRow(int index)
{
    for (int column = 0; column < kJobColumnCount; ++column)
        RefreshJobListCell(index, column);
}

int RebuildJobList(int index)
{
    if (jobListWindow == nullptr)
        return 1;
    if (index >= 0 && index < configTable.configCount) {
        FillRow(index);
        return 1;
    }
    SendMessageA(jobListWindow, LVM_DELETEALLITEMS, 0, 0);
    for (int i = 0; i < configTable.configCount; ++i) {
        LVITEMA item;
        ZeroMemory(&item, sizeof(item));
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = i;
        item.pszText = ConfigAt(i)->description;
        item.lParam = i;
        if (SendMessageA(jobListWindow, LVM_INSERTITEMA, 0, (LPARAM)&item) < 0)
            return 0;
        FillRow(i);
    }
    return 1;
}

int GetSelectedJobIndex()
{
    if (jobListWindow == nullptr)
        return -1;
    int row = (int)SendMessageA(jobListWindow, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
    if (row < 0)
        return -1;
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageA(jobListWindow, LVM_GETITEMA, 0, (LPARAM)&item))
        return -1;
    return (int)item.lParam;
}

void UpdateCommandStates()
{
}
