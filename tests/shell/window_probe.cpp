// Looks at and drives the running program's main window from outside, for the end-to-end
// tests. List-view, header, status-bar and toolbar messages that carry pointers are not
// marshalled between processes, so their blocks live in memory allocated in the program.
//   window_probe wait MS           wait for the main window to run; prints its process id
//   window_probe gone MS           wait until no main window exists
//   window_probe post MSG WPARAM   post a message (decimal) to the main window
//   window_probe columns           header texts of the job list in display order
//   window_probe rows COLUMN       the job list's cell texts of one column, row by row
//   window_probe select ROW        select and focus one row of the job list
//   window_probe status            status-bar part texts
//   window_probe toolbar           one line per button: command id, state, text
//   window_probe dialog TITLE MS   wait for a shown dialog with this caption (MS 0: is it gone?)
//   window_probe handle TITLE      print the handle of the shown dialog with this caption, or 0
//   window_probe settext TITLE ID TEXT   set the text of control ID anywhere in that dialog
//   window_probe press TITLE BUTTON      post PSM_PRESSBUTTON to that property sheet
//   window_probe text TITLE ID     print the text of control ID in that dialog (a message
//                                  box's text is control 65535)
//   window_probe click TITLE ID    click button ID in that dialog (posted: it may open a dialog)
//   window_probe choose TITLE ID N select entry N of drop-down list ID, as the user would
//   window_probe page TITLE N      show page N of that property sheet
//   window_probe time TITLE ID H M set time picker ID to H:M, as the user would
//   window_probe checked TITLE ID  print 1 when button ID is checked, else 0
//   window_probe enabled TITLE ID  print 1 when control ID is enabled, else 0
//   window_probe rect TITLE ID     print control ID's place in that dialog's client area
//   window_probe command TITLE ID  post WM_COMMAND ID to that dialog (IDOK 1, IDCANCEL 2)
//   window_probe drop TITLE PATH...      drop files on that dialog (WM_DROPFILES, sent)
//   window_probe window CLASS MS   wait for a shown top-level window of this class (the help
//                                  window, say); prints its title and the number of items of
//                                  the tree views inside it
//   window_probe additem TITLE ID TEXT   hand TEXT to the page that holds control ID as an
//                                  item to add (the pages' WM_ADDITEM, as a drop gives it)
// In a property sheet, controls are looked for on its current page first.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "RemoteBlock.h"

static const int kListId = 20100;

static HWND FindMainWindow()
{
    return FindWindowA("Velloran", nullptr);
}

static int WaitForWindow(DWORD ms, bool present)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindMainWindow();
        // The window exists while it is still being created; it answers a sent message only
        // once its thread runs the message loop.
        DWORD_PTR answer = 0;
        if (present && window != nullptr && SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &answer)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            printf("%lu\n", pid);
            return 0;
        }
        if (!present && window == nullptr)
            return 0;
        if (GetTickCount() - start >= ms)
            return 1;
        Sleep(100);
    }
}

static const int kTextOffset = 1024;
static const int kTextSize = 1024;

static int PrintColumns(HWND list)
{
    HWND header = (HWND)SendMessageA(list, LVM_GETHEADER, 0, 0);
    int count = (int)SendMessageA(header, HDM_GETITEMCOUNT, 0, 0);
    if (count <= 0)
        return 1;
    RemoteBlock block(list, 4096);
    if (!block.ok())
        return 1;
    int order[64];
    if (count > 64 || !SendMessageA(header, HDM_GETORDERARRAY, count, (LPARAM)block.at(2048)) ||
        !block.Read(2048, order, sizeof(int) * count))
        return 1;
    for (int i = 0; i < count; ++i) {
        HDITEMA item{};
        item.mask = HDI_TEXT | HDI_WIDTH;
        item.pszText = block.at(kTextOffset);
        item.cchTextMax = kTextSize;
        char text[kTextSize] = "";
        if (!block.Write(0, &item, sizeof(item)) || !SendMessageA(header, HDM_GETITEMA, order[i], (LPARAM)block.at(0)) ||
            !block.Read(kTextOffset, text, sizeof(text)) || !block.Read(0, &item, sizeof(item)))
            return 1;
        text[kTextSize - 1] = '\0';
        printf("%s\t%d\n", text, item.cxy);
    }
    return 0;
}

static int PrintRows(HWND list, int column)
{
    int count = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    RemoteBlock block(list, 4096);
    if (!block.ok())
        return 1;
    for (int row = 0; row < count; ++row) {
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = block.at(kTextOffset);
        item.cchTextMax = kTextSize;
        char text[kTextSize] = "";
        if (!block.Write(0, &item, sizeof(item)))
            return 1;
        SendMessageA(list, LVM_GETITEMTEXTA, row, (LPARAM)block.at(0));
        if (!block.Read(kTextOffset, text, sizeof(text)))
            return 1;
        text[kTextSize - 1] = '\0';
        printf("%s\n", text);
    }
    return 0;
}

static int SelectRow(HWND list, int row)
{
    RemoteBlock block(list, sizeof(LVITEMA));
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    if (!block.ok() || !block.Write(0, &item, sizeof(item)))
        return 1;
    return SendMessageA(list, LVM_SETITEMSTATE, row, (LPARAM)block.at(0)) ? 0 : 1;
}

static int PrintStatus(HWND window)
{
    HWND bar = FindWindowExA(window, nullptr, STATUSCLASSNAMEA, nullptr);
    if (bar == nullptr)
        return 1;
    int parts = (int)SendMessageA(bar, SB_GETPARTS, 0, 0);
    RemoteBlock block(bar, 4096);
    if (!block.ok())
        return 1;
    for (int i = 0; i < parts; ++i) {
        char text[kTextSize] = "";
        SendMessageA(bar, SB_GETTEXTA, i, (LPARAM)block.at(kTextOffset));
        if (!block.Read(kTextOffset, text, sizeof(text)))
            return 1;
        text[kTextSize - 1] = '\0';
        printf("%s\n", text);
    }
    return 0;
}

static int PrintToolbar(HWND window)
{
    HWND bar = FindWindowExA(window, nullptr, TOOLBARCLASSNAMEA, nullptr);
    if (bar == nullptr) {
        // The toolbar may sit in a rebar.
        HWND rebar = FindWindowExA(window, nullptr, REBARCLASSNAMEA, nullptr);
        if (rebar != nullptr)
            bar = FindWindowExA(rebar, nullptr, TOOLBARCLASSNAMEA, nullptr);
    }
    if (bar == nullptr)
        return 1;
    int count = (int)SendMessageA(bar, TB_BUTTONCOUNT, 0, 0);
    RemoteBlock block(bar, 4096);
    if (!block.ok())
        return 1;
    for (int i = 0; i < count; ++i) {
        TBBUTTON button{};
        if (!SendMessageA(bar, TB_GETBUTTON, i, (LPARAM)block.at(0)) || !block.Read(0, &button, sizeof(button)))
            return 1;
        char text[kTextSize] = "";
        if (!(button.fsStyle & BTNS_SEP) &&
            SendMessageA(bar, TB_GETBUTTONTEXTA, button.idCommand, (LPARAM)block.at(kTextOffset)) > 0)
            block.Read(kTextOffset, text, sizeof(text));
        text[kTextSize - 1] = '\0';
        printf("%d\t%d\t%s\n", button.idCommand, button.fsState, text);
    }
    return 0;
}

static HWND FindShownDialog(const char *title)
{
    HWND dialog = FindWindowA("#32770", title);
    return dialog != nullptr && IsWindowVisible(dialog) ? dialog : nullptr;
}

static int WaitForDialog(const char *title, DWORD ms)
{
    if (ms == 0)
        return FindShownDialog(title) == nullptr ? 0 : 1;
    for (DWORD waited = 0; waited < ms; waited += 50) {
        if (FindShownDialog(title) != nullptr)
            return 0;
        Sleep(50);
    }
    return 1;
}

struct ControlSearch {
    int id;
    HWND found;
};

static BOOL CALLBACK MatchControl(HWND child, LPARAM lParam)
{
    ControlSearch *search = (ControlSearch *)lParam;
    if (GetDlgCtrlID(child) != search->id)
        return TRUE;
    search->found = child;
    return FALSE;
}

static const UINT kGetCurrentPage = WM_USER + 118;  // PSM_GETCURRENTPAGEHWND
static const UINT kSetCurrentPage = WM_USER + 101;  // PSM_SETCURSEL

// Pages of a property sheet are dialogs inside it, so the control is looked for at any depth,
// on the current page first (pages share control ids).
static HWND FindDialogControl(const char *title, int id)
{
    HWND dialog = FindShownDialog(title);
    if (dialog == nullptr)
        return nullptr;
    ControlSearch search = {id, nullptr};
    HWND page = (HWND)SendMessageA(dialog, kGetCurrentPage, 0, 0);
    if (page != nullptr && IsChild(dialog, page))
        EnumChildWindows(page, MatchControl, (LPARAM)&search);
    if (search.found == nullptr)
        EnumChildWindows(dialog, MatchControl, (LPARAM)&search);
    return search.found;
}

static int ClickDialogButton(const char *title, int id)
{
    HWND button = FindDialogControl(title, id);
    if (button == nullptr)
        return 3;
    return PostMessageA(button, BM_CLICK, 0, 0) ? 0 : 1;
}

static int ChooseListEntry(const char *title, int id, int index)
{
    HWND list = FindDialogControl(title, id);
    if (list == nullptr)
        return 3;
    if (SendMessageA(list, CB_SETCURSEL, (WPARAM)index, 0) != index)
        return 1;
    SendMessageA(GetParent(list), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), (LPARAM)list);
    return 0;
}

static int ShowSheetPage(const char *title, int index)
{
    HWND sheet = FindShownDialog(title);
    if (sheet == nullptr)
        return 3;
    return SendMessageA(sheet, kSetCurrentPage, (WPARAM)index, 0) ? 0 : 1;
}

// The picker's time and its change notification, both in memory of the program.
static int SetPickerTime(const char *title, int id, int hour, int minute)
{
    HWND picker = FindDialogControl(title, id);
    if (picker == nullptr)
        return 3;
    RemoteBlock block(picker, 4096);
    NMDATETIMECHANGE change{};
    if (!block.ok() || SendMessageA(picker, DTM_GETSYSTEMTIME, 0, (LPARAM)block.at(0)) != GDT_VALID ||
        !block.Read(0, &change.st, sizeof change.st))
        return 1;
    change.st.wHour = (WORD)hour;
    change.st.wMinute = (WORD)minute;
    change.st.wSecond = 0;
    change.nmhdr.hwndFrom = picker;
    change.nmhdr.idFrom = (UINT_PTR)id;
    change.nmhdr.code = DTN_DATETIMECHANGE;
    change.dwFlags = GDT_VALID;
    if (!block.Write(0, &change.st, sizeof change.st) || !SendMessageA(picker, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)block.at(0)))
        return 1;
    if (!block.Write(1024, &change, sizeof change))
        return 1;
    SendMessageA(GetParent(picker), WM_NOTIFY, (WPARAM)id, (LPARAM)block.at(1024));
    return 0;
}


static int SetDialogControlText(const char *title, int id, const char *text)
{
    HWND control = FindDialogControl(title, id);
    if (control == nullptr)
        return 3;
    return SendMessageA(control, WM_SETTEXT, 0, (LPARAM)text) ? 0 : 1;
}

static int PrintDialogControlText(const char *title, int id)
{
    HWND control = FindDialogControl(title, id);
    if (control == nullptr)
        return 3;
    char text[kTextSize] = "";
    SendMessageA(control, WM_GETTEXT, sizeof text, (LPARAM)text);
    printf("%s\n", text);
    return 0;
}

static int AddPageItem(const char *title, int id, const char *text)
{
    HWND control = FindDialogControl(title, id);
    if (control == nullptr)
        return 3;
    HWND page = GetParent(control);
    SIZE_T length = strlen(text) + 1;
    RemoteBlock block(page, length);
    if (!block.ok() || !block.Write(0, text, length))
        return 1;
    const UINT kAddItem = WM_USER + 2;  // WM_ADDITEM
    SendMessageA(page, kAddItem, 0, (LPARAM)block.at(0));
    return 0;
}

static int PressSheetButton(const char *title, int button)
{
    HWND sheet = FindShownDialog(title);
    if (sheet == nullptr)
        return 3;
    const UINT kPressButton = WM_USER + 113;  // PSM_PRESSBUTTON
    return PostMessageA(sheet, kPressButton, (WPARAM)button, 0) ? 0 : 1;
}

static int PrintDialogControlChecked(const char *title, int id)
{
    HWND control = FindDialogControl(title, id);
    if (control == nullptr)
        return 3;
    printf("%d\n", SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
    return 0;
}

static int PrintDialogControlEnabled(const char *title, int id)
{
    HWND control = FindDialogControl(title, id);
    if (control == nullptr)
        return 3;
    printf("%d\n", IsWindowEnabled(control) ? 1 : 0);
    return 0;
}

// The control's place in the dialog's client area (left top right bottom): where a picture of
// the dialog's X window shows it.
static int PrintDialogControlRect(const char *title, int id)
{
    HWND control = FindDialogControl(title, id);
    if (control == nullptr)
        return 3;
    RECT box;
    GetWindowRect(control, &box);
    MapWindowPoints(nullptr, FindShownDialog(title), (POINT *)&box, 2);
    printf("%ld %ld %ld %ld\n", box.left, box.top, box.right, box.bottom);
    return 0;
}

static int PostDialogCommand(const char *title, int id)
{
    HWND dialog = FindShownDialog(title);
    if (dialog == nullptr)
        return 3;
    return PostMessageA(dialog, WM_COMMAND, (WPARAM)id, 0) ? 0 : 1;
}

// The drop block lives in the program's memory; its address serves as the drop handle, as a
// fixed global block's does (DragFinish cannot free it, which does no harm). Sent, so the drop
// has been handled when the probe returns.
static int DropFiles(const char *title, int count, char **paths)
{
    HWND dialog = FindShownDialog(title);
    if (dialog == nullptr)
        return 3;
    size_t size = sizeof(DROPFILES) + 1;
    for (int i = 0; i < count; ++i)
        size += strlen(paths[i]) + 1;
    char *block = (char *)calloc(1, size);
    DROPFILES *header = (DROPFILES *)block;
    header->pFiles = sizeof(DROPFILES);
    char *text = block + sizeof(DROPFILES);
    for (int i = 0; i < count; ++i) {
        size_t length = strlen(paths[i]);
        memcpy(text, paths[i], length);
        text += length + 1;
    }
    RemoteBlock remote(dialog, size);
    bool written = remote.ok() && remote.Write(0, block, size);
    free(block);
    if (!written)
        return 1;
    SendMessageA(dialog, WM_DROPFILES, (WPARAM)remote.at(0), 0);
    return 0;
}

static BOOL CALLBACK CountTreeItems(HWND child, LPARAM lParam)
{
    char className[64] = "";
    GetClassNameA(child, className, sizeof className);
    if (strcmp(className, WC_TREEVIEWA) == 0)
        *(LRESULT *)lParam += SendMessageA(child, TVM_GETCOUNT, 0, 0);
    return TRUE;
}

static int WaitForWindowOfClass(const char *className, DWORD ms)
{
    for (DWORD waited = 0;; waited += 100) {
        HWND window = FindWindowA(className, nullptr);
        if (window != nullptr && IsWindowVisible(window)) {
            char title[kTextSize] = "";
            GetWindowTextA(window, title, sizeof title);
            LRESULT items = 0;
            EnumChildWindows(window, CountTreeItems, (LPARAM)&items);
            printf("%s\t%ld\n", title, (long)items);
            return 0;
        }
        if (waited >= ms)
            return 1;
        Sleep(100);
    }
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    const char *verb = argv[1];
    if (strcmp(verb, "wait") == 0 && argc == 3)
        return WaitForWindow((DWORD)atoi(argv[2]), true);
    if (strcmp(verb, "gone") == 0 && argc == 3)
        return WaitForWindow((DWORD)atoi(argv[2]), false);
    if (strcmp(verb, "dialog") == 0 && argc == 4)
        return WaitForDialog(argv[2], (DWORD)atoi(argv[3]));
    if (strcmp(verb, "handle") == 0 && argc == 3) {
        printf("%lu\n", (unsigned long)(ULONG_PTR)FindShownDialog(argv[2]));
        return 0;
    }
    if (strcmp(verb, "settext") == 0 && argc == 5)
        return SetDialogControlText(argv[2], atoi(argv[3]), argv[4]);
    if (strcmp(verb, "text") == 0 && argc == 4)
        return PrintDialogControlText(argv[2], atoi(argv[3]));
    if (strcmp(verb, "additem") == 0 && argc == 5)
        return AddPageItem(argv[2], atoi(argv[3]), argv[4]);
    if (strcmp(verb, "press") == 0 && argc == 4)
        return PressSheetButton(argv[2], atoi(argv[3]));
    if (strcmp(verb, "click") == 0 && argc == 4)
        return ClickDialogButton(argv[2], atoi(argv[3]));
    if (strcmp(verb, "choose") == 0 && argc == 5)
        return ChooseListEntry(argv[2], atoi(argv[3]), atoi(argv[4]));
    if (strcmp(verb, "page") == 0 && argc == 4)
        return ShowSheetPage(argv[2], atoi(argv[3]));
    if (strcmp(verb, "time") == 0 && argc == 6)
        return SetPickerTime(argv[2], atoi(argv[3]), atoi(argv[4]), atoi(argv[5]));
    if (strcmp(verb, "checked") == 0 && argc == 4)
        return PrintDialogControlChecked(argv[2], atoi(argv[3]));
    if (strcmp(verb, "enabled") == 0 && argc == 4)
        return PrintDialogControlEnabled(argv[2], atoi(argv[3]));
    if (strcmp(verb, "rect") == 0 && argc == 4)
        return PrintDialogControlRect(argv[2], atoi(argv[3]));
    if (strcmp(verb, "command") == 0 && argc == 4)
        return PostDialogCommand(argv[2], atoi(argv[3]));
    if (strcmp(verb, "drop") == 0 && argc >= 4)
        return DropFiles(argv[2], argc - 3, argv + 3);
    if (strcmp(verb, "window") == 0 && argc == 4)
        return WaitForWindowOfClass(argv[2], (DWORD)atoi(argv[3]));
    HWND window = FindMainWindow();
    if (window == nullptr)
        return 3;
    if (strcmp(verb, "post") == 0 && argc == 4)
        return PostMessageA(window, (UINT)atoi(argv[2]), (WPARAM)atoi(argv[3]), 0) ? 0 : 1;
    if (strcmp(verb, "columns") == 0)
        return PrintColumns(GetDlgItem(window, kListId));
    if (strcmp(verb, "rows") == 0 && argc == 3)
        return PrintRows(GetDlgItem(window, kListId), atoi(argv[2]));
    if (strcmp(verb, "select") == 0 && argc == 3)
        return SelectRow(GetDlgItem(window, kListId), atoi(argv[2]));
    if (strcmp(verb, "status") == 0)
        return PrintStatus(window);
    if (strcmp(verb, "toolbar") == 0)
        return PrintToolbar(window);
    return 2;
}
