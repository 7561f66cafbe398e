#include "Shortcuts.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <string.h>

#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "TextHelpers.h"

namespace {

int GetProgramPath(char *path, DWORD size)
{
    DWORD length = GetModuleFileNameA(nullptr, path, size);
    return length > 0 && length < size;
}

int GetShellFolder(int folder, char *path)
{
    return SUCCEEDED(SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path)) && path[0] != '\0';
}

// The description without the characters a file name cannot hold.
void MakeLinkName(const char *description, char *name, int size)
{
    wchar_t wide[256];
    wchar_t clean[256];
    if (MultiByteToWideChar(CP_ACP, 0, description, -1, wide, 256) == 0)
        wide[0] = L'\0';
    SanitizeFileNameW(clean, 256, wide);
    if (WideCharToMultiByte(CP_ACP, 0, clean, -1, name, size, nullptr, nullptr) == 0)
        name[0] = '\0';
}

}  // namespace

HRESULT WriteShellLink(const char *target, HWND owner, const char *linkPath, const char *description,
                       const char *arguments)
{
    IShellLinkA *link = nullptr;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&link);
    if (FAILED(result))
        return result;
    IPersistFile *file = nullptr;
    result = link->QueryInterface(IID_IPersistFile, (void **)&file);
    if (FAILED(result)) {
        link->Release();
        return result;
    }
    wchar_t widePath[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH) == 0)
        widePath[0] = L'\0';
    if (SUCCEEDED(file->Load(widePath, STGM_READ)))
        link->Resolve(owner, SLR_ANY_MATCH);
    link->SetPath(target);
    link->SetDescription(description);
    link->SetArguments(arguments);
    result = file->Save(widePath, TRUE);
    file->Release();
    link->Release();
    return result;
}

int CreateDesktopShortcut(HWND owner, int index)
{
    if (index < 0 || index >= configTable.configCount)
        return 0;
    const BackupConfig *config = ConfigAt(index);
    char arguments[100];
    FormatText(arguments, sizeof(arguments), "/exitwhendone /run=%d", config->uniqueId);
    char target[MAX_PATH];
    char desktop[MAX_PATH];
    if (!GetProgramPath(target, sizeof(target)) || !GetShellFolder(CSIDL_DESKTOP, desktop))
        return 0;
    char name[sizeof(config->description)];
    MakeLinkName(config->description, name, sizeof(name));
    if (strlen(desktop) + strlen(name) + 5 > 259) {
        ShowMessageBox(owner, "Path too long, shorten description name", kProductName, MB_OK);
        return 0;
    }
    char linkPath[MAX_PATH];
    FormatText(linkPath, sizeof(linkPath), "%s\\%s.LNK", desktop, name);
    return SUCCEEDED(WriteShellLink(target, owner, linkPath, name, arguments)) ? 1 : 0;
}

int UpdateStartupShortcut(HWND owner)
{
    char target[MAX_PATH];
    char startup[MAX_PATH];
    if (!GetProgramPath(target, sizeof(target)) || !GetShellFolder(CSIDL_STARTUP, startup))
        return 0;
    char linkPath[MAX_PATH + 16];
    if (FormatText(linkPath, sizeof(linkPath), "%s\\Velloran.lnk", startup) < 0)
        return 0;
    if (gSettings.inStartup)
        return SUCCEEDED(WriteShellLink(target, owner, linkPath, kProductName, "/hidden")) ? 1 : 0;
    return DeleteFileA(linkPath) ? 1 : 0;
}
