// The toolbar: buttons, labels, image lists per size row, rebuilding, height and tooltips.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

#include "BarsTestSupport.h"
#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "ShellState.h"
#include "Toolbar.h"
#include "resource.h"

namespace {

using ToolbarTest = BarsTest;

int ImageListSize(HIMAGELIST list)
{
    int cx = 0, cy = 0;
    if (list == nullptr || !ImageList_GetIconSize(list, &cx, &cy))
        return -1;
    EXPECT_EQ(cx, cy);
    return cx;
}

HIMAGELIST ToolbarImageList(UINT message)
{
    return (HIMAGELIST)SendMessageA(GetToolbarWindow(), message, 0, 0);
}

// The average colour of one image drawn on white, as (r, g, b) summed over its pixels.
struct ColourSum {
    long long r = 0, g = 0, b = 0;
};

ColourSum DrawImage(HIMAGELIST list, int index, int size)
{
    BITMAPINFO info;
    ZeroMemory(&info, sizeof(info));
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP target = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(dc, target);
    RECT all = {0, 0, size, size};
    FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
    ImageList_Draw(list, index, dc, 0, 0, ILD_NORMAL);
    GdiFlush();
    ColourSum sum;
    const BYTE *pixel = (const BYTE *)bits;
    for (int i = 0; i < size * size; ++i, pixel += 4) {
        sum.b += pixel[0];
        sum.g += pixel[1];
        sum.r += pixel[2];
    }
    SelectObject(dc, previous);
    DeleteObject(target);
    DeleteDC(dc);
    return sum;
}

}  // namespace

TEST(ToolbarImageSize, FollowsButtonSizeOrScreenResolution)
{
    const struct {
        int buttonSize, pixelsPerInch, expected;
    } cases[] = {
        {0, 72, 16},  {0, 95, 16},  {0, 96, 20},  {0, 119, 20}, {0, 120, 24}, {0, 143, 24}, {0, 144, 32},
        {0, 192, 32}, {1, 192, 16}, {2, 72, 20},  {3, 96, 24},  {4, 96, 32},  {5, 96, 32},  {-1, 96, 32},
    };
    for (const auto &c : cases)
        EXPECT_EQ(GetToolbarImageSize(c.buttonSize, c.pixelsPerInch), c.expected)
            << "btnsize " << c.buttonSize << " at " << c.pixelsPerInch << " dpi";
}

TEST_F(ToolbarTest, HoldsTenButtonsWithCommandsImagesAndLabelsInOrder)
{
    HWND toolbar = CreateToolbar(window);
    ASSERT_NE(toolbar, nullptr);
    EXPECT_EQ(toolbar, GetToolbarWindow());
    EXPECT_EQ(GetDlgCtrlID(toolbar), IDC_MAIN_TOOLBAR);
    HWND rebar = GetParent(toolbar);
    char className[64] = "";
    GetClassNameA(rebar, className, sizeof(className));
    EXPECT_STREQ(className, "ReBarWindow32");
    EXPECT_EQ(GetDlgCtrlID(rebar), IDC_MAIN_REBAR);
    EXPECT_EQ(GetParent(rebar), window);
    EXPECT_EQ(SendMessageA(rebar, RB_GETBANDCOUNT, 0, 0), 1);
    EXPECT_TRUE(GetWindowLongA(toolbar, GWL_STYLE) & TBSTYLE_TOOLTIPS);
    EXPECT_TRUE(GetWindowLongA(toolbar, GWL_STYLE) & TBSTYLE_FLAT);

    const struct {
        int command, image;
        const char *label;
    } expected[] = {
        {IDM_NEW, 0, "New"},      {IDM_EDIT, 1, "Edit"}, {IDM_DELETE, 2, "Delete"},     {IDM_COPY, 3, "Copy"},
        {0, -1, nullptr},         {IDM_RUN, 4, "Run Now"}, {0, -1, nullptr},           {IDM_VIEWLOG, 5, "View Log"},
        {0, -1, nullptr},         {IDM_HIDE, 6, "Hide"},
    };
    ASSERT_EQ(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0), 10);
    for (int i = 0; i < 10; ++i) {
        TBBUTTON button;
        ZeroMemory(&button, sizeof(button));
        ASSERT_TRUE(SendMessageA(toolbar, TB_GETBUTTON, i, (LPARAM)&button)) << i;
        EXPECT_TRUE(button.fsState & TBSTATE_ENABLED) << i;
        if (expected[i].label == nullptr) {
            EXPECT_TRUE(button.fsStyle & BTNS_SEP) << i;
            continue;
        }
        EXPECT_FALSE(button.fsStyle & BTNS_SEP) << i;
        EXPECT_EQ(button.idCommand, expected[i].command) << i;
        EXPECT_EQ(button.iBitmap, expected[i].image) << i;
        char label[64] = "";
        SendMessageA(toolbar, TB_GETBUTTONTEXTA, expected[i].command, (LPARAM)label);
        EXPECT_STREQ(label, expected[i].label) << i;
    }
}

TEST_F(ToolbarTest, EachButtonSizeGetsItsOwnNormalAndDisabledStrip)
{
    const int sizes[] = {16, 20, 24, 32};
    for (int buttonSize = 1; buttonSize <= 4; ++buttonSize) {
        gSettings.buttonSize = buttonSize;
        ASSERT_NE(CreateToolbar(window), nullptr);
        int size = sizes[buttonSize - 1];
        HIMAGELIST normal = ToolbarImageList(TB_GETIMAGELIST);
        HIMAGELIST disabled = ToolbarImageList(TB_GETDISABLEDIMAGELIST);
        EXPECT_EQ(ImageListSize(normal), size) << "btnsize " << buttonSize;
        EXPECT_EQ(ImageListSize(disabled), size) << "btnsize " << buttonSize;
        EXPECT_EQ(ToolbarImageList(TB_GETHOTIMAGELIST), normal);
        EXPECT_NE(disabled, normal);
        // The eight images: seven buttons and Stop, which replaces Run Now while a job runs.
        EXPECT_EQ(ImageList_GetImageCount(normal), 8) << "btnsize " << buttonSize;
        EXPECT_EQ(ImageList_GetImageCount(disabled), 8) << "btnsize " << buttonSize;
        LRESULT buttonExtent = SendMessageA(GetToolbarWindow(), TB_GETBUTTONSIZE, 0, 0);
        EXPECT_GT(HIWORD(buttonExtent), size) << "btnsize " << buttonSize;

        // Run Now is green in the normal strip and grey in the disabled one, not a tinted copy.
        ColourSum run = DrawImage(normal, TBIMG_RUN, size);
        ColourSum grey = DrawImage(disabled, TBIMG_RUN, size);
        EXPECT_GT(run.g, run.r + run.r / 4) << "btnsize " << buttonSize;
        EXPECT_LT(llabs(grey.g - grey.r), grey.g / 20) << "btnsize " << buttonSize;
        EXPECT_LT(llabs(grey.b - grey.r), grey.b / 20) << "btnsize " << buttonSize;
        // The mask lets the background through around the disc.
        ColourSum stop = DrawImage(normal, TBIMG_STOP, size);
        EXPECT_GT(stop.r, stop.g + stop.g / 4) << "btnsize " << buttonSize;
    }
}

TEST_F(ToolbarTest, RebuildingReplacesWindowsAndImageListsAndDestroyIsRepeatable)
{
    gSettings.buttonSize = 1;
    HWND first = CreateToolbar(window);
    ASSERT_NE(first, nullptr);
    HWND firstRebar = GetParent(first);
    gSettings.buttonSize = 4;
    HWND second = CreateToolbar(window);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(IsWindow(firstRebar));
    EXPECT_EQ(ImageListSize(ToolbarImageList(TB_GETIMAGELIST)), 32);
    // One rebar and one toolbar among the window's children.
    int rebars = 0;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        rebars += GetDlgCtrlID(child) == IDC_MAIN_REBAR;
    EXPECT_EQ(rebars, 1);

    HWND secondRebar = GetParent(second);
    DestroyToolbar();
    EXPECT_EQ(GetToolbarWindow(), nullptr);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_FALSE(IsWindow(secondRebar));
    DestroyToolbar();
    EXPECT_EQ(GetDlgItem(window, IDC_MAIN_REBAR), nullptr);
}

TEST_F(ToolbarTest, HeightIsMeasuredAtLayoutAndGrowsWithTheImages)
{
    gSettings.buttonSize = 1;
    ASSERT_NE(CreateToolbar(window), nullptr);
    EXPECT_EQ(GetToolbarHeight(), 1);
    int small = LayOutToolbar(700);
    EXPECT_EQ(small, GetToolbarHeight());
    EXPECT_GE(small, HIWORD(SendMessageA(GetToolbarWindow(), TB_GETBUTTONSIZE, 0, 0)));
    RECT rebar;
    GetWindowRect(GetDlgItem(window, IDC_MAIN_REBAR), &rebar);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(rebar.right - rebar.left, client.right);
    EXPECT_EQ(rebar.bottom - rebar.top, small);

    gSettings.buttonSize = 4;
    ASSERT_NE(CreateToolbar(window), nullptr);
    EXPECT_EQ(GetToolbarHeight(), 1);
    int large = LayOutToolbar(700);
    EXPECT_GE(large - small, 32 - 16);
}

TEST_F(ToolbarTest, TooltipsNameTheCommandsHelpStringAndStopWhileTheSelectedJobRuns)
{
    int first = AddConfig("First");
    AddConfig("Second");
    MakeJobList(first);
    ASSERT_NE(CreateToolbar(window), nullptr);
    HWND tooltips = (HWND)SendMessageA(GetToolbarWindow(), TB_GETTOOLTIPS, 0, 0);
    ASSERT_NE(tooltips, nullptr);

    auto askA = [&](HWND from, UINT_PTR id) {
        NMTTDISPINFOA info;
        ZeroMemory(&info, sizeof(info));
        info.hdr.hwndFrom = from;
        info.hdr.idFrom = id;
        info.hdr.code = TTN_GETDISPINFOA;
        EXPECT_EQ(OnToolbarNotify(window, &info.hdr), 0);
        EXPECT_EQ(info.hinst, info.lpszText != nullptr ? programInstance : nullptr);
        return (UINT_PTR)info.lpszText;
    };
    EXPECT_EQ(askA(tooltips, IDM_NEW), (UINT_PTR)IDM_NEW);
    EXPECT_EQ(askA(tooltips, IDM_HIDE), (UINT_PTR)IDM_HIDE);
    EXPECT_EQ(askA(tooltips, IDM_RUN), (UINT_PTR)IDM_RUN);
    // Not a button's command, or not from the toolbar: left alone.
    EXPECT_EQ(askA(tooltips, IDM_EXIT), 0u);
    EXPECT_EQ(askA(window, IDM_NEW), 0u);

    SetConfigRunning(ConfigAt(first), 1);
    EXPECT_EQ(askA(tooltips, IDM_RUN), (UINT_PTR)IDS_HELP_STOP);
    NMTTDISPINFOW wide;
    ZeroMemory(&wide, sizeof(wide));
    wide.hdr.hwndFrom = tooltips;
    wide.hdr.idFrom = IDM_RUN;
    wide.hdr.code = TTN_GETDISPINFOW;
    OnToolbarNotify(window, &wide.hdr);
    EXPECT_EQ(wide.hinst, programInstance);
    EXPECT_EQ((UINT_PTR)wide.lpszText, (UINT_PTR)IDS_HELP_STOP);
    char text[128] = "";
    LoadStringA(wide.hinst, (UINT)(UINT_PTR)wide.lpszText, text, sizeof(text));
    EXPECT_STREQ(text, "Stop the selected backup configuration");
}
