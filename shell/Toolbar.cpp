// The flat toolbar with text labels inside a rebar band at the top of the main window. Its
// images come in four sizes, each with its own normal and disabled strip over a shared mask.
#include "Toolbar.h"

#include "GlobalSettings.h"
#include "JobList.h"
#include "ShellState.h"
#include "TrayAndStatus.h"
#include "resource.h"

namespace {

HWND toolbarWindow = nullptr;
HWND rebarWindow = nullptr;
HIMAGELIST normalImages = nullptr;
HIMAGELIST disabledImages = nullptr;
int rebarHeight = 1;

struct ImageRow {
    int size;
    UINT normal, mask, disabled;
};

const ImageRow kImageRows[] = {
    {16, IDB_TOOLBAR16, IDB_TOOLBAR16_MASK, IDB_TOOLBAR16_DISABLED},
    {20, IDB_TOOLBAR20, IDB_TOOLBAR20_MASK, IDB_TOOLBAR20_DISABLED},
    {24, IDB_TOOLBAR24, IDB_TOOLBAR24_MASK, IDB_TOOLBAR24_DISABLED},
    {32, IDB_TOOLBAR32, IDB_TOOLBAR32_MASK, IDB_TOOLBAR32_DISABLED},
};

struct ButtonLayout {
    int image;  // -1: separator
    int command;
    UINT label;
};

const ButtonLayout kButtons[] = {
    {TBIMG_NEW, IDM_NEW, IDS_TB_NEW},
    {TBIMG_EDIT, IDM_EDIT, IDS_TB_EDIT},
    {TBIMG_DELETE, IDM_DELETE, IDS_TB_DELETE},
    {TBIMG_COPY, IDM_COPY, IDS_TB_COPY},
    {-1, 0, 0},
    {TBIMG_RUN, IDM_RUN, IDS_TB_RUN},
    {-1, 0, 0},
    {TBIMG_VIEWLOG, IDM_VIEWLOG, IDS_TB_VIEWLOG},
    {-1, 0, 0},
    {TBIMG_HIDE, IDM_HIDE, IDS_TB_HIDE},
};
const int kButtonCount = sizeof(kButtons) / sizeof(kButtons[0]);
const int kLabelLimit = 23;

const ImageRow &ChooseImageRow(int buttonSize, int pixelsPerInch)
{
    int row = 3;
    if (buttonSize == 0)
        row = pixelsPerInch < 96 ? 0 : pixelsPerInch < 120 ? 1 : pixelsPerInch < 144 ? 2 : 3;
    else if (buttonSize >= 1 && buttonSize <= 3)
        row = buttonSize - 1;
    return kImageRows[row];
}

int ScreenPixelsPerInch(HWND window)
{
    HDC dc = GetDC(window);
    if (dc == nullptr)
        return 96;
    int pixels = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(window, dc);
    return pixels;
}

// One image list from a strip and the shared mask; the bitmaps are copied into the list.
HIMAGELIST LoadImageStrip(int size, UINT stripId, UINT maskId)
{
    HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 8, 8);
    if (list == nullptr)
        return nullptr;
    HBITMAP strip = (HBITMAP)LoadImageA(programInstance, MAKEINTRESOURCEA(stripId), IMAGE_BITMAP, 0, 0,
                                        LR_CREATEDIBSECTION);
    HBITMAP mask = (HBITMAP)LoadImageA(programInstance, MAKEINTRESOURCEA(maskId), IMAGE_BITMAP, 0, 0, 0);
    if (strip != nullptr && mask != nullptr)
        ImageList_Add(list, strip, mask);
    if (strip != nullptr)
        DeleteObject(strip);
    if (mask != nullptr)
        DeleteObject(mask);
    return list;
}

void SetUpImageLists(HWND parent)
{
    const ImageRow &row = ChooseImageRow(gSettings.buttonSize, ScreenPixelsPerInch(parent));
    SendMessageA(toolbarWindow, TB_SETBITMAPSIZE, 0, MAKELPARAM(row.size, row.size));
    normalImages = LoadImageStrip(row.size, row.normal, row.mask);
    SendMessageA(toolbarWindow, TB_SETIMAGELIST, 0, (LPARAM)normalImages);
    SendMessageA(toolbarWindow, TB_SETHOTIMAGELIST, 0, (LPARAM)normalImages);
    disabledImages = LoadImageStrip(row.size, row.disabled, row.mask);
    SendMessageA(toolbarWindow, TB_SETDISABLEDIMAGELIST, 0, (LPARAM)disabledImages);
}

// The toolbar takes a list of strings ending in an empty one, so each label ends in two zeros.
INT_PTR AddLabel(UINT stringId)
{
    char label[kLabelLimit + 2];
    ZeroMemory(label, sizeof(label));
    LoadStringA(programInstance, stringId, label, kLabelLimit + 1);
    return SendMessageA(toolbarWindow, TB_ADDSTRINGA, 0, (LPARAM)label);
}

void AddButtons()
{
    TBBUTTON buttons[kButtonCount];
    ZeroMemory(buttons, sizeof(buttons));
    for (int i = 0; i < kButtonCount; ++i) {
        const ButtonLayout &entry = kButtons[i];
        buttons[i].iBitmap = entry.image;
        buttons[i].fsState = TBSTATE_ENABLED;
        if (entry.image < 0) {
            buttons[i].fsStyle = BTNS_SEP;
        } else {
            buttons[i].idCommand = entry.command;
            buttons[i].fsStyle = BTNS_BUTTON;
            buttons[i].iString = AddLabel(entry.label);
        }
    }
    SendMessageA(toolbarWindow, TB_ADDBUTTONSA, kButtonCount, (LPARAM)buttons);
    SendMessageA(toolbarWindow, TB_SETINDENT, GetSystemMetrics(SM_CXBORDER) + GetSystemMetrics(SM_CXEDGE), 0);
    ShowWindow(toolbarWindow, SW_SHOW);
}

int InsertBand()
{
    REBARBANDINFOA band;
    ZeroMemory(&band, sizeof(band));
    band.cbSize = REBARBANDINFOA_V6_SIZE;
    band.fMask = RBBIM_STYLE | RBBIM_CHILD | RBBIM_CHILDSIZE;
    band.fStyle = RBBS_CHILDEDGE;
    band.hwndChild = toolbarWindow;
    band.cxMinChild = 0;
    LRESULT buttonSize = SendMessageA(toolbarWindow, TB_GETBUTTONSIZE, 0, 0);
    band.cyMinChild = GetSystemMetrics(SM_CYEDGE) + HIWORD(buttonSize);
    return SendMessageA(rebarWindow, RB_INSERTBANDA, (WPARAM)-1, (LPARAM)&band) != 0;
}

int CreateRebar(HWND parent)
{
    rebarWindow = CreateWindowExA(WS_EX_TOOLWINDOW, REBARCLASSNAMEA, nullptr,
                                  WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | RBS_VARHEIGHT |
                                      RBS_BANDBORDERS | CCS_NODIVIDER | CCS_TOP,
                                  0, 0, 0, 0, parent, (HMENU)(INT_PTR)IDC_MAIN_REBAR, programInstance, nullptr);
    if (rebarWindow == nullptr)
        return 0;
    REBARINFO bar;
    ZeroMemory(&bar, sizeof(bar));
    bar.cbSize = sizeof(bar);
    return SendMessageA(rebarWindow, RB_SETBARINFO, 0, (LPARAM)&bar) != 0;
}

int IsToolbarCommand(UINT_PTR id)
{
    for (const ButtonLayout &entry : kButtons)
        if (entry.image >= 0 && (UINT_PTR)entry.command == id)
            return 1;
    return 0;
}

int IsFromToolbar(const NMHDR *header)
{
    if (toolbarWindow == nullptr)
        return 0;
    return header->hwndFrom == toolbarWindow ||
           header->hwndFrom == (HWND)SendMessageA(toolbarWindow, TB_GETTOOLTIPS, 0, 0);
}

}  // namespace

int GetToolbarImageSize(int buttonSize, int pixelsPerInch)
{
    return ChooseImageRow(buttonSize, pixelsPerInch).size;
}

void DestroyToolbar()
{
    if (toolbarWindow != nullptr && IsWindow(toolbarWindow))
        DestroyWindow(toolbarWindow);
    if (normalImages != nullptr)
        ImageList_Destroy(normalImages);
    if (disabledImages != nullptr)
        ImageList_Destroy(disabledImages);
    if (rebarWindow != nullptr && IsWindow(rebarWindow))
        DestroyWindow(rebarWindow);
    toolbarWindow = nullptr;
    normalImages = nullptr;
    disabledImages = nullptr;
    rebarWindow = nullptr;
}

HWND CreateToolbar(HWND parent)
{
    DestroyToolbar();
    if (!CreateRebar(parent))
        return nullptr;
    // The band makes the rebar the toolbar's parent; notifications still go to the main window.
    toolbarWindow = CreateWindowExA(WS_EX_TOOLWINDOW, TOOLBARCLASSNAMEA, nullptr,
                                    WS_CHILD | TBSTYLE_TRANSPARENT | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS |
                                        CCS_NODIVIDER | CCS_NORESIZE,
                                    0, 0, 10, 10, parent, (HMENU)(INT_PTR)IDC_MAIN_TOOLBAR, programInstance,
                                    nullptr);
    if (toolbarWindow == nullptr)
        return nullptr;
    SendMessageA(toolbarWindow, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SetUpImageLists(parent);
    AddButtons();
    rebarHeight = 1;
    InsertBand();
    return toolbarWindow;
}

int GetToolbarHeight()
{
    return rebarHeight;
}

HWND GetToolbarWindow()
{
    return toolbarWindow;
}

int LayOutToolbar(int clientWidth)
{
    if (toolbarWindow == nullptr || rebarWindow == nullptr)
        return rebarHeight;
    LRESULT buttonSize = SendMessageA(toolbarWindow, TB_GETBUTTONSIZE, 0, 0);
    MoveWindow(toolbarWindow, 0, GetSystemMetrics(SM_CYEDGE), clientWidth, HIWORD(buttonSize), TRUE);
    SendMessageA(rebarWindow, WM_SIZE, 0, 0);
    RECT rect;
    if (GetWindowRect(rebarWindow, &rect))
        rebarHeight = rect.bottom - rect.top;
    return rebarHeight;
}

LRESULT OnToolbarNotify(HWND, NMHDR *header)
{
    if (header == nullptr || !IsFromToolbar(header) || !IsToolbarCommand(header->idFrom))
        return 0;
    UINT stringId = GetCommandHelpId((UINT)header->idFrom);
    if (header->code == TTN_GETDISPINFOA) {
        NMTTDISPINFOA *info = (NMTTDISPINFOA *)header;
        info->hinst = programInstance;
        info->lpszText = MAKEINTRESOURCEA(stringId);
    } else if (header->code == TTN_GETDISPINFOW) {
        NMTTDISPINFOW *info = (NMTTDISPINFOW *)header;
        info->hinst = programInstance;
        info->lpszText = MAKEINTRESOURCEW(stringId);
    }
    return 0;
}

// A new button size: the toolbar is built again, and the main window lays out its toolbar,
// list and status bar anew through a height one pixel larger and back.
void RebuildToolbar()
{
    if (mainWindow == nullptr || !IsWindow(mainWindow))
        return;
    CreateToolbar(mainWindow);
    UpdateCommandStates();
    RECT box;
    if (!GetWindowRect(mainWindow, &box))
        return;
    int width = box.right - box.left;
    int height = box.bottom - box.top;
    const UINT kSizeOnly = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(mainWindow, nullptr, 0, 0, width, height + 1, kSizeOnly);
    SetWindowPos(mainWindow, nullptr, 0, 0, width, height, kSizeOnly);
}
