// Dialog 149 "Filter Options". The lists live in their list boxes while the dialog is open;
// OK writes them into the configuration, Cancel leaves it as it was.
#include "FilterOptionsDialog.h"

#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

#include "AllocationSeam.h"
#include "CancelAndHelp.h"
#include "ConfigTable.h"
#include "DialogHelpers.h"
#include "EditorPage.h"
#include "ErrorReport.h"
#include "GlobalSettings.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "PathList.h"
#include "SizeCalculation.h"
#include "TextHelpers.h"
#include "resource.h"

namespace {

const int32_t kFilterBits = IncludeListedExtensions | SkipHidden | SkipSystem;
const int kPopupControls[] = {
    IDC_FILTER_REMOVE_EXTENSION, IDC_FILTER_REMOVE_EXCLUDED, IDC_FILTER_INCLUDE, IDC_FILTER_EXCLUDE,
    IDC_FILTER_EXTENSIONS, IDC_FILTER_ADD_EXTENSION, IDC_FILTER_EDIT_EXTENSION, IDC_FILTER_SKIP_HIDDEN,
    IDC_FILTER_SKIP_SYSTEM, IDC_FILTER_EXCLUDED, IDC_FILTER_EXCLUDE_FILES, IDC_FILTER_EXCLUDE_FOLDER, 0,
};
const EditorPageHelp kHelp = {IDS_HELPKEY_FILTER_OPTIONS, "FilterOptions.txt", kPopupControls};

// One open dialog's state, in GWLP_USERDATA.
struct FilterDialogState {
    BackupConfig *config;
    int filterChanged;
    bool dragDropOn;
};

FilterDialogState *StateOf(HWND dialog)
{
    return reinterpret_cast<FilterDialogState *>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
}

HWND Extensions(HWND dialog)
{
    return GetDlgItem(dialog, IDC_FILTER_EXTENSIONS);
}

HWND ExcludedItems(HWND dialog)
{
    return GetDlgItem(dialog, IDC_FILTER_EXCLUDED);
}

void OnFilterInit(HWND dialog, BackupConfig *config)
{
    FilterDialogState *state = new FilterDialogState{config, 0, false};
    SetWindowLongPtrA(dialog, GWLP_USERDATA, (LONG_PTR)state);
    CenterDialog(dialog);
    CheckRadioPair(dialog, IDC_FILTER_INCLUDE, IDC_FILTER_EXCLUDE, (config->filterFlags & IncludeListedExtensions) != 0);
    for (int i = 0; i < config->extensionCount; ++i) {
        char shown[9];
        FormatText(shown, sizeof shown, ".%.7s", config->extensions[i]);
        CharLowerA(shown);
        SendMessageA(Extensions(dialog), LB_ADDSTRING, 0, (LPARAM)shown);
    }
    CheckDlgButton(dialog, IDC_FILTER_SKIP_HIDDEN, (config->filterFlags & SkipHidden) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_FILTER_SKIP_SYSTEM, (config->filterFlags & SkipSystem) ? BST_CHECKED : BST_UNCHECKED);
    for (int i = 0; i < config->excludedCount; ++i) {
        char path[1024];
        lstrcpynA(path, config->excludedItems[i], sizeof path);
        SendMessageA(ExcludedItems(dialog), LB_ADDSTRING, 0, (LPARAM)path);
    }
    state->dragDropOn = AcceptDroppedFiles(dialog, IDC_FILTER_DRAGDROP_TIP);
    PostMessageA(dialog, WM_REFRESHSTATES, 0, 0);
    PostMessageA(dialog, WM_FITLISTWIDTH, 0, 0);
}

void OnFilterRefresh(HWND dialog)
{
    BOOL extension = SendMessageA(Extensions(dialog), LB_GETCURSEL, 0, 0) != LB_ERR;
    EnableWindow(GetDlgItem(dialog, IDC_FILTER_EDIT_EXTENSION), extension);
    EnableWindow(GetDlgItem(dialog, IDC_FILTER_REMOVE_EXTENSION), extension);
    EnableWindow(GetDlgItem(dialog, IDC_FILTER_REMOVE_EXCLUDED), SendMessageA(ExcludedItems(dialog), LB_GETSELCOUNT, 0, 0) > 0);
}

// Dialog 425 on `extension` (9 bytes); true when it returned a new one.
bool AskExtension(HWND dialog, char *extension)
{
    return OpenModalDialog(IDD_EXTENSION, dialog, ExtensionDialogProc, (LPARAM)extension) == 1;
}

void OnAddExtension(HWND dialog)
{
    char extension[9] = "";
    if (!AskExtension(dialog, extension))
        return;
    SendMessageA(Extensions(dialog), LB_ADDSTRING, 0, (LPARAM)extension);
    StateOf(dialog)->filterChanged = 1;
    PostMessageA(dialog, WM_REFRESHSTATES, 0, 0);
}

void OnEditExtension(HWND dialog)
{
    HWND list = Extensions(dialog);
    int index = (int)SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR || SendMessageA(list, LB_GETTEXTLEN, (WPARAM)index, 0) > 8)
        return;
    char extension[9] = "";
    SendMessageA(list, LB_GETTEXT, (WPARAM)index, (LPARAM)extension);
    if (!AskExtension(dialog, extension))
        return;
    SendMessageA(list, LB_DELETESTRING, (WPARAM)index, 0);
    SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)extension);
    StateOf(dialog)->filterChanged = 1;
    PostMessageA(dialog, WM_REFRESHSTATES, 0, 0);
}

void OnRemoveExtension(HWND dialog)
{
    HWND list = Extensions(dialog);
    int index = (int)SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR)
        return;
    SendMessageA(list, LB_DELETESTRING, (WPARAM)index, 0);
    StateOf(dialog)->filterChanged = 1;
    PostMessageA(dialog, WM_REFRESHSTATES, 0, 0);
}

void OnRemoveExcluded(HWND dialog)
{
    HWND list = ExcludedItems(dialog);
    for (;;) {
        int index = -1;
        if (SendMessageA(list, LB_GETSELITEMS, 1, (LPARAM)&index) < 1 || index < 0)
            break;
        SendMessageA(list, LB_DELETESTRING, (WPARAM)index, 0);
        PostMessageA(dialog, WM_FITLISTWIDTH, 0, 0);
        StateOf(dialog)->filterChanged = 1;
    }
    PostMessageA(dialog, WM_REFRESHSTATES, 0, 0);
}

void OnAddExcluded(HWND dialog, const char *path)
{
    FilterDialogState *state = StateOf(dialog);
    if (state == nullptr || path == nullptr || strlen(path) > (size_t)kMaxListPath)
        return;
    HWND list = ExcludedItems(dialog);
    if (SendMessageA(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)path) != LB_ERR)
        return;
    switch (PlaceExcludedItem(*state->config, path)) {
    case ExcludedItemPlace::Refused:
        if (gSettings.warnBadExclusions)
            OpenModalDialog(IDD_ILLEGAL_EXCLUDED_ITEM, dialog, IllegalExcludedItemDialogProc, (LPARAM)path);
        return;
    case ExcludedItemPlace::OutsideSources:
        if (gSettings.warnBadExclusions &&
            OpenModalDialog(IDD_EXCLUDED_OUTSIDE_SOURCE, dialog, ExcludedOutsideSourceDialogProc, (LPARAM)path) != 1)
            return;
        break;
    case ExcludedItemPlace::InsideSource:
        break;
    }
    SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)path);
    PostMessageA(dialog, WM_FITLISTWIDTH, 0, 0);
    state->filterChanged = 1;
}

// OK's first check: no excluded item may be a source or lie above one.
bool RefuseIllegalItems(HWND dialog, const BackupConfig &config)
{
    HWND list = ExcludedItems(dialog);
    int count = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
        char item[1024];
        if (!ReadListEntry(list, i, item))
            continue;
        for (int s = 0; s < config.sourceCount; ++s) {
            if (!IsPathPrefixOf(item, config.sources[s].path))
                continue;
            char text[2200];
            FormatText(text, sizeof text, "Illegal excluded item.\n\nExcluded Item: %s\n\nConflicts with source: %s", item,
                       config.sources[s].path);
            ShowMessageBox(dialog, text, kProductName, MB_OK);
            SetFocus(list);
            return true;
        }
    }
    return false;
}

// New arrays from the two lists; false when memory ran out (then nothing was allocated).
bool ReadFilterLists(HWND dialog, ExtensionEntry **extensions, int32_t *extensionCount, ExcludedEntry **excluded,
                     int32_t *excludedCount)
{
    int extensionItems = (int)SendMessageA(Extensions(dialog), LB_GETCOUNT, 0, 0);
    int excludedItems = (int)SendMessageA(ExcludedItems(dialog), LB_GETCOUNT, 0, 0);
    extensionItems = extensionItems > 0 ? extensionItems : 0;
    excludedItems = excludedItems > 0 ? excludedItems : 0;
    // An empty list keeps a block of one byte, as every record's arrays do.
    *extensions = (ExtensionEntry *)AllocateZeroedBlock(extensionItems > 0 ? (size_t)extensionItems : 1,
                                                        sizeof(ExtensionEntry));
    *excluded = (ExcludedEntry *)AllocateZeroedBlock(excludedItems > 0 ? (size_t)excludedItems : 1,
                                                     sizeof(ExcludedEntry));
    if (*extensions == nullptr || *excluded == nullptr) {
        free(*extensions);
        free(*excluded);
        *extensions = nullptr;
        *excluded = nullptr;
        return false;
    }
    for (int i = 0; i < extensionItems; ++i) {
        char text[1024];
        ReadListEntry(Extensions(dialog), i, text);
        if (text[0] == '.')
            DeleteFirstChar(text);
        lstrcpynA((*extensions)[i], text, sizeof(ExtensionEntry));
    }
    for (int i = 0; i < excludedItems; ++i)
        ReadListEntry(ExcludedItems(dialog), i, (*excluded)[i]);
    *extensionCount = extensionItems;
    *excludedCount = excludedItems;
    return true;
}

void OnFilterOk(HWND dialog)
{
    FilterDialogState *state = StateOf(dialog);
    BackupConfig &config = *state->config;
    if (RefuseIllegalItems(dialog, config))
        return;
    int32_t flags = config.filterFlags & ~kFilterBits;
    if (IsBoxChecked(dialog, IDC_FILTER_INCLUDE))
        flags |= IncludeListedExtensions;
    if (IsBoxChecked(dialog, IDC_FILTER_SKIP_HIDDEN))
        flags |= SkipHidden;
    if (IsBoxChecked(dialog, IDC_FILTER_SKIP_SYSTEM))
        flags |= SkipSystem;
    if (flags != config.filterFlags)
        state->filterChanged = 1;
    if (state->filterChanged) {
        ExtensionEntry *extensions = nullptr;
        ExcludedEntry *excluded = nullptr;
        int32_t extensionCount = 0, excludedCount = 0;
        // A failed allocation keeps the configuration's arrays, counts and flags as they were.
        if (!ReadFilterLists(dialog, &extensions, &extensionCount, &excluded, &excludedCount)) {
            MessageBoxFromResource(dialog, IDS_OUT_OF_MEMORY, MB_ICONWARNING);
            return;
        }
        // The edited configuration's size thread walks these arrays.
        if (&config == &editedConfig)
            StopEditedConfigSize();
        free(config.extensions);
        free(config.excludedItems);
        config.extensions = extensions;
        config.extensionCount = extensionCount;
        config.excludedItems = excluded;
        config.excludedCount = excludedCount;
        config.filterFlags = flags;
    }
    EndDialog(dialog, state->filterChanged);
}

INT_PTR OnFilterCommand(HWND dialog, int id, int code)
{
    switch (id) {
    case IDOK:
        OnFilterOk(dialog);
        return TRUE;
    case IDC_FILTER_ADD_EXTENSION:
        OnAddExtension(dialog);
        return TRUE;
    case IDC_FILTER_EDIT_EXTENSION:
        OnEditExtension(dialog);
        return TRUE;
    case IDC_FILTER_REMOVE_EXTENSION:
        OnRemoveExtension(dialog);
        return TRUE;
    case IDC_FILTER_EXCLUDE_FILES:
        ChooseFilesToAdd(dialog, "Select File(s) to Exclude", false);
        return TRUE;
    case IDC_FILTER_EXCLUDE_FOLDER:
        ChooseFolderToAdd(dialog, "Select Folder to Exclude", false);
        return TRUE;
    case IDC_FILTER_REMOVE_EXCLUDED:
        OnRemoveExcluded(dialog);
        return TRUE;
    case IDC_FILTER_EXTENSIONS:
    case IDC_FILTER_EXCLUDED:
        if (code == LBN_SELCHANGE)
            PostMessageA(dialog, WM_REFRESHSTATES, 0, 0);
        return TRUE;
    }
    return FALSE;
}

void OnFilterDestroy(HWND dialog)
{
    FilterDialogState *state = StateOf(dialog);
    if (state != nullptr && state->dragDropOn)
        DragAcceptFiles(dialog, FALSE);
    SetWindowLongPtrA(dialog, GWLP_USERDATA, 0);
    delete state;
}

}  // namespace

ExcludedItemPlace PlaceExcludedItem(const BackupConfig &config, const char *item)
{
    bool insideSource = false;
    for (int s = 0; s < config.sourceCount; ++s) {
        if (IsPathPrefixOf(item, config.sources[s].path))
            return ExcludedItemPlace::Refused;
        if (IsPathPrefixOf(config.sources[s].path, item))
            insideSource = true;
    }
    return insideSource ? ExcludedItemPlace::InsideSource : ExcludedItemPlace::OutsideSources;
}

int OpenFilterOptions(HWND owner)
{
    return OpenModalDialog(IDD_FILTER_OPTIONS, owner, FilterOptionsDialogProc, (LPARAM)&editedConfig) == 1 ? 1 : 0;
}

INT_PTR CALLBACK FilterOptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (AnswerCancelAndHelp(dialog, message, wParam, lParam, IDC_FILTER_HELP, kHelp))
        return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        OnFilterInit(dialog, reinterpret_cast<BackupConfig *>(lParam));
        return TRUE;
    case WM_COMMAND:
        return OnFilterCommand(dialog, LOWORD(wParam), HIWORD(wParam));
    case WM_REFRESHSTATES:
        OnFilterRefresh(dialog);
        return TRUE;
    case WM_ADDITEM:
        OnAddExcluded(dialog, reinterpret_cast<const char *>(lParam));
        return TRUE;
    case WM_FITLISTWIDTH:
        FitListHorizontalExtent(ExcludedItems(dialog));
        return TRUE;
    case WM_DROPFILES:
        AddDroppedFiles(dialog, (HDROP)wParam, false);
        return TRUE;
    case WM_DESTROY:
        OnFilterDestroy(dialog);
        return FALSE;
    }
    return FALSE;
}
