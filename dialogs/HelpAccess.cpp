#include "HelpAccess.h"

#include <htmlhelp.h>
#include <string.h>

#include "ErrorReport.h"
#include "MsvcrtFormat.h"
#include "ResourceText.h"
#include "resource.h"

namespace {

const char kHelpFileName[] = "Korrin.chm";
const char kHtmlHelpClassKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
const int kHtmlHelpOrdinal = 14;

typedef HWND(WINAPI *HtmlHelpEntry)(HWND, LPCSTR, UINT, DWORD_PTR);

HMODULE htmlHelpModule = nullptr;
HtmlHelpEntry htmlHelpEntry = nullptr;
int htmlHelpFailed = 0;
HelpLibraryLoader loadHelpLibrary = nullptr;

HMODULE LoadHelpLibrary(const char *path)
{
    return loadHelpLibrary != nullptr ? loadHelpLibrary(path) : LoadLibraryA(path);
}

// The program's folder with its trailing backslash, into MAX_PATH characters; says so when the
// module path has no backslash.
bool GetProgramFolder(HWND owner, char *folder)
{
    DWORD length = GetModuleFileNameA(nullptr, folder, MAX_PATH);
    if (length >= MAX_PATH)
        folder[MAX_PATH - 1] = '\0';
    char *slash = strrchr(folder, '\\');
    if (length == 0 || slash == nullptr) {
        MessageBoxFromResource(owner, IDS_NO_PROGRAM_FOLDER, MB_ICONWARNING);
        return false;
    }
    slash[1] = '\0';
    return true;
}

bool LoadHtmlHelp()
{
    if (htmlHelpModule == nullptr) {
        char path[MAX_PATH];
        if (FindHtmlHelpControl(path))
            htmlHelpModule = LoadHelpLibrary(path);
        if (htmlHelpModule == nullptr)
            htmlHelpModule = LoadHelpLibrary("hhctrl.ocx");
        if (htmlHelpModule == nullptr) {
            htmlHelpFailed = 1;
            return false;
        }
    }
    if (htmlHelpEntry == nullptr) {
        htmlHelpEntry = (HtmlHelpEntry)(void *)GetProcAddress(htmlHelpModule, MAKEINTRESOURCEA(kHtmlHelpOrdinal));
        if (htmlHelpEntry == nullptr) {
            htmlHelpFailed = 1;
            return false;
        }
    }
    return true;
}

}  // namespace

int FindHtmlHelpControl(char *path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kHtmlHelpClassKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    char value[MAX_PATH];
    DWORD size = sizeof value;
    DWORD type = 0;
    int found = 0;
    if (RegQueryValueExA(key, nullptr, nullptr, &type, (BYTE *)value, &size) == ERROR_SUCCESS) {
        // The stored text need not be terminated.
        value[size < sizeof value ? size : sizeof value - 1] = '\0';
        value[sizeof value - 1] = '\0';
        if (type == REG_EXPAND_SZ) {
            DWORD needed = ExpandEnvironmentStringsA(value, path, MAX_PATH);
            found = needed != 0 && needed <= MAX_PATH;
        } else if (strlen(value) < MAX_PATH) {
            strcpy(path, value);
            found = 1;
        }
    }
    RegCloseKey(key);
    return found;
}

INT_PTR CallHtmlHelp(HWND window, const char *file, UINT command, DWORD_PTR data)
{
    if (htmlHelpFailed != 0 || !LoadHtmlHelp())
        return 0;
    return (INT_PTR)htmlHelpEntry(window, file, command, data);
}

int ShowHelpTopic(HWND owner, int keywordId)
{
    char folder[MAX_PATH];
    if (!GetProgramFolder(owner, folder))
        return 0;
    char keyword[256];
    LoadResourceText((UINT)keywordId, keyword, sizeof keyword);
    char path[MAX_PATH + 32];
    FormatText(path, sizeof path, "%s%s>mywin", folder, kHelpFileName);
    CallHtmlHelp(owner, path, HH_DISPLAY_TOPIC, 0);
    HH_AKLINK link;
    memset(&link, 0, sizeof link);
    link.cbStruct = sizeof link;
    link.pszKeywords = keyword;
    link.fIndexOnFail = TRUE;
    FormatText(path, sizeof path, "%s%s", folder, kHelpFileName);
    CallHtmlHelp(owner, path, HH_KEYWORD_LOOKUP, (DWORD_PTR)&link);
    return 1;
}

void ShowControlHelpPopup(HWND dialog, int controlId, const char *popupFile)
{
    char folder[MAX_PATH];
    if (!GetProgramFolder(dialog, folder))
        return;
    RECT box = {0, 0, 0, 0};
    GetWindowRect(GetDlgItem(dialog, controlId), &box);
    HH_POPUP popup;
    memset(&popup, 0, sizeof popup);
    popup.cbStruct = sizeof popup;
    popup.idString = (UINT)controlId;
    popup.pszText = "";
    popup.pt.x = box.left + (box.right - box.left) / 2;
    popup.pt.y = box.top + (box.bottom - box.top) / 2;
    popup.clrForeground = (COLORREF)-1;
    popup.clrBackground = (COLORREF)-1;
    popup.rcMargins.left = -1;
    popup.rcMargins.top = -1;
    popup.rcMargins.right = -1;
    popup.rcMargins.bottom = -1;
    popup.pszFont = "Verdana, 8";
    char path[MAX_PATH + 300];
    FormatText(path, sizeof path, "%s%s::/popups\\%s", folder, kHelpFileName, popupFile);
    CallHtmlHelp(dialog, path, HH_DISPLAY_TEXT_POPUP, (DWORD_PTR)&popup);
}

void SetHelpLibraryLoaderForTesting(HelpLibraryLoader loader)
{
    loadHelpLibrary = loader;
}

void ResetHtmlHelpForTesting()
{
    htmlHelpModule = nullptr;
    htmlHelpEntry = nullptr;
    htmlHelpFailed = 0;
}
