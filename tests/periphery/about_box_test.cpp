// The about box in this process: its version line, the painted title and how it closes, and
// the version read from a program's resource.
#include <windows.h>
#include <gtest/gtest.h>

#include "AboutBox.h"
#include "DialogDriver.h"
#include "DialogHelpers.h"
#include "ProgramVersion.h"
#include "ShellState.h"
#include "resource.h"

namespace {

std::string OwnPath()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    return std::string(path, length);
}

INT_PTR OpenAbout()
{
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), nullptr, AboutDialogProc, 0);
}

TEST(AboutBox, ShowsTheVersionAndTakesOverTheTitle)
{
    std::string version, title;
    WNDPROC titleProc = nullptr;
    INT_PTR result = RunDialog("About Velloran", OpenAbout, [&](HWND dialog) {
        version = ControlText(dialog, IDC_ABOUT_VERSION);
        title = ControlText(dialog, IDC_ABOUT_TITLE);
        titleProc = (WNDPROC)GetWindowLongPtrA(GetDlgItem(dialog, IDC_ABOUT_TITLE), GWLP_WNDPROC);
        Press(dialog, IDOK);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(version, "Version 1.0");
    EXPECT_EQ(title, "");
    EXPECT_EQ(titleProc, (WNDPROC)AboutTitleProc);
}

TEST(AboutBox, ClosingTheWindowOrEscapeEndsItLikeOk)
{
    EXPECT_EQ(RunDialog("About Velloran", OpenAbout, [](HWND dialog) { PostMessageA(dialog, WM_CLOSE, 0, 0); }), 1);
    EXPECT_EQ(RunDialog("About Velloran", OpenAbout, [](HWND dialog) { Press(dialog, IDCANCEL); }), 1);
}

TEST(AboutBox, EveryDialogSizeHasItsTemplate)
{
    for (int id : {IDD_ABOUT, IDD_COLUMNS})
        for (int offset : {0, DLG_OFFSET_10PT, DLG_OFFSET_12PT})
            EXPECT_NE(FindResourceA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id + offset), (LPCSTR)RT_DIALOG),
                      nullptr)
                << id + offset;
}

struct Box {
    int left = 100000, top = 100000, right = -1, bottom = -1;
    int count = 0;
    void Add(int x, int y)
    {
        left = x < left ? x : left;
        top = y < top ? y : top;
        right = x > right ? x : right;
        bottom = y > bottom ? y : bottom;
        ++count;
    }
};

TEST(AboutTitle, DrawsTheNameCentredOverItsShadow)
{
    const int width = 300, height = 60;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    ASSERT_NE(bitmap, nullptr);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    RECT client = {0, 0, width, height};
    FillRect(dc, &client, (HBRUSH)GetStockObject(WHITE_BRUSH));
    DrawAboutTitle(dc, &client);
    GdiFlush();

    COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    Box face, shade;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            COLORREF pixel = GetPixel(dc, x, y);
            if (pixel == kAboutTitleColor)
                face.Add(x, y);
            else if (pixel == shadow)
                shade.Add(x, y);
        }
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);

    ASSERT_GT(face.count, 50);
    ASSERT_GT(shade.count, 10);
    EXPECT_NEAR((face.left + face.right) / 2, width / 2, 3);
    EXPECT_NEAR((face.top + face.bottom) / 2, height / 2, 4);
    // The shadow lies 2 pixels right of and below the face, so it shows past its far edges.
    EXPECT_NEAR(shade.right, face.right + 2, 1);
    EXPECT_NEAR(shade.bottom, face.bottom + 2, 1);
}

// Face and shadow pixels on the title control as the screen holds them.
void CountTitlePixels(HWND title, int *face, int *shadow)
{
    RECT client;
    GetClientRect(title, &client);
    HDC dc = GetDC(title);
    COLORREF shadowColor = GetSysColor(COLOR_BTNSHADOW);
    *face = *shadow = 0;
    for (int y = 0; y < client.bottom; ++y)
        for (int x = 0; x < client.right; ++x) {
            COLORREF pixel = GetPixel(dc, x, y);
            *face += pixel == kAboutTitleColor;
            *shadow += pixel == shadowColor;
        }
    ReleaseDC(title, dc);
}

TEST(AboutTitle, IsPaintedAgainWhenTheDialogIsUncovered)
{
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), nullptr,
                                     AboutDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    ShowWindow(dialog, SW_SHOWNOACTIVATE);
    UpdateWindow(dialog);
    HWND title = GetDlgItem(dialog, IDC_ABOUT_TITLE);
    int face = 0, shadow = 0;
    CountTitlePixels(title, &face, &shadow);
    EXPECT_GT(face, 50);
    EXPECT_GT(shadow, 10);

    // Something covered the title; uncovering it makes the system ask for a repaint.
    RECT client;
    GetClientRect(title, &client);
    HDC dc = GetDC(title);
    FillRect(dc, &client, (HBRUSH)GetStockObject(WHITE_BRUSH));
    ReleaseDC(title, dc);
    int coveredFace = 0, coveredShadow = 0;
    CountTitlePixels(title, &coveredFace, &coveredShadow);
    EXPECT_EQ(coveredFace, 0);
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    int repaintedFace = 0, repaintedShadow = 0;
    CountTitlePixels(title, &repaintedFace, &repaintedShadow);
    EXPECT_EQ(repaintedFace, face);
    EXPECT_EQ(repaintedShadow, shadow);
    DestroyWindow(dialog);
}

TEST(ProgramVersion, ReadsTheFileVersionOrGivesZeros)
{
    int major = -1, minor = -1, third = -1;
    EXPECT_EQ(ReadFileVersion(OwnPath().c_str(), &major, &minor, &third), 1);
    EXPECT_EQ(major, VELLORAN_VERSION_MAJOR);
    EXPECT_EQ(minor, VELLORAN_VERSION_MINOR);
    EXPECT_EQ(third, VELLORAN_VERSION_BUILD);

    // The window probe is built without a version resource.
    std::string probe = OwnPath();
    probe = probe.substr(0, probe.find_last_of('\\') + 1) + "window_probe.exe";
    EXPECT_EQ(ReadFileVersion(probe.c_str(), &major, &minor, &third), 0);
    EXPECT_EQ(major, 0);
    EXPECT_EQ(minor, 0);
    EXPECT_EQ(third, 0);
}

}  // namespace
