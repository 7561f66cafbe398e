// The job list control: columns from the settings, rows, sorting, header clicks, renaming in
// place and the list's notifications.
#include "ShellTestSupport.h"

#include <commctrl.h>
#include <stdlib.h>
#include <fstream>
#include <iterator>

#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "JobControl.h"
#include "JobList.h"
#include "ShellState.h"
#include "resource.h"

namespace {

std::vector<std::string> Titles(std::initializer_list<int> columns)
{
    std::vector<std::string> titles;
    for (int column : columns) {
        char title[64];
        LoadColumnTitle(column, title);
        titles.push_back(title);
    }
    return titles;
}

int HeaderFormat(HWND list, int item)
{
    HWND header = (HWND)SendMessageA(list, LVM_GETHEADER, 0, 0);
    HDITEMA entry = {};
    entry.mask = HDI_FORMAT;
    SendMessageA(header, HDM_GETITEMA, (WPARAM)item, (LPARAM)&entry);
    return entry.fmt;
}

void ShowAllColumns()
{
    for (int i = 0; i < kJobColumnCount; ++i) {
        gSettings.columnShown[i] = 1;
        gSettings.columnOrder[i] = i;
    }
}

std::string FileText(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST_F(JobListTest, DefaultColumnsShowSevenTitlesInIdOrder)
{
    EXPECT_EQ(HeaderTitles(), (std::vector<std::string>{"Description", "Size", "Destination", "Last Run",
                                                        "Last Result", "Next Run", "Schedule"}));
    char title[64];
    LoadColumnTitle(JobColumnUniqueId, title);
    EXPECT_STREQ(title, "Unique ID");
    LoadColumnTitle(22, title);
    EXPECT_STREQ(title, "");

    // Sample widths: the description's sample is longer than "999 bytes", and every width
    // counts in the total with the scroll bar and 8 pixels.
    int sum = GetSystemMetrics(SM_CXVSCROLL) + 8;
    for (int i = 0; i < 7; ++i) {
        int width = (int)SendMessageA(list, LVM_GETCOLUMNWIDTH, (WPARAM)i, 0);
        EXPECT_GT(width, 0) << i;
        sum += width;
    }
    EXPECT_GT(SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0), SendMessageA(list, LVM_GETCOLUMNWIDTH, 1, 0));
    EXPECT_EQ(GetJobListTotalWidth(), sum);
}

TEST_F(JobListTest, StoredOrderShownFlagsAndWidthsDecideTheColumns)
{
    int a = AddConfig("Alpha");
    Config(a)->flags |= Compressed;
    for (int i = 0; i < kJobColumnCount; ++i)
        gSettings.columnShown[i] = 0;
    int order[kJobColumnCount] = {12, 2, 5, 0, 1, 3, 4, 6, 7, 8, 9, 10, 11, 13, 14, 15, 16, 17, 18, 19, 20, 21};
    memcpy(gSettings.columnOrder, order, sizeof(order));
    gSettings.columnShown[12] = gSettings.columnShown[0] = gSettings.columnShown[6] = gSettings.columnShown[2] = 1;
    gSettings.columnWidth[2] = 123;
    ReloadColumns();
    EXPECT_EQ(HeaderTitles(), Titles({12, 2, 0, 6}));
    EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 1, 0), 123);
    EXPECT_EQ(CellText(0, 0), "No");
    EXPECT_EQ(CellText(0, 1), "D:\\Backups\\");
    EXPECT_EQ(CellText(0, 2), "Alpha");
    EXPECT_EQ(CellText(0, 3), "Yes");
    // Centred columns keep their alignment (the first column is always left in a list view).
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT;
    SendMessageA(list, LVM_GETCOLUMNA, 3, (LPARAM)&column);
    EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_CENTER);
}

TEST_F(JobListTest, RowsCarryIndexImageAndTheSelection)
{
    AddConfig("Alpha");
    int b = AddConfig("Bravo");
    AddConfig("Charlie");
    Config(b)->flags &= ~Enabled;
    ASSERT_EQ(RebuildJobList(1), 1);
    EXPECT_EQ(RowOrder(), (std::vector<int>{0, 1, 2}));
    int row = -2;
    EXPECT_EQ(GetSelectedJobIndex(list, &row), 1);
    EXPECT_EQ(row, 1);
    for (int r = 0; r < 3; ++r) {
        LVITEMA item = {};
        item.mask = LVIF_IMAGE;
        item.iItem = r;
        SendMessageA(list, LVM_GETITEMA, 0, (LPARAM)&item);
        EXPECT_EQ(item.iImage, r == b ? 0 : 1) << r;
    }
    // -1 keeps the selected configuration selected, wherever it sorts to.
    gSettings.sortAscending = 2;
    ASSERT_EQ(RebuildJobList(-1), 1);
    EXPECT_EQ(RowOrder(), (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(GetSelectedJobIndex(list, &row), 1);
    EXPECT_EQ(row, 1);
    SelectConfig(-1);
    EXPECT_EQ(GetSelectedJobIndex(list, &row), -1);
    EXPECT_EQ(row, -1);
    EXPECT_EQ(GetSelectedJobIndex(nullptr, &row), -1);
}

TEST_F(JobListTest, EachKindOfColumnSortsByItsKeyBothWays)
{
    ShowAllColumns();
    int a = AddConfig("beta"), b = AddConfig("Alpha"), c = AddConfig("gamma");
    const double bytes[] = {900, 2 * 1048576.0, 1024};
    const int files[] = {10, 9, 100};
    for (int i : {a, b, c}) {
        free(Config(i)->sources);
        Config(i)->sources = (SourceItem *)calloc(1, sizeof(SourceItem));
        Config(i)->sourceCount = 1;
        Config(i)->sources[0] = {"C:\\x\\", 1, bytes[i], files[i]};
    }
    // Last run: a never ran.
    Config(b)->runCount = 9;
    Config(b)->lastRunTime = {2025, 1, 4, 2, 8, 0, 0, 0};
    Config(c)->runCount = 1000;
    Config(c)->lastRunTime = {2024, 5, 0, 5, 8, 0, 0, 0};
    Config(a)->runCount = 0;
    // Split: a not compressed (-2), b compressed but not split (-1), c split at 1 KB.
    Config(b)->flags |= Compressed;
    Config(c)->flags |= Compressed | SplitZip;
    Config(c)->splitSize = 1;
    Config(c)->splitUnit = (int32_t)SplitUnit::KB;
    const int priorities[] = {3, 0, 1};
    const int ids[] = {100, 20, 3};
    for (int i : {a, b, c}) {
        Config(i)->priority = priorities[i];
        Config(i)->uniqueId = ids[i];
        Config(i)->dateCreated = {2020, 1, 0, (WORD)(10 - i), 0, 0, 0, 0};
        Config(i)->dateModified = {2021, 1, 0, (WORD)(1 + 2 * ((i + 1) % 3)), 0, 0, 0, 0};
    }
    // Next run: a has none.
    char name[kTaskNameSize];
    FormatTaskName(Config(b)->uniqueId, name);
    scheduler.tasks[name] = {S_OK, "t", true, {2026, 4, 3, 1, 9, 0, 0, 0}};
    FormatTaskName(Config(c)->uniqueId, name);
    scheduler.tasks[name] = {S_OK, "t", true, {2026, 3, 0, 15, 9, 0, 0, 0}};
    ReloadColumns();

    struct {
        int column;
        std::vector<int> ascending;
    } cases[] = {
        {JobColumnDescription, {b, a, c}}, // case-insensitive
        {JobColumnSize, {a, c, b}},        // bytes, not the text
        {JobColumnFileCount, {b, a, c}},
        {JobColumnLastRun, {c, b, a}},     // never run last
        {JobColumnNextRun, {c, b, a}},     // none last
        {JobColumnSplit, {a, b, c}},       // -2, -1, 1024
        {JobColumnPriority, {b, c, a}},
        {JobColumnRunCount, {a, b, c}},
        {JobColumnUniqueId, {c, b, a}},
        {JobColumnDateCreated, {c, b, a}},
        {JobColumnDateModified, {c, a, b}},
        {JobColumnCompressed, {a, b, c}},  // "No" before "Yes"; b and c tie
    };
    for (const auto &test : cases) {
        gSettings.sortColumn = test.column;
        gSettings.sortAscending = 1;
        ASSERT_EQ(RebuildJobList(-1), 1);
        std::vector<int> rows = RowOrder();
        if (test.column == JobColumnCompressed) {
            EXPECT_EQ(rows[0], a);
            continue;
        }
        EXPECT_EQ(rows, test.ascending) << "column " << test.column;
        gSettings.sortAscending = 2;
        ASSERT_EQ(RebuildJobList(-1), 1);
        std::vector<int> descending(test.ascending.rbegin(), test.ascending.rend());
        EXPECT_EQ(RowOrder(), descending) << "column " << test.column << " descending";
    }
}

TEST_F(JobListTest, HeaderClickTurnsTheDirectionOnlyForTheSortColumn)
{
    AddConfig("Bravo");
    AddConfig("Alpha");
    ASSERT_EQ(RebuildJobList(-1), 1);
    EXPECT_EQ(RowOrder(), (std::vector<int>{1, 0}));
    EXPECT_NE(HeaderFormat(list, 0) & HDF_SORTUP, 0);

    NMLISTVIEW click = {};
    click.iItem = -1;
    click.iSubItem = 0;
    Notify(&click.hdr, LVN_COLUMNCLICK);
    EXPECT_EQ(gSettings.sortAscending, 2);
    EXPECT_EQ(RowOrder(), (std::vector<int>{0, 1}));
    EXPECT_NE(HeaderFormat(list, 0) & HDF_SORTDOWN, 0);
    Notify(&click.hdr, LVN_COLUMNCLICK);
    EXPECT_EQ(gSettings.sortAscending, 1);
    EXPECT_EQ(RowOrder(), (std::vector<int>{1, 0}));

    gSettings.sortAscending = 2;
    click.iSubItem = 2;
    Notify(&click.hdr, LVN_COLUMNCLICK);
    EXPECT_EQ(gSettings.sortColumn, 2);
    EXPECT_EQ(gSettings.sortAscending, 2);
    EXPECT_EQ(HeaderFormat(list, 0) & (HDF_SORTUP | HDF_SORTDOWN), 0);
    EXPECT_EQ(HeaderFormat(list, 2) & (HDF_SORTUP | HDF_SORTDOWN), HDF_SORTDOWN);
    // A stored direction other than 1 or 2 turns to ascending on the next click.
    gSettings.sortAscending = 7;
    Notify(&click.hdr, LVN_COLUMNCLICK);
    EXPECT_EQ(gSettings.sortAscending, 1);
}

TEST_F(JobListTest, SortColumnFollowsItsColumnWhenTheOrderChanges)
{
    // Sort by Destination (position 2), then put Destination first: the sort column moves.
    gSettings.sortColumn = 2;
    int order[kJobColumnCount] = {2, 0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21};
    memcpy(gSettings.columnOrder, order, sizeof(order));
    ReloadColumns();
    EXPECT_EQ(gSettings.sortColumn, 0);
    EXPECT_EQ(HeaderTitles()[0], "Destination");
    // The settings writer's remap leaves it where it is once the order is in place.
    SyncJobListSettings();
    EXPECT_EQ(gSettings.sortColumn, 0);
    // Hiding a column before the sort column moves it one place left ...
    gSettings.sortColumn = 3;
    ASSERT_EQ(HeaderTitles()[3], "Last Run");
    gSettings.columnShown[1] = 0;
    ReloadColumns();
    EXPECT_EQ(gSettings.sortColumn, 2);
    EXPECT_EQ(HeaderTitles()[2], "Last Run");
    EXPECT_NE(HeaderFormat(list, 2) & HDF_SORTUP, 0);
    // ... and hiding the sort column itself leaves the position alone.
    gSettings.columnShown[3] = 0;
    ReloadColumns();
    EXPECT_EQ(gSettings.sortColumn, 2);
}

TEST_F(JobListTest, RenamingCommitsTheDescriptionAndRewritesTheStore)
{
    AddConfig("Old name");
    AddConfig("Other");
    ASSERT_EQ(RebuildJobList(0), 1);
    NMLVDISPINFOA info = {};
    info.item.iItem = 0;

    info.item.pszText = nullptr; // cancelled
    EXPECT_EQ(Notify(&info.hdr, LVN_ENDLABELEDITA), FALSE);
    EXPECT_STREQ(Config(0)->description, "Old name");
    EXPECT_FALSE(StoreExists());

    info.item.pszText = (LPSTR) "Old name"; // unchanged: the store is not rewritten
    Notify(&info.hdr, LVN_ENDLABELEDITA);
    EXPECT_FALSE(StoreExists());

    info.item.pszText = (LPSTR) "old name"; // a change of case is a change
    jobActive = 1;                           // renaming is allowed while a job runs
    Notify(&info.hdr, LVN_ENDLABELEDITA);
    EXPECT_STREQ(Config(0)->description, "old name");
    EXPECT_EQ(CellText(0, 0), "old name");
    ASSERT_TRUE(StoreExists());
    EXPECT_NE(FileText(storePath).find("old name"), std::string::npos);
    jobActive = 0;

    std::string longName(200, 'x');
    longName.replace(0, 5, "Long ");
    info.item.pszText = (LPSTR)longName.c_str();
    Notify(&info.hdr, LVN_ENDLABELEDITA);
    EXPECT_EQ(std::string(Config(0)->description), longName.substr(0, 127));
    EXPECT_EQ(CellText(0, 0), longName.substr(0, 127));
    EXPECT_NE(FileText(storePath).find(longName.substr(0, 127)), std::string::npos);
    EXPECT_EQ(FileText(storePath).find(longName.substr(0, 128)), std::string::npos);

    // An empty text is taken like any other.
    info.item.pszText = (LPSTR) "";
    Notify(&info.hdr, LVN_ENDLABELEDITA);
    EXPECT_STREQ(Config(0)->description, "");
    EXPECT_STREQ(Config(1)->description, "Other");
}

TEST_F(JobListTest, LabelEditorIsLimitedAndEditsTheDescriptionWhereverItStands)
{
    // Description second: the editor still starts with the description and commits into it.
    int order[kJobColumnCount] = {2, 0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21};
    memcpy(gSettings.columnOrder, order, sizeof(order));
    AddConfig("Photos");
    ReloadColumns();
    SetFocus(list);
    HWND edit = (HWND)SendMessageA(list, LVM_EDITLABELA, 0, 0);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(IsJobListLabelEditing(), 1);
    EXPECT_EQ(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0), 127);
    char text[200] = "";
    GetWindowTextA(edit, text, sizeof(text));
    EXPECT_STREQ(text, "Photos");

    SetWindowTextA(edit, "Pictures");
    SendMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
    SendMessageA(edit, WM_CHAR, VK_RETURN, 0);
    PumpMessages();
    EXPECT_EQ(IsJobListLabelEditing(), 0);
    EXPECT_STREQ(Config(0)->description, "Pictures");
    EXPECT_EQ(CellText(0, 0), "D:\\Backups\\"); // the first column keeps its own text
    EXPECT_EQ(CellText(0, 1), "Pictures");
    EXPECT_TRUE(StoreExists());
}

TEST_F(JobListTest, EnterAndDoubleClickAskForEditAndHeaderDragIsPassedOn)
{
    AddConfig("Alpha");
    ASSERT_EQ(RebuildJobList(0), 1);
    NMLVKEYDOWN key = {};
    key.wVKey = VK_RETURN;
    Notify(&key.hdr, LVN_KEYDOWN);
    key.wVKey = VK_SPACE;
    Notify(&key.hdr, LVN_KEYDOWN);
    NMITEMACTIVATE activate = {};
    activate.iItem = -1; // below the rows
    Notify(&activate.hdr, NM_DBLCLK);
    PumpMessages();
    EXPECT_EQ(commands, (std::vector<UINT>{IDM_EDIT}));
    activate.iItem = 0;
    Notify(&activate.hdr, NM_DBLCLK);
    PumpMessages();
    EXPECT_EQ(commands, (std::vector<UINT>{IDM_EDIT, IDM_EDIT}));

    NMHEADERA drag = {};
    drag.hdr.hwndFrom = (HWND)SendMessageA(list, LVM_GETHEADER, 0, 0);
    drag.hdr.code = HDN_ENDDRAG;
    EXPECT_EQ(SendMessageA(parent, WM_NOTIFY, 0, (LPARAM)&drag), FALSE);
    PumpMessages();
    EXPECT_EQ(columnsDragged.size(), 1u);
    // Notifications of other windows are left to the toolbar's handler.
    NMHDR other = {parent, 1, TTN_GETDISPINFOA};
    EXPECT_EQ(SendMessageA(parent, WM_NOTIFY, 0, (LPARAM)&other), 0);
}

// A right click on the header opens the header menu once, whether the list passes the
// header's NM_RCLICK on (Windows; answering it keeps the header from asking again) or only
// the header's WM_CONTEXTMENU comes through (Wine).
TEST_F(JobListTest, HeaderRightClickOpensTheHeaderMenuOnce)
{
    AddConfig("Alpha");
    ASSERT_EQ(RebuildJobList(0), 1);
    HWND header = (HWND)SendMessageA(list, LVM_GETHEADER, 0, 0);
    ASSERT_NE(header, nullptr);
    SendMessageA(header, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 5));
    SendMessageA(header, WM_RBUTTONUP, 0, MAKELPARAM(20, 5));
    PumpMessages();
    EXPECT_EQ(menusShown, (std::vector<UINT>{IDM_COLUMNS}));

    menusShown.clear();
    NMHDR click = {header, 0, NM_RCLICK};
    EXPECT_EQ(SendMessageA(parent, WM_NOTIFY, 0, (LPARAM)&click), 1);
    EXPECT_EQ(menusShown, (std::vector<UINT>{IDM_COLUMNS}));

    // A context menu asked for over the rows, or from the keyboard, is not the header's.
    menusShown.clear();
    RECT rows;
    GetWindowRect(list, &rows);
    SendMessageA(parent, WM_CONTEXTMENU, (WPARAM)list, MAKELPARAM(rows.left + 20, rows.bottom - 20));
    SendMessageA(parent, WM_CONTEXTMENU, (WPARAM)list, (LPARAM)-1);
    PumpMessages();
    EXPECT_TRUE(menusShown.empty());
}

TEST_F(JobListTest, CellUpdatesReachOnlyShownColumnsOfExistingRows)
{
    int a = AddConfig("Alpha");
    ASSERT_EQ(RebuildJobList(-1), 1);
    SetJobCell(a, kColumnSize, "5.00 GB...");
    EXPECT_EQ(CellText(0, 1), "5.00 GB...");
    SetJobCell(5, kColumnSize, "1 bytes");  // no such row
    SetJobCell(a, kColumnFileCount, "12");  // hidden by default
    SetJobCell(a, 22, "x");
    EXPECT_EQ(CellText(0, 1), "5.00 GB...");
    Config(a)->runCount = 3;
    RefreshJobListCell(a, JobColumnLastResult);
    RefreshJobListCell(a, JobColumnLastRun);
    EXPECT_NE(CellText(0, 3), "never");

    // With Size hidden the size refresh changes nothing in the row.
    gSettings.columnShown[kColumnSize] = 0;
    ReloadColumns();
    std::vector<std::string> before;
    for (int s = 0; s < 6; ++s)
        before.push_back(CellText(0, s));
    SetJobCell(a, kColumnSize, "7.00 GB");
    RefreshJobListCell(a, kColumnSize);
    for (int s = 0; s < 6; ++s)
        EXPECT_EQ(CellText(0, s), before[s]) << s;
}
