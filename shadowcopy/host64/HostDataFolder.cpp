#include "HostDataFolder.h"

#include <windows.h>
#include <shlobj.h>
#include <string.h>

#include "HostExitCode.h"

int FindHostDataFolder(char *out, size_t size)
{
    char folder[MAX_PATH] = "";
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                SHGFP_TYPE_CURRENT, folder)) || folder[0] == '\0')
        return kHostNoAppData;
    size_t length = strlen(folder);
    if (folder[length - 1] != '\\')
        strncat(folder, "\\", sizeof folder - length - 1);
    strncat(folder, "Velloran", sizeof folder - strlen(folder) - 1);

    // Setting the current folder is the test that the folder exists.
    char saved[MAX_PATH] = "";
    DWORD savedLength = GetCurrentDirectoryA(sizeof saved, saved);
    bool exists = SetCurrentDirectoryA(folder) != FALSE;
    if (savedLength > 0 && savedLength < sizeof saved)
        SetCurrentDirectoryA(saved);
    if (!exists && !CreateDirectoryA(folder, nullptr))
        return kHostNoDataFolder;

    if (strlen(folder) + 2 > size)
        return kHostNoDataFolder;
    strcpy(out, folder);
    strcat(out, "\\");
    return 0;
}
