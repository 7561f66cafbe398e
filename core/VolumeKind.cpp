#include "FolderHelpers.h"

#include <string.h>

int GetSourceRoot(const char *path, char *root, size_t rootSize)
{
    int wanted = path[0] == '\\' ? 4 : 1;
    int seen = 0;
    for (size_t i = 0; path[i] != '\0'; ++i) {
        if (path[i] == '\\' && ++seen == wanted) {
            if (i + 2 > rootSize)
                return 0;
            memcpy(root, path, i + 1);
            root[i + 1] = '\0';
            return 1;
        }
    }
    return 0;
}

void GetVolumeFileSystemKind(const char *path, int *kind, char *name128)
{
    *kind = FileSystemOther;
    lstrcpyA(name128, "Unknown");
    char root[1024];
    if (!GetSourceRoot(path, root, sizeof(root)))
        return;
    char name[128] = "";
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    BOOL read = GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, name, sizeof(name));
    SetErrorMode(previousMode);
    if (!read)
        return;
    name[sizeof(name) - 1] = '\0';
    lstrcpynA(name128, name, 128);
    if (strstr(name, "NTFS") != nullptr)
        *kind = FileSystemNtfs;
    else if (strstr(name, "FAT") != nullptr)
        *kind = FileSystemFat;
}
