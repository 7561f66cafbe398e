#include "WindowsVersion.h"

#include <windows.h>
#include <string.h>

bool IsWindowsVersionAtLeast(unsigned major, unsigned minor, unsigned servicePackMajor)
{
    OSVERSIONINFOEXW info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    info.dwMajorVersion = major;
    info.dwMinorVersion = minor;
    info.wServicePackMajor = (WORD)servicePackMajor;
    DWORDLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                              mask) != FALSE;
}

static bool IsWorkstation()
{
    OSVERSIONINFOEXW info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    info.wProductType = VER_NT_WORKSTATION;
    DWORDLONG mask = VerSetConditionMask(0, VER_PRODUCT_TYPE, VER_EQUAL);
    return VerifyVersionInfoW(&info, VER_PRODUCT_TYPE, mask) != FALSE;
}

int GetWindowsVersionName(char *out260)
{
    struct VersionName {
        unsigned major, minor, servicePack;
        const char *name;
    };
    static const VersionName names[] = {
        {10, 0, 0, "Windows 10 or later "}, {6, 3, 0, "Windows 8.1 "},
        {6, 2, 0, "Windows 8 "},           {6, 1, 1, "Windows 7 SP1 "},
        {6, 1, 0, "Windows 7 "},           {6, 0, 0, "Windows Vista "},
        {5, 1, 0, "Windows XP "},
    };
    const char *name = "Pre-Windows XP ";
    for (const VersionName &entry : names) {
        if (IsWindowsVersionAtLeast(entry.major, entry.minor, entry.servicePack)) {
            name = entry.name;
            break;
        }
    }
    lstrcpynA(out260, name, 260);
    if (!IsWorkstation())
        lstrcatA(out260, "Server");
    return 1;
}
