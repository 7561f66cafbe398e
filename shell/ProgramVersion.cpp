#include "ProgramVersion.h"

#include <stdlib.h>

int ReadFileVersion(const char *path, int *major, int *minor, int *third)
{
    *major = *minor = *third = 0;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0)
        return 0;
    void *block = malloc(size);
    if (block == nullptr)
        return 0;
    int read = 0;
    VS_FIXEDFILEINFO *info = nullptr;
    UINT infoSize = 0;
    if (GetFileVersionInfoA(path, 0, size, block) &&
        VerQueryValueA(block, "\\", (void **)&info, &infoSize) && info != nullptr &&
        infoSize >= sizeof(VS_FIXEDFILEINFO)) {
        *major = HIWORD(info->dwFileVersionMS);
        *minor = LOWORD(info->dwFileVersionMS);
        *third = HIWORD(info->dwFileVersionLS);
        read = 1;
    }
    free(block);
    return read;
}

void GetProgramVersion(int *major, int *minor, int *third)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    if (length == 0 || length >= sizeof(path)) {
        *major = *minor = *third = 0;
        return;
    }
    ReadFileVersion(path, major, minor, third);
}
