// The job list view of the main window: one row per configuration, the columns the user chose,
// sorting by header click, renaming in place, the context menu and the command states.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <stddef.h>

// Column ids; the title of each is the string IDS_COL_BASE + id.
enum JobColumn : int {
    JobColumnDescription = 0,
    JobColumnSize = 1,
    JobColumnDestination = 2,
    JobColumnLastRun = 3,
    JobColumnLastResult = 4,
    JobColumnNextRun = 5,
    JobColumnEnabled = 6,
    JobColumnSchedule = 7,
    JobColumnKeepRevisions = 8,
    JobColumnKeepDeleted = 9,
    JobColumnFilesFolders = 10,
    JobColumnCompressed = 11,
    JobColumnEncrypted = 12,
    JobColumnRemote = 13,
    JobColumnSplit = 14,
    JobColumnZipDateFilter = 15,
    JobColumnPriority = 16,
    JobColumnRunCount = 17,
    JobColumnFileCount = 18,
    JobColumnDateCreated = 19,
    JobColumnDateModified = 20,
    JobColumnUniqueId = 21,
};

const int kColumnSize = JobColumnSize;
const int kColumnFileCount = JobColumnFileCount;
// Cell texts are formatted into buffers of this size.
const int kJobCellTextSize = 512;
// The longest description a configuration holds.
const int kDescriptionMaxLength = 127;

// ---- Cells (JobListCells.cpp) ----
// An index outside the table or a column above 21 gives an empty text.
void FormatJobCell(int index, int column, char *text, size_t size);
// Split sort key: -2 not compressed, -1 not split, else the volume size in bytes.
double GetSplitSortKey(int index);
// Title of a column into a buffer of at least 64 characters; empty above 21.
void LoadColumnTitle(int column, char *title63);

// ---- Columns (JobListColumns.cpp) ----
// The stored order at the last column set-up: subitem indices and the sort column refer to it.
extern int insertedColumnOrder[22];
int SetUpJobListColumns();
int GetDefaultColumnWidth(int column, int margin);
// Moves the sort column from the inserted order to the stored order (once set up).
void RemapSortColumn();
// The column shown at `position` (a header item and subitem index) since the last set-up, or -1.
int GetInsertedColumnAt(int position);
// The subitem index of `column` since the last set-up, or -1 when it is not shown.
int GetInsertedPositionOf(int column);
void SetHeaderSortArrow();
// Total width of the shown columns, for the first placement of the window.
int GetJobListTotalWidth();
// Brings the dragged column order and the sort column into the settings before they are saved.
void SyncJobListSettings();

// ---- Rows (JobList.cpp) ----
HWND CreateJobList(HWND parent);
int CreateJobListImageList();
void DestroyJobListImageLists();
// Rebuilds every row and selects the configuration at `index` (-1 keeps the current selection).
// Returns 0 when the rows could not be deleted.
int RebuildJobList(int index);
// The cells of the Size, File Count, Next Run and Schedule columns are formatted whenever the
// list draws or hands them out (FillJobCellText, for LVN_GETDISPINFO): their texts change
// behind the list's back.
// Sets the cell only when the row exists, the column is shown and the text differs; a cell of
// those columns given a text other than the formatted one holds it until it is given the
// formatted one again (or, for the size cells, until the next size refresh).
void SetJobCell(int index, int column, const char *text);
// The timer's refresh of the Size and File Count cells: repaints the rows in view of the
// configurations whose totals changed, and lets the size cells holding a text follow again.
void RefreshJobListSizes();
// The tasks' views changed (TaskViews.h): repaints the Next Run and Schedule cells in view, and
// has the tasks of the rows in view read first.
void RefreshJobListTaskCells();
void FillJobCellText(NMLVDISPINFOA *info);
// FormatJobCell then SetJobCell.
void RefreshJobListCell(int index, int column);
// The configuration index of the first selected row of `list` and that row; -1 and row -1
// when nothing is selected.
int GetSelectedJobIndex(HWND list, int *row);
// The same for the main job list.
int GetSelectedJobIndex();
int GetJobIndexOfRow(int row);
// The rows were added, deleted or moved: the row of each configuration, which the cell updates
// look up, is read from the list again.
void IndexJobRows();
// Sorts the rows by the sort column and direction and moves the header's arrow.
void SortJobList();
// The same from the table order, as a rebuild sorts its new rows, so that rows with equal keys
// stand as they would after a rebuild.
void ResortJobList();
int CALLBACK CompareJobRows(LPARAM a, LPARAM b, LPARAM sortParameter);

// ---- Commands and notifications ----
void UpdateCommandStates();
// The same on a given menu and toolbar (either may be NULL).
void ApplyCommandStates(HMENU menu, HWND toolbar);
// Greys and renames the items of the row menu (menu 142's popup) for the selection.
void PrepareJobListMenu(HMENU popup);
// Returns 1 when a font was chosen.
int ChooseListFont();
// The main window's WM_NOTIFY: the list's and its header's notifications; the rest goes to the
// toolbar.
LRESULT OnMainWindowNotify(HWND window, NMHDR *header);
// The main window's WM_CONTEXTMENU: the header menu for a right click over the list's header;
// 0 when the message was not that.
int OnMainWindowContextMenu(HWND target, LPARAM screenPoint);
// 1 while the list's label editor is open.
int IsJobListLabelEditing();
