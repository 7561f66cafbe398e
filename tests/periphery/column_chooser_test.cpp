// The column chooser and the merge of header drags into the stored order, on a real job list
// under the null graphics driver; the dialog is worked from a second thread.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ColumnChooser.h"
#include "DialogDriver.h"
#include "GlobalSettings.h"
#include "JobList.h"
#include "MessageBoxSeam.h"
#include "ShellTestSupport.h"
#include "resource.h"

namespace {

const char kChooserTitle[] = "Choose Columns to Display";

std::vector<std::string> chooserBoxes;
int RecordBox(HWND, const char *text, const char *, UINT)
{
    chooserBoxes.push_back(text);
    return IDOK;
}

std::vector<int> StoredOrder()
{
    return std::vector<int>(gSettings.columnOrder, gSettings.columnOrder + kJobColumnCount);
}

std::vector<int> StoredShown()
{
    return std::vector<int>(gSettings.columnShown, gSettings.columnShown + kJobColumnCount);
}

std::vector<int> Sequence(std::initializer_list<int> head, int from)
{
    std::vector<int> ids(head);
    for (int id = from; id < kJobColumnCount; ++id)
        ids.push_back(id);
    return ids;
}

std::string RowText(HWND list, int row)
{
    char text[64] = "";
    LVITEMA item = {};
    item.pszText = text;
    item.cchTextMax = sizeof(text);
    SendMessageA(list, LVM_GETITEMTEXTA, (WPARAM)row, (LPARAM)&item);
    return text;
}

int RowCheck(HWND list, int row)
{
    return (int)(((UINT)SendMessageA(list, LVM_GETITEMSTATE, (WPARAM)row, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) >> 12);
}

void SelectRow(HWND list, int row)
{
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)&item);
}

// Space on the selected row, as the list reports it to the dialog.
void PressSpace(HWND dialog)
{
    NMLVKEYDOWN key = {};
    key.hdr.hwndFrom = GetDlgItem(dialog, IDC_COLUMNS_LIST);
    key.hdr.idFrom = IDC_COLUMNS_LIST;
    key.hdr.code = LVN_KEYDOWN;
    key.wVKey = VK_SPACE;
    SendMessageA(dialog, WM_NOTIFY, IDC_COLUMNS_LIST, (LPARAM)&key);
}

class ColumnChooser : public JobListTest {
protected:
    void SetUp() override
    {
        JobListTest::SetUp();
        chooserBoxes.clear();
        SetMessageBoxHandler(RecordBox);
        InstallListHeaderSubclass(list);
        AddConfig("First");
        AddConfig("Second");
        ASSERT_EQ(RebuildJobList(-1), 1);
    }
    void TearDown() override
    {
        SetMessageBoxHandler(nullptr);
        JobListTest::TearDown();
    }
    INT_PTR RunChooser(const std::function<void(HWND)> &drive)
    {
        return RunDialog(
            kChooserTitle,
            [this] {
                return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_COLUMNS), parent,
                                       ColumnChooserDialogProc, 0);
            },
            drive);
    }
    void SetDisplayOrder(const std::vector<int> &subitems)
    {
        ASSERT_TRUE(SendMessageA(list, LVM_SETCOLUMNORDERARRAY, subitems.size(), (LPARAM)subitems.data()));
    }
};

const std::vector<std::string> kDefaultTitles = {"Description", "Size",     "Destination", "Last Run",
                                                 "Last Result", "Next Run", "Schedule"};

TEST_F(ColumnChooser, ADragBecomesTheStoredOrderWithHiddenColumnsBesideTheirNeighbours)
{
    // Destination dragged before Description.
    SetDisplayOrder({2, 0, 1, 3, 4, 5, 6});
    MergeColumnOrderAfterDrag();
    EXPECT_EQ(StoredOrder(), Sequence({2, 0, 1, 3, 4, 5}, 6));

    // Schedule dragged to the front takes the hidden Enabled, which stood before it, along.
    ReloadColumns();
    SetDisplayOrder({6, 0, 1, 2, 3, 4, 5});
    MergeColumnOrderAfterDrag();
    EXPECT_EQ(StoredOrder(), Sequence({6, 7, 2, 0, 1, 3, 4, 5}, 8));

    // The list keeps its display order until the next set-up.
    EXPECT_EQ(HeaderTitles(), (std::vector<std::string>{"Destination", "Description", "Size", "Last Run",
                                                        "Last Result", "Next Run", "Schedule"}));
    ReloadColumns();
    EXPECT_EQ(HeaderTitles(), (std::vector<std::string>{"Schedule", "Destination", "Description", "Size",
                                                        "Last Run", "Last Result", "Next Run"}));
}

TEST_F(ColumnChooser, WidthsAreStoredAndAZeroWidthComesBackAtItsSampleWidth)
{
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, 150);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, 0);
    MergeColumnOrderAfterDrag();
    EXPECT_EQ(gSettings.columnWidth[JobColumnDescription], 150);
    EXPECT_EQ(gSettings.columnWidth[JobColumnSize], -1);
    ReloadColumns();
    EXPECT_GT(SendMessageA(list, LVM_GETCOLUMNWIDTH, 1, 0), 0);
    EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0), 150);
}

TEST_F(ColumnChooser, AHeaderThatDoesNotMatchTheSettingsChangesNothing)
{
    std::vector<int> before = StoredOrder();
    SetDisplayOrder({2, 0, 1, 3, 4, 5, 6});
    SendMessageA(list, LVM_DELETECOLUMN, 6, 0);
    MergeColumnOrderAfterDrag();
    EXPECT_EQ(StoredOrder(), before);
}

TEST_F(ColumnChooser, OpensInTheDraggedOrderWithTheShownColumnsChecked)
{
    SetDisplayOrder({2, 0, 1, 3, 4, 5, 6});
    std::vector<std::string> titles;
    std::vector<int> checks;
    bool upEnabled = true, downEnabled = true;
    INT_PTR result = RunChooser([&](HWND dialog) {
        HWND rows = GetDlgItem(dialog, IDC_COLUMNS_LIST);
        for (int row = 0; row < kJobColumnCount; ++row) {
            titles.push_back(RowText(rows, row));
            checks.push_back(RowCheck(rows, row));
        }
        upEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_COLUMNS_MOVE_UP));
        downEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_COLUMNS_MOVE_DOWN));
        Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, 0);
    ASSERT_EQ(titles.size(), 22u);
    EXPECT_EQ(titles[0], "Destination");
    EXPECT_EQ(titles[1], "Description");
    EXPECT_EQ(titles[6], "Enabled");
    EXPECT_EQ(titles[21], "Unique ID");
    EXPECT_EQ(checks, (std::vector<int>{2, 2, 2, 2, 2, 2, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_FALSE(upEnabled);
    EXPECT_FALSE(downEnabled);
}

TEST_F(ColumnChooser, MovingAndCheckingRowsChangesTheListOnOk)
{
    bool topUp = true, topDown = false, bottomUp = false, bottomDown = true;
    INT_PTR result = RunChooser([&](HWND dialog) {
        HWND rows = GetDlgItem(dialog, IDC_COLUMNS_LIST);
        SelectRow(rows, 0);
        topUp = IsWindowEnabled(GetDlgItem(dialog, IDC_COLUMNS_MOVE_UP));
        topDown = IsWindowEnabled(GetDlgItem(dialog, IDC_COLUMNS_MOVE_DOWN));
        SelectRow(rows, 21);
        bottomUp = IsWindowEnabled(GetDlgItem(dialog, IDC_COLUMNS_MOVE_UP));
        bottomDown = IsWindowEnabled(GetDlgItem(dialog, IDC_COLUMNS_MOVE_DOWN));
        // Unique ID shown, moved up to the top; Size hidden; Description one down.
        PressSpace(dialog);
        for (int i = 0; i < 21; ++i)
            Press(dialog, IDC_COLUMNS_MOVE_UP);
        Press(dialog, IDC_COLUMNS_MOVE_UP); // at the top already: nothing happens
        SelectRow(rows, 2);
        PressSpace(dialog);
        SelectRow(rows, 1);
        Press(dialog, IDC_COLUMNS_MOVE_DOWN);
        Press(dialog, IDOK);
    });
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(topUp);
    EXPECT_TRUE(topDown);
    EXPECT_TRUE(bottomUp);
    EXPECT_FALSE(bottomDown);
    EXPECT_EQ(StoredOrder(), (std::vector<int>{21, 1, 0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18,
                                               19, 20}));
    EXPECT_EQ(gSettings.columnShown[JobColumnUniqueId], 1);
    EXPECT_EQ(gSettings.columnShown[JobColumnSize], 0);
    EXPECT_EQ(HeaderTitles(), (std::vector<std::string>{"Unique ID", "Description", "Destination", "Last Run",
                                                        "Last Result", "Next Run", "Schedule"}));
    EXPECT_EQ(CellText(0, 1), "First");
    EXPECT_TRUE(chooserBoxes.empty());
}

TEST_F(ColumnChooser, UncheckingEveryColumnIsRefusedAndCancelKeepsTheColumns)
{
    std::vector<int> order = StoredOrder(), shown = StoredShown();
    bool stillOpen = false;
    INT_PTR result = RunChooser([&](HWND dialog) {
        HWND rows = GetDlgItem(dialog, IDC_COLUMNS_LIST);
        for (int row = 0; row < kJobColumnCount; ++row)
            if (RowCheck(rows, row) == 2) {
                SelectRow(rows, row);
                PressSpace(dialog);
            }
        Press(dialog, IDOK);
        stillOpen = IsWindowVisible(dialog) != FALSE;
        Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(chooserBoxes.size(), 1u);
    EXPECT_EQ(chooserBoxes[0], "At least 1 column must be selected for display.");
    EXPECT_EQ(StoredOrder(), order);
    EXPECT_EQ(StoredShown(), shown);
    EXPECT_EQ(HeaderTitles(), kDefaultTitles);
}

TEST_F(ColumnChooser, ResetThenCancelChangesNothingAndOkWithoutChangesKeepsTheRows)
{
    gSettings.columnShown[JobColumnRunCount] = 1;
    gSettings.columnOrder[0] = JobColumnRunCount;
    gSettings.columnOrder[17] = JobColumnDescription;
    ReloadColumns();
    std::vector<int> order = StoredOrder(), shown = StoredShown();
    std::vector<std::string> resetTitles;
    INT_PTR result = RunChooser([&](HWND dialog) {
        Press(dialog, IDC_COLUMNS_RESET);
        HWND rows = GetDlgItem(dialog, IDC_COLUMNS_LIST);
        for (int row = 0; row < 3; ++row)
            resetTitles.push_back(RowText(rows, row));
        PostMessageA(dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(resetTitles, (std::vector<std::string>{"Description", "Size", "Destination"}));
    EXPECT_EQ(StoredOrder(), order);
    EXPECT_EQ(StoredShown(), shown);

    // A cell changed behind the list's back shows whether the rows were rebuilt.
    LVITEMA item = {};
    item.iSubItem = 0;
    item.pszText = (LPSTR) "untouched";
    SendMessageA(list, LVM_SETITEMTEXTA, 0, (LPARAM)&item);
    result = RunChooser([](HWND dialog) { Press(dialog, IDOK); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(CellText(0, 0), "untouched");
}

TEST_F(ColumnChooser, TheHeaderRemembersTheMousePositionForItsMenu)
{
    HWND header = (HWND)SendMessageA(list, LVM_GETHEADER, 0, 0);
    EXPECT_EQ((WNDPROC)GetWindowLongPtrA(header, GWLP_WNDPROC), (WNDPROC)ListHeaderProc);
    SendMessageA(header, WM_MOUSEMOVE, 0, MAKELPARAM(37, 6));
    POINT expected = {37, 6};
    ClientToScreen(header, &expected);
    POINT point = GetHeaderMenuPoint(header);
    EXPECT_EQ(point.x, expected.x);
    EXPECT_EQ(point.y, expected.y);
    // The header still works as before.
    EXPECT_EQ(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 7);
}

}  // namespace
