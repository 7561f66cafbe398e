#include "GeneralPage.h"

#include <commctrl.h>
#include <prsht.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

#include "AllocationSeam.h"
#include "ConfigEditor.h"
#include "ConfigTable.h"
#include "DialogHelpers.h"
#include "DisplayFormats.h"
#include "EditorPage.h"
#include "ErrorReport.h"
#include "FileChoosers.h"
#include "GlobalSettings.h"
#include "LaterParts.h"
#include "LongPath.h"
#include "MsvcrtFormat.h"
#include "ResourceText.h"
#include "SingleInstance.h"
#include "SizeCalculation.h"
#include "TextHelpers.h"
#include "resource.h"

namespace {

const int kMaxSourcePath = 1023;
const int kPopupControls[] = {
    IDC_GENERAL_ENABLED, IDC_GENERAL_SOURCES, IDC_GENERAL_ADD_FILES, IDC_GENERAL_ADD_FOLDER,
    IDC_GENERAL_REMOVE, IDC_GENERAL_FILTER_OPTIONS, IDC_GENERAL_BROWSE, IDC_GENERAL_DESTINATION,
    IDC_GENERAL_DESCRIPTION, IDC_GENERAL_SIZE, IDC_GENERAL_FILE_COUNT, 0,
};
const EditorPageHelp kHelp = {IDS_HELPKEY_CFG_GENERAL, "CfgGeneral.txt", kPopupControls};

// Page state in GWLP_USERDATA.
const LONG_PTR kDragDropOn = 0x1;
const LONG_PTR kPageReady = 0x2;  // edits from here on are the user's

bool HasState(HWND page, LONG_PTR bit)
{
    return (GetWindowLongPtrA(page, GWLP_USERDATA) & bit) != 0;
}

void SetState(HWND page, LONG_PTR bit)
{
    SetWindowLongPtrA(page, GWLP_USERDATA, GetWindowLongPtrA(page, GWLP_USERDATA) | bit);
}

HWND SourceList(HWND page)
{
    return GetDlgItem(page, IDC_GENERAL_SOURCES);
}

// The entry's text when it fits the 1024-character buffer.
bool ReadListEntry(HWND list, int index, char *text)
{
    text[0] = '\0';
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, (WPARAM)index, 0);
    if (length < 0 || length >= 1024)
        return false;
    SendMessageA(list, LB_GETTEXT, (WPARAM)index, (LPARAM)text);
    return true;
}

void ForgetSourceSizes()
{
    for (int i = 0; i < editedConfig.sourceCount; ++i) {
        editedConfig.sources[i].sizeKnown = 0;
        editedConfig.sources[i].totalBytes = 0;
    }
}

void AddSourcePath(HWND page, char *path)
{
    ExpandToLongPathName(path, path);
    SendMessageA(page, WM_ADDITEM, 0, (LPARAM)path);
}

void OnGeneralInit(HWND page)
{
    CenterDialog(GetParent(page));
    SendDlgItemMessageA(page, IDC_GENERAL_DESCRIPTION, EM_LIMITTEXT, 127, 0);
    SetDlgItemTextA(page, IDC_GENERAL_DESCRIPTION, editedConfig.description);
    CheckDlgButton(page, IDC_GENERAL_ENABLED, (editedConfig.flags & Enabled) ? BST_CHECKED : BST_UNCHECKED);
    StopEditedConfigSize();
    for (int i = 0; i < editedConfig.sourceCount; ++i)
        SendMessageA(SourceList(page), LB_ADDSTRING, 0, (LPARAM)editedConfig.sources[i].path);
    ForgetSourceSizes();
    if (enableLua != 0 && !AllowDragDropMessages(page)) {
        ShowWindow(GetDlgItem(page, IDC_GENERAL_DRAGDROP_TIP), SW_HIDE);
    } else {
        DragAcceptFiles(page, TRUE);
        SetState(page, kDragDropOn);
    }
    StartEditedConfigSize(page);
    PostMessageA(page, WM_REFRESHSIZE, 0, 0);
    SetTimer(page, IDT_GENERAL_SIZE, 1000, nullptr);
    SendDlgItemMessageA(page, IDC_GENERAL_DESTINATION, EM_LIMITTEXT, 259, 0);
    SetDlgItemTextA(page, IDC_GENERAL_DESTINATION, editedConfig.destination);
    PostMessageA(page, WM_REFRESHSTATES, 0, 0);
    PostMessageA(page, WM_FITLISTWIDTH, 0, 0);
    SetState(page, kPageReady);
}

// The chooser's buffer holds one full path, or the folder followed by the names.
void AddChosenFiles(HWND page, const char *files, int firstName)
{
    size_t folderLength = strlen(files);
    if (folderLength > kMaxSourcePath)
        return;
    char path[1024];
    if (firstName >= 0 && (size_t)firstName <= folderLength) {
        lstrcpynA(path, files, sizeof path);
        AddSourcePath(page, path);
        return;
    }
    bool separated = folderLength > 0 && files[folderLength - 1] == '\\';
    const char *end = files + kSourceFileBufferSize;
    for (const char *name = files + folderLength + 1; name < end && *name != '\0';) {
        size_t nameLength = strnlen(name, (size_t)(end - name));
        if (folderLength + nameLength + 1 > kMaxSourcePath)
            break;
        FormatText(path, sizeof path, "%s%s%s", files, separated ? "" : "\\", name);
        AddSourcePath(page, path);
        name += nameLength + 1;
    }
}

void OnAddFiles(HWND page)
{
    char *files = (char *)AllocateZeroedBlock(1, kSourceFileBufferSize);
    if (files == nullptr) {
        MessageBoxFromResource(page, IDS_OUT_OF_MEMORY, MB_ICONWARNING);
        return;
    }
    int firstName = 0;
    if (ChooseSourceFiles(page, files, "Select File(s) for Backup", &firstName)) {
        files[kSourceFileBufferSize - 1] = '\0';
        files[kSourceFileBufferSize - 2] = '\0';
        StopEditedConfigSize();
        AddChosenFiles(page, files, firstName);
        StartEditedConfigSize(page);
    }
    free(files);
}

void OnAddFolder(HWND page)
{
    char path[1024];
    if (!ChooseFolder(page, path, "Select Folder for Backup"))
        return;
    StopEditedConfigSize();
    AddSourcePath(page, path);
    StartEditedConfigSize(page);
}

void RemoveSourcesNamed(const char *path)
{
    int kept = 0;
    for (int i = 0; i < editedConfig.sourceCount; ++i) {
        if (lstrcmpiA(editedConfig.sources[i].path, path) == 0)
            continue;
        if (kept != i)
            editedConfig.sources[kept] = editedConfig.sources[i];
        ++kept;
    }
    editedConfig.sourceCount = kept;
}

void OnRemove(HWND page)
{
    HWND list = SourceList(page);
    StopEditedConfigSize();
    for (;;) {
        int index = -1;
        if (SendMessageA(list, LB_GETSELITEMS, 1, (LPARAM)&index) < 1 || index < 0)
            break;
        char path[1024];
        ReadListEntry(list, index, path);
        SendMessageA(list, LB_DELETESTRING, (WPARAM)index, 0);
        PostMessageA(page, WM_FITLISTWIDTH, 0, 0);
        RemoveSourcesNamed(path);
    }
    StartEditedConfigSize(page);
    PostMessageA(page, WM_REFRESHSTATES, 0, 0);
}

void OnFilterOptions(HWND page)
{
    if (!OpenFilterOptions(page))
        return;
    StopEditedConfigSize();
    for (int i = 0; i < editedConfig.sourceCount; ++i)
        editedConfig.sources[i].sizeKnown = 0;
    StartEditedConfigSize(page);
    ResetEditedDateFilterCount();
}

void OnBrowseDestination(HWND page)
{
    char path[1024];
    if (ChooseFolder(page, path, "Select Destination Folder for Backup"))
        SetDlgItemTextA(page, IDC_GENERAL_DESTINATION, path);
}

void OnDropFiles(HWND page, HDROP drop)
{
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    if (count > 0) {
        StopEditedConfigSize();
        for (UINT i = 0; i < count; ++i) {
            char path[1026] = "";
            if (DragQueryFileA(drop, i, nullptr, 0) > 1024)
                continue;
            DragQueryFileA(drop, i, path, 1025);
            int wideLength = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
            wchar_t *wide = wideLength > 0 ? (wchar_t *)AllocateBlock((size_t)wideLength * sizeof(wchar_t)) : nullptr;
            if (wide == nullptr)
                break;
            MultiByteToWideChar(CP_ACP, 0, path, -1, wide, wideLength);
            WIN32_FIND_DATAW found;
            HANDLE search = FindFirstFileLong(wide, &found);
            free(wide);
            if (search == INVALID_HANDLE_VALUE)
                continue;
            FindClose(search);
            size_t length = strlen(path);
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && length > 0 && path[length - 1] != '\\') {
                path[length] = '\\';
                path[length + 1] = '\0';
            }
            if (strlen(path) <= kMaxSourcePath)
                AddSourcePath(page, path);
        }
        StartEditedConfigSize(page);
    }
    DragFinish(drop);
}

void OnAddItem(HWND page, const char *path)
{
    if (path == nullptr || strlen(path) > kMaxSourcePath)
        return;
    HWND list = SourceList(page);
    if (SendMessageA(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)path) != LB_ERR)
        return;
    StopEditedConfigSize();
    SourceItem *grown = (SourceItem *)ReallocateBlock(editedConfig.sources,
                                                      (size_t)(editedConfig.sourceCount + 1) * sizeof(SourceItem));
    if (grown == nullptr) {
        MessageBoxFromResource(page, IDS_OUT_OF_MEMORY, MB_ICONWARNING);
        // The copy's sources are dropped; the list says so too.
        editedConfig.sourceCount = 0;
        SendMessageA(list, LB_RESETCONTENT, 0, 0);
        PostMessageA(page, WM_REFRESHSTATES, 0, 0);
        return;
    }
    editedConfig.sources = grown;
    SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)path);
    SourceItem &added = editedConfig.sources[editedConfig.sourceCount];
    memset(&added, 0, sizeof added);
    lstrcpynA(added.path, path, sizeof added.path);
    ++editedConfig.sourceCount;
    ResetEditedDateFilterCount();
    PostMessageA(page, WM_FITLISTWIDTH, 0, 0);
    MarkPageChanged(page);
}

void SetTextIfChanged(HWND page, int id, const char *text)
{
    char shown[128] = "";
    GetDlgItemTextA(page, id, shown, sizeof shown);
    if (strcmp(shown, text) != 0)
        SetDlgItemTextA(page, id, text);
}

void OnRefreshSize(HWND page)
{
    char size[64], count[64], text[96];
    FormatConfigTotals(&editedConfig, size, sizeof size, count, sizeof count);
    FormatText(text, sizeof text, "Size: %s", size);
    SetTextIfChanged(page, IDC_GENERAL_SIZE, text);
    FormatText(text, sizeof text, "# Files: %s", count);
    SetTextIfChanged(page, IDC_GENERAL_FILE_COUNT, text);
}

void OnFitListWidth(HWND page)
{
    HWND list = SourceList(page);
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

INT_PTR OnGeneralApply(HWND page)
{
    char description[128] = "", destination[260] = "";
    GetDlgItemTextA(page, IDC_GENERAL_DESCRIPTION, description, sizeof description);
    GetDlgItemTextA(page, IDC_GENERAL_DESTINATION, destination, sizeof destination);
    bool enabled = IsDlgButtonChecked(page, IDC_GENERAL_ENABLED) == BST_CHECKED;
    char text[2300];
    int focus = CheckGeneralPage(enabled, description, destination, text, sizeof text);
    if (focus != 0)
        return RefusePageApply(page, text, focus > 0 ? focus : 0);
    return AcceptPageApply(page);
}

int OnGeneralCommand(HWND page, int id, int code)
{
    switch (id) {
    case IDC_GENERAL_ADD_FILES:
        OnAddFiles(page);
        return 1;
    case IDC_GENERAL_ADD_FOLDER:
        OnAddFolder(page);
        return 1;
    case IDC_GENERAL_REMOVE:
        if (code == BN_CLICKED)
            OnRemove(page);
        return 1;
    case IDC_GENERAL_FILTER_OPTIONS:
        if (code == BN_CLICKED)
            OnFilterOptions(page);
        return 1;
    case IDC_GENERAL_BROWSE:
        OnBrowseDestination(page);
        return 1;
    case IDC_GENERAL_DESCRIPTION:
    case IDC_GENERAL_DESTINATION:
        if (code == EN_CHANGE && HasState(page, kPageReady))
            MarkPageChanged(page);
        return 1;
    case IDC_GENERAL_ENABLED:
        if (code == BN_CLICKED)
            MarkPageChanged(page);
        return 1;
    case IDC_GENERAL_SOURCES:
        if (code == LBN_SELCHANGE)
            PostMessageA(page, WM_REFRESHSTATES, 0, 0);
        return 1;
    }
    return 0;
}

INT_PTR OnGeneralNotify(HWND page, const NMHDR *header)
{
    if (header->code == PSN_APPLY)
        return OnGeneralApply(page);
    return HandleCommonPageNotify(page, header, kHelp);
}

void OnGeneralDestroy(HWND page)
{
    KillTimer(page, IDT_GENERAL_SIZE);
    if (HasState(page, kDragDropOn))
        DragAcceptFiles(page, FALSE);
    SetWindowLongPtrA(page, GWLP_USERDATA, 0);
}

bool IsDriveLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The excluded item is a purely textual, case-insensitive prefix of the path.
bool IsPathPrefixOf(const char *item, const char *path)
{
    return item[0] != '\0' && FindNoCase(path, item) == path;
}

}  // namespace

int CheckGeneralPage(bool enabled, const char *description, const char *destination, char *text, size_t textSize)
{
    BackupConfig &c = editedConfig;
    if (c.sourceCount < 1) {
        LoadResourceText(IDS_NOTHING_TO_BACKUP, text, (int)textSize);
        return -1;
    }
    if (description[0] == '\0') {
        LoadResourceText(IDS_NEED_DESCRIPTION, text, (int)textSize);
        return IDC_GENERAL_DESCRIPTION;
    }
    if (destination[0] == '\0') {
        LoadResourceText(IDS_NEED_DESTINATION, text, (int)textSize);
        return IDC_GENERAL_BROWSE;
    }
    for (int s = 0; s < c.sourceCount; ++s) {
        for (int e = 0; e < c.excludedCount; ++e) {
            if (IsPathPrefixOf(c.excludedItems[e], c.sources[s].path)) {
                FormatText(text, textSize,
                           "Illegal excluded item in the filter options.\n\nExcluded Item: %s\n\nConflicts with source: %s",
                           c.excludedItems[e], c.sources[s].path);
                return IDC_GENERAL_SOURCES;
            }
        }
    }
    if (enabled)
        c.flags |= Enabled;
    else
        c.flags &= ~(uint32_t)Enabled;
    lstrcpynA(c.description, description, sizeof c.description);
    // Room for the ':' and '\' that may be added before the length is checked.
    char amended[262];
    lstrcpynA(amended, destination, 260);
    TrimLeadingWhitespace(amended);
    TrimTrailingWhitespace(amended);
    size_t length = strlen(amended);
    if (length == 1 && IsDriveLetter(amended[0]))
        amended[length++] = ':', amended[length] = '\0';
    if (length > 0 && amended[length - 1] != '\\')
        amended[length++] = '\\', amended[length] = '\0';
    if (length < sizeof c.destination)
        lstrcpynA(c.destination, amended, sizeof c.destination);
    if (length <= 2 || length >= sizeof c.destination) {
        FormatText(text, textSize, "The destination path is not valid: %s", amended);
        return IDC_GENERAL_BROWSE;
    }
    for (int s = 0; s < c.sourceCount; ++s) {
        if (FindNoCase(c.destination, c.sources[s].path) != nullptr) {
            FormatText(text, textSize,
                       "The destination path cannot be located within a backup source.\n\nSource: %s\nDestination: %s",
                       c.sources[s].path, c.destination);
            return IDC_GENERAL_BROWSE;
        }
    }
    return 0;
}

INT_PTR CALLBACK GeneralPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnGeneralInit(page);
        return TRUE;
    case WM_COMMAND:
        return OnGeneralCommand(page, LOWORD(wParam), HIWORD(wParam));
    case WM_NOTIFY:
        return OnGeneralNotify(page, reinterpret_cast<const NMHDR *>(lParam));
    case WM_TIMER:
        if (wParam != IDT_GENERAL_SIZE)
            return FALSE;
        PostMessageA(page, WM_REFRESHSIZE, 0, 0);
        return TRUE;
    case WM_DROPFILES:
        OnDropFiles(page, (HDROP)wParam);
        return TRUE;
    case WM_REFRESHSTATES:
        EnableWindow(GetDlgItem(page, IDC_GENERAL_REMOVE),
                     SendMessageA(SourceList(page), LB_GETSELCOUNT, 0, 0) > 0);
        return TRUE;
    case WM_ADDITEM:
        OnAddItem(page, reinterpret_cast<const char *>(lParam));
        return TRUE;
    case WM_REFRESHSIZE:
        OnRefreshSize(page);
        return TRUE;
    case WM_FITLISTWIDTH:
        OnFitListWidth(page);
        return TRUE;
    case WM_HELP:
        ShowPageHelp(page, reinterpret_cast<const HELPINFO *>(lParam), kHelp);
        return TRUE;
    case WM_DESTROY:
        OnGeneralDestroy(page);
        return FALSE;
    }
    return FALSE;
}
