#include "FileChoosers.h"

#include <commdlg.h>
#include <string.h>

#include "GlobalSettings.h"

namespace {

const char kDirectorySection[] = "dirloc";
const char kLastFileAdd[] = "lastfileadd";

const CommonDialogApi systemDialogs = {GetOpenFileNameA, SHBrowseForFolderA, SHGetPathFromIDListA};
const CommonDialogApi *dialogs = &systemDialogs;

void FreeItemList(PIDLIST_ABSOLUTE items)
{
    IMalloc *allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator != nullptr) {
        allocator->Free(items);
        allocator->Release();
    }
}

// The chosen file's folder: the path is cut at the separator before its last name when that
// name is the title, so C:\Data\a.txt gives C:\Data, C:\Data\Data gives C:\Data and a root
// keeps its separator (C:\a.txt gives C:\). False when the path does not end in the title.
bool CutChosenTitle(char *path, const char *title)
{
    char *separator = strrchr(path, '\\');
    if (title[0] == '\0' || separator == nullptr || lstrcmpiA(separator + 1, title) != 0)
        return false;
    bool root = separator == path + 2 && path[1] == ':';
    separator[root ? 1 : 0] = '\0';
    return true;
}

}  // namespace

int ChooseSourceFiles(HWND owner, char *files, const char *title, int *firstName)
{
    char initialFolder[1024];
    ReadSettingString(kDirectorySection, kLastFileAdd, initialFolder, "", sizeof initialFolder);
    char fileTitle[1024] = "";
    OPENFILENAMEA request;
    memset(&request, 0, sizeof request);
    request.lStructSize = sizeof request;
    request.hwndOwner = owner;
    request.nFilterIndex = 1;
    request.lpstrFile = files;
    request.nMaxFile = kSourceFileBufferSize;
    request.lpstrFileTitle = fileTitle;
    request.nMaxFileTitle = sizeof fileTitle;
    request.lpstrInitialDir = initialFolder;
    request.lpstrTitle = title;
    request.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT;
    int chosen = dialogs->getOpenFileName(&request);
    if (chosen) {
        char folder[1024];
        lstrcpynA(folder, files, sizeof folder);
        if (CutChosenTitle(folder, fileTitle))
            WriteSettingString(kDirectorySection, kLastFileAdd, folder);
    }
    *firstName = request.nFileOffset;
    return chosen;
}

int ChooseFileInFolder(HWND owner, char *path, const char *filter, const char *title, char *folder)
{
    path[0] = '\0';
    OPENFILENAMEA request;
    memset(&request, 0, sizeof request);
    request.lStructSize = sizeof request;
    request.hwndOwner = owner;
    request.lpstrFilter = filter;
    request.nFilterIndex = 1;
    request.lpstrFile = path;
    request.nMaxFile = MAX_PATH;
    request.lpstrInitialDir = folder;
    request.lpstrTitle = title;
    request.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    int chosen = dialogs->getOpenFileName(&request);
    if (chosen && strlen(path) < MAX_PATH) {
        const char *slash = strrchr(path, '\\');
        if (slash != nullptr)
            lstrcpynA(folder, path, (int)(slash - path) + 2);
    }
    return chosen;
}

int ChooseProgramFile(HWND owner, char *path)
{
    return ChooseFileInFolder(owner, path, "Programs\0*.exe;*.bat;*.com\0All (*.*)\0*.*\0", "Browse for Program",
                              gSettings.programFolder);
}

int ChooseFolder(HWND owner, char *path, const char *title)
{
    BROWSEINFOA request;
    memset(&request, 0, sizeof request);
    request.hwndOwner = owner;
    request.pszDisplayName = path;
    request.lpszTitle = title;
    request.ulFlags = BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
    PIDLIST_ABSOLUTE items = dialogs->browseForFolder(&request);
    if (items == nullptr)
        return 0;
    int chosen = 0;
    if (dialogs->getPathFromIdList(items, path) && path[0] != '\0') {
        size_t length = strlen(path);
        if (path[length - 1] != '\\' && length + 1 < 1024) {
            path[length] = '\\';
            path[length + 1] = '\0';
        }
        chosen = 1;
    }
    FreeItemList(items);
    return chosen;
}

void SetCommonDialogApiForTesting(const CommonDialogApi *api)
{
    dialogs = api != nullptr ? api : &systemDialogs;
}
