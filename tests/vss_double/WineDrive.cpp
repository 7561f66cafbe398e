#include "WineDrive.h"

#include <windows.h>
#include <winioctl.h>
#include <stdlib.h>
#include <string.h>

namespace {

// Wine's mount-manager extension, as its public headers declare it.
#define IOCTL_MOUNTMGR_DEFINE_UNIX_DRIVE \
    CTL_CODE(0x6d, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS)

struct MountManagerUnixDrive {
    ULONG size;
    ULONG type;
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset;  // the Unix folder, multi-byte text after the structure
    USHORT deviceOffset;
    USHORT labelOffset;
};

typedef char *(CDECL *UnixFileNameProc)(const WCHAR *);

// Sends the request; unixFolder null removes the letter.
bool SendUnixDrive(wchar_t letter, const char *unixFolder)
{
    size_t length = sizeof(MountManagerUnixDrive) + (unixFolder ? strlen(unixFolder) + 1 : 0);
    MountManagerUnixDrive *drive = static_cast<MountManagerUnixDrive *>(calloc(1, length));
    if (drive == nullptr)
        return false;
    drive->size = (ULONG)length;
    drive->letter = (WCHAR)(letter - L'A' + L'a');
    if (unixFolder != nullptr) {
        drive->type = DRIVE_FIXED;
        drive->mountPointOffset = sizeof *drive;
        strcpy(reinterpret_cast<char *>(drive + 1), unixFolder);
    } else {
        drive->type = DRIVE_NO_ROOT_DIR;
    }
    bool sent = false;
    HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager != INVALID_HANDLE_VALUE) {
        DWORD returned = 0;
        sent = DeviceIoControl(manager, IOCTL_MOUNTMGR_DEFINE_UNIX_DRIVE, drive, (DWORD)length,
                               nullptr, 0, &returned, nullptr) != FALSE;
        CloseHandle(manager);
    }
    free(drive);
    return sent;
}

}  // namespace

bool IsRunningUnderWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool DefineWineDrive(wchar_t target, wchar_t source)
{
    wchar_t root[4] = {source, L':', L'\\', L'\0'};
    return DefineWineDriveAt(target, root);
}

bool DefineWineDriveAt(wchar_t target, const wchar_t *folder)
{
    UnixFileNameProc unixFileName = reinterpret_cast<UnixFileNameProc>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (unixFileName == nullptr)
        return false;
    char *unixFolder = unixFileName(folder);  // Wine allocates it on the process heap
    if (unixFolder == nullptr)
        return false;
    bool defined = SendUnixDrive(target, unixFolder);
    HeapFree(GetProcessHeap(), 0, unixFolder);
    return defined;
}

bool RemoveWineDrive(wchar_t target)
{
    return SendUnixDrive(target, nullptr);
}
