// The job list's columns: which are shown in which order and how wide, the sort column's
// position, and the header's sort arrow.
#include "JobList.h"

#include <commctrl.h>

#include "Calendar.h"
#include "Clock.h"
#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "ColumnChooser.h"
#include "ShellState.h"

int insertedColumnOrder[22] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21};

namespace {

// The shown flags at the last set-up: the inserted columns are these, whatever the settings
// say meanwhile.
int insertedColumnShown[22];

int columnsSetUp = 0;
int totalColumnWidth = 0;

bool IsCentred(int column)
{
    switch (column) {
    case JobColumnEnabled:
    case JobColumnKeepRevisions:
    case JobColumnKeepDeleted:
    case JobColumnCompressed:
    case JobColumnEncrypted:
    case JobColumnUniqueId:
        return true;
    default:
        return false;
    }
}

bool IsShown(const int *shown, int column)
{
    return column >= 0 && column < kJobColumnCount && shown[column] != 0;
}

int ShownColumnAt(const int *order, const int *shown, int position)
{
    if (position < 0)
        return -1;
    int count = 0;
    for (int i = 0; i < kJobColumnCount; ++i) {
        if (!IsShown(shown, order[i]))
            continue;
        if (count == position)
            return order[i];
        ++count;
    }
    return -1;
}

int ShownPositionOf(const int *order, const int *shown, int column)
{
    int count = 0;
    for (int i = 0; i < kJobColumnCount; ++i) {
        if (!IsShown(shown, order[i]))
            continue;
        if (order[i] == column)
            return count;
        ++count;
    }
    return -1;
}

int StringWidth(const char *text)
{
    return (int)SendMessageA(jobListWindow, LVM_GETSTRINGWIDTHA, 0, (LPARAM)text);
}

// 25 December 2005 at the current time of day, as dates are shown in the list.
void FormatSampleDate(char *out, size_t size)
{
    SYSTEMTIME sample;
    GetLocalNow(&sample);
    sample.wYear = 2005;
    sample.wMonth = 12;
    sample.wDay = 25;
    sample.wDayOfWeek = 0;
    FormatSystemTime(out, size, &sample);
}

int HeaderMargin()
{
    HWND header = (HWND)SendMessageA(jobListWindow, LVM_GETHEADER, 0, 0);
    int average = 0;
    HDC dc = GetDC(header);
    if (dc != nullptr) {
        HFONT font = (HFONT)SendMessageA(header, WM_GETFONT, 0, 0);
        HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
        TEXTMETRICA metrics;
        if (GetTextMetricsA(dc, &metrics))
            average = metrics.tmAveCharWidth;
        if (previous != nullptr)
            SelectObject(dc, previous);
        ReleaseDC(header, dc);
    }
    return 2 * (average + GetSystemMetrics(SM_CXEDGE));
}

}  // namespace

int GetInsertedColumnAt(int position)
{
    return ShownColumnAt(insertedColumnOrder, insertedColumnShown, position);
}

int GetInsertedPositionOf(int column)
{
    return ShownPositionOf(insertedColumnOrder, insertedColumnShown, column);
}

int GetDefaultColumnWidth(int column, int margin)
{
    if (column >= 0 && column < kJobColumnCount && gSettings.columnWidth[column] != -1)
        return gSettings.columnWidth[column];
    char sample[128];
    int extra = 0;
    switch (column) {
    case JobColumnDescription:
        lstrcpyA(sample, "Computer - Backup Configuration 1");
        extra = 24;
        break;
    case JobColumnSize:
        lstrcpyA(sample, "999 bytes");
        break;
    case JobColumnLastRun:
    case JobColumnNextRun:
    case JobColumnDateCreated:
    case JobColumnDateModified:
        FormatSampleDate(sample, sizeof(sample));
        break;
    case JobColumnSchedule:
        lstrcpyA(sample, "Every day @ 12:00 PM");
        break;
    case JobColumnSplit:
        lstrcpyA(sample, "4400 MB");
        break;
    default: {
        LoadColumnTitle(column, sample);
        // Room for the sort arrow beside the title.
        int sorted = columnsSetUp ? GetInsertedColumnAt(gSettings.sortColumn)
                                  : ShownColumnAt(gSettings.columnOrder, gSettings.columnShown, gSettings.sortColumn);
        if (sorted == column)
            extra = 12;
        break;
    }
    }
    return StringWidth(sample) + margin + extra;
}

void RemapSortColumn()
{
    if (!columnsSetUp)
        return;
    int column = GetInsertedColumnAt(gSettings.sortColumn);
    if (column < 0)
        return;
    int position = ShownPositionOf(gSettings.columnOrder, gSettings.columnShown, column);
    if (position >= 0)
        gSettings.sortColumn = position;
}

int SetUpJobListColumns()
{
    for (int i = 0; i < 24; ++i)
        if (!SendMessageA(jobListWindow, LVM_DELETECOLUMN, 0, 0))
            break;
    int margin = HeaderMargin();
    int total = GetSystemMetrics(SM_CXVSCROLL) + 8;
    int next = 0;
    for (int position = 0; position < kJobColumnCount; ++position) {
        int column = gSettings.columnOrder[position];
        if (!IsShown(gSettings.columnShown, column))
            continue;
        char title[64];
        LoadColumnTitle(column, title);
        LVCOLUMNA item;
        ZeroMemory(&item, sizeof(item));
        item.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        item.fmt = IsCentred(column) ? LVCFMT_CENTER : LVCFMT_LEFT;
        item.cx = GetDefaultColumnWidth(column, margin);
        item.pszText = title;
        if (SendMessageA(jobListWindow, LVM_INSERTCOLUMNA, (WPARAM)next, (LPARAM)&item) >= 0)
            ++next;
        total += item.cx;
    }
    RemapSortColumn();
    totalColumnWidth = total;
    CopyMemory(insertedColumnOrder, gSettings.columnOrder, sizeof(insertedColumnOrder));
    CopyMemory(insertedColumnShown, gSettings.columnShown, sizeof(insertedColumnShown));
    columnsSetUp = 1;
    return 1;
}

int GetJobListTotalWidth()
{
    return totalColumnWidth;
}

void SetHeaderSortArrow()
{
    HWND header = (HWND)SendMessageA(jobListWindow, LVM_GETHEADER, 0, 0);
    if (header == nullptr)
        return;
    int count = (int)SendMessageA(header, HDM_GETITEMCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
        HDITEMA item;
        ZeroMemory(&item, sizeof(item));
        item.mask = HDI_FORMAT;
        if (!SendMessageA(header, HDM_GETITEMA, (WPARAM)i, (LPARAM)&item))
            continue;
        int format = item.fmt & ~(HDF_SORTUP | HDF_SORTDOWN);
        if (i == gSettings.sortColumn)
            format |= gSettings.sortAscending == 1 ? HDF_SORTUP : HDF_SORTDOWN;
        if (format == item.fmt)
            continue;
        item.fmt = format;
        SendMessageA(header, HDM_SETITEMA, (WPARAM)i, (LPARAM)&item);
    }
}

void SyncJobListSettings()
{
    MergeColumnOrderAfterDrag();
    RemapSortColumn();
}
