#include "PathList.h"

#include <stdlib.h>
#include <string.h>

#include "AllocationSeam.h"
#include "ErrorReport.h"
#include "FileChoosers.h"
#include "GlobalSettings.h"
#include "LongPath.h"
#include "MsvcrtFormat.h"
#include "SizeCalculation.h"
#include "resource.h"

namespace {

// Lets the drop messages through the user-account control's filter of this window.
bool AllowDragDropMessages(HWND window)
{
    typedef BOOL(WINAPI * ChangeFilterEx)(HWND, UINT, DWORD, void *);
    ChangeFilterEx change =
        (ChangeFilterEx)(void *)GetProcAddress(GetModuleHandleA("user32.dll"), "ChangeWindowMessageFilterEx");
    if (change == nullptr)
        return false;
    const UINT messages[] = {WM_DROPFILES, WM_COPYDATA, 0x49};
    for (UINT message : messages) {
        DWORD status[2] = {8, 0};  // CHANGEFILTERSTRUCT: size, then the filter's answer
        if (!change(window, message, 1 /* MSGFLT_ALLOW */, status))
            return false;
    }
    return true;
}

void SendPath(HWND dialog, char *path)
{
    ExpandToLongPathName(path, path);
    SendMessageA(dialog, WM_ADDITEM, 0, (LPARAM)path);
}

// The dropped path when it exists, a folder with its trailing '\'; 0 when it does not exist,
// -1 when memory ran out (the walk ends).
int ReadDroppedPath(HDROP drop, UINT index, char *path)
{
    path[0] = '\0';
    if (DragQueryFileA(drop, index, nullptr, 0) > 1024)
        return 0;
    DragQueryFileA(drop, index, path, 1025);
    int wideLength = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    wchar_t *wide = wideLength > 0 ? (wchar_t *)AllocateBlock((size_t)wideLength * sizeof(wchar_t)) : nullptr;
    if (wide == nullptr)
        return -1;
    MultiByteToWideChar(CP_ACP, 0, path, -1, wide, wideLength);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileLong(wide, &found);
    free(wide);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    size_t length = strlen(path);
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && length > 0 && path[length - 1] != '\\') {
        path[length] = '\\';
        path[length + 1] = '\0';
    }
    return strlen(path) <= (size_t)kMaxListPath ? 1 : 0;
}

}  // namespace

bool ReadListEntry(HWND list, int index, char *text)
{
    text[0] = '\0';
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, (WPARAM)index, 0);
    if (length < 0 || length >= 1024)
        return false;
    SendMessageA(list, LB_GETTEXT, (WPARAM)index, (LPARAM)text);
    return true;
}

void FitListHorizontalExtent(HWND list)
{
    RECT box;
    GetWindowRect(list, &box);
    int width = box.right - box.left - 2 * GetSystemMetrics(SM_CXBORDER) - 7;
    if (GetWindowLongA(list, GWL_STYLE) & WS_VSCROLL)
        width -= GetSystemMetrics(SM_CXVSCROLL);
    HDC dc = GetDC(list);
    HGDIOBJ previous = SelectObject(dc, (HGDIOBJ)SendMessageA(list, WM_GETFONT, 0, 0));
    int widest = 0;
    int count = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
        char text[1024];
        if (!ReadListEntry(list, i, text))
            continue;
        SIZE extent;
        if (GetTextExtentPoint32A(dc, text, (int)strlen(text), &extent) && extent.cx > widest)
            widest = extent.cx;
    }
    SelectObject(dc, previous);
    ReleaseDC(list, dc);
    int fitted = widest + 5 > width ? widest + 5 : width;
    SendMessageA(list, LB_SETHORIZONTALEXTENT, (WPARAM)fitted, 0);
}

void AddChosenFiles(HWND dialog, const char *files, int firstName)
{
    size_t folderLength = strlen(files);
    if (folderLength > (size_t)kMaxListPath)
        return;
    char path[1024];
    if (firstName >= 0 && (size_t)firstName <= folderLength) {
        lstrcpynA(path, files, sizeof path);
        SendPath(dialog, path);
        return;
    }
    bool separated = folderLength > 0 && files[folderLength - 1] == '\\';
    const char *end = files + kSourceFileBufferSize;
    for (const char *name = files + folderLength + 1; name < end && *name != '\0';) {
        size_t nameLength = strnlen(name, (size_t)(end - name));
        if (folderLength + nameLength + 1 > (size_t)kMaxListPath)
            break;
        FormatText(path, sizeof path, "%s%s%s", files, separated ? "" : "\\", name);
        SendPath(dialog, path);
        name += nameLength + 1;
    }
}

bool AcceptDroppedFiles(HWND dialog, int tipId)
{
    if (enableLua != 0 && !AllowDragDropMessages(dialog)) {
        ShowWindow(GetDlgItem(dialog, tipId), SW_HIDE);
        return false;
    }
    DragAcceptFiles(dialog, TRUE);
    return true;
}

void ChooseFilesToAdd(HWND dialog, const char *title, bool stopSizes)
{
    char *files = (char *)AllocateZeroedBlock(1, kSourceFileBufferSize);
    if (files == nullptr) {
        MessageBoxFromResource(dialog, IDS_OUT_OF_MEMORY, MB_ICONWARNING);
        return;
    }
    int firstName = 0;
    if (ChooseSourceFiles(dialog, files, title, &firstName)) {
        files[kSourceFileBufferSize - 1] = '\0';
        files[kSourceFileBufferSize - 2] = '\0';
        if (stopSizes)
            StopEditedConfigSize();
        AddChosenFiles(dialog, files, firstName);
        if (stopSizes)
            StartEditedConfigSize(dialog);
    }
    free(files);
}

void ChooseFolderToAdd(HWND dialog, const char *title, bool stopSizes)
{
    char path[1024];
    if (!ChooseFolder(dialog, path, title))
        return;
    if (stopSizes)
        StopEditedConfigSize();
    SendPath(dialog, path);
    if (stopSizes)
        StartEditedConfigSize(dialog);
}

void AddDroppedFiles(HWND dialog, HDROP drop, bool stopSizes)
{
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    if (count > 0) {
        if (stopSizes)
            StopEditedConfigSize();
        for (UINT i = 0; i < count; ++i) {
            char path[1026];
            int found = ReadDroppedPath(drop, i, path);
            if (found < 0)
                break;
            if (found > 0)
                SendPath(dialog, path);
        }
        if (stopSizes)
            StartEditedConfigSize(dialog);
    }
    DragFinish(drop);
}
