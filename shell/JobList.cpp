// The job list's window, image lists and rows: one row per configuration in table order, its
// lParam the configuration's index.
#include "JobList.h"

#include <commctrl.h>
#include <string.h>

#include <utility>
#include <vector>

#include "ConfigTable.h"
#include "DisplayFormats.h"
#include "GlobalSettings.h"
#include "ScheduledTask.h"
#include "TaskViews.h"
#include "ShellState.h"
#include "TrayAndStatus.h"
#include "resource.h"

namespace {

HIMAGELIST rowImages = nullptr;
HIMAGELIST headerImages = nullptr;

int AddIcon(HIMAGELIST images, int id, int size)
{
    HICON icon = (HICON)LoadImageA(programInstance, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR);
    if (icon == nullptr)
        return -1;
    int added = ImageList_AddIcon(images, icon);
    DestroyIcon(icon);
    return added;
}

int SearchRowOfConfig(int index)
{
    LVFINDINFOA find;
    ZeroMemory(&find, sizeof(find));
    find.flags = LVFI_PARAM;
    find.lParam = index;
    return (int)SendMessageA(jobListWindow, LVM_FINDITEMA, (WPARAM)-1, (LPARAM)&find);
}

// The row of each configuration index, read from the list once after its rows changed: the
// timer sets two cells of every row each second, and the list's own search goes through the
// rows one by one. Only the list's thread uses it.
std::vector<int> rowOfConfig;
int rowsIndexed = -1;  // the row count when rowOfConfig was read; -1 when it must be read again

void IndexRows()
{
    int count = (int)SendMessageA(jobListWindow, LVM_GETITEMCOUNT, 0, 0);
    rowOfConfig.assign((size_t)configTable.configCount, -1);
    for (int row = 0; row < count; ++row) {
        int index = GetJobIndexOfRow(row);
        if (index >= 0 && index < configTable.configCount)
            rowOfConfig[(size_t)index] = row;
    }
    rowsIndexed = count;
}

int IndexedRow(int index)
{
    return index < (int)rowOfConfig.size() ? rowOfConfig[(size_t)index] : -1;
}

bool IsListThread()
{
    return GetWindowThreadProcessId(jobListWindow, nullptr) == GetCurrentThreadId();
}

int FindRowOfConfig(int index)
{
    if (index < 0)
        return -1;
    if (!IsListThread())
        return SearchRowOfConfig(index);
    if (rowsIndexed != (int)SendMessageA(jobListWindow, LVM_GETITEMCOUNT, 0, 0) ||
        rowOfConfig.size() != (size_t)configTable.configCount)
        IndexRows();
    int row = IndexedRow(index);
    if (row < 0 || GetJobIndexOfRow(row) == index)
        return row;
    // The rows were moved without a word to us: read them again.
    IndexRows();
    return IndexedRow(index);
}

// Returns the new row, or -1.
int InsertRow(int index, const char *text, bool selected)
{
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
    item.iItem = (int)SendMessageA(jobListWindow, LVM_GETITEMCOUNT, 0, 0);
    item.pszText = (LPSTR)text;
    item.iImage = (ConfigAt(index)->flags & Enabled) != 0 ? 1 : 0;
    item.lParam = index;
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = selected ? (LVIS_SELECTED | LVIS_FOCUSED) : 0;
    return (int)SendMessageA(jobListWindow, LVM_INSERTITEMA, 0, (LPARAM)&item);
}

void SetSubitemText(int row, int subitem, const char *text)
{
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.iSubItem = subitem;
    item.pszText = (LPSTR)text;
    SendMessageA(jobListWindow, LVM_SETITEMTEXTA, (WPARAM)row, (LPARAM)&item);
}

// The cells of these columns hold no text: the list asks for it (LPSTR_TEXTCALLBACK) when it
// draws or hands out a cell, and gets it formatted from the record at that moment. Their texts
// change behind the list's back (sizes being counted, tasks being read), and under Wine every
// text written into a cell is a round trip to its server (about 0.05 ms, 0.1 ms in view), while
// writing with drawing turned off costs 10-20 ms to turn it on again: with thousands of
// configurations no tick could keep up. A change then only needs the cells in view repainted.
bool IsFollowingColumn(int column)
{
    return column == JobColumnSize || column == JobColumnFileCount || column == JobColumnNextRun ||
           column == JobColumnSchedule;
}

// Cells of those columns that were given a text of their own (SetJobCell with a text that is
// not the formatted one), by configuration index and column. The size refresh lets the size
// cells follow their record again; a rebuild lets them all.
SRWLOCK heldLock = SRWLOCK_INIT;
std::vector<std::pair<int, int>> heldCells;

void HoldCell(int index, int column)
{
    AcquireSRWLockExclusive(&heldLock);
    std::pair<int, int> cell(index, column);
    bool held = false;
    for (const auto &h : heldCells)
        held = held || h == cell;
    if (!held)
        heldCells.push_back(cell);
    ReleaseSRWLockExclusive(&heldLock);
}

// True when the cell was held.
bool ReleaseHeldCell(int index, int column)
{
    AcquireSRWLockExclusive(&heldLock);
    bool held = false;
    for (size_t i = 0; i < heldCells.size(); ++i) {
        if (heldCells[i] == std::make_pair(index, column)) {
            heldCells.erase(heldCells.begin() + (long)i);
            held = true;
            break;
        }
    }
    ReleaseSRWLockExclusive(&heldLock);
    return held;
}

std::vector<std::pair<int, int>> TakeHeldSizeCells()
{
    std::vector<std::pair<int, int>> taken, kept;
    AcquireSRWLockExclusive(&heldLock);
    for (const auto &cell : heldCells)
        (cell.second == kColumnSize || cell.second == kColumnFileCount ? taken : kept).push_back(cell);
    heldCells.swap(kept);
    ReleaseSRWLockExclusive(&heldLock);
    return taken;
}

void ForgetHeldCells()
{
    AcquireSRWLockExclusive(&heldLock);
    heldCells.clear();
    ReleaseSRWLockExclusive(&heldLock);
}

// The rows in view, the part-shown one below them included.
void GetRowsInView(int *top, int *last)
{
    *top = (int)SendMessageA(jobListWindow, LVM_GETTOPINDEX, 0, 0);
    *last = *top + (int)SendMessageA(jobListWindow, LVM_GETCOUNTPERPAGE, 0, 0);
}

void InvalidateRow(int row)
{
    RECT bounds;
    bounds.left = LVIR_BOUNDS;
    if (SendMessageA(jobListWindow, LVM_GETITEMRECT, (WPARAM)row, (LPARAM)&bounds))
        InvalidateRect(jobListWindow, &bounds, TRUE);
}

// The totals that each configuration's Size and File Count cells were last drawn from, so that
// the timer repaints only the rows in view whose totals changed. Only the list's thread uses it.
struct ShownTotals {
    bool known = false;
    double bytes = 0;
    int files = 0;
    int allMeasured = 0;
};
std::vector<ShownTotals> shownTotals;

ShownTotals CurrentTotals(int index)
{
    ShownTotals totals;
    totals.known = true;
    totals.allMeasured = GetConfigTotals(ConfigAt(index), &totals.bytes, &totals.files);
    return totals;
}

bool SameTotals(const ShownTotals &a, const ShownTotals &b)
{
    return a.known && b.known && a.bytes == b.bytes && a.files == b.files && a.allMeasured == b.allMeasured;
}

// Sets the text of a shown column's cell in an existing row when it differs; true when it did.
bool WriteCellText(int row, int column, const char *text)
{
    int subitem = GetInsertedPositionOf(column);
    if (subitem < 0)
        return false;
    char shown[kJobCellTextSize] = "";
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.iSubItem = subitem;
    item.pszText = shown;
    item.cchTextMax = sizeof(shown);
    SendMessageA(jobListWindow, LVM_GETITEMTEXTA, (WPARAM)row, (LPARAM)&item);
    if (strcmp(shown, text) == 0)
        return false;
    SetSubitemText(row, subitem, text);
    return true;
}

// A cell of a following column: the formatted text lets it follow its record again (and
// repaints it), any other text is held in it.
void WriteFollowingCell(int index, int row, int column, const char *text)
{
    char formatted[kJobCellTextSize];
    FormatJobCell(index, column, formatted, sizeof(formatted));
    if (strcmp(formatted, text) != 0) {
        HoldCell(index, column);
        WriteCellText(row, column, text);
    } else if (ReleaseHeldCell(index, column)) {
        SetSubitemText(row, GetInsertedPositionOf(column), LPSTR_TEXTCALLBACKA);
    } else {
        InvalidateRow(row);
    }
}

void WriteJobCell(int index, int column, const char *text)
{
    if (jobListWindow == nullptr || text == nullptr || GetInsertedPositionOf(column) < 0)
        return;
    int row = FindRowOfConfig(index);
    if (row < 0)
        return;
    if (IsFollowingColumn(column))
        WriteFollowingCell(index, row, column, text);
    else
        WriteCellText(row, column, text);
}

void AddRow(int index, bool selected)
{
    // Taken before the cells are formatted: totals that change meanwhile differ at the next
    // refresh.
    shownTotals[(size_t)index] = CurrentTotals(index);
    int row = -1;
    char text[kJobCellTextSize];
    for (int subitem = 0;; ++subitem) {
        int column = GetInsertedColumnAt(subitem);
        if (column < 0)
            break;
        const char *cell = LPSTR_TEXTCALLBACKA;
        if (!IsFollowingColumn(column)) {
            FormatJobCell(index, column, text, sizeof(text));
            cell = text;
        }
        if (subitem == 0) {
            row = InsertRow(index, cell, selected);
            if (row < 0)
                return;
        } else {
            SetSubitemText(row, subitem, cell);
        }
    }
}

// The configurations whose tasks are to be read.
std::vector<int> AllConfigIds()
{
    std::vector<int> ids;
    ids.reserve((size_t)configTable.configCount);
    for (int i = 0; i < configTable.configCount; ++i)
        ids.push_back(ConfigAt(i)->uniqueId);
    return ids;
}

std::vector<int> ConfigIdsInView()
{
    std::vector<int> ids;
    int top = 0, last = 0;
    GetRowsInView(&top, &last);
    for (int row = top; row <= last; ++row) {
        int index = GetJobIndexOfRow(row);
        if (index >= 0 && index < configTable.configCount)
            ids.push_back(ConfigAt(index)->uniqueId);
    }
    return ids;
}

}  // namespace

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
    syncJobListSettings = SyncJobListSettings;
    return list;
}

int CreateJobListImageList()
{
    DestroyJobListImageLists();
    rowImages = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 0);
    if (rowImages != nullptr) {
        AddIcon(rowImages, IDI_CONFIG_DISABLED, 16);
        AddIcon(rowImages, IDI_CONFIG_ENABLED, 16);
        SendMessageA(jobListWindow, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)rowImages);
    }
    headerImages = ImageList_Create(8, 8, ILC_COLOR4 | ILC_MASK, 2, 0);
    if (headerImages != nullptr) {
        AddIcon(headerImages, IDI_HEADER_IMAGE1, 8);
        AddIcon(headerImages, IDI_HEADER_IMAGE2, 8);
        HWND header = (HWND)SendMessageA(jobListWindow, LVM_GETHEADER, 0, 0);
        if (header != nullptr)
            SendMessageA(header, HDM_SETIMAGELIST, 0, (LPARAM)headerImages);
    }
    return 1;
}

void DestroyJobListImageLists()
{
    if (jobListWindow != nullptr && IsWindow(jobListWindow)) {
        SendMessageA(jobListWindow, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
        HWND header = (HWND)SendMessageA(jobListWindow, LVM_GETHEADER, 0, 0);
        if (header != nullptr)
            SendMessageA(header, HDM_SETIMAGELIST, 0, 0);
    }
    if (rowImages != nullptr)
        ImageList_Destroy(rowImages);
    if (headerImages != nullptr)
        ImageList_Destroy(headerImages);
    rowImages = nullptr;
    headerImages = nullptr;
}

int RebuildJobList(int index)
{
    if (jobListWindow == nullptr)
        return 0;
    if (index == -1)
        index = GetSelectedJobIndex();
    // What the rows show of the tasks is read again behind them.
    ReadTaskViews(AllConfigIds());
    TaskBatch tasks;
    rowsIndexed = -1;  // read again once sorted
    // Each change of a shown list invalidates a part of it, and under Wine every invalidation
    // is a round trip to its server: the rows are drawn once, when they are all there.
    bool shown = (GetWindowLongA(jobListWindow, GWL_STYLE) & WS_VISIBLE) != 0;
    if (shown)
        SendMessageA(jobListWindow, WM_SETREDRAW, FALSE, 0);
    bool deleted = SendMessageA(jobListWindow, LVM_DELETEALLITEMS, 0, 0) != 0;
    ForgetHeldCells();
    shownTotals.assign((size_t)configTable.configCount, ShownTotals());
    if (deleted) {
        for (int i = 0; i < configTable.configCount; ++i)
            AddRow(i, i == index);
        SortJobList();
    }
    if (shown) {
        SendMessageA(jobListWindow, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(jobListWindow, nullptr, TRUE);
    }
    if (!deleted)
        return 0;
    int row = -1;
    GetSelectedJobIndex(jobListWindow, &row);
    if (row >= 0)
        SendMessageA(jobListWindow, LVM_ENSUREVISIBLE, (WPARAM)row, FALSE);
    ReadTaskViewsFirst(ConfigIdsInView());
    UpdateCommandStates();
    UpdateStatusBar();
    return 1;
}

void IndexJobRows()
{
    if (jobListWindow != nullptr && IsListThread())
        IndexRows();
}

void SetJobCell(int index, int column, const char *text)
{
    WriteJobCell(index, column, text);
}

void RefreshJobListSizes()
{
    if (jobListWindow == nullptr)
        return;
    for (const auto &cell : TakeHeldSizeCells()) {
        int row = FindRowOfConfig(cell.first);
        int subitem = GetInsertedPositionOf(cell.second);
        if (row >= 0 && subitem >= 0)
            SetSubitemText(row, subitem, LPSTR_TEXTCALLBACKA);
    }
    if (GetInsertedPositionOf(kColumnSize) < 0 && GetInsertedPositionOf(kColumnFileCount) < 0)
        return;
    shownTotals.resize((size_t)configTable.configCount);
    std::vector<char> changed((size_t)configTable.configCount, 0);
    bool anyChanged = false;
    for (int i = 0; i < configTable.configCount; ++i) {
        ShownTotals now = CurrentTotals(i);
        if (SameTotals(shownTotals[(size_t)i], now))
            continue;
        shownTotals[(size_t)i] = now;
        changed[(size_t)i] = 1;
        anyChanged = true;
    }
    if (!anyChanged)
        return;
    // Rows out of view show their new texts whenever they come into view.
    int top = 0, last = 0;
    GetRowsInView(&top, &last);
    for (int row = top; row <= last; ++row) {
        int index = GetJobIndexOfRow(row);
        if (index >= 0 && index < (int)changed.size() && changed[(size_t)index])
            InvalidateRow(row);
    }
}

void RefreshJobListTaskCells()
{
    if (jobListWindow == nullptr)
        return;
    if (GetInsertedPositionOf(JobColumnNextRun) >= 0 || GetInsertedPositionOf(JobColumnSchedule) >= 0)
        InvalidateRect(jobListWindow, nullptr, TRUE);
    if (IsReadingTaskViews())
        ReadTaskViewsFirst(ConfigIdsInView());
}

void FillJobCellText(NMLVDISPINFOA *info)
{
    if ((info->item.mask & LVIF_TEXT) == 0 || info->item.pszText == nullptr || info->item.cchTextMax <= 0)
        return;
    info->item.pszText[0] = '\0';
    int column = GetInsertedColumnAt(info->item.iSubItem);
    int index = GetJobIndexOfRow(info->item.iItem);
    if (column >= 0)
        FormatJobCell(index, column, info->item.pszText, (size_t)info->item.cchTextMax);
}

void RefreshJobListCell(int index, int column)
{
    char text[kJobCellTextSize];
    FormatJobCell(index, column, text, sizeof(text));
    if (index >= 0 && index < configTable.configCount)
        SetJobCell(index, column, text);
}

int GetSelectedJobIndex(HWND list, int *row)
{
    if (row != nullptr)
        *row = -1;
    if (list == nullptr)
        return -1;
    int selected = (int)SendMessageA(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
    if (selected < 0)
        return -1;
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.mask = LVIF_PARAM;
    item.iItem = selected;
    if (!SendMessageA(list, LVM_GETITEMA, 0, (LPARAM)&item))
        return -1;
    if (row != nullptr)
        *row = selected;
    return (int)item.lParam;
}

int GetSelectedJobIndex()
{
    return GetSelectedJobIndex(jobListWindow, nullptr);
}

int GetJobIndexOfRow(int row)
{
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (jobListWindow == nullptr || !SendMessageA(jobListWindow, LVM_GETITEMA, 0, (LPARAM)&item))
        return -1;
    return (int)item.lParam;
}

int IsJobListLabelEditing()
{
    return jobListWindow != nullptr && SendMessageA(jobListWindow, LVM_GETEDITCONTROL, 0, 0) != 0 ? 1 : 0;
}
