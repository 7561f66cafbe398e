// Every dialog and remote-backup page whole at 8, 10 and 12 points: each control inside its
// window's client area, single-line texts as wide as their controls allow, and the window on
// the screen.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ConfigTable.h"
#include "DialogTestSupport.h"
#include "GlobalSettings.h"
#include "RemoteBackupSheet.h"
#include "resource.h"

namespace {

const int kOffsets[] = {0, DLG_OFFSET_10PT, DLG_OFFSET_12PT};
const int kPoints[] = {8, 10, 12};

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

std::string ClassOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// Check boxes, radio buttons and static labels of one line: the text in the control's font
// must fit beside the box (about a text height for check boxes and radios).
bool SingleLineTextFits(HWND control, std::string *why)
{
    std::string kind = ClassOf(control);
    LONG style = GetWindowLongA(control, GWL_STYLE);
    bool box = kind == "Button" && ((style & BS_TYPEMASK) == BS_AUTOCHECKBOX || (style & BS_TYPEMASK) == BS_AUTORADIOBUTTON ||
                                    (style & BS_TYPEMASK) == BS_CHECKBOX || (style & BS_TYPEMASK) == BS_RADIOBUTTON);
    bool label = kind == "Static" && (style & SS_TYPEMASK) == SS_LEFT;
    if (!box && !label)
        return true;
    char text[512] = "";
    GetWindowTextA(control, text, sizeof text);
    if (text[0] == '\0')
        return true;
    RECT client;
    GetClientRect(control, &client);
    HDC dc = GetDC(control);
    HGDIOBJ previous = SelectObject(dc, (HGDIOBJ)SendMessageA(control, WM_GETFONT, 0, 0));
    RECT needed = {0, 0, 0, 0};
    DrawTextA(dc, text, -1, &needed, DT_CALCRECT | DT_SINGLELINE);
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    int lineHeight = metrics.tmHeight;
    if (label && client.bottom >= 2 * lineHeight)
        return true;  // a label of several lines wraps
    int width = needed.right + (box ? lineHeight + 2 : 0);
    if (width <= client.right)
        return true;
    *why = "\"" + std::string(text) + "\" needs " + std::to_string(width) + " of " + std::to_string(client.right);
    return false;
}

// Every child's single-line text fits it.
void ExpectTextsFit(HWND window, const std::string &where)
{
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        std::string why;
        EXPECT_TRUE(SingleLineTextFits(child, &why)) << where << ": control " << GetDlgCtrlID(child) << " " << why;
    }
}

// Every child of `window` inside its client area, with the text it shows.
void ExpectWhole(HWND window, const std::string &where)
{
    RECT client;
    GetClientRect(window, &client);
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT box;
        GetWindowRect(child, &box);
        MapWindowPoints(nullptr, window, (POINT *)&box, 2);
        EXPECT_TRUE(box.left >= 0 && box.top >= 0 && box.right <= client.right && box.bottom <= client.bottom)
            << where << ": control " << GetDlgCtrlID(child) << " at " << box.left << "," << box.top << "-"
            << box.right << "," << box.bottom << " outside " << client.right << "x" << client.bottom;
    }
    ExpectTextsFit(window, where);
}

void ExpectOnScreen(HWND window, const std::string &where)
{
    RECT box;
    GetWindowRect(window, &box);
    EXPECT_LE(box.right - box.left, GetSystemMetrics(SM_CXSCREEN)) << where;
    EXPECT_LE(box.bottom - box.top, GetSystemMetrics(SM_CYSCREEN)) << where;
}

TEST(DialogFit, EveryDialogIsWholeInEachSize)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    const int dialogs[] = {IDD_FILTER_OPTIONS, IDD_EXTENSION, IDD_EXCLUDED_OUTSIDE_SOURCE, IDD_ILLEGAL_EXCLUDED_ITEM,
                           IDD_OPTIONS, IDD_JOBRESULT_EMAIL};
    for (int id : dialogs) {
        for (int size = 0; size < 3; ++size) {
            std::string where = "dialog " + std::to_string(id) + " at " + std::to_string(kPoints[size]) + " pt";
            HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id + kOffsets[size]), nullptr,
                                             PlainDialogProc, 0);
            ASSERT_NE(dialog, nullptr) << where;
            ExpectWhole(dialog, where);
            ExpectOnScreen(dialog, where);
            DestroyWindow(dialog);
        }
    }
}

class RemotePagesFit : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        SetNewConfigDefaults();
    }
    void TearDown() override
    {
        FreeConfigArrays(&editedConfig);
        gSettings.dialogSize = 8;
        EditorTest::TearDown();
    }
};

TEST_F(RemotePagesFit, BothPagesAreWholeOnTheRealSheetInEachSize)
{
    for (int points : kPoints) {
        gSettings.dialogSize = points;
        RunModal("Remote Backup Options",
                 [] {
                     EditRemoteBackupOptions(nullptr);
                     return (INT_PTR)0;
                 },
                 [&](HWND sheet) {
                     for (int index = 0; index < 2; ++index) {
                         HWND page = ShowPage(sheet, index);
                         std::string where = "remote page " + std::to_string(index) + " at " + std::to_string(points) +
                                             " pt";
                         EXPECT_EQ(ControlsOutside(sheet, page), std::vector<std::string>{}) << where;
                         ExpectTextsFit(page, where);
                     }
                     ExpectOnScreen(sheet, "remote sheet at " + std::to_string(points) + " pt");
                 });
    }
}

}  // namespace
