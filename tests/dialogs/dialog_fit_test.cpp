// Every dialog and remote-backup page whole at 8, 10 and 12 points: each control inside its
// window's client area, every text of every template inside its control, and the window on
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

// Whether the control's text fits it, measured in the control's own font (the dialog's): a
// label's text wrapped at the words as the label wraps it, a check box's or radio button's
// beside its box, a group box's caption inside its frame. These cut a text that does not fit
// without a sign. Every line keeps an average character to spare, for a font a little wider
// than this one. Empty when it fits, else why not.
std::string WhyTextDoesNotFit(HWND control)
{
    char text[512] = "";
    GetWindowTextA(control, text, sizeof text);
    if (text[0] == '\0')
        return "";
    std::string kind = ClassOf(control);
    LONG style = GetWindowLongA(control, GWL_STYLE);
    LONG type = kind == "Button" ? (style & BS_TYPEMASK) : kind == "Static" ? (style & SS_TYPEMASK) : -1;
    bool wrapped = kind == "Static" && (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT);
    bool box = kind == "Button" && (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                                    type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE);
    bool group = kind == "Button" && type == BS_GROUPBOX;
    bool line = kind == "Static" && (type == SS_LEFTNOWORDWRAP || type == SS_SIMPLE);
    if (!wrapped && !box && !group && !line)
        return "";
    RECT client;
    GetClientRect(control, &client);
    HDC dc = GetDC(control);
    HGDIOBJ previous = SelectObject(dc, (HGDIOBJ)SendMessageA(control, WM_GETFONT, 0, 0));
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    const int spare = metrics.tmAveCharWidth;
    // Beside the text: the check box and its gap, or the frame on both sides of a caption.
    int beside = 0;
    if (box)
        beside = GetSystemMetrics(SM_CXMENUCHECK) + metrics.tmAveCharWidth / 2;
    else if (group)
        beside = 2 * metrics.tmAveCharWidth;
    int width = client.right - beside - spare;
    UINT prefix = kind == "Static" && (style & SS_NOPREFIX) != 0 ? DT_NOPREFIX : 0;
    RECT needed = {0, 0, width, 0};
    DrawTextA(dc, text, -1, &needed, DT_CALCRECT | DT_EXPANDTABS | prefix | (wrapped ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    if (needed.right <= width && needed.bottom <= client.bottom)
        return "";
    return "\"" + std::string(text) + "\" needs " + std::to_string(needed.right + beside + spare) + "x" +
           std::to_string(needed.bottom) + " of " + std::to_string(client.right) + "x" + std::to_string(client.bottom);
}

// Every child's text fits it.
void ExpectTextsFit(HWND window, const std::string &where)
{
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        EXPECT_EQ(WhyTextDoesNotFit(child), "") << where << ": control " << GetDlgCtrlID(child);
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

BOOL CALLBACK CollectTemplateId(HMODULE, LPCSTR, LPSTR name, LONG_PTR ids)
{
    if (IS_INTRESOURCE(name))
        reinterpret_cast<std::vector<int> *>(ids)->push_back((int)(ULONG_PTR)name);
    return TRUE;
}

// Every template of the program, each of its three sizes, as the resources hold them.
TEST(DialogFit, EveryTextOfEveryTemplateFitsItsControlInEachSize)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
    InitCommonControlsEx(&controls);
    std::vector<int> ids;
    EnumResourceNamesA(GetModuleHandleA(nullptr), RT_DIALOG, CollectTemplateId, (LONG_PTR)&ids);
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(ids.size() % 3, 0u) << "each template in three sizes";
    // Pages are child windows: they get an owner window that is never shown.
    HWND parent = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
    for (int id : ids) {
        int points = id >= DLG_OFFSET_12PT ? 12 : id >= DLG_OFFSET_10PT ? 10 : 8;
        HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), parent, PlainDialogProc, 0);
        ASSERT_NE(dialog, nullptr) << "template " << id;
        char caption[128] = "";
        GetWindowTextA(dialog, caption, sizeof caption);
        ExpectTextsFit(dialog, "\"" + std::string(caption) + "\" (" + std::to_string(id) + ") at " +
                                   std::to_string(points) + " pt");
        DestroyWindow(dialog);
    }
    DestroyWindow(parent);
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
