#include "GeneralPage.h"

#include <commctrl.h>
#include <prsht.h>
#include <shellapi.h>
#include <string.h>

#include "AllocationSeam.h"
#include "ConfigEditor.h"
#include "ConfigTable.h"
#include "DialogHelpers.h"
#include "DisplayFormats.h"
#include "EditorPage.h"
#include "ErrorReport.h"
#include "FileChoosers.h"
#include "FilterOptionsDialog.h"
#include "MsvcrtFormat.h"
#include "PathList.h"
#include "ResourceText.h"
#include "SizeCalculation.h"
#include "TextHelpers.h"
#include "resource.h"

namespace {

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

void ForgetSourceSizes()
{
    for (int i = 0; i < editedConfig.sourceCount; ++i) {
        editedConfig.sources[i].sizeKnown = 0;
        editedConfig.sources[i].totalBytes = 0;
    }
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
    if (AcceptDroppedFiles(page, IDC_GENERAL_DRAGDROP_TIP))
        SetState(page, kDragDropOn);
    StartEditedConfigSize(page);
    PostMessageA(page, WM_REFRESHSIZE, 0, 0);
    SetTimer(page, IDT_GENERAL_SIZE, 1000, nullptr);
    SendDlgItemMessageA(page, IDC_GENERAL_DESTINATION, EM_LIMITTEXT, 259, 0);
    SetDlgItemTextA(page, IDC_GENERAL_DESTINATION, editedConfig.destination);
    PostMessageA(page, WM_REFRESHSTATES, 0, 0);
    PostMessageA(page, WM_FITLISTWIDTH, 0, 0);
    SetState(page, kPageReady);
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

void OnAddItem(HWND page, const char *path)
{
    if (path == nullptr || strlen(path) > kMaxListPath)
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
        ChooseFilesToAdd(page, "Select File(s) for Backup", true);
        return 1;
    case IDC_GENERAL_ADD_FOLDER:
        ChooseFolderToAdd(page, "Select Folder for Backup", true);
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
    if (!IsOwnFolderName(description)) {
        FormatText(text, textSize,
                   "The description cannot name a folder of its own: %s\n\nThe backup is kept in a folder named after "
                   "the description; \".\" or \"..\", or a name that ends in a dot or a space, would name another "
                   "folder.",
                   description);
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
        if (IsApplyNotification(lParam))
            return OnGeneralApply(page);
        break;
    case WM_TIMER:
        if (wParam != IDT_GENERAL_SIZE)
            return FALSE;
        PostMessageA(page, WM_REFRESHSIZE, 0, 0);
        return TRUE;
    case WM_DROPFILES:
        AddDroppedFiles(page, (HDROP)wParam, true);
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
        FitListHorizontalExtent(SourceList(page));
        return TRUE;
    case WM_DESTROY:
        OnGeneralDestroy(page);
        return FALSE;
    }
    return AnswerCommonPageMessage(page, message, lParam, kHelp);
}
